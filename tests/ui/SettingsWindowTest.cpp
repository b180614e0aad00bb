// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/settings/FileDataRules.h"
#include "platform/FakeVolumeService.h"
#include "platform/Scheduler.h"
#include "ui/app/CustomWindow.h"
#include "ui/app/ORBAppDelegate.h"
#include "ui/card/ORBFormatWindowController.h"
#include "ui/driverecords/ORBSettingForFlashDataViewController.h"
#include "ui/settings/ORBCarNumberTextField.h"
#include "ui/settings/ORBSettingController.h"
#include "ui/settings/ORBSettingForAudioViewController.h"
#include "ui/settings/ORBSettingForBasicViewController.h"
#include "ui/settings/ORBSettingForVideoViewController.h"
#include "ui/settings/TKRadioMatrix.h"
#include "ui/settings/TKSegmentedControl.h"

#include "UiTestSupport.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>
#include <deque>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/file.h>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace nura;
using uitest::lastAlertText;
using uitest::readFile;
using uitest::takeAlerts;
using uitest::usbVolume;
using uitest::writeFile;

namespace {

// Holds every background task until the test lets it run; a task whose window has gone is dropped.
struct HeldExecutor {
    ManualScheduler held;
    BackgroundExecutor executor() {
        return [this](QObject* window, std::function<void()> work, std::function<void()> done) {
            held.after(0, window, [work, done] {
                work();
                done();
            });
        };
    }
    void runAll() { held.advance(0); }
};

// A record written as the camera would: defaults with a few fields of its own, sealed.
QByteArray cardRecord() {
    _FILEDATA d{};
    SetDefaultFileData(d);
    d.vid_enc_bitrate = 2;
    d.Brightness1 = 7;
    d.time_gmt = 20;
    SealFileData(d);
    return QByteArray(reinterpret_cast<const char*>(&d), sizeof d);
}

} // namespace

class SettingsWindowTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_card;
    FakeVolumeService m_volumes;
    ManualScheduler m_scheduler;
    HeldExecutor m_executor;
    QString m_savePanelDirectory;
    QString m_savePanelAnswer;
    QStringList m_questions; // asked before a save, answered with m_answer
    bool m_answer = false;

    // A window opened on a card holding `record`, its read finished.
    std::unique_ptr<ORBSettingController> openOnCard(const QByteArray& record) {
        writeFile(m_card.filePath("config.bin"), record);
        return opened(makeWindow());
    }
    std::unique_ptr<ORBSettingController> opened(ORBSettingController* window) {
        window->open();
        m_executor.runAll();
        return std::unique_ptr<ORBSettingController>(window);
    }

    ORBSettingServices services() {
        ORBSettingServices s;
        s.volumes = &m_volumes;
        s.runInBackground = m_executor.executor();
        s.scheduler = &m_scheduler;
        s.documentsDirectory = "/home/user/Documents";
        s.chooseSavePath = [this](QWidget*, const QString& directory) {
            m_savePanelDirectory = directory;
            return m_savePanelAnswer;
        };
        s.confirm = [this](QWidget*, const QString&, const QString& text) {
            m_questions << text;
            return m_answer;
        };
        return s;
    }

    ORBSettingController* makeWindow(std::optional<std::string> file = std::nullopt) {
        return makeWindowWith(services(), std::move(file));
    }
    ORBSettingController* makeWindowWith(ORBSettingServices s,
                                         std::optional<std::string> file = std::nullopt) {
        auto* window = new ORBSettingController(std::move(s), nullptr, std::move(file));
        window->setAttribute(Qt::WA_DeleteOnClose, false);
        return window;
    }

