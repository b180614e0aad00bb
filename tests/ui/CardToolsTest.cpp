// SPDX-License-Identifier: GPL-3.0-or-later
// The format window, the clock setup and the drive-record viewer, driven with fake services; the command
// lines, clock text and record cells they show or write are pinned by the core tests.

#include "platform/CommandRunner.h"
#include "platform/FakeVolumeService.h"
#include "ui/card/ORBFormatWindowController.h"
#include "ui/card/ORBTimeSetupController.h"
#include "ui/driverecords/ORBSettingForFlashDataViewController.h"
#include "ui/strings/InfoPlist.h"

#include "UiTestSupport.h"

#include <QCalendarWidget>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimeEdit>
#include <QtTest>

#include <sys/stat.h>

using namespace nura;
using uitest::lastAlert;
using uitest::lastAlertText;
using uitest::readFile;
using uitest::screenshot;
using uitest::usbVolume;
using uitest::writeFile;

namespace {

// Answers each command from a rule; on the formatter it empties the card's folder, as an erase would, and
// can hold the job there until released.
class ScriptedRunner : public CommandRunner {
public:
    QString cardRoot;
    FakeVolumeService* volumes = nullptr; // the card there gets the new volume's serial
    CommandResult formatResult;
    QSemaphore* holdFormat = nullptr;
    QList<QPair<QStringList, bool>> calls;
    QMutex mutex;

    CommandResult runScriptCommand(const QStringList& arguments, bool admin) override {
        {
            QMutexLocker lock(&mutex);
            calls.append({arguments, admin});
        }
        if (arguments.value(0) == "nura-format-card") {
            if (holdFormat) {
                holdFormat->acquire();
            }
            if (formatResult.succeeded() && !cardRoot.isEmpty()) {
                QDir(cardRoot).removeRecursively();
                QDir().mkpath(cardRoot);
                auto list = volumes->describeMountedVolumes();
                list[0].uuid = arguments.value(arguments.indexOf("--new-serial") + 1).toStdString();
                volumes->setVolumes(list);
            }
            return formatResult;
        }
        return {};
    }
    QList<QStringList> commandLines() {
        QMutexLocker lock(&mutex);
        QList<QStringList> out;
        for (const auto& c : calls) {
            out << c.first;
        }
        return out;
    }
};

// The drive-record file of the viewer tests, bytes written by hand: a count of two, then records 7 and 8,
// the second without a position (0 N 0 E).
QByteArray driveRecordBytes() {
    const QByteArray rest = QByteArray::fromHex("3c00393000000000000058000000 00ff40000001 7c000500fbff");
    return QByteArray::fromHex("020000000000000000000000") +
           QByteArray::fromHex("0700 0201 7c03050e0709 950e7b009d310500") + rest +
           QByteArray::fromHex("0800 0201 7c03050e0709 0000000000000000") + rest;
}

} // namespace

class CardToolsTest : public QObject {
    Q_OBJECT

    struct Rig {
        QTemporaryDir tmp;
        QString root;
        FakeVolumeService volumes;
        ScriptedRunner runner;
        QStringList questions;
        bool answer = true;

        CardToolServices services() {
            CardToolServices s;
            s.volumes = &volumes;
            s.commands = &runner;
            s.formatHelper = "nura-format-card";
            s.confirm = [this](QWidget*, const QString&, const QString& text) {
                questions << text;
                return answer;
            };
            return s;
        }
        Rig() {
            root = tmp.filePath("card");
            QDir().mkpath(root);
            runner.cardRoot = root;
            runner.volumes = &volumes;
            VolumeDescription card = usbVolume(root, "NURA", "/dev/sdz1", 7516192767ull);
            card.deviceNumber = (8u << 8) | 208u;
            card.uuid = "1A2B-3C4D";
            card.driveId = "Card-Reader-0815";
            volumes.setVolumes({card});
            // Backups go to the user's data folder: here, one of the test's own.
            qputenv("XDG_DATA_HOME", tmp.filePath("data").toUtf8());
        }
        QString backupFolder() const { return tmp.filePath("data/nura-viewer/backups"); }
    };

