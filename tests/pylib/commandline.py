# SPDX-License-Identifier: GPL-3.0-or-later
"""What the command's script tests share: the exit statuses of every subcommand, a run's status and texts,
and a file's bytes read and written whole."""
import subprocess

# The exit statuses of the README's table.
DONE, CANNOT_ACCESS, NOT_OUR_FILE, USAGE = 0, 1, 2, 64


def outcome(argv, timeout=60, **kwargs):
    """The status, standard output and standard error of a run, the texts decoded whatever their bytes."""
    p = subprocess.run(argv, capture_output=True, timeout=timeout, **kwargs)
    return p.returncode, p.stdout.decode(errors="replace"), p.stderr.decode(errors="replace")


def read(path):
    with open(path, "rb") as f:
        return f.read()


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)