private slots:
    void init() {
        QVERIFY(m_card.isValid());
        QFile::remove(m_card.filePath("config.bin"));
        m_volumes.setVolumes({usbVolume(m_card.path(), "NURA")});
        m_volumes.setRenameError({});
        m_executor.runAll(); // what a test left held, its window gone
        m_savePanelDirectory.clear();
        m_questions.clear();
        m_answer = false;
    }

    void recordIsShownOnlyAfterTheRead() {
        writeFile(m_card.filePath("config.bin"), cardRecord());
        std::unique_ptr<ORBSettingController> window(makeWindow());
        window->open();
        QVERIFY(window->isLoading());
        QVERIFY(!window->saveButton()->isEnabled());

        // The sheet gives up after 15 seconds; the record stays out of reach until the read is in.
        m_scheduler.advance(15.5);
        QVERIFY(!window->progressPanel()->isVisible());
        window->onSave();
        window->onSaveDefaultSetting();
        window->changeViewController(ORBSettingController::Basic);
        QVERIFY(!window->targetController());
        QCOMPARE(readFile(m_card.filePath("config.bin")), cardRecord());

        m_executor.runAll();
        auto* video = qobject_cast<ORBSettingForVideoViewController*>(window->targetController());
        QVERIFY(video);
        QCOMPARE(video->videoEncodingBitrate->selectedSegment(), 2);
        QVERIFY(window->windowTitle().endsWith(" : " + m_card.filePath("config.bin")));
        QCOMPARE(window->filedata()->time_gmt, 20); // the card's zone, not the computer's
    }

    void invalidThresholdKeepsTheTab() {
        std::unique_ptr<ORBSettingController> window = openOnCard(cardRecord());
        window->changeViewController(ORBSettingController::Basic);
        auto* basic = qobject_cast<ORBSettingForBasicViewController*>(window->targetController());
        QVERIFY(basic);

        basic->gsensorSensitivityDrivingSeg->findChildren<QAbstractButton*>().at(5)->click();
        basic->drivingFields[1]->setText("2.0");
        window->changeViewController(ORBSettingController::Audio);
        QCOMPARE(window->targetController(), basic);
        QCOMPARE(window->functionSegmentedControl()->selectedSegment(), int(ORBSettingController::Basic));
        QCOMPARE(takeAlerts(*window), 1);
        window->onSave();
        QCOMPARE(takeAlerts(*window), 1);
        QCOMPARE(readFile(m_card.filePath("config.bin")), cardRecord());
    }

    void resetOnAudioKeepsTheLanguage() {
        std::unique_ptr<ORBSettingController> window = openOnCard(cardRecord());
        window->changeViewController(ORBSettingController::Audio);
        auto* audio = qobject_cast<ORBSettingForAudioViewController*>(window->targetController());
        QVERIFY(audio);
        audio->micSeg->setSelectedSegment(0);
        window->onSaveDefaultSetting();
        QCOMPARE(audio->voiceLangRadio->selectedCell(), 7);
        QCOMPARE(audio->micSeg->selectedSegment(), 3);
        QCOMPARE(readFile(m_card.filePath("config.bin")), cardRecord()); // nothing written
    }

    void saveWritesTheCardOrAsksWhere() {
        std::unique_ptr<ORBSettingController> window = openOnCard(cardRecord());
        QSignalSpy saved(window.get(), &ORBSettingController::saved);
        window->changeViewController(ORBSettingController::Basic);
        auto* basic = qobject_cast<ORBSettingForBasicViewController*>(window->targetController());
        basic->carNumberField->setText("");
        window->onSave();
        QCOMPARE(saved.size(), 1);
        const QByteArray written = readFile(m_card.filePath("config.bin"));
        QCOMPARE(written.mid(256, 8),
                 QByteArray(8, '\0')); // the car number's field, pinned by the core tests
        _FILEDATA d;
        std::memcpy(&d, written.constData(), sizeof d);
        QVERIFY(FileDataChecksumMatches(d));
        takeAlerts(*window);

        // No card at all: the save panel, in Documents.
        m_volumes.setVolumes({});
        QTemporaryDir elsewhere;
        m_savePanelAnswer = elsewhere.filePath("config.bin");
        std::unique_ptr<ORBSettingController> lonely = opened(makeWindow());
        QVERIFY(!lonely->settingFilePath());
        lonely->onSave();
        QCOMPARE(m_savePanelDirectory, QString("/home/user/Documents"));
        QCOMPARE(readFile(m_savePanelAnswer).size(), 500);
        takeAlerts(*lonely);
    }

    // A card's record taken through every tab and saved without an edit comes back byte for byte.
    void everyTabAndSaveLeavesTheFileAsItWas() {
        std::unique_ptr<ORBSettingController> window = openOnCard(cardRecord());
        for (int tab = ORBSettingController::TabCount - 1; tab >= 0; --tab) {
            window->changeViewController(tab);
        }
        window->onSave();
        QCOMPARE(takeAlerts(*window), 1);
        QCOMPARE(readFile(m_card.filePath("config.bin")), cardRecord());
    }

    // A card the service cannot relabel is still read; a file that cannot be written keeps the window open
    // with the user's edits.
    void renameAndWriteFailures() {
        writeFile(m_card.filePath("config.bin"), cardRecord());
        m_volumes.setVolumes({usbVolume(m_card.path(), "CARD")});
        m_volumes.setRenameError("not authorized");
        std::unique_ptr<ORBSettingController> window = opened(makeWindow());
        QSignalSpy saved(window.get(), &ORBSettingController::saved);
        QCOMPARE(window->settingFilePath().value_or(""), m_card.filePath("config.bin"));

        QVERIFY(QFile::remove(m_card.filePath("config.bin")));
        QVERIFY(QDir(m_card.path()).mkdir("config.bin")); // a folder where the file was: no write
        m_volumes.setVolumes({});
        m_savePanelAnswer = m_card.filePath("config.bin");
        window->onSave();
        QCOMPARE(saved.size(), 0);
        // Not "write-protected or full": a folder is in the file's place.
        QVERIFY(lastAlertText(*window).contains("is a folder"));
        QCOMPARE(takeAlerts(*window), 1);
        QVERIFY(window->isVisible());
        QCOMPARE(window->filedata()->vid_enc_bitrate, 2u);
        QVERIFY(QDir(m_card.path()).rmdir("config.bin"));
    }

    // The last tab shows the card's drive records and keeps them across tab switches.
    void driveRecordTabReadsTheCardsFile() {
        writeFile(m_card.filePath("config.bin"), cardRecord());
        QVERIFY(QDir(m_card.path()).mkpath("DrvInfo"));
        QByteArray drv(12 + 2 * 44, '\0');
        drv[0] = 2;
        writeFile(m_card.filePath("DrvInfo/nura_000.drv"), drv);
        std::unique_ptr<ORBSettingController> window = opened(makeWindow());
        window->changeViewController(ORBSettingController::Info);
        auto* viewer = qobject_cast<ORBSettingForFlashDataViewController*>(window->targetController());
        QVERIFY(viewer);
        QCOMPARE(viewer->flashDataFilePath(), m_card.filePath("DrvInfo/nura_000.drv"));
        QTRY_COMPARE(viewer->tableView->model()->rowCount(), 2);
        window->changeViewController(ORBSettingController::Audio);
        QVERIFY(!viewer->isVisible());
        window->changeViewController(ORBSettingController::Info);
        QCOMPARE(window->targetController(), viewer);
        QCOMPARE(viewer->tableView->model()->rowCount(), 2);
    }

    // The format button opens the format window, once the card is read.
    void formatButtonOpensTheFormatWindow() {
        ORBSettingServices s = services();
        s.cardTools = [this] {
            CardToolServices tools;
            tools.volumes = &m_volumes;
            return tools;
        };
        std::unique_ptr<ORBSettingController> window(makeWindowWith(std::move(s)));
        window->open();
        QVERIFY(!window->formatButton()->isEnabled()); // not while the card is read
        m_executor.runAll();
        QVERIFY(window->formatButton()->isEnabled());
        window->formatButton()->click();
        auto* format = qobject_cast<ORBFormatWindowController*>(window->lastDialogController());
        QVERIFY(format);
        QCOMPARE(format->windowModality(), Qt::WindowModal); // the settings window cannot close under it
        QTRY_VERIFY(!format->isBusy());
        format->close();
        QTRY_VERIFY(!window->lastDialogController());
    }

    // A file that is not a 500-byte record is replaced only when the user says so, naming its size.
    void oddSizedFileIsReplacedOnlyWhenTheUserSaysSo() {
        std::unique_ptr<ORBSettingController> window = openOnCard(cardRecord().left(499));
        window->onSave();
        QCOMPARE(m_questions.size(), 1);
        QVERIFY2(m_questions[0].contains("499 bytes"), qPrintable(m_questions[0]));
        QCOMPARE(readFile(m_card.filePath("config.bin")).size(), 499);
        m_answer = true;
        window->onSave();
        QCOMPARE(readFile(m_card.filePath("config.bin")).size(), 500);
        takeAlerts(*window);
    }

    // A 500-byte record that cannot be read is said; the defaults shown instead do not carry its name, and
    // a save asks before replacing it.
    void unreadableRecordIsSaidAndNotReplacedUnasked() {
        // A card folder that anyone may enter, in /tmp itself: the read below is made as nobody.
        QTemporaryDir card(QStringLiteral("/tmp/nura-unread-XXXXXX"));
        QFile::setPermissions(card.path(), QFile::permissions(card.path()) | QFile::ExeGroup |
                                               QFile::ReadGroup | QFile::ExeOther | QFile::ReadOther);
        m_volumes.setVolumes({usbVolume(card.path(), "NURA")});
        const QString file = card.filePath("config.bin");
        writeFile(file, cardRecord());
        QFile::setPermissions(file, QFile::WriteOwner);
        std::unique_ptr<ORBSettingController> window(makeWindow());
        window->open();
        // Root reads any file: the read is made with nobody's file-system rights.
        const bool root = ::geteuid() == 0;
        if (root) {
            ::setfsuid(65534);
        }
        m_executor.runAll();
        if (root) {
            ::setfsuid(0);
        }
        QVERIFY(!window->settingFilePath());
        QVERIFY(!window->windowTitle().contains("config.bin"));
        QCOMPARE(takeAlerts(*window), 1);
        window->onSave();
        QCOMPARE(m_questions.size(), 1);
        QVERIFY(m_questions[0].contains(file));
        QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
        QCOMPARE(readFile(file), cardRecord());
    }

    // The card the settings came from is gone and another stands in its place: the save names it and asks.
    void saveToAnotherCardAsks() {
        std::unique_ptr<ORBSettingController> window = openOnCard(cardRecord());
        QTemporaryDir other;
        QVERIFY(QFile::remove(m_card.filePath("config.bin")));
        VolumeDescription stick = usbVolume(other.path(), "NURA", "/dev/sdy1");
        m_volumes.setVolumes({stick});
        window->onSave();
        QCOMPARE(m_questions.size(), 1);
        QVERIFY2(m_questions[0].contains(other.filePath("config.bin")), qPrintable(m_questions[0]));
        QVERIFY(!QFile::exists(other.filePath("config.bin")));
    }

    // Card A's settings are open when card B, also labelled NURA, takes its place at the same mount point:
    // Save names what changed and asks, and refused, leaves B's file byte for byte. A file changed while
    // the window was open is asked about the same way.
    void saveOverAnotherCardOrAChangedFileAsks() {
        bool lockedWhileAsking = false;
        ORBSettingServices s = services();
        s.confirm = [&](QWidget*, const QString&, const QString& text) {
            m_questions << text;
            // The user may take long to answer: a `nura config set` meanwhile must not wait for that.
            const int fd = ::open(QFile::encodeName(m_card.filePath("config.bin")).constData(), O_RDONLY);
            lockedWhileAsking = lockedWhileAsking || ::flock(fd, LOCK_EX | LOCK_NB) != 0;
            ::close(fd);
            return m_answer;
        };
        VolumeDescription cardA = usbVolume(m_card.path(), "NURA");
        cardA.uuid = "1A2B-3C4D";
        m_volumes.setVolumes({cardA});
        writeFile(m_card.filePath("config.bin"), cardRecord());
        std::unique_ptr<ORBSettingController> window = opened(makeWindowWith(s));
        takeAlerts(*window);

        VolumeDescription cardB = cardA;
        cardB.uuid = "5E6F-7A8B";
        m_volumes.setVolumes({cardB});
        QByteArray recordB = cardRecord();
        recordB.replace(256, 8, "99ZZ9999"); // card B's car number
        writeFile(m_card.filePath("config.bin"), recordB);
        window->onSave();
        QCOMPARE(m_questions.size(), 1);
        QVERIFY2(m_questions[0].contains("another card") && m_questions[0].contains("5E6F-7A8B") &&
                     m_questions[0].contains("1A2B-3C4D") && m_questions[0].contains("file was changed"),
                 qPrintable(m_questions[0]));
        QCOMPARE(readFile(m_card.filePath("config.bin")), recordB);
        QCOMPARE(takeAlerts(*window), 0);

        // Card A back, its file edited meanwhile: only the edit is named; agreed to, the save goes ahead.
        m_volumes.setVolumes({cardA});
        QByteArray edited = cardRecord();
        edited[68] = 9;
        writeFile(m_card.filePath("config.bin"), edited);
        m_answer = true;
        window->onSave();
        QCOMPARE(m_questions.size(), 2);
        QVERIFY2(!m_questions[1].contains("another card") && m_questions[1].contains("file was changed"),
                 qPrintable(m_questions[1]));
        QCOMPARE(readFile(m_card.filePath("config.bin")),
                 QByteArray(reinterpret_cast<const char*>(window->filedata()), 500));
        QVERIFY(!lockedWhileAsking);
        takeAlerts(*window);
    }

    // A settings file given by name, here by bytes that are not UTF-8: no card is searched or renamed, the
    // file is read and saved under that very name; one that cannot be read is said at open, with the reason.
    void aFileGivenByNameIsKeptByItsBytes() {
        QTemporaryDir dir;
        const std::string folder = QFile::encodeName(dir.path()).toStdString();
        const std::string name = folder + "/lat\xe9.bin";
        {
            std::ofstream out(name, std::ios::binary);
            out << cardRecord().toStdString();
        }
        m_volumes.setVolumes({usbVolume(m_card.path(), "CARD")});
        const auto renamesBefore = m_volumes.renames().size();
        std::unique_ptr<ORBSettingController> window = opened(makeWindow(name));
        QCOMPARE(takeAlerts(*window), 0);
        QVERIFY(window->settingFilePath());
        QCOMPARE(m_volumes.renames().size(), renamesBefore);
        QCOMPARE(window->filedata()->vid_enc_bitrate, 2u);
        auto* video = qobject_cast<ORBSettingForVideoViewController*>(window->targetController());
        video->videoBrightness->findChildren<QAbstractButton*>().at(4)->click();
        window->onSave();
        takeAlerts(*window);
        std::ifstream in(name, std::ios::binary);
        const std::string written((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        QCOMPARE(static_cast<int>(written.at(68)), 4);
        const auto entries = std::filesystem::directory_iterator(folder);
        QCOMPARE(std::distance(std::filesystem::begin(entries), std::filesystem::end(entries)),
                 1); // no other name

        // A FIFO would hold the read for good: refused at open, saying what it is.
        const std::string fifo = folder + "/fifo\xe9.bin";
        QCOMPARE(::mkfifo(fifo.c_str(), 0600), 0);
        window = opened(makeWindow(fifo));
        QVERIFY2(lastAlertText(*window).contains("it is a FIFO"), qPrintable(lastAlertText(*window)));
        takeAlerts(*window);
    }

    // Ctrl+, in the main window opens the settings window on the card it finds.
    void openedFromTheMainWindow() {
        writeFile(m_card.filePath("config.bin"), cardRecord());
        uitest::FakeViewer viewer([this](ORBAppServices& s) {
            s.volumeService = &m_volumes;
            s.runInBackground = m_executor.executor();
        });
        ORBAppDelegate& app = *viewer.app;
        app.window()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(app.window()));
        QTest::keyClick(app.window(), Qt::Key_Comma, Qt::ControlModifier);
        auto* window = qobject_cast<ORBSettingController*>(app.lastDialogController());
        QVERIFY(window);
        QVERIFY(window->isVisible());
        m_executor.runAll();
        QCOMPARE(window->settingFilePath().value_or(""), m_card.filePath("config.bin"));
        window->onCloseCmd();
    }
};

QTEST_MAIN(SettingsWindowTest)
#include "SettingsWindowTest.moc"
