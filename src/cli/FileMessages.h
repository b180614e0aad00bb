// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One message and one exit status for a file a subcommand could not read or write, the same in every
// subcommand: a FIFO, device or folder is "not a regular file" (2); anything else that kept the file from
// being read or written exits 1, with the system's words.

#include "cli/commands.h"
#include "core/util/SafeFile.h"

#include <cstdio>
#include <string>

// `command` is "nura drive" and the like; `verb` is "read" or "write".
inline int reportFileFailure(const char* command, const char* verb, const std::string& path,
                             const nura::FileStatus& status) {
    switch (status.fault) {
    case nura::FileFault::None:
        return exitcode::kDone;
    case nura::FileFault::NotRegular:
        std::fprintf(stderr, "%s: %s is not a regular file\n", command, path.c_str());
        return exitcode::kNotOurFile;
    case nura::FileFault::ReadOnly:
        std::fprintf(stderr, "%s: cannot write %s: the file is read-only (the old file is unchanged)\n",
                     command, path.c_str());
        return exitcode::kCannotAccess;
    case nura::FileFault::Damaged:
        std::fprintf(stderr,
                     "%s: cannot write %s (%s): the file may be damaged; write it again before using the "
                     "card\n",
                     command, path.c_str(), status.describe().c_str());
        return exitcode::kCannotAccess;
    case nura::FileFault::CannotOpen:
    case nura::FileFault::Io:
        break;
    }
    if (std::string(verb) == "write") {
        std::fprintf(stderr, "%s: cannot write %s: %s (the old file is unchanged)\n", command, path.c_str(),
                     status.describe().c_str());
    } else {
        std::fprintf(stderr, "%s: cannot read %s: %s\n", command, path.c_str(), status.describe().c_str());
    }
    return exitcode::kCannotAccess;
}
