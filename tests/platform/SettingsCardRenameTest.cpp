// The settings window against a UDisks2 stand-in (python-dbusmock): the card it picks, and the rename of a
// card that holds the camera's record under another label.

#include "platform/Scheduler.h"
#include "platform/UDisks2VolumeService.h"
#include "ui/settings/ORBSettingController.h"

#include "UDisks2Mock.h"

#include <QDBusConnection>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace nura;

class SettingsCardRenameTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_base;
    UDisks2Mock m_mock;

    QString root(const char* name) const { return m_base.filePath(name); }
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
        const QString failure = m_mock.start(m_base.path());
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
    }

    void cleanupTestCase() {
        QDBusConnection::disconnectFromBus(QStringLiteral("udisks2-mock"));
        m_mock.stop();
    }

    void cardUnderAnotherLabelIsRenamed() {
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
        QVERIFY(window.selectedUSBDisk());
        QCOMPARE(QString::fromStdString(window.selectedUSBDisk()->volumeName()), QString("NURA"));
        QCOMPARE(QString::fromStdString(volumes.mountedUSBDisks().front().volumeName()), QString("NURA"));
        QVERIFY(window.windowTitle().endsWith(QDir(root("STICK")).filePath("config.bin")));
    }
};

QTEST_MAIN(SettingsCardRenameTest)
#include "SettingsCardRenameTest.moc"
