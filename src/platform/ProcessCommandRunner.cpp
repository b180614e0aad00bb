// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ProcessCommandRunner.h"

#include "core/log.h"

#include <QFileInfo>
#include <QProcess>
#include <unistd.h>

namespace nura {
namespace {

CommandResult cannotStart(const QString& message) {
    CommandResult result;
    result.errorNumber = CommandResult::kCannotStart;
    result.errorMessage = message;
    logf("ERROR=%s", qPrintable(result.describe()));
    return result;
}

// The full path of a program to run with administrator rights: an absolute path as it stands, a bare name
// from the system path; empty when there is no such executable file.
QString resolveSystemProgram(const QString& program) {
    const auto executable = [](const QString& path) {
        const QFileInfo info(path);
        return info.isFile() && info.isExecutable();
    };
    if (program.startsWith(QLatin1Char('/'))) {
        return executable(program) ? program : QString();
    }
    if (program.isEmpty() || program.contains(QLatin1Char('/'))) {
        return {}; // a path relative to wherever we happen to be is no system program
    }
    for (const QString& folder : ProcessCommandRunner::systemPath()) {
        const QString candidate = folder + QLatin1Char('/') + program;
        if (executable(candidate)) {
            return candidate;
        }
    }
    return {};
}

bool elevatorRefused(int status, const QByteArray& errorOutput) {
    // pkexec ends with 126 or 127 when it did not run the command, but the command may end so too: only
    // pkexec's own words about the authorisation tell the two apart.
    if (status != 126 && status != 127) {
        return false;
    }
    static const char* const kRefusals[] = {
        "Error executing command as another user:", // not authorised, dismissed, no agent
        "Error getting authority:",                 // no system bus or no polkit
        "Error checking for authorization",
        "Error creating textual authentication agent:",
        "Error registering local authentication agent:",
    };
    for (const QByteArray& line : errorOutput.split('\n')) {
        for (const char* refusal : kRefusals) {
            if (line.startsWith(refusal)) {
                return true;
            }
        }
    }
    return false;
}

} // namespace

const QStringList& ProcessCommandRunner::systemPath() {
    static const QStringList path{QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin"),
                                  QStringLiteral("/sbin"), QStringLiteral("/bin")};
    return path;
}

ProcessCommandRunner::ProcessCommandRunner()
    : ProcessCommandRunner(::geteuid() == 0, QString::fromLatin1(kElevator)) {}

ProcessCommandRunner::ProcessCommandRunner(bool runningAsRoot, QString elevator)
    : m_runningAsRoot(runningAsRoot), m_elevator(std::move(elevator)) {}

CommandResult ProcessCommandRunner::runScriptCommand(const QStringList& arguments,
                                                     bool withAdministratorPrivileges) {
    if (arguments.isEmpty() || arguments.front().isEmpty()) {
        return cannotStart(QStringLiteral("no command given"));
    }
    const QString& command = arguments.front();
    QStringList argv = arguments;
    if (withAdministratorPrivileges) {
        // Rights are given to a program, so it is the system's program and not whatever the caller's PATH
        // finds first; the same whether pkexec or root runs it.
        const QString resolved = resolveSystemProgram(command);
        if (resolved.isEmpty()) {
            return cannotStart(command + QStringLiteral(": no such program in ") +
                               systemPath().join(QLatin1Char(':')));
        }
        argv.front() = resolved;
    }

    // pkexec fails without a system bus even for root, so root runs the command directly.
    const bool elevate = withAdministratorPrivileges && !m_runningAsRoot;
    if (elevate) {
        argv.prepend(m_elevator);
    }
    const QString program = argv.takeFirst();

    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice()); // the output is not wanted, however much there is
    process.setStandardInputFile(QProcess::nullDevice());
    process.setReadChannel(QProcess::StandardError);
    process.start(program, argv, QIODevice::ReadOnly);

    if (!process.waitForStarted(-1)) {
        return cannotStart(program + QStringLiteral(": ") + process.errorString());
    }

    QByteArray errorOutput;
    const auto drain = [&] {
        const QByteArray chunk = process.readAllStandardError();
        if (errorOutput.size() < kMaxErrorOutput) {
            errorOutput += chunk.left(kMaxErrorOutput - errorOutput.size());
        }
    };
    while (process.state() != QProcess::NotRunning) {
        if (process.waitForReadyRead(-1)) {
            drain();
            continue;
        }
        // Either the command has ended, or it closed its error output and runs on: asking again for output
        // would return at once, over and over, so wait for the end instead.
        process.waitForFinished(-1);
    }
    drain();

    CommandResult result;
    if (process.exitStatus() == QProcess::CrashExit) {
        result.errorNumber = CommandResult::kAbnormalEnd;
        result.errorMessage = QString::fromLocal8Bit(errorOutput).trimmed();
        if (result.errorMessage.isEmpty()) {
            result.errorMessage = command + QStringLiteral(" ended abnormally");
        }
    } else if (process.exitCode() != 0) {
        const int status = process.exitCode();
        result.errorNumber =
            elevate && elevatorRefused(status, errorOutput) ? CommandResult::kNotAuthorized : status;
        result.errorMessage = QString::fromLocal8Bit(errorOutput).trimmed();
        if (result.errorMessage.isEmpty()) {
            result.errorMessage = QStringLiteral("%1 ended with status %2").arg(command).arg(status);
        }
    }
    logf("ERROR=%s", qPrintable(result.describe()));
    return result;
}

} // namespace nura
