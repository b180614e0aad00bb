// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Runs a system command, with administrator rights when asked, and reports how it ended. The command is an
// argument list handed to the program as it is: no shell reads it, so nothing in it is ever interpreted.

#include <QString>
#include <QStringList>

namespace nura {

struct CommandResult {
    // Numbers that are not the command's own exit status.
    static constexpr int kAbnormalEnd = -1;   // killed by a signal or crashed
    static constexpr int kNotAuthorized = -2; // administrator rights refused, cancelled or unavailable
    static constexpr int kCannotStart = 127;  // no such program, as a shell reports it

    int errorNumber = 0;  // the exit status when the command failed
    QString errorMessage; // what the command wrote to its error output, or why it could not run

    bool succeeded() const { return errorNumber == 0 && errorMessage.isEmpty(); }
    // The log's view of it: "{}" on success.
    QString describe() const;
};

class CommandRunner {
public:
    virtual ~CommandRunner() = default;
    // Synchronous; callers run it off the UI thread. Blocks until the command has ended (and, with
    // administrator rights, until the user has answered the authentication).
    virtual CommandResult runScriptCommand(const QStringList& arguments,
                                           bool withAdministratorPrivileges) = 0;
};

} // namespace nura
