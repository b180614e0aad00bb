// SPDX-License-Identifier: GPL-3.0-or-later
// The format window on the UDisks2 client itself, against the stand-in (udisks2_mock.py) on a private bus.
// The commands are recorded and their effect on the mounts played on the stand-in; nothing is formatted.

#include "platform/CommandRunner.h"
#include "platform/FakeMediaPlayer.h"
#include "platform/Scheduler.h"
#include "platform/UDisks2VolumeService.h"
#include "ui/app/CustomWindow.h"
#include "ui/app/ORBAppDelegate.h"
#include "ui/card/ORBFormatWindowController.h"
#include "ui/settings/ORBSettingController.h"

#include "../ui/UiTestSupport.h"
#include "UDisks2Mock.h"

#include <QComboBox>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QMutex>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

using namespace nura;
using uitest::lastAlertText;
using uitest::readFile;
using uitest::writeFile;

namespace {

const QString kBlocks = QStringLiteral("/org/freedesktop/UDisks2/block_devices/");
const QString kCardUuid = QStringLiteral("1A2B-3C4D");
constexpr qulonglong kCardSize = 31914983424ull;

// Changes the stand-in's disks as a user would; callable from the format's worker.
struct Scene {
    QDBusConnection bus{QString()};

    QString call(const QString& method, const QVariantList& args) const {
        QDBusMessage m = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.UDisks2"), QStringLiteral("/org/freedesktop/UDisks2"),
            QStringLiteral("org.freedesktop.UDisks2.Mock.Scene"), method);
        m.setArguments(args);
        const QDBusMessage reply = bus.call(m);
        return reply.type() == QDBusMessage::ReplyMessage ? QString() : reply.errorMessage();
    }
    QString plug(const QString& dev, const QString& drive, const QString& label, const QString& uuid,
                 const QString& mountPoint) const {
        return call(QStringLiteral("Plug"),
                    {dev, drive, label, QVariant::fromValue(kCardSize), uuid, mountPoint});
    }
    QString unplug(const QString& dev) const { return call(QStringLiteral("Unplug"), {dev}); }
    QString mountAt(const QString& dev, const QString& point) const {
        return call(QStringLiteral("SetMountPoint"), {dev, point});
    }
    QString setUuid(const QString& dev, const QString& uuid) const {
        return call(QStringLiteral("SetUuid"), {dev, uuid});
    }
};

// Records the commands; udisksctl's mount and unmount change the stand-in's mount points as the real ones
// would, and the format helper answers `formatResult` (emptying the card's folder and giving the device it
// names the new serial when it succeeds, unless `newVolumeOn` names another device).
class CardRunner : public CommandRunner {
public:
    const Scene* scene = nullptr;
    QString mountPoint;
    CommandResult formatResult;
    QString newVolumeOn; // the device that gets the new volume when not the one named
    std::function<void(const QStringList&)> afterCommand; // on the job's thread

    CommandResult runScriptCommand(const QStringList& arguments, bool) override {
        {
            QMutexLocker lock(&m_mutex);
            m_lines << arguments;
        }
        const QString dev = arguments.last().section(QLatin1Char('/'), -1);
        CommandResult result;
        if (arguments.value(0) == "udisksctl" && arguments.value(1) == "unmount") {
            scene->mountAt(dev, QString());
        } else if (arguments.value(0) == "udisksctl" && arguments.value(1) == "mount") {
            scene->mountAt(dev, mountPoint);
        } else if (arguments.value(0) == "nura-format-card") {
            result = formatResult;
            if (result.succeeded()) {
                QDir(mountPoint).removeRecursively();
                QDir().mkpath(mountPoint);
                scene->setUuid(newVolumeOn.isEmpty() ? dev : newVolumeOn,
                               arguments.value(arguments.indexOf("--new-serial") + 1));
            }
        }
        if (afterCommand) {
            afterCommand(arguments);
        }
        return result;
    }
    QList<QStringList> lines() const {
        QMutexLocker lock(&m_mutex);
        return m_lines;
    }
    bool erased() const {
        const auto all = lines();
        return std::any_of(all.begin(), all.end(),
                           [](const QStringList& l) { return l.value(0) == "nura-format-card"; });
    }

private:
    mutable QMutex m_mutex;
    QList<QStringList> m_lines;
};

} // namespace

class FormatOnUDisks2Test : public QObject {
    Q_OBJECT

    QTemporaryDir m_base;
    UDisks2Mock m_mock;
    Scene m_scene;
    const QByteArray m_record = QByteArray(500, 'k');

