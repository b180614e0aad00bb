// SPDX-License-Identifier: GPL-3.0-or-later
// nura config show|reset|set: the camera's settings file, field by field through the record's layout table.

#include "cli/FileMessages.h"
#include "cli/commands.h"
#include "core/card/ConfigBackup.h"
#include "core/settings/FileDataChecks.h"
#include "core/settings/FileDataFields.h"
#include "core/settings/FileDataRules.h"
#include "core/settings/SettingFile.h"
#include "core/util/JsonWriter.h"
#include "core/util/Text.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using namespace nura;

namespace {

bool fileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 || (errno != ENOENT && errno != ENOTDIR);
}

// A wrong-sized file above this is no damaged settings record but a file named by mistake: never replaced.
constexpr off_t kLargestReplacedFile = 64 << 20;

// Reads the record for a command; on failure says why and gives the exit status.
int loadRecord(const char* command, const std::string& path, _FILEDATA& record, bool forceHint = false) {
    const std::string name = std::string("nura config ") + command;
    switch (ReadSettingFile(path, record)) {
    case ReadSettingResult::Ok:
        return exitcode::kDone;
    case ReadSettingResult::WrongSize: {
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
            std::fprintf(stderr, "%s: %s is %lld bytes%s, not a 500-byte settings record%s\n", name.c_str(),
                         path.c_str(), static_cast<long long>(st.st_size),
                         st.st_size < static_cast<off_t>(kFileDataSize) ? " (truncated)" : "",
                         forceHint && st.st_size <= kLargestReplacedFile
                             ? " (--force replaces it, keeping a copy of it first)"
                             : "");
            return exitcode::kNotOurFile;
        }
        return reportFileFailure(name.c_str(), "read", path, {FileFault::NotRegular, 0});
    }
    case ReadSettingResult::NotRegular:
        return reportFileFailure(name.c_str(), "read", path, {FileFault::NotRegular, 0});
    case ReadSettingResult::CannotOpen:
    case ReadSettingResult::ReadFailed:
        break;
    }
    return reportFileFailure(name.c_str(), "read", path,
                             ReadableFile::open(path).status().ok() ? FileStatus{FileFault::Io, EIO}
                                                                    : ReadableFile::open(path).status());
}

// Where a link at `path` leads, or empty when `path` is no link.
std::string linkTarget(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
        return {};
    }
    std::string target(4096, '\0');
    const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
    target.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return target.empty() ? std::string("?") : target;
}

int saveRecord(const char* command, _FILEDATA& record, const std::string& path) {
    SealFileData(record);
    const std::string name = std::string("nura config ") + command;
    const std::string link = linkTarget(path);
    const int status = reportFileFailure(name.c_str(), "write", path, SaveSettingFile(record, path));
    if (status == exitcode::kDone && !link.empty()) {
        // The write replaced the link itself: say so, or the user looks for the change in the other file.
        std::fprintf(stderr, "%s: %s was a link to %s: it is now a file of its own, and %s is unchanged\n",
                     name.c_str(), path.c_str(), link.c_str(), link.c_str());
    }
    return status;
}

// Keeps the bytes of a file about to be replaced in the backups folder; false (said why) when it cannot.
bool keepOldBytes(const std::string& path) {
    const std::string folder = configBackupFolder();
    const std::string parent = directoryOfPath(path);
    const ConfigBackup backup =
        backUpConfigFile(path, folder, parent.substr(parent.rfind('/') + 1), std::time(nullptr));
    if (!backup.status.ok()) {
        std::fprintf(stderr, "nura config reset: cannot keep a copy of %s in %s: %s; nothing changed\n",
                     path.c_str(), backup.path.c_str(), backup.status.describe().c_str());
        return false;
    }
    std::fprintf(stderr, "nura config reset: the old %s is kept in %s\n", path.c_str(), backup.path.c_str());
    return true;
}

void printText(const _FILEDATA& record) {
    std::printf("%-6s %-28s %-8s %s\n", "offset", "field", "type", "value");
    for (const auto& f : fileDataFields()) {
        std::printf("%-6u %-28.*s %-8s %s\n", static_cast<unsigned>(f.offset),
                    static_cast<int>(f.name.size()), f.name.data(), fieldTypeName(f).c_str(),
                    formatFieldValue(record, f).c_str());
    }
    const unsigned computed = FileDataChecksum(record);
    if (computed == record.checksum) {
        std::printf("checksum ok (0x%04X)\n", computed);
    } else {
        std::printf("checksum mismatch: stored 0x%04X, computed 0x%04X\n",
                    static_cast<unsigned>(record.checksum), computed);
    }
}

