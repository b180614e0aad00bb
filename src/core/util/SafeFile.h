// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one way this program reads and writes the user's files.
//
// Reading: the file is opened without blocking and checked with fstat before a byte is read, so a FIFO,
// a device or a folder in the file's place is refused at once instead of hanging or streaming forever.
// Links are followed: a recording reached through a link is the user's choice.
//
// Writing: the new bytes go to a temporary file beside the target (".NAME.nura-PID-N.tmp"), which is
// synced and renamed over it, so a card pulled out or a full disk leaves either the old file or the new
// one whole. The old file's mode is kept; a link at the target is replaced, never written through; a
// target that is not a regular file, or whose mode bits say read-only, is refused. Temporary files of
// this pattern left by a process that is gone are removed by the next write to the same folder. A NAME
// too long for the pattern to fit in 255 bytes is shortened there.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace nura {

// Why a file could not be read or written, in the terms every caller reports alike.
enum class FileFault {
    None,
    CannotOpen, // missing, no permission, a folder that cannot be entered
    NotRegular, // a FIFO, device, socket or folder where a file was expected
    ReadOnly,   // the target's mode bits allow no writing (FAT's read-only attribute)
    Io,         // the system failed part-way (a full disk, an I/O error); the old file is intact
    Damaged,    // rewritten in place, stopped part-way and the old bytes could not be put back
};

struct FileStatus {
    FileFault fault = FileFault::None;
    int error = 0; // errno of the failing step, 0 when none applies

    bool ok() const { return fault == FileFault::None; }
    // One short phrase for a message: the system's words, or what was wrong with the target.
    std::string describe() const;
};

// A failed write's errno for a message: a full disk said so plainly, anything else in the system's words.
std::string describeWriteError(int error);

// ---- Reading ----

// A regular file opened for reading. Moves, closes on destruction.
class ReadableFile {
public:
    ReadableFile() = default;
    ~ReadableFile();
    ReadableFile(ReadableFile&& other) noexcept;
    ReadableFile& operator=(ReadableFile&& other) noexcept;
    ReadableFile(const ReadableFile&) = delete;
    ReadableFile& operator=(const ReadableFile&) = delete;

    // Opens `path` (O_RDONLY | O_NONBLOCK, links followed) and refuses anything but a regular file.
    static ReadableFile open(const std::string& path);

    bool ok() const { return m_status.ok(); }
    const FileStatus& status() const { return m_status; }
    int fd() const { return m_fd; }
    uint64_t size() const { return m_size; } // as fstat saw it when opened
    // Fills all of `out` from `position`; false on a read error or when the file ends first.
    bool readAt(uint64_t position, std::span<std::byte> out) const;
    // The errno of the first read that failed (EIO when the card is pulled), or 0: a read that fails
    // this way says nothing about the file's contents, unlike one that finds the file ending early.
    int readError() const { return m_readError; }
    // Gives up the descriptor to the caller, who then closes it.
    int release();

private:
    int m_fd = -1;
    uint64_t m_size = 0;
    FileStatus m_status{FileFault::CannotOpen, 0};
    mutable int m_readError = 0;
};

struct FileBytes {
    FileStatus status;
    std::vector<std::byte> bytes; // at most `limit` bytes, from the start of the file
    bool cappedAtLimit = false;   // the file held more than `limit`
};

// The whole file, or its first `limit` bytes. A file that shrinks while being read gives what is there.
FileBytes readFileBytes(const std::string& path, uint64_t limit = UINT64_MAX);

// ---- Writing ----

// Fixed-size files (config.bin, timeset.cfg) that a full card has no room to write beside are rewritten
// in place instead, when the old file is a regular file of exactly the new size; a write that stops
// part-way puts the old bytes back. Every other file fails on a full disk with the old one intact.
enum class WriteFallback { None, InPlaceWhenFull };

// Streams a file into place: begin(), write() as often as needed, then commit(). Dropping the writer
// without commit() removes the temporary file and leaves the target as it was.
class SafeFileWriter {
public:
    explicit SafeFileWriter(std::string path, WriteFallback fallback = WriteFallback::None);
    ~SafeFileWriter();
    SafeFileWriter(const SafeFileWriter&) = delete;
    SafeFileWriter& operator=(const SafeFileWriter&) = delete;

    // Checks the target and creates the temporary file.
    FileStatus begin();
    // Appends; after the first failure the rest is dropped and commit() reports it.
    bool write(std::string_view bytes);
    // Syncs the temporary file and renames it over the target. With `Replace::Never` an existing target
    // is kept and the write fails with EEXIST.
    enum class Replace { Always, Never };
    FileStatus commit(Replace replace = Replace::Always);
    // Removes the temporary file; the target keeps its old contents.
    void cancel();

    const std::string& path() const { return m_path; }
    // The temporary file between begin() and commit(), for a writer that puts bytes there itself (a
    // copy made in the kernel, a reader checking the result before it is put in place): -1 and empty
    // otherwise. Such a writer does not also call write().
    int fd() const { return m_inPlace ? -1 : m_fd; }
    const std::string& temporaryPath() const { return m_tempPath; }

private:
    FileStatus abandon(FileStatus why);

    std::string m_path;
    WriteFallback m_fallback;
    std::string m_tempPath;
    int m_fd = -1;
    uint64_t m_written = 0;
    FileStatus m_status;
    std::string m_kept; // for the in-place fallback: everything written so far
    bool m_inPlace = false;
    int m_noRoomError = 0; // why the file beside was given up for the in-place write
};

// Writes `bytes` as the whole new content of `path`.
FileStatus writeFileSafely(const std::string& path, std::string_view bytes,
                           WriteFallback fallback = WriteFallback::None);

// The folder part of a path ("." for a bare name).
std::string directoryOfPath(const std::string& path);

// ---- Test hooks ----

// The call that puts bytes into a file at an offset (pwrite); tests make it stop part-way or fail.
using SafeFileWriteCall = ssize_t (*)(int fd, const void* data, std::size_t size, off_t offset);
SafeFileWriteCall setSafeFileWriteCall(SafeFileWriteCall call);

// The other steps a test can make fail: the hook returns an errno to fail that step with, or 0.
enum class SafeFileStep { CreateTemp, Sync, Rename };
using SafeFileStepHook = int (*)(SafeFileStep step);
SafeFileStepHook setSafeFileStepHook(SafeFileStepHook hook);

} // namespace nura