    QString cardRoot() const { return m_base.filePath(QStringLiteral("NURA")); }
    QString backupFolder() const { return m_base.filePath(QStringLiteral("data/nura-viewer/backups")); }
    std::optional<VolumeDescription> card() {
        UDisks2VolumeService volumes(m_scene.bus);
        return volumes.describeVolume((kBlocks + "sdc1").toStdString());
    }
    CardToolServices tools(UDisks2VolumeService& volumes, CardRunner& runner,
                           std::function<void()> onQuestion = {}) {
        runner.scene = &m_scene;
        runner.mountPoint = cardRoot();
        CardToolServices s;
        s.volumes = &volumes;
        s.commands = &runner;
        s.formatHelper = "nura-format-card";
        s.confirm = [onQuestion](QWidget*, const QString&, const QString&) {
            if (onQuestion) {
                onQuestion();
            }
            return true;
        };
        return s;
    }
    // Runs a format of the preselected disk to its end.
    static void format(ORBFormatWindowController& w) {
        QTRY_VERIFY_WITH_TIMEOUT(!w.isBusy(), 20000);
        QSignalSpy finished(&w, &ORBFormatWindowController::formatFinished);
        w.onFormat();
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 20000);
    }

private slots:
    void initTestCase() {
        QVERIFY(QDir().mkpath(cardRoot()));
        const QString failure = m_mock.start(m_base.path(), QStringLiteral("card"));
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        m_scene.bus = QDBusConnection::connectToBus(m_mock.address(), QStringLiteral("udisks2-mock"));
        QVERIFY(m_scene.bus.isConnected());
        // The backups go to the user's data folder: here, one of the test's own.
        qputenv("XDG_DATA_HOME", m_base.filePath(QStringLiteral("data")).toUtf8());
    }

    // Every test starts with the camera's card in the USB reader, mounted, holding its record.
    void init() {
        m_scene.unplug(QStringLiteral("sdc1")); // gone already when a test took it out
        QCOMPARE(m_scene.plug("sdc1", "Card_Reader", "NURA", kCardUuid, cardRoot()), QString());
        writeFile(cardRoot() + "/config.bin", m_record);
        QDir(backupFolder()).removeRecursively();
    }

    void cleanupTestCase() {
        QDBusConnection::disconnectFromBus(QStringLiteral("udisks2-mock"));
        m_mock.stop();
    }

    // Another medium in the same reader, under the same device name, between the question and the unmount
    // or between the unmount and the formatter: a new volume serial, or the disk removed and another added.
    // Nothing is erased, the message says why, and a card already unmounted is mounted again.
    void aSwappedMediumIsNeverErased_data() {
        QTest::addColumn<QString>("when");
        QTest::addColumn<bool>("replug");
        QTest::newRow("serial, at the question") << "question" << false;
        QTest::newRow("replugged, after the unmount") << "unmount" << true;
    }
    void aSwappedMediumIsNeverErased() {
        QFETCH(QString, when);
        QFETCH(bool, replug);
        auto swap = [this, replug, when] {
            if (replug) {
                m_scene.unplug("sdc1");
                // Mounted again at once only when the desktop would still mount it (before the unmount).
                m_scene.plug("sdc1", "Card_Reader", "NURA", "5E6F-7A8B",
                             when == "question" ? cardRoot() : "");
            } else {
                m_scene.setUuid("sdc1", "5E6F-7A8B");
            }
        };
        UDisks2VolumeService volumes(m_scene.bus);
        CardRunner runner;
        ORBFormatWindowController w(
            tools(volumes, runner, when == "question" ? swap : std::function<void()>{}));
        if (when == "unmount") {
            runner.afterCommand = [swap](const QStringList& line) {
                if (line.value(1) == "unmount") {
                    swap();
                }
            };
        }
        format(w);
        if (QTest::currentTestFailed()) {
            return;
        }
        QVERIFY(!runner.erased());
        QVERIFY2(lastAlertText(w).contains("another medium"), qPrintable(lastAlertText(w)));
        if (when == "unmount") {
            QCOMPARE(runner.lines().last().mid(0, 2), (QStringList{"udisksctl", "mount"}));
            QCOMPARE(card()->mountPath, cardRoot().toStdString());
        } else {
            QVERIFY(runner.lines().isEmpty());
        }
        QCOMPARE(readFile(cardRoot() + "/config.bin"), m_record);
    }

    // A clone of the card (same serial) in a second reader: the helper is handed the card's own device and
    // device number, never a name the clone could answer to. A card that does not then carry the new
    // volume is not reported formatted and does not get the settings back; the backup stays and is named.
    void theDiskNamedIsTheDiskErased() {
        QCOMPARE(m_scene.plug("sdd1", "Flash_Drive", "NURA", kCardUuid, m_base.filePath("CLONE")), QString());
        UDisks2VolumeService volumes(m_scene.bus);
        CardRunner runner;
        runner.newVolumeOn = "sdd1";
        ORBFormatWindowController w(tools(volumes, runner));
        QTRY_VERIFY_WITH_TIMEOUT(!w.isBusy(), 20000);
        QVERIFY(w.selectUSBByDevFile("/dev/sdc1"));
        format(w);
        m_scene.unplug("sdd1");
        if (QTest::currentTestFailed()) {
            return;
        }
        const QStringList line = runner.lines().value(1);
        // The stand-in numbers a device by its name's bytes, as udev gives each its own.
        const QString sdc1Number = QStringLiteral("8:%1").arg(('s' + 'd' + 'c' + '1') & 0xFF);
        QCOMPARE(line.mid(0, 5),
                 (QStringList{"nura-format-card", "--device-id", sdc1Number, "--serial", kCardUuid}));
        QCOMPARE(line.last(), "/dev/sdc1");
        QVERIFY2(lastAlertText(w).contains("does not carry the new volume"), qPrintable(lastAlertText(w)));
        const QStringList kept = QDir(backupFolder()).entryList(QDir::Files);
        QCOMPARE(kept.size(), 1);
        QVERIFY2(lastAlertText(w).contains(backupFolder() + "/" + kept[0]), qPrintable(lastAlertText(w)));
        QVERIFY(!QFile::exists(cardRoot() + "/config.bin"));

        // Formatted for real, the card takes the new volume and its settings back.
        runner.newVolumeOn.clear();
        writeFile(cardRoot() + "/config.bin", m_record);
        format(w);
        if (QTest::currentTestFailed()) {
            return;
        }
        QCOMPARE(readFile(cardRoot() + "/config.bin"), m_record);
        QCOMPARE(card()->mountPath, cardRoot().toStdString());
        // Its backup is marked restored rather than deleted; the first one's is left as it was.
        QCOMPARE(QDir(backupFolder()).entryList({"*.restored.bin"}, QDir::Files).size(), 1);
        QCOMPARE(QDir(backupFolder()).entryList(QDir::Files).size(), 2);
    }

    // Ctrl+Shift+F twice and the settings window's button give one window, whose list follows the
    // service: a stick plugged in (InterfacesAdded), unmounted and mounted (the file system's
    // MountPoints), pulled out (InterfacesRemoved), while the card stays the one chosen.
    void oneWindowWhoseListFollowsTheService() {
        UDisks2VolumeService volumes(m_scene.bus);
        CardRunner runner;
        QtScheduler scheduler;
        auto cardTools = [&] { return tools(volumes, runner); };
        ORBAppServices s;
        s.makePlayer = [](VideoView*) { return std::make_unique<FakeMediaPlayer>(); };
        s.scheduler = &scheduler;
        s.volumeService = &volumes;
        s.runInBackground = threadPoolExecutor();
        s.cardTools = cardTools;
        ORBAppDelegate app(std::move(s));
        app.launch();
        QPointer<ORBFormatWindowController> format;
        for (int press = 0; press < 2; ++press) {
            app.window()->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(app.window()));
            QTest::keyClick(app.window(), Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
            auto* shown = qobject_cast<ORBFormatWindowController*>(app.lastDialogController());
            QVERIFY(shown);
            QVERIFY(!format || shown == format);
            format = shown;
        }
        ORBSettingServices settings;
        settings.volumes = &volumes;
        settings.runInBackground = threadPoolExecutor();
        settings.scheduler = &scheduler;
        settings.cardTools = cardTools;
        ORBSettingController window(std::move(settings));
        window.setAttribute(Qt::WA_DeleteOnClose, false);
        QSignalSpy loaded(&window, &ORBSettingController::loaded);
        window.open();
        QVERIFY(loaded.wait(20000));
        window.formatButton()->click();
        QCOMPARE(window.lastDialogController(), format.data());
        int windows = 0;
        for (QWidget* top : QApplication::topLevelWidgets()) {
            windows += qobject_cast<ORBFormatWindowController*>(top) && top->isVisible() ? 1 : 0;
        }
        QCOMPARE(windows, 1);

        QTRY_VERIFY_WITH_TIMEOUT(!format->isBusy(), 20000);
        QCOMPARE(format->usbDiskCombo->count(), 1);
        const QString stick = m_base.filePath(QStringLiteral("STICK"));
        QCOMPARE(m_scene.plug("sdb1", "Flash_Drive", "STICK", "0000-0001", stick), QString());
        QTRY_COMPARE_WITH_TIMEOUT(format->usbDiskCombo->count(), 2, 10000);
        QCOMPARE(m_scene.mountAt("sdb1", QString()), QString());
        QTRY_COMPARE_WITH_TIMEOUT(format->usbDiskCombo->count(), 1, 10000);
        QCOMPARE(m_scene.mountAt("sdb1", stick), QString());
        QTRY_COMPARE_WITH_TIMEOUT(format->usbDiskCombo->count(), 2, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!format->isBusy(), 20000);
        // Listed first (sdb1 before sdc1), the stick is not taken for the chosen disk.
        QCOMPARE(format->selectedUSBDisk()->deviceFilePath(), std::string("/dev/sdc1"));
        QCOMPARE(m_scene.unplug("sdb1"), QString());
        QTRY_COMPARE_WITH_TIMEOUT(format->usbDiskCombo->count(), 1, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!format->isBusy(), 20000);
        QVERIFY(runner.lines().isEmpty());
        format->close();
        window.close();
    }
};

QTEST_MAIN(FormatOnUDisks2Test)
#include "FormatOnUDisks2Test.moc"
