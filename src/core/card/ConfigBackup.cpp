// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/card/ConfigBackup.h"

#include "core/log.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace nura {

namespace {

constexpr const char* kRestoredSuffix = ".restored.bin";

bool makeFolders(const std::string& folder) {
    std::string sofar;
    size_t at = 0;
    while (at != std::string::npos) {
        at = folder.find('/', at + 1);
        sofar = folder.substr(0, at);
        if (sofar.empty()) {
            continue;
        }
        if (::mkdir(sofar.c_str(), 0700) != 0 && errno != EEXIST) {
            return false;
        }
    }
    struct stat st {};
    return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The label as part of a file name: letters, digits, '-' and '_' only.
std::string nameSafe(const std::string& label) {
    std::string out;
    for (char c : label) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                           c == '-' || c == '_';
        out += plain ? c : '_';
    }
    return out.empty() ? "NO_NAME" : out.substr(0, 32);
}

// Reads the file past the page cache: what the medium holds, not what was just handed to the system.
FileBytes readFromMedium(const std::string& path) {
    const ReadableFile file = ReadableFile::open(path);
    FileBytes out;
    out.status = file.status();
    if (!file.ok()) {
        return out;
    }
    (void)::posix_fadvise(file.fd(), 0, 0, POSIX_FADV_DONTNEED);
    out.bytes.resize(static_cast<size_t>(file.size()));
    if (!file.readAt(0, out.bytes)) {
        out.status = {FileFault::Io, errno ? errno : EIO};
        out.bytes.clear();
    }
    return out;
}

bool sameBytes(const FileBytes& a, const FileBytes& b) {
    return a.status.ok() && b.status.ok() && a.bytes == b.bytes;
}

} // namespace

std::string configBackupFolder() {
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && data[0] == '/') {
        return std::string(data) + "/nura-viewer/backups";
    }
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') {
        return std::string(home) + "/.local/share/nura-viewer/backups";
    }
    return {};
}

ConfigBackup backUpConfigFile(const std::string& source, const std::string& folder, const std::string& label,
                              std::time_t now) {
    ConfigBackup backup;
    const FileBytes original = readFileBytes(source);
    if (!original.status.ok()) {
        backup.status = original.status;
        backup.path = source;
        return backup;
    }
    if (folder.empty() || !makeFolders(folder)) {
        backup.status = {FileFault::CannotOpen, folder.empty() ? ENOENT : errno};
        backup.path = folder;
        return backup;
    }
    std::tm utc{};
    ::gmtime_r(&now, &utc);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &utc);
    const std::string stem = folder + "/config-" + nameSafe(label) + "-" + stamp;
    backup.path = stem + ".bin";
    struct stat st {};
    for (int n = 2;
         ::lstat(backup.path.c_str(), &st) == 0 ||
         ::lstat((backup.path.substr(0, backup.path.size() - 4) + kRestoredSuffix).c_str(), &st) == 0;
         ++n) {
        backup.path = stem + "-" + std::to_string(n) + ".bin";
    }
    backup.status =
        writeFileSafely(backup.path, std::string_view(reinterpret_cast<const char*>(original.bytes.data()),
                                                      original.bytes.size()));
    if (backup.status.ok() && !sameBytes(original, readFromMedium(backup.path))) {
        backup.status = {FileFault::Io, EIO};
    }
    if (!backup.status.ok()) {
        logf("config.bin backup %s failed: %s", backup.path.c_str(), backup.status.describe().c_str());
    } else {
        logf("config.bin kept in %s", backup.path.c_str());
    }
    return backup;
}

FileStatus restoreConfigFile(const std::string& backup, const std::string& target) {
    const FileBytes kept = readFileBytes(backup);
    if (!kept.status.ok()) {
        return kept.status;
    }
    FileStatus status = writeFileSafely(
        target, std::string_view(reinterpret_cast<const char*>(kept.bytes.data()), kept.bytes.size()));
    if (status.ok() && !sameBytes(kept, readFromMedium(target))) {
        status = {FileFault::Io, EIO};
    }
    if (!status.ok()) {
        logf("config.bin restore to %s failed: %s; the settings are kept in %s", target.c_str(),
             status.describe().c_str(), backup.c_str());
    }
    return status;
}

std::string retireConfigBackup(const std::string& backup) {
    std::string retired = backup;
    if (backup.size() > 4 && backup.ends_with(".bin") && !backup.ends_with(kRestoredSuffix)) {
        retired = backup.substr(0, backup.size() - 4) + kRestoredSuffix;
        if (::rename(backup.c_str(), retired.c_str()) != 0) {
            retired = backup;
        }
    }
    // The time in the name orders them; only restored ones are candidates.
    const std::string folder = directoryOfPath(retired);
    std::vector<std::string> restored;
    if (DIR* d = ::opendir(folder.c_str())) {
        while (const dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            if (name.starts_with("config-") && name.ends_with(kRestoredSuffix)) {
                restored.push_back(name);
            }
        }
        ::closedir(d);
    }
    if (restored.size() > kKeptRestoredBackups) {
        auto stamp = [](const std::string& name) {
            // config-LABEL-YYYYMMDDTHHMMSSZ[-N].restored.bin: the stamp follows the last 'Z' group.
            const auto z = name.rfind('Z');
            return z != std::string::npos && z >= 15 ? name.substr(z - 15, 16) : name;
        };
        std::sort(restored.begin(), restored.end(),
                  [&](const std::string& a, const std::string& b) { return stamp(a) < stamp(b); });
        for (size_t i = 0; i + kKeptRestoredBackups < restored.size(); ++i) {
            ::unlink((folder + "/" + restored[i]).c_str());
        }
    }
    return retired;
}

} // namespace nura
