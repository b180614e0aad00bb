// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The real command runner: QProcess with an argument list; administrator rights through pkexec unless the
// program already runs as root. A command run with administrator rights is looked up only in the system's
// own program folders, never through the caller's PATH.

#include "platform/CommandRunner.h"

namespace nura {

class ProcessCommandRunner : public CommandRunner {
public:
    // Error output kept for the message; the rest is read and dropped so the command never blocks on a full
    // pipe.
    static constexpr qint64 kMaxErrorOutput = 64 * 1024;
    static constexpr const char* kElevator = "/usr/bin/pkexec";
    // Where a command run with administrator rights is found, in this order.
    static const QStringList& systemPath();

    ProcessCommandRunner();
    // For tests: whether we count as root, and the program that grants administrator rights.
    ProcessCommandRunner(bool runningAsRoot, QString elevator);

    CommandResult runScriptCommand(const QStringList& arguments, bool withAdministratorPrivileges) override;

private:
    bool m_runningAsRoot;
    QString m_elevator;
};

} // namespace nura