    static void waitForList(ORBFormatWindowController& w) { QTRY_VERIFY(!w.isBusy()); }

private slots:
    void refusedBeforeTheQuestion() {
        Rig rig;
        VolumeDescription sata = usbVolume(rig.root, "NURA", "/dev/sda1", 1 << 30);
        sata.protocol = "SATA";
        rig.volumes.setVolumes({sata});
        ORBFormatWindowController w(rig.services());
        waitForList(w);
        QCOMPARE(w.usbDiskCombo->count(), 0);
        w.formatButton->click();
        QCOMPARE(lastAlertText(w), QString("There is no USB drive."));

        // A card too small for FAT32 with any cluster size is refused, saying so.
        VolumeDescription tiny = usbVolume(rig.root, "NURA", "/dev/sdz1", 30 << 20);
        tiny.deviceNumber = (8u << 8) | 208u;
        rig.volumes.setVolumes({tiny});
        rig.volumes.announceChange();
        QTRY_COMPARE(w.usbDiskCombo->count(), 1);
        waitForList(w);
        w.formatButton->click();
        QVERIFY2(lastAlertText(w).contains("too small for FAT32"), qPrintable(lastAlertText(w)));
        QVERIFY(rig.questions.isEmpty());
        QVERIFY(rig.runner.calls.isEmpty());
    }

    // The card's settings kept across the format are FormatOnUDisks2Test's.
    void formatAsksAndRunsOnlyTheFormatterPrivileged() {
        Rig rig;
        ORBFormatWindowController w(rig.services());
        waitForList(w);
        QCOMPARE(w.allocationUnitField->text(), QString("16 KB"));
        screenshot(w, "format-window.png");

        // Declining the question leaves the card alone.
        rig.answer = false;
        w.formatButton->click();
        QVERIFY(rig.questions.value(0).contains("/dev/sdz1"));
        QVERIFY(rig.runner.calls.isEmpty());

        rig.answer = true;
        QSignalSpy finished(&w, &ORBFormatWindowController::formatFinished);
        w.formatButton->click();
        QTRY_COMPARE(finished.size(), 1);
        QCOMPARE(finished[0][0].toBool(), true);
        // The command lines are pinned by the core tests; only the formatter runs privileged.
        QCOMPARE(rig.runner.calls.size(), 3);
        QCOMPARE(rig.runner.calls[1].first.value(0), QString("nura-format-card"));
        QCOMPARE(rig.runner.calls[1].second, true);
        QCOMPARE(rig.runner.calls[0].second, false);
        QCOMPARE(lastAlert(w)->text(), L("msg.format_complete"));
    }

    void failedFormatsSayWhyAndMountAgain_data() {
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("expected");
        QTest::newRow("refused") << int(CommandResult::kNotAuthorized) << QString()
                                 << L("msg.not_authorized");
        QTest::newRow("other") << 1 << QString("mkfs.fat: unable to open /dev/sdz1: No such device")
                               << QString("Error:mkfs.fat: unable to open /dev/sdz1: No such device");
        QTest::newRow("read-only") << 1
                                   << QString("mkfs.fat: unable to open /dev/sdz1: Read-only file system")
                                   << L("msg.write_protected_disk");
    }
    void failedFormatsSayWhyAndMountAgain() {
        QFETCH(int, number);
        QFETCH(QString, error);
        QFETCH(QString, expected);
        Rig rig;
        writeFile(rig.root + "/config.bin", QByteArray(500, 'k'));
        rig.runner.formatResult = {number, error};
        ORBFormatWindowController w(rig.services());
        waitForList(w);
        QSignalSpy finished(&w, &ORBFormatWindowController::formatFinished);
        w.onFormat();
        QTRY_COMPARE(finished.size(), 1);
        QCOMPARE(finished[0][0].toBool(), false);
        QCOMPARE(rig.runner.commandLines().last(), (QStringList{"udisksctl", "mount", "-b", "/dev/sdz1"}));
        QCOMPARE(lastAlert(w)->text(), L("msg.cannot_format"));
        QVERIFY2(lastAlertText(w).contains(expected), qPrintable(lastAlertText(w)));
        if (expected != L("msg.write_protected_disk")) {
            QVERIFY(!lastAlertText(w).contains(L("msg.write_protected_disk")));
        }
        // The card may have lost its copy part-way: the backup stays, named in the message.
        const QStringList kept = QDir(rig.backupFolder()).entryList(QDir::Files);
        QCOMPARE(kept.size(), 1);
        QCOMPARE(readFile(rig.backupFolder() + "/" + kept[0]), QByteArray(500, 'k'));
        QVERIFY2(lastAlertText(w).contains(rig.backupFolder() + "/" + kept[0]), qPrintable(lastAlertText(w)));
    }

