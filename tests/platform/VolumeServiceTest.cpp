// SPDX-License-Identifier: GPL-3.0-or-later
// The UDisks2 client against a UDisks2 stand-in (python-dbusmock) on a private bus that the test starts,
// and the settings window on it: the card it picks, and the rename of a card that holds the camera's record
// under another label.

#include "core/card/VolumeDescription.h"
#include "core/log.h"
#include "platform/Scheduler.h"
#include "platform/UDisks2VolumeService.h"
#include "ui/settings/ORBSettingController.h"

#include "UDisks2Mock.h"

#include <QDBusConnection>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace nura;

class VolumeServiceTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_base;
    UDisks2Mock m_mock;

    QString root(const char* name) const { return m_base.filePath(name); }
    QUrl url(const char* name) const { return QUrl::fromLocalFile(root(name)); }
    void touch(const char* volume, const char* file) {
        QFile f(QDir(root(volume)).filePath(file));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    UDisks2VolumeService service() {
        return UDisks2VolumeService(
            QDBusConnection::connectToBus(m_mock.address(), QStringLiteral("udisks2-mock")));
    }

private slots:
    void initTestCase() {
        for (const char* v :
             {"STICK", "SDIO", "NURA_RO", "nolabel", "WHOLE", "internal", "NODEV", "ORPHAN"}) {
            QVERIFY(QDir().mkpath(root(v)));
        }
        touch("NURA_RO", "config.bin");
        touch("WHOLE", "config.bin");
        touch("SDIO", "timeset.cfg");
        touch("nolabel", "timeset.cfg");

        const QString failure = m_mock.start(m_base.path());
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        QVERIFY(
            QDBusConnection::connectToBus(m_mock.address(), QStringLiteral("udisks2-mock")).isConnected());
    }

    void cleanupTestCase() {
        QDBusConnection::disconnectFromBus(QStringLiteral("udisks2-mock"));
        m_mock.stop();
    }

    void removableAndUsbVolumes() {
        auto svc = service();
        const QList<QUrl> removable = svc.mountedRemovableVolumeURLs();
        // Ordered by block device; the internal disk and the block without a drive are not removable.
        QCOMPARE(removable, (QList<QUrl>{url("SDIO"), url("STICK"), url("NURA_RO"), url("nolabel"),
                                         url("WHOLE"), url("NODEV")}));
        // The card in the built-in reader is removable but not USB.
        QCOMPARE(svc.mountedUSBVolumeURLs(),
                 (QList<QUrl>{url("STICK"), url("NURA_RO"), url("nolabel"), url("WHOLE"), url("NODEV")}));
    }

    void usbDisksCarryTheirDescription() {
        auto svc = service();
        const std::vector<TKUSBDiskEntity> disks = svc.mountedUSBDisks();
        const std::string prefix = "/org/freedesktop/UDisks2/block_devices/";
        // The device numbers are the stand-in's (its device name's bytes): the format names the disk by them.
        const std::vector<TKUSBDiskEntity> expected = {
            {"STICK", root("STICK").toStdString(), "/dev/sdb1", "Flash Drive", 16013852672ull, true, false,
             prefix + "sdb1", "016A-0404", "Flash_Drive-0815", "SER0011", (8u << 8) | 106u},
            {"NURA", root("NURA_RO").toStdString(), "/dev/sdc1", "Card Reader", 7948206080ull, false, false,
             prefix + "sdc1", "016B-0404", "Card_Reader-0815", "SER0011", (8u << 8) | 107u},
            {"", root("nolabel").toStdString(), "/dev/sdd1", std::nullopt, 1048575, true, false,
             prefix + "sdd1", "016C-0404", "Mass_Storage-0815", "SER0012", (8u << 8) | 108u},
            {"NURA", root("WHOLE").toStdString(), "/dev/sde", "Whole Reader", 3965190144ull, true, true,
             prefix + "sde", "013C-0303", "Whole_Reader-0815", "SER0012", (8u << 8) | 60u},
        };
        QCOMPARE(disks.size(), expected.size()); // the volume without a device name gives no disk
        for (std::size_t i = 0; i < disks.size(); ++i) {
            QVERIFY2(disks[i] == expected[i], disks[i].displayString().c_str());
        }
    }

    void cameraCardAndRenaming() {
        auto svc = service();
        // Labelled NURA, writable, holding config.bin: the whole-disk medium.
        QCOMPARE(QString::fromStdString(svc.findCameraCardDisk()->deviceFilePath()), QString("/dev/sde"));

        // The service's refusal reaches the caller; a rename that is done, the settings window's test below.
        const QString refused = svc.renameVolume(*svc.findCameraCardDisk(), "FAR TOO LONG A LABEL");
        QVERIFY(refused.contains("label too long"));
    }

    void volumeHoldingAFile() {
        auto svc = service();
        QCOMPARE(svc.findUSBVolumeContainingFile("timeset.cfg"), std::optional<QUrl>(url("nolabel")));
        QCOMPARE(svc.findUSBVolumeContainingFile("config.bin"), std::optional<QUrl>(url("NURA_RO")));
        QCOMPARE(svc.findUSBVolumeContainingFile("nura_000.drv"), std::nullopt);
    }

    // Last of the stand-in's tests: it takes the label from both NURA volumes.
    void settingsWindowRenamesTheCardUnderAnotherLabel() {
        UDisks2VolumeService volumes = service();
        // Take the label from both NURA volumes on USB: the writable stick is then the likeliest card.
        for (const auto& disk : volumes.mountedUSBDisks()) {
            if (disk.volumeName() == "NURA") {
                QCOMPARE(volumes.renameVolume(disk, QStringLiteral("OTHER")), QString());
            }
        }
        QFile record(QDir(root("STICK")).filePath("config.bin"));
        QVERIFY(record.open(QIODevice::WriteOnly));
        record.write(QByteArray(500, '\0'));
        record.close();

        QtScheduler scheduler;
        ORBSettingServices s;
        s.volumes = &volumes;
        s.runInBackground = threadPoolExecutor();
        s.scheduler = &scheduler;
        ORBSettingController window(std::move(s));
        window.setAttribute(Qt::WA_DeleteOnClose, false);
        QSignalSpy loaded(&window, &ORBSettingController::loaded);
        window.open();
        QVERIFY(loaded.wait(20000));
        QCOMPARE(window.settingFilePath().value_or(""), QDir(root("STICK")).filePath("config.bin"));
        QCOMPARE(QString::fromStdString(volumes.mountedUSBDisks().front().volumeName()), QString("NURA"));
    }

    void noServiceMeansNoVolumes() {
        LogCapture log;
        UDisks2VolumeService absent(QDBusConnection::connectToBus(
            QStringLiteral("unix:path=/nonexistent/bus"), QStringLiteral("no-bus")));
        QVERIFY(!absent.queryMountedVolumes());
        QCOMPARE(absent.findCameraCardDisk(), std::nullopt);
        const TKUSBDiskEntity disk("NURA", "/m", "/dev/sdx1", std::nullopt, 1, true, false, "/x");
        QVERIFY(!absent.renameVolume(disk, "NURA").isEmpty());
    }
};

QTEST_MAIN(VolumeServiceTest)
#include "VolumeServiceTest.moc"
