# SPDX-License-Identifier: GPL-3.0-or-later
"""What the recording script tests share: the sample writer built beside the program under test (the
script's first argument), ffmpeg's view of a file, and a disk that fills up part-way."""
import os
import resource
import signal
import subprocess
import sys

MAKE_RECORDING = os.path.join(os.path.dirname(os.path.abspath(sys.argv[1])), "make_recording")


def recording(path, *options):
    """Writes a recording with the sample writer and gives its path."""
    subprocess.run([MAKE_RECORDING, path, *options], check=True)
    return path


def decode_errors(path, level="error"):
    """What ffmpeg says when it decodes the whole file: empty for a clean file."""
    return subprocess.run(["ffmpeg", "-v", level, "-i", path, "-f", "null", "-"], capture_output=True,
                          text=True).stderr


def decoded(path, *input_options):
    """The md5 of every decoded picture, in the order shown (ffmpeg's framemd5), and what ffmpeg said."""
    r = subprocess.run(["ffmpeg", "-v", "error", *input_options, "-i", path, "-map", "0:v", "-f", "framemd5", "-"],
                       capture_output=True, text=True)
    return [line.split(",")[-1].strip() for line in r.stdout.splitlines() if line and not line.startswith("#")], \
        r.stderr


def small_disk(limit):
    """A preexec_fn that stands in for a disk full after `limit` bytes: a file-size limit, inherited by
    the helpers, with the signal ignored so that the write fails instead."""
    def apply():
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))
    return apply


def leftovers(folder):
    """The hidden (temporary) files in a folder."""
    return [n for n in os.listdir(folder) if n.startswith(".")]