    void configThatCannotBeKeptStopsBeforeTheErase() {
        Rig rig;
        QDir().mkpath(rig.root + "/config.bin"); // there, but no copy of it can be made
        ORBFormatWindowController w(rig.services());
        waitForList(w);
        QSignalSpy finished(&w, &ORBFormatWindowController::formatFinished);
        w.onFormat();
        QTRY_COMPARE(finished.size(), 1);
        QVERIFY(rig.runner.calls.isEmpty());
        QVERIFY(lastAlertText(w).contains(L("msg.config_backup_fail")));
    }

    // A card without settings gets the factory record.
    void windowStaysOpenWhileFormatting() {
        Rig rig;
        QSemaphore hold;
        rig.runner.holdFormat = &hold;
        ORBFormatWindowController w(rig.services());
        w.show();
        waitForList(w);
        QSignalSpy finished(&w, &ORBFormatWindowController::formatFinished);
        w.onFormat();
        QTRY_COMPARE(rig.runner.commandLines().size(), 2);
        QVERIFY(!w.close());
        QTest::keyClick(&w, Qt::Key_Escape);
        QVERIFY(w.isVisible());
        QVERIFY(!w.formatButton->isEnabled() && !w.cancelButton->isEnabled());
        w.onFormat(); // no second job
        hold.release();
        QTRY_COMPARE(finished.size(), 1);
        QCOMPARE(rig.runner.commandLines().size(), 3);
        QCOMPARE(readFile(rig.root + "/config.bin").size(), 500);
        lastAlert(w)->close();
        QVERIFY(w.close());
    }

    // Listed second, the card labelled NURA is the disk chosen; how the list follows the disk service, and
    // keeps the user's choice, is FormatOnUDisks2Test's.
    void theCardIsChosenWhereverItIsListed() {
        Rig rig;
        QTemporaryDir stick;
        VolumeDescription other = usbVolume(stick.path(), "STICK", "/dev/sdy1", 1 << 30);
        rig.volumes.setVolumes({other, rig.volumes.describeMountedVolumes()[0]});
        ORBFormatWindowController w(rig.services());
        waitForList(w);
        QCOMPARE(w.usbDiskCombo->count(), 2);
        QCOMPARE(w.selectedUSBDisk()->deviceFilePath(), std::string("/dev/sdz1"));
    }

    void clockWritesExactlyNineteenBytesOnTheCard() {
        QTemporaryDir tmp;
        FakeVolumeService volumes;
        volumes.setVolumes({usbVolume(tmp.path())});
        writeFile(tmp.filePath("timeset.cfg"), "1999/12/31 23:59:59ABCDEF");
        CardToolServices s;
        s.volumes = &volumes;
        s.chooseSaveFile = [](QWidget*, const QString&, const QString&) {
            QTest::qFail("no save panel when the card holds the file", __FILE__, __LINE__);
            return QString();
        };
        ORBTimeSetupController w(s);
        QCOMPARE(w.settingFilePath(), tmp.filePath("timeset.cfg"));
        w.datePicker->setSelectedDate(QDate(2024, 3, 5));
        w.timePicker->setTime(QTime(14, 7, 9));
        screenshot(w, "clock-window.png");
        w.saveButton->click();
        QCOMPARE(readFile(tmp.filePath("timeset.cfg")), QByteArray("2024/03/05 14:07:09"));

        // "Today" replaces the date only.
        w.setSelectedTime(QTime(13, 0, 0));
        w.nowDaySettingChk->click();
        QCOMPARE(w.selectedDate(), QDate::currentDate());
        QCOMPARE(w.selectedTime(), QTime(13, 0, 0));
    }

