#include "core/log.h"
#include "platform/ProcessCommandRunner.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using nura::CommandResult;
using nura::ProcessCommandRunner;

class CommandRunnerTest : public QObject {
    Q_OBJECT

private slots:
    void endsAsTheCommandEnds_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("message");
        QTest::newRow("success") << QStringList{"true"} << 0 << "";
        QTest::newRow("success with error output") << QStringList{"sh", "-c", "echo note >&2"} << 0 << "";
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
        nura::LogCapture log;
        const CommandResult r = ProcessCommandRunner().runScriptCommand(arguments, false);
        QCOMPARE(r.errorNumber, number);
        QCOMPARE(r.errorMessage, message);
        QCOMPARE(r.succeeded(), number == 0);
        QVERIFY(log.contains(number == 0 ? "ERROR={}" : "ERROR={number="));
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
        QElapsedTimer timer;
        timer.start();
        const CommandResult r = ProcessCommandRunner().runScriptCommand(
            {"sh", "-c", "head -c 20000000 /dev/zero; head -c 20000000 /dev/zero | tr '\\0' e >&2; exit 4"},
            false);
        QCOMPARE(r.errorNumber, 4);
        QVERIFY(r.errorMessage.startsWith("eeee"));
        QCOMPARE(r.errorMessage.size(), qsizetype(ProcessCommandRunner::kMaxErrorOutput));
        QVERIFY2(timer.elapsed() < 60000, qPrintable(QString::number(timer.elapsed())));
    }

    void administratorRights() {
        QTemporaryDir dir;
        // Already root: the command runs directly, the elevator is never started.
        QVERIFY(
            ProcessCommandRunner(true, "/nonexistent/pkexec").runScriptCommand({"true"}, true).succeeded());
        // Not root: the command goes through the elevator and keeps its own status.
        QCOMPARE(
            ProcessCommandRunner(false, "env").runScriptCommand({"sh", "-c", "exit 3"}, true).errorNumber, 3);
        QVERIFY(
            ProcessCommandRunner(false, "/nonexistent/pkexec").runScriptCommand({"true"}, false).succeeded());

        // Authentication dismissed or refused: its own number, never success.
        for (int status : {126, 127}) {
            const QString elevator = dir.filePath(QString("pkexec%1").arg(status));
            QFile script(elevator);
            QVERIFY(script.open(QIODevice::WriteOnly));
            script.write(QString("#!/bin/sh\necho 'Not authorized' >&2\nexit %1\n").arg(status).toUtf8());
            script.close();
            script.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
            const CommandResult r = ProcessCommandRunner(false, elevator).runScriptCommand({"true"}, true);
            QCOMPARE(r.errorNumber, int(CommandResult::kNotAuthorized));
            QCOMPARE(r.errorMessage, QString("Not authorized"));
        }
    }
};

QTEST_GUILESS_MAIN(CommandRunnerTest)
#include "CommandRunnerTest.moc"
