// SPDX-License-Identifier: GPL-3.0-or-later
// nura-format-card: formats the camera's card as FAT32 "NURA", run by the format window with administrator
// rights. Everything between the user's answer and the erase happens here, after authentication, on one
// descriptor: the password prompt leaves time for another medium to take the card's place, and a name
// (a device node, a by-uuid link) may by then lead to another disk.
//
//   nura-format-card --device-id MAJOR:MINOR --serial OLD --new-serial NEW DEVICE
//
// DEVICE is opened once. Its device number must be the one the question named and the volume serial read
// through it the one the question showed ("" for a medium without one); then mkfs.fat formats that very
// descriptor (/proc/self/fd/N), and the boot sector read back through it must carry the NEW serial.

#include "cli/commands.h"
#include "core/card/CardFormat.h"
#include "core/card/FormatCommands.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <linux/fs.h>
#include <optional>
#include <spawn.h>
#include <string>
#include <string_view>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr const char* kName = "nura-format-card";

int fail(int status, const std::string& message) {
    std::fprintf(stderr, "%s\n", message.c_str());
    return status;
}

// The kernel's name of a block device by its number ("sdc1"), or the number itself when unknown.
std::string deviceName(const std::string& id) {
    std::ifstream uevent("/sys/dev/block/" + id + "/uevent");
    std::string line;
    while (std::getline(uevent, line)) {
        if (line.starts_with("DEVNAME=")) {
            return "/dev/" + line.substr(8) + " (" + id + ")";
        }
    }
    return id;
}

bool sameSerial(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

std::string findMkfs() {
    for (const char* dir : {"/usr/sbin", "/usr/bin", "/sbin", "/bin"}) {
        const std::string path = std::string(dir) + "/mkfs.fat";
        if (::access(path.c_str(), X_OK) == 0) {
            return path;
        }
    }
    return {};
}

bool readHead(int fd, std::array<std::byte, 4096>& head, size_t& got) {
    got = 0;
    while (got < head.size()) {
        const ssize_t n = ::pread(fd, head.data() + got, head.size() - got, static_cast<off_t>(got));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return false;
        }
        if (n == 0) {
            break;
        }
        got += static_cast<size_t>(n);
    }
    return true;
}

// Runs the formatter with its error output on ours; its exit status, or -1 when it could not run.
int runMkfs(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const auto& a : arguments) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    char path[] = "PATH=/usr/sbin:/usr/bin:/sbin:/bin";
    char locale[] = "LC_ALL=C";
    char* env[] = {path, locale, nullptr};
    pid_t pid = 0;
    if (::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), env) != 0) {
        return -1;
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return -1;
        }
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int usage() {
    return fail(exitcode::kUsage, std::string("usage: ") + kName +
                                      " --device-id MAJOR:MINOR --serial OLD --new-serial NEW DEVICE");
}

} // namespace

int main(int argc, char** argv) {
    std::string deviceId, serial, device;
    std::optional<std::string> newSerialText;
    bool serialGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--device-id" && hasValue) {
            deviceId = argv[++i];
        } else if (arg == "--serial" && hasValue) {
            serial = argv[++i];
            serialGiven = true;
        } else if (arg == "--new-serial" && hasValue) {
            newSerialText = argv[++i];
        } else if (arg == "--" && i + 2 == argc) {
            device = argv[++i];
        } else if (!arg.starts_with("-") && i + 1 == argc) {
            device = argv[i];
        } else {
            return usage();
        }
    }
    const auto parsedSerial = newSerialText ? nura::parseFatSerial(*newSerialText) : std::nullopt;
    if (device.empty() || deviceId.empty() || !serialGiven || !parsedSerial) {
        return usage();
    }
    const uint32_t newSerial = *parsedSerial;

    // Inherited by the formatter, which opens it again as /proc/self/fd/N: the same disk whatever its name
    // now leads to.
    const int fd = ::open(device.c_str(), O_RDONLY | O_NONBLOCK);
    if (fd < 0) {
        return fail(exitcode::kCannotAccess,
                    "cannot open " + device + ": " + std::strerror(errno) + "; nothing was erased");
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !(S_ISBLK(st.st_mode) || S_ISREG(st.st_mode))) {
        return fail(exitcode::kNotOurFile, device + " is not a disk; nothing was erased");
    }
    const std::string seenId = nura::deviceIdOf(st);
    if (seenId != deviceId) {
        const bool block = S_ISBLK(st.st_mode);
        return fail(exitcode::kNotOurFile,
                    device + " is now another disk, " + (block ? deviceName(seenId) : seenId) +
                        ", not the one named, " + (block ? deviceName(deviceId) : deviceId) +
                        "; nothing was erased");
    }
    std::array<std::byte, 4096> head{};
    size_t got = 0;
    if (!readHead(fd, head, got)) {
        return fail(exitcode::kCannotAccess,
                    "cannot read " + device + ": " + std::strerror(errno) + "; nothing was erased");
    }
    const std::string seenSerial = nura::volumeSerialOf(std::span(head.data(), got));
    if (!sameSerial(seenSerial, serial)) {
        return fail(exitcode::kNotOurFile,
                    "the medium in " + device + " has volume serial " +
                        (seenSerial.empty() ? std::string("(none)") : seenSerial) + ", not " +
                        (serial.empty() ? std::string("(none)") : serial) +
                        " of the card named: another medium is in its place; nothing was erased");
    }

    uint64_t size = static_cast<uint64_t>(st.st_size);
    if (S_ISBLK(st.st_mode) && ::ioctl(fd, BLKGETSIZE64, &size) != 0) {
        return fail(exitcode::kCannotAccess,
                    "cannot read the size of " + device + ": " + std::strerror(errno));
    }
    const long sectorsPerCluster = nura::clusterSizeByVolumeSizeInKB(size);
    if (sectorsPerCluster == 0) {
        return fail(exitcode::kNotOurFile,
                    device + " is too small for FAT32 (" + std::to_string(size) + " bytes hold fewer than " +
                        std::to_string(nura::kMinFat32Clusters) + " clusters); nothing was erased");
    }
    const std::string mkfs = findMkfs();
    if (mkfs.empty()) {
        return fail(exitcode::kUnavailable, "mkfs.fat is not installed (dosfstools); nothing was erased");
    }
    const int status = runMkfs(nura::mkfsArguments(mkfs, fd, sectorsPerCluster, newSerial));
    if (status != 0) {
        return fail(exitcode::kCannotAccess,
                    status < 0 ? "mkfs.fat could not run on " + device : "mkfs.fat failed on " + device);
    }

    // What the medium now holds, not what the page cache kept of the formatter's writes.
    (void)::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    if (!readHead(fd, head, got)) {
        return fail(exitcode::kCannotAccess,
                    "cannot read " + device + " back after the format: " + std::strerror(errno));
    }
    const std::string wrong =
        nura::newVolumeMismatch(std::span(head.data(), got), newSerial, sectorsPerCluster);
    if (!wrong.empty()) {
        return fail(exitcode::kCannotAccess, "the format of " + device + " did not take: " + wrong);
    }
    return exitcode::kDone;
}