    void clockWithoutCardAsksWhereAndReportsFailure() {
        QTemporaryDir tmp;
        FakeVolumeService volumes;
        QStringList answers = {QString(), tmp.filePath("nodir/timeset.cfg"), tmp.filePath("timeset.cfg")};
        QStringList proposed;
        CardToolServices s;
        s.volumes = &volumes;
        s.chooseSaveFile = [&](QWidget*, const QString& name, const QString& type) {
            proposed << name + "." + type;
            return answers.takeFirst();
        };
        ORBTimeSetupController w(s);
        QVERIFY(w.settingFilePath().isEmpty());
        w.setSelectedDate(QDate(2024, 3, 5));
        w.setSelectedTime(QTime(13, 0, 0));
        QSignalSpy saved(&w, &ORBTimeSetupController::saved);
        w.onSaveConfigFile(); // cancelled: nothing
        QVERIFY(!lastAlert(w));
        w.onSaveConfigFile(); // cannot be written: said so
        QCOMPARE(lastAlert(w)->text(), L("time.filesave_fail"));
        QCOMPARE(saved.size(), 0);
        uitest::takeAlerts(w);
        w.onSaveConfigFile();
        QCOMPARE(saved.size(), 1);
        QCOMPARE(readFile(tmp.filePath("timeset.cfg")), QByteArray("2024/03/05 13:00:00"));
        QCOMPARE(proposed, QStringList(3, "timeset.cfg"));
    }

    void driveRecordViewerShowsMapsAndExports() {
        QTemporaryDir tmp;
        writeFile(tmp.filePath("nura_000.drv"), driveRecordBytes());
        QList<QPair<double, double>> shown;
        ORBFlashDataServices s;
        s.showOnMap = [&](double lat, double lng) { shown.append({lat, lng}); };
        const QString exportTarget = tmp.filePath("out.csv");
        s.chooseSaveFile = [&](QWidget*, const QString& name) {
            return name == "nura_000" ? exportTarget : QString();
        };
        ORBSettingForFlashDataViewController w(s);
        w.setFlashDataFilePath(tmp.filePath("nura_000.drv"));
        QSignalSpy loaded(&w, &ORBSettingForFlashDataViewController::loaded);
        w.displayFileData();
        QTRY_COMPARE(loaded.size(), 1);
        // The cell texts are pinned by the core tests.
        QCOMPARE(w.tableView->model()->index(1, 1).data().toString(), QString("8"));
        w.resize(1000, 300);
        screenshot(w, "drive-records.png");

        w.doubleClickTableRow(1); // no position: the map stays
        QVERIFY(shown.isEmpty());
        w.doubleClickTableRow(0);
        QCOMPARE(shown.size(), 1);
        QVERIFY(qAbs(shown[0].first - (37 + 33.0123 / 60)) < 1e-9);

        QSignalSpy exported(&w, &ORBSettingForFlashDataViewController::exported);
        w.onSaveCSVFile();
        QTRY_COMPARE(exported.size(), 1);
        QCOMPARE(exported[0][0].toString(), QString());
        QCOMPARE(readFile(exportTarget).count('\n'), 3); // the text itself: the core tests

        // A FIFO opened as a drive-record file ends the loading at once and says what it is; a settings
        // file opened by mistake has no drive-record header. The table keeps the records it showed.
        QVERIFY(::mkfifo(QFile::encodeName(tmp.filePath("pipe.csv")).constData(), 0600) == 0);
        writeFile(tmp.filePath("config.bin"), QByteArray(500, '\x11'));
        const std::pair<const char*, const char*> wrong[] = {{"pipe.csv", "Not a regular file"},
                                                             {"config.bin", "Not a drive-record file"}};
        for (const auto& [name, why] : wrong) {
            const qsizetype loads = loaded.size();
            w.setFlashDataFilePath(tmp.filePath(name));
            w.loadFlashDataFile();
            QTRY_COMPARE(loaded.size(), loads + 1);
            QVERIFY2(w.statusLabel->text().contains(why), qPrintable(w.statusLabel->text()));
            QCOMPARE(w.tableView->model()->rowCount(), 2);
        }
    }
};

QTEST_MAIN(CardToolsTest)
#include "CardToolsTest.moc"
