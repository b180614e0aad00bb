#include "platform/ProcessCommandRunner.h"

#include "core/log.h"

#include <QProcess>
#include <unistd.h>

namespace nura {

ProcessCommandRunner::ProcessCommandRunner()
    : ProcessCommandRunner(::geteuid() == 0, QStringLiteral("pkexec")) {}

ProcessCommandRunner::ProcessCommandRunner(bool runningAsRoot, QString elevator)
    : m_runningAsRoot(runningAsRoot), m_elevator(std::move(elevator)) {}

CommandResult ProcessCommandRunner::runScriptCommand(const QStringList& arguments,
                                                     bool withAdministratorPrivileges) {
    CommandResult result;
    if (arguments.isEmpty() || arguments.front().isEmpty()) {
        result.errorNumber = CommandResult::kCannotStart;
        result.errorMessage = QStringLiteral("no command given");
        logf("ERROR=%s", qPrintable(result.describe()));
        return result;
    }

    // pkexec fails without a system bus even for root, so root runs the command directly.
    const bool elevate = withAdministratorPrivileges && !m_runningAsRoot;
    QStringList argv = arguments;
    if (elevate) {
        argv.prepend(m_elevator);
    }
    const QString program = argv.takeFirst();
    const QString& command = arguments.front();

    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice()); // the output is not wanted, however much there is
    process.setStandardInputFile(QProcess::nullDevice());
    process.setReadChannel(QProcess::StandardError);
    process.start(program, argv, QIODevice::ReadOnly);

    if (!process.waitForStarted(-1)) {
        result.errorNumber = CommandResult::kCannotStart;
        result.errorMessage = program + QStringLiteral(": ") + process.errorString();
        logf("ERROR=%s", qPrintable(result.describe()));
        return result;
    }

    QByteArray errorOutput;
    const auto drain = [&] {
        const QByteArray chunk = process.readAllStandardError();
        if (errorOutput.size() < kMaxErrorOutput) {
            errorOutput += chunk.left(kMaxErrorOutput - errorOutput.size());
        }
    };
    while (process.state() != QProcess::NotRunning) {
        process.waitForReadyRead(200);
        drain();
    }
    process.waitForFinished(-1);
    drain();

    if (process.exitStatus() == QProcess::CrashExit) {
        result.errorNumber = CommandResult::kAbnormalEnd;
        result.errorMessage = QString::fromLocal8Bit(errorOutput).trimmed();
        if (result.errorMessage.isEmpty()) {
            result.errorMessage = command + QStringLiteral(" ended abnormally");
        }
    } else if (process.exitCode() != 0) {
        const int status = process.exitCode();
        // pkexec answers 126 when the user dismissed the authentication and 127 when it was refused.
        result.errorNumber =
            elevate && (status == 126 || status == 127) ? CommandResult::kNotAuthorized : status;
        result.errorMessage = QString::fromLocal8Bit(errorOutput).trimmed();
        if (result.errorMessage.isEmpty()) {
            result.errorMessage = QStringLiteral("%1 ended with status %2").arg(command).arg(status);
        }
    }
    logf("ERROR=%s", qPrintable(result.describe()));
    return result;
}

} // namespace nura
