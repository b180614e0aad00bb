// SPDX-License-Identifier: GPL-3.0-or-later
// The Drives table: rows at once from the names, then the drives the files' headers make.
#include "ui/views/ORBDrivesTableModel.h"

#include "DriveScript.h"
#include "SampleRecording.h"
#include "UiTestSupport.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

namespace {

QByteArray box(const char* type, const QByteArray& payload) {
    QByteArray b;
    const quint32 size = static_cast<quint32>(8 + payload.size());
    b.append(char(size >> 24)).append(char(size >> 16)).append(char(size >> 8)).append(char(size));
    return b.append(type, 4).append(payload);
}

QByteArray u32(quint32 v) {
    QByteArray b;
    return b.append(char(v >> 24)).append(char(v >> 16)).append(char(v >> 8)).append(char(v));
}

// A recording's top-level boxes with a movie header of `ms` milliseconds; none: cut short.
QByteArray recording(std::optional<int> ms) {
    QByteArray file = box("ftyp", "avc1" + u32(0) + "avc1isom") + box("mdat", QByteArray(64, '\x11'));
    if (ms) {
        file += box("moov", box("mvhd", u32(0) + u32(0) + u32(0) + u32(1000) + u32(quint32(*ms)) +
                                            QByteArray(80, 0)));
    }
    return file;
}

} // namespace

class DrivesTableModelTest : public QObject {
    Q_OBJECT
private slots:
    void rowsFromNamesThenFromTheHeaders() {
        QTemporaryDir card;
        QVERIFY(card.isValid());
        // By their names the first two seem one drive; the first lasts 10 s, so six minutes lie between.
        uitest::writeFile(card.filePath("alwa_20230115_083000_F.MP4"), recording(10000));
        uitest::writeFile(card.filePath("alwa_20230115_083000_R.MP4"), recording(9500));
        uitest::writeFile(card.filePath("alwa_20230115_083610_F.MP4"), recording(60000));
        uitest::writeFile(card.filePath("alwa_20230115_083710_F.MP4"), recording(std::nullopt)); // a gap
        uitest::writeFile(card.filePath("alwa_20230115_083800_R.MP4"), recording(30000));

        ORBDrivesTableModel model;
        QSignalSpy complete(&model, &ORBDrivesTableModel::lengthsComplete);
        QSignalSpy summaries(&model, &ORBDrivesTableModel::summariesComplete);
        model.setContents(ORBMediaList::scanDirectory(card.path().toStdString()));
        QCOMPARE(model.rowCount(), 1);
        QCOMPARE(model.index(0, ORBDrivesTableModel::RecordingsColumn).data().toInt(), 4);
        model.showRows(0, 0);

        QVERIFY(complete.wait(10000));
        QVERIFY(model.lengthsRead());
        QCOMPARE(model.rowCount(), 2);
        const auto cell = [&](int row, int column) { return model.index(row, column).data().toString(); };
        QCOMPARE(cell(0, ORBDrivesTableModel::DateColumn), QStringLiteral("2023-01-15"));
        QCOMPARE(cell(0, ORBDrivesTableModel::EndColumn), QStringLiteral("08:30:10"));
        QCOMPARE(cell(1, ORBDrivesTableModel::StartColumn), QStringLiteral("08:36:10"));
        QCOMPARE(cell(1, ORBDrivesTableModel::EndColumn), QStringLiteral("08:38:30"));
        QCOMPARE(cell(1, ORBDrivesTableModel::DurationColumn), QStringLiteral("1:30"));
        QCOMPARE(cell(1, ORBDrivesTableModel::RecordingsColumn), QStringLiteral("2"));
        QCOMPARE(model.driveAt(1)->withoutLength().size(), size_t{1});

        // These files carry no telemetry: nothing driven.
        QVERIFY(summaries.count() > 0 || summaries.wait(10000));
        QCOMPARE(cell(1, ORBDrivesTableModel::DistanceColumn), QStringLiteral("0.00 km"));

        // Another folder: the rows go at once, and nothing of the old listing arrives later.
        model.setContents(ORBMediaList::scanDirectory(card.path().toStdString()));
        model.clear();
        QCOMPARE(model.rowCount(), 0);
        QTest::qWait(2 * ORBDrivesTableModel::kRebuildDelayMs);
        QCOMPARE(model.rowCount(), 0);
    }

    // Distance and events as the command line's drive list sums them, from the scripted drive's
    // telemetry (an impact 47 s in, in the third recording).
    void distanceAndEventsFromTheTelemetry() {
        QTemporaryDir card;
        QVERIFY(card.isValid());
        const samples::DriveScript drive;
        for (int i = 0; i < 3; ++i) {
            const auto name = QStringLiteral("alwa_20230115_0830%1_F.MP4").arg(i * 20, 2, 10, QChar('0'));
            QVERIFY(samples::writeCameraMp4(card.filePath(name).toStdString(),
                                            samples::placeholderVideo(64, 48, 30, 600),
                                            drive.records(i * 20.0, 20)));
        }
        const auto contents = ORBMediaList::scanDirectory(card.path().toStdString());
        ORBDrivesTableModel model;
        QSignalSpy summaries(&model, &ORBDrivesTableModel::summariesComplete);
        model.setContents(contents);
        QVERIFY(summaries.wait(20000));
        QCOMPARE(model.rowCount(), 1);

        auto recordings = nura::driveRecordings(contents);
        nura::DriveListingProblems problems;
        const auto expected = nura::DriveListing::read(recordings, 1, problems);
        QCOMPARE(expected.size(), size_t{1});
        QVERIFY(expected[0].distanceMetres > 100);
        QCOMPARE(model.index(0, ORBDrivesTableModel::DistanceColumn).data().toString(),
                 QStringLiteral("%1 km").arg(std::round(expected[0].distanceMetres) / 1000, 0, 'f', 2));
        QCOMPARE(model.index(0, ORBDrivesTableModel::EventsColumn).data().toInt(), 1);
    }
};

QTEST_MAIN(DrivesTableModelTest)
#include "DrivesTableModelTest.moc"
