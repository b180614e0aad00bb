// SPDX-License-Identifier: GPL-3.0-or-later
// "Export Trip…": the selected recording's trip written off the UI thread, with fake dialogs.

#include "DriveScript.h"
#include "SampleRecording.h"
#include "UiTestSupport.h"
#include "core/media/ORBMediaList.h"
#include "ui/app/ORBTripExportController.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QWidget>
#include <QtTest>

namespace {

// A recording of `seconds` of the scripted drive, which starts at 08:30:00 (fixes from 08:30:03 on).
void writeRecording(const QString& path, int startSecond, int seconds) {
    const auto records = samples::DriveScript().records(startSecond, seconds);
    const auto mp4 =
        samples::buildCameraMp4(samples::placeholderVideo(64, 36, 30, size_t(seconds) * 30), records);
    QVERIFY(samples::writeFile(path.toStdString(), mp4.bytes));
}

} // namespace

class TripExportTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        QVERIFY(m_dir.isValid());
        // Two drives: 08:30:00 to 08:30:20 (two recordings), and one 20 minutes later.
        writeRecording(m_dir.filePath("alwa_20230115_083000_F.MP4"), 0, 10);
        writeRecording(m_dir.filePath("alwa_20230115_083010_R.MP4"), 10, 10);
        writeRecording(m_dir.filePath("alwa_20230115_085000_F.MP4"), 1200, 5);
        writeRecording(m_dir.filePath("alwa_20230115_083000_R.MP4"), 0, 2); // no fix yet
        m_list.scanNow(m_dir.path().toStdString());
        m_errors.clear();
    }

    void writesOnlyTheSelectedRecordingsTrip() {
        const QString target = m_dir.filePath("trip.geojson");
        auto controller = make(target);
        QSignalSpy finished(controller.get(), &ORBTripExportController::exportFinished);
        controller->exportTrip(media("alwa_20230115_083000_R.MP4"), m_list.medias(), m_list.mediaPairDic());
        QVERIFY(finished.wait(10000));
        QVERIFY(m_errors.isEmpty());
        QFile file(target);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const auto features = QJsonDocument::fromJson(file.readAll()).object().value("features").toArray();
        QCOMPARE(features.size(), 1);
        const auto properties = features.at(0).toObject().value("properties").toObject();
        // The trip's text itself is the trip command's test.
        QCOMPARE(properties.value("recordings").toArray(),
                 QJsonArray({"alwa_20230115_083000_F.MP4", "alwa_20230115_083010_R.MP4"}));
    }

    void failuresSayWhyAndKeepTheOldFile() {
        const QString old = m_dir.filePath("old.csv");
        uitest::writeFile(old, "kept");
        writeRecording(m_dir.filePath("alwa_20230115_090000_F.MP4"), 0, 2); // before the first fix
        m_list.scanNow(m_dir.path().toStdString());
        const struct {
            QString target;
            const char* recording;
            const char* why;
        } failures[] = {
            {old, "alwa_20230115_090000_F.MP4", "no GPS fix"},
            {m_dir.filePath("missing/folder/trip.gpx"), "alwa_20230115_085000_F.MP4", "cannot be written"}};
        for (const auto& f : failures) {
            auto controller = make(f.target);
            QSignalSpy finished(controller.get(), &ORBTripExportController::exportFinished);
            controller->exportTrip(media(f.recording), m_list.medias(), m_list.mediaPairDic());
            QVERIFY(finished.wait(10000));
            QVERIFY2(!m_errors.isEmpty() && m_errors.last().contains(f.why), f.why);
        }
        QCOMPARE(m_errors.size(), 2);
        QCOMPARE(uitest::readFile(old), QByteArray("kept"));
    }

private:
    std::unique_ptr<ORBTripExportController> make(const QString& target) {
        ORBTripExportServices services;
        services.chooseSavePath = [target](QWidget*, const QString&) { return target; };
        services.showError = [this](QWidget*, const QString& message) { m_errors.append(message); };
        return std::make_unique<ORBTripExportController>(services, &m_window);
    }
    ORBMediaList::MediaPtr media(const QString& name) {
        for (const auto& m : m_list.medias()) {
            if (QString::fromStdString(m->fileName()) == name) {
                return m;
            }
        }
        return nullptr;
    }

    QTemporaryDir m_dir;
    ORBMediaList m_list;
    QWidget m_window;
    QStringList m_errors;
};

QTEST_MAIN(TripExportTest)
#include "TripExportTest.moc"
