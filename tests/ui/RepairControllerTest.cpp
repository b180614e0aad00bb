// SPDX-License-Identifier: GPL-3.0-or-later
// Recordings cut short, in the viewer: the tooltip, "Repair…" for both files of a recording, and another
// folder when the card cannot take the repaired files. The trial decode is faked; the repair is real.

#include "DriveScript.h"
#include "H264Encoder.h"
#include "SampleRecording.h"
#include "UiTestSupport.h"
#include "core/media/ORBMediaList.h"
#include "ui/app/ORBRecordingsModel.h"
#include "ui/app/ORBRepairController.h"

#include <QFile>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

class RepairControllerTest : public QObject {
    Q_OBJECT

    // A recording pair at 08:31 cut 3 kB into its media data, and a whole pair at 08:30 as reference, in
    // the folder whose name's bytes are `dir`.
    void writeCard(const std::string& dir) {
        static const auto video = samples::encodeTestPattern({64, 48, 30, 1, "testsrc2"}, nullptr);
        QVERIFY(video.has_value());
        const auto records = samples::DriveScript().records(0, 1);
        for (const char* name : {"alwa_20230115_083000_F.MP4", "alwa_20230115_083000_R.MP4",
                                 "alwa_20230115_083100_F.MP4", "alwa_20230115_083100_R.MP4"}) {
            QVERIFY(samples::writeCameraMp4(dir + "/" + name, *video, records));
        }
        for (const char* name : {"alwa_20230115_083100_F.MP4", "alwa_20230115_083100_R.MP4"}) {
            QCOMPARE(::truncate((dir + "/" + name).c_str(), 32 + 3000), 0);
        }
    }
    void writeCard(const QString& dir) { writeCard(QFile::encodeName(dir).toStdString()); }

    std::unique_ptr<ORBRepairController> make() {
        ORBRepairServices s;
        s.chooseFolder = [this](QWidget*, const QString& prompt, const QString&) {
            m_prompts << prompt;
            return m_folder;
        };
        s.showMessage = [this](QWidget*, const QString& message) { m_messages << message; };
        s.trialDecode = [](const std::string&) { return nura::TrialDecode::Decodes; };
        return std::make_unique<ORBRepairController>(s, nullptr);
    }

    int row(const ORBMediaList& list, const QString& name) {
        for (size_t i = 0; i < list.count(); ++i) {
            if (QString::fromStdString(list.mediaAtIndex(i)->fileName()) == name) {
                return static_cast<int>(i);
            }
        }
        return -1;
    }

private slots:
    void tooltipSaysCutShortAndRepairTakesBothFiles() {
        QTemporaryDir card;
        writeCard(card.path());
        ORBMediaList list;
        list.scanNow(card.path().toStdString());
        auto repair = make();
        ORBRecordingsModel model(list);
        model.reload();
        model.setCutShortTest([&](const std::string& p) { return repair->isCutShort(p); });
        const auto tip = [&](const QString& name) {
            return model.data(model.index(row(list, name), ORBRecordingsModel::File), Qt::ToolTipRole)
                .toString();
        };
        // What a cut file's tooltip and failed play say is the main window's test; a whole file says nothing.
        QVERIFY(!tip("alwa_20230115_083000_F.MP4").contains("cut short"));
        QVERIFY(repair->playFailureText(card.filePath("alwa_20230115_083000_F.MP4").toStdString()).isEmpty());

        QSignalSpy finished(repair.get(), &ORBRepairController::repairFinished);
        repair->repairRecording(list, static_cast<size_t>(row(list, "alwa_20230115_083100_R.MP4")));
        QVERIFY(finished.wait(20000));
        const auto written = finished.at(0).at(0).toStringList();
        QCOMPARE(written.size(), 2);
        QVERIFY(m_messages.isEmpty());
        QVERIFY(QFile::exists(card.filePath("repaired/alwa_20230115_083100_F.MP4")));
        QVERIFY(QFile::exists(card.filePath("repaired/alwa_20230115_083100_R.MP4")));
    }

    void cardThatCannotTakeTheFilesAsksForAFolder() {
        QTemporaryDir card, elsewhere;
        writeCard(card.path());
        // A file where the repaired folder would go: the card cannot take the repaired files.
        uitest::writeFile(card.filePath("repaired"), "in the way");
        ORBMediaList list;
        list.scanNow(card.path().toStdString());
        auto repair = make();
        m_folder = elsewhere.path();
        QSignalSpy finished(repair.get(), &ORBRepairController::repairFinished);
        repair->repairRecording(list, static_cast<size_t>(row(list, "alwa_20230115_083100_F.MP4")));
        QVERIFY(finished.wait(20000));
        QCOMPARE(m_prompts.size(), 1);
        QCOMPARE(finished.at(0).at(0).toStringList().size(), 2);
        QVERIFY(QFile::exists(elsewhere.filePath("alwa_20230115_083100_F.MP4")));
        QVERIFY(QFile::exists(elsewhere.filePath("alwa_20230115_083100_R.MP4")));
        QCOMPARE(uitest::readFile(card.filePath("repaired")), QByteArray("in the way"));

        // Cancelled: nothing is written and the user hears why.
        m_folder.clear();
        m_prompts.clear();
        QFile::remove(elsewhere.filePath("alwa_20230115_083100_F.MP4"));
        repair->repair({card.filePath("alwa_20230115_083100_F.MP4")});
        QVERIFY(finished.wait(20000));
        QCOMPARE(m_prompts.size(), 1);
        QVERIFY(finished.at(1).at(0).toStringList().isEmpty());
        QCOMPARE(m_messages.size(), 1);

        // A whole recording: nothing to repair, said at once.
        repair->repair({card.filePath("alwa_20230115_083000_F.MP4")});
        QCOMPARE(m_messages.size(), 2);
    }

    // A card folder whose name is not UTF-8: the cut files are found and repaired by their own names.
    void aFolderNameThatIsNotUtf8IsRepairedInPlace() {
        m_messages.clear();
        QTemporaryDir card;
        const std::string folder = QFile::encodeName(card.path()).toStdString() + "/DCIM\xff";
        QCOMPARE(::mkdir(folder.c_str(), 0700), 0);
        // Qt's own removal cannot name what is in it.
        const auto removal = qScopeGuard([&] { std::filesystem::remove_all(folder); });
        writeCard(folder);
        ORBMediaList list;
        list.scanNow(folder);
        auto repair = make();
        QSignalSpy finished(repair.get(), &ORBRepairController::repairFinished);
        repair->repairRecording(list, static_cast<size_t>(row(list, "alwa_20230115_083100_F.MP4")));
        QVERIFY(finished.wait(20000));
        QVERIFY2(m_messages.isEmpty(), qPrintable(m_messages.join('\n')));
        QCOMPARE(finished.at(0).at(0).toStringList().size(), 2);
        for (const char* side : {"F", "R"}) {
            const std::string repaired = folder + "/repaired/alwa_20230115_083100_" + side + ".MP4";
            QVERIFY2(::access(repaired.c_str(), F_OK) == 0, side);
        }
    }

private:
    QString m_folder;
    QStringList m_prompts, m_messages;
};

QTEST_MAIN(RepairControllerTest)
#include "RepairControllerTest.moc"
