// SPDX-License-Identifier: GPL-3.0-or-later
// "Export Clip…": the span the dialog proposes, the in/out band on the slider, and a lossless export run
// off the UI thread with the status line's offer to show the folder; the dialog's proposed name is the
// viewing tools' drive clip test.

#include "DriveScript.h"
#include "SampleRecording.h"
#include "platform/PathText.h"
#include "ui/app/ORBClipExportController.h"
#include "ui/views/TKSliderMarks.h"

#include <QFile>
#include <QLabel>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QtTest>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

class ClipExportTest : public QObject {
    Q_OBJECT

private slots:
    void proposesMarksThenNearestEventThenWholeRecording() {
        using C = ORBClipExportController;
        // Marks win, an open end runs to the recording's end.
        QCOMPARE(C::defaultSpan(12.0, 20.0, {30.0}, 31.0, 60.0), std::make_pair(12.0, 20.0));
        QCOMPARE(C::defaultSpan(12.0, std::nullopt, {30.0}, 31.0, 60.0), std::make_pair(12.0, 60.0));
        QCOMPARE(C::defaultSpan(std::nullopt, 8.0, {}, 0.0, 60.0), std::make_pair(0.0, 8.0));
        // The marker nearest the playback position, 10 s either side, never before the start.
        QCOMPARE(C::defaultSpan(std::nullopt, std::nullopt, {5.0, 40.0, 55.0}, 44.0, 60.0),
                 std::make_pair(30.0, 50.0));
        QCOMPARE(C::defaultSpan(std::nullopt, std::nullopt, {5.0, 40.0}, 0.0, 60.0),
                 std::make_pair(0.0, 15.0));
        QCOMPARE(C::defaultSpan(std::nullopt, std::nullopt, {}, 12.0, 60.0), std::make_pair(0.0, 60.0));
    }

    void marksDrawABandAndAnOutBeforeTheInDropsIt() {
        QSlider slider(Qt::Horizontal);
        slider.resize(400, 20);
        auto* marks = new TKSliderMarks(&slider);
        ORBClipExportController c({marks}, nullptr, nullptr);
        c.setIn(15.0, 60.0);
        c.setOut(45.0, 60.0);
        QCOMPARE(c.inMark(), std::optional<double>(15.0));
        QCOMPARE(c.outMark(), std::optional<double>(45.0));
        c.setOut(10.0, 60.0); // before the in mark: the in mark goes
        QVERIFY(!c.inMark());
        QCOMPARE(c.outMark(), std::optional<double>(10.0));
        c.clearMarks();
        QVERIFY(!c.inMark() && !c.outMark());
        // The band is drawn over the groove between the marks.
        c.setIn(15.0, 60.0);
        c.setOut(45.0, 60.0);
        slider.show();
        const QImage shot = slider.grab().toImage();
        const int y = shot.height() / 2 - 4;
        const QColor inside = shot.pixelColor(int(marks->xOf(0.5)), y);
        const QColor outside = shot.pixelColor(int(marks->xOf(0.05)), y);
        QVERIFY2(inside != outside, "the span is tinted");
    }

    // In a folder whose name is not UTF-8: the recording and the clip are named by their own bytes.
    void losslessExportOffersTheFolder() {
        QTemporaryDir card;
        const std::string folder = QFile::encodeName(card.path()).toStdString() + "/DCIM\xff";
        QCOMPARE(::mkdir(folder.c_str(), 0700), 0);
        const auto removal = qScopeGuard([&] { std::filesystem::remove_all(folder); }); // beyond Qt's removal
        const auto exists = [](const QString& path) {
            return ::access(nura::pathBytes(path).c_str(), F_OK) == 0;
        };
        const QString input = nura::pathText(folder + "/alwa_20230115_083000_F.MP4");
        const auto records = samples::DriveScript().records(0, 6);
        const auto mp4 = samples::buildCameraMp4(samples::placeholderVideo(64, 36, 30, 180), records);
        QVERIFY(samples::writeFile(nura::pathBytes(input), mp4.bytes));
        QLabel status;
        ORBClipExportController c({}, nullptr, &status);
        QSignalSpy finished(&c, &ORBClipExportController::exportFinished);
        ORBClipRequest r;
        r.input = input;
        r.output = nura::pathText(folder + "/event_20230115_083002_F.MP4");
        r.start = 2.5;
        r.end = 4.0;
        r.lossless = true;
        c.run(r);
        QVERIFY(c.isRunning());
        QVERIFY(finished.wait(10000));
        QCOMPARE(finished.at(0).at(0).toString(), r.output);
        QVERIFY(exists(r.output));
        QVERIFY(status.text().contains(QStringLiteral("href=\"file://")));
        // A failure names itself and writes nothing.
        r.output = nura::pathText(folder + "/bad.MP4");
        r.start = 30;
        r.end = 40;
        c.run(r);
        QVERIFY(finished.wait(10000));
        QVERIFY(finished.at(1).at(0).toString().isEmpty());
        QVERIFY(!exists(r.output));
        QVERIFY(status.text().contains(QStringLiteral("past the end")));
    }
};

QTEST_MAIN(ClipExportTest)
#include "ClipExportTest.moc"
