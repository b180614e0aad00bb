// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ProcessCommandRunner.h"

#include "../ui/UiTestSupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/resource.h>

using nura::CommandResult;
using nura::ProcessCommandRunner;
using uitest::readFile;

class CommandRunnerTest : public QObject {
    Q_OBJECT

private slots:
    void endsAsTheCommandEnds_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("message");
        QTest::newRow("success") << QStringList{"true"} << 0 << "";
        QTest::newRow("status 3") << QStringList{"sh", "-c", "echo 'no such disk' >&2; exit 3"} << 3
                                  << "no such disk";
        QTest::newRow("status 3, silent")
            << QStringList{"sh", "-c", "exit 3"} << 3 << "sh ended with status 3";
        QTest::newRow("killed") << QStringList{"sh", "-c", "kill -9 $$"} << int(CommandResult::kAbnormalEnd)
                                << "sh ended abnormally";
    }
    void endsAsTheCommandEnds() {
        QFETCH(QStringList, arguments);
        QFETCH(int, number);
        QFETCH(QString, message);
        const CommandResult r = ProcessCommandRunner().runScriptCommand(arguments, false);
        QCOMPARE(r.errorNumber, number);
        QCOMPARE(r.errorMessage, message);
        QCOMPARE(r.succeeded(), number == 0);
    }

    void missingProgram() {
        for (const QStringList& args : {QStringList{"/nonexistent/mkfs.fat", "-F", "32"}, QStringList{}}) {
            const CommandResult r = ProcessCommandRunner().runScriptCommand(args, false);
            QCOMPARE(r.errorNumber, int(CommandResult::kCannotStart));
            QVERIFY(!r.errorMessage.isEmpty());
        }
    }

    void argumentsAreNeverReadByAShell() {
        QTemporaryDir dir;
        const QString marker = dir.filePath("marker");
        const CommandResult r = ProcessCommandRunner().runScriptCommand(
            {"ls", "; touch " + marker, "$(touch " + marker + ")"}, false);
        QCOMPARE(r.errorNumber, 2); // ls: no such files
        QVERIFY(!QFile::exists(marker));
    }

    void megabytesOfOutputNeitherHangNorPileUp() {
        // A hang is the test's own time running out.
        const CommandResult r = ProcessCommandRunner().runScriptCommand(
            {"sh", "-c", "head -c 20000000 /dev/zero; head -c 20000000 /dev/zero | tr '\\0' e >&2; exit 4"},
            false);
        QCOMPARE(r.errorNumber, 4);
        QVERIFY(r.errorMessage.startsWith("eeee"));
        QCOMPARE(r.errorMessage.size(), qsizetype(ProcessCommandRunner::kMaxErrorOutput));
    }

    void errorOutputClosedEarlyIsWaitedOutNotPolled() {
        // A command that closes its error output and runs on: the wait must sleep, not spin.
        rusage before{};
        QVERIFY(::getrusage(RUSAGE_SELF, &before) == 0);
        QElapsedTimer wall;
        wall.start();
        const CommandResult r =
            ProcessCommandRunner().runScriptCommand({"sh", "-c", "exec 2>&-; sleep 2"}, false);
        const double wallSeconds = wall.elapsed() / 1000.0;
        rusage after{};
        QVERIFY(::getrusage(RUSAGE_SELF, &after) == 0);
        QVERIFY(r.succeeded());
        QVERIFY(wallSeconds >= 1.5);
        const double cpuSeconds = seconds(after.ru_utime) + seconds(after.ru_stime) -
                                  seconds(before.ru_utime) - seconds(before.ru_stime);
        QVERIFY2(cpuSeconds < 0.25 * wallSeconds,
                 qPrintable(QString("%1 s of CPU over %2 s").arg(cpuSeconds).arg(wallSeconds)));
    }

    void rootRunsTheCommandItself() {
        // The elevator is never started, and a plain command never goes through it.
        QVERIFY(
            ProcessCommandRunner(true, "/nonexistent/pkexec").runScriptCommand({"true"}, true).succeeded());
        QVERIFY(
            ProcessCommandRunner(false, "/nonexistent/pkexec").runScriptCommand({"true"}, false).succeeded());
        // Not root and no elevator: a failure, never a success.
        const CommandResult r =
            ProcessCommandRunner(false, "/nonexistent/pkexec").runScriptCommand({"true"}, true);
        QCOMPARE(r.errorNumber, int(CommandResult::kCannotStart));
    }

    void elevatedProgramsComeFromTheSystemPathOnly() {
        QTemporaryDir dir;
        const QString marker = dir.filePath("hijacked");
        // Programs that would be found first through the caller's PATH.
        for (const char* name : {"sh", "true", "nura-elsewhere"}) {
            writeScript(dir.filePath(name), "touch '" + marker + "'\n");
        }
        const QString elevator = dir.filePath("pkexec");
        writeScript(elevator, "printf '%s\\n' \"$1\" > '" + dir.filePath("program") + "'\nexec \"$@\"\n");
        const QByteArray oldPath = qgetenv("PATH");
        qputenv("PATH", dir.path().toUtf8() + ':' + oldPath);

        const CommandResult asRoot = ProcessCommandRunner(true, elevator).runScriptCommand({"true"}, true);
        const CommandResult throughElevator =
            ProcessCommandRunner(false, elevator).runScriptCommand({"sh", "-c", "exit 3"}, true);
        const CommandResult unknown =
            ProcessCommandRunner(true, elevator).runScriptCommand({"nura-elsewhere"}, true);
        const CommandResult relative =
            ProcessCommandRunner(false, elevator).runScriptCommand({"./sh", "-c", "true"}, true);
        qputenv("PATH", oldPath);

        QVERIFY(asRoot.succeeded());
        QCOMPARE(throughElevator.errorNumber, 3);
        QCOMPARE(readFile(dir.filePath("program")), QByteArray("/usr/bin/sh\n"));
        QCOMPARE(unknown.errorNumber, int(CommandResult::kCannotStart));
        QVERIFY2(unknown.errorMessage.contains("/usr/sbin:/usr/bin:/sbin:/bin"),
                 qPrintable(unknown.errorMessage));
        QCOMPARE(relative.errorNumber, int(CommandResult::kCannotStart));
        QVERIFY(!QFile::exists(marker));
    }

    void refusalIsToldFromTheCommandsOwnStatus_data() {
        QTest::addColumn<QString>("elevatorScript");
        QTest::addColumn<QStringList>("command");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("message");
        QTest::newRow("not authorized")
            << "echo 'Error executing command as another user: Not authorized' >&2\n"
               "printf '\\nThis incident has been reported.\\n' >&2\nexit 127\n"
            << QStringList{"true"} << int(CommandResult::kNotAuthorized)
            << "Error executing command as another user: Not authorized\n\nThis incident has been reported.";
        QTest::newRow("dismissed")
            << "echo 'Error executing command as another user: Request dismissed' >&2\nexit 126\n"
            << QStringList{"true"} << int(CommandResult::kNotAuthorized)
            << "Error executing command as another user: Request dismissed";
        QTest::newRow("command's own 126")
            << "exec \"$@\"\n"
            << QStringList{"sh", "-c", "echo 'cannot execute' >&2; exit 126"} << 126 << "cannot execute";
        QTest::newRow("command's own 127, silent")
            << "exec \"$@\"\n"
            << QStringList{"sh", "-c", "exit 127"} << 127 << "sh ended with status 127";
    }
    void refusalIsToldFromTheCommandsOwnStatus() {
        QFETCH(QString, elevatorScript);
        QFETCH(QStringList, command);
        QFETCH(int, number);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const QString elevator = dir.filePath("pkexec");
        writeScript(elevator, elevatorScript);
        const CommandResult r = ProcessCommandRunner(false, elevator).runScriptCommand(command, true);
        QCOMPARE(r.errorNumber, number);
        QCOMPARE(r.errorMessage, message);
    }

    void realPkexecWithoutASystemBusIsARefusal() {
        if (!QFileInfo(QStringLiteral("/usr/bin/pkexec")).isExecutable()) {
            QSKIP("pkexec is not installed");
        }
        QTemporaryDir dir;
        const QByteArray oldBus = qgetenv("DBUS_SYSTEM_BUS_ADDRESS");
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + dir.filePath("no-bus").toUtf8());
        const CommandResult r =
            ProcessCommandRunner(false, QStringLiteral("/usr/bin/pkexec")).runScriptCommand({"true"}, true);
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", oldBus);
        QCOMPARE(r.errorNumber, int(CommandResult::kNotAuthorized));
    }

private:
    static double seconds(const timeval& t) { return double(t.tv_sec) + t.tv_usec / 1e6; }

    static void writeScript(const QString& path, const QString& body) {
        QFile script(path);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write(("#!/bin/sh\n" + body).toUtf8());
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
};

QTEST_GUILESS_MAIN(CommandRunnerTest)
#include "CommandRunnerTest.moc"