void printJson(const _FILEDATA& record) {
    JsonWriter w;
    w.beginObject().key("fields").beginObject();
    for (const auto& f : fileDataFields()) {
        w.key(f.name);
        switch (f.type) {
        case FieldType::F32:
            // Through the float's shortest text so that 1.35 reads 1.35, not 1.350000023841858.
            w.value(std::strtod(shortestFloat(fieldFloat(record, f)).c_str(), nullptr));
            break;
        case FieldType::Text: {
            // Bytes that are not UTF-8 (or a text that looks quoted) go in the quoted form `set` reads back,
            // never through a replacement character that would lose them.
            const std::string text = fieldText(record, f);
            const bool looksQuoted = text.size() >= 2 && text.front() == '"' && text.back() == '"';
            w.value(isValidUtf8(text) && !looksQuoted ? text : formatFieldValue(record, f));
            break;
        }
        case FieldType::U32Array:
            w.beginArray();
            for (std::size_t i = 0; i < f.length / 4u; ++i) {
                w.value(fieldInteger(record, f, i));
            }
            w.endArray();
            break;
        default:
            w.value(fieldInteger(record, f));
            break;
        }
    }
    w.endObject().key("checksum_ok").value(FileDataChecksumMatches(record)).endObject();
    std::printf("%s\n", w.str().c_str());
}

} // namespace

int runConfigShow(const std::string& path, bool json) {
    _FILEDATA record{};
    if (const int status = loadRecord("show", path, record)) {
        return status;
    }
    json ? printJson(record) : printText(record);
    return exitcode::kDone;
}

int runConfigReset(const std::string& path, bool force) {
    const SettingFileLock lock(path);
    _FILEDATA record{}; // a missing file starts from a zeroed record
    if (fileExists(path)) {
        struct stat st {};
        const bool wrongSize = ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
                               st.st_size != static_cast<off_t>(kFileDataSize);
        if (force && wrongSize && st.st_size <= kLargestReplacedFile) {
            // A damaged record is replaced, but a file named by mistake must never be lost.
            if (!keepOldBytes(path)) {
                return exitcode::kCannotAccess;
            }
            record = {};
        } else if (force && wrongSize) {
            std::fprintf(stderr,
                         "nura config reset: %s is %lld bytes, too large for a damaged settings record: not "
                         "replaced, even with --force\n",
                         path.c_str(), static_cast<long long>(st.st_size));
            return exitcode::kNotOurFile;
        } else if (const int status = loadRecord("reset", path, record, true)) {
            return status;
        }
    }
    SetDefaultFileData(record);
    return saveRecord("reset", record, path);
}

int runConfigSet(const std::string& path, const std::vector<std::string>& assignments, bool raw) {
    // Held from the read to the save: a second `set` at the same time edits the result of this one.
    const SettingFileLock lock(path);
    _FILEDATA record{};
    if (const int status = loadRecord("set", path, record)) {
        return status;
    }
    // Every assignment is checked on a copy first, so one bad value changes nothing.
    _FILEDATA edited = record;
    for (const std::string& assignment : assignments) {
        const auto eq = assignment.find('=');
        if (eq == std::string::npos) {
            std::fprintf(stderr, "nura config set: '%s' is not NAME=VALUE; nothing changed\n",
                         assignment.c_str());
            return exitcode::kUsage;
        }
        const std::string name = assignment.substr(0, eq);
        const FieldDescriptor* field = findFileDataField(name);
        if (!field) {
            std::fprintf(stderr, "nura config set: no field named '%s'; nothing changed\n", name.c_str());
            return exitcode::kUsage;
        }
        if (name == "checksum" || name == "osd_plate_flag") {
            std::fprintf(stderr, "nura config set: %s is computed when the file is saved; nothing changed\n",
                         name.c_str());
            return exitcode::kUsage;
        }
        const std::string error =
            setFieldFromText(edited, *field, std::string_view(assignment).substr(eq + 1));
        if (!error.empty()) {
            std::fprintf(stderr, "nura config set: %s; nothing changed\n", error.c_str());
            return exitcode::kUsage;
        }
    }
    if (raw) {
        std::fputs("nura config set: --raw: storing the values without the settings window's checks\n",
                   stderr);
    } else if (const auto refusal = checkFileDataEdit(record, edited)) {
        std::fprintf(stderr, "nura config set: %s (--raw stores it anyway); nothing changed\n",
                     refusal->reason.c_str());
        return exitcode::kUsage;
    }
    return saveRecord("set", edited, path);
}
