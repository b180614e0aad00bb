// SPDX-License-Identifier: GPL-3.0-or-later
// What a desktop widget sees of playback: the media-player service over the playback logic with fake
// players, on a private session bus (the test runs under dbus-run-session). A second connection reads
// the change signals as the widget would; what is asked of the player goes through its target.

#include "core/media/DriveTimeline.h"
#include "core/media/ORBMediaList.h"
#include "platform/FakeMediaPlayer.h"
#include "platform/MprisService.h"
#include "platform/Scheduler.h"
#include "ui/app/ORBMprisBridge.h"
#include "ui/app/ORBPlayInfo.h"
#include "ui/app/ORBPlaybackController.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QtTest>

namespace {

const QString kA_F = QStringLiteral("/card/alwa_20230115_083000_F.MP4");
const QString kA_R = QStringLiteral("/card/alwa_20230115_083000_R.MP4");
const QString kC_F = QStringLiteral("/card/alwa_20230115_083100_F.MP4");
const QString kC_R = QStringLiteral("/card/alwa_20230115_083100_R.MP4");

// The service's PropertiesChanged and Seeked signals, as they reach another client of the bus.
class BusWatch : public QObject {
    Q_OBJECT
public:
    BusWatch() : m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("watch"))) {
        const QString path = QLatin1String(MprisService::kObjectPath);
        m_bus.connect(QString(), path, QStringLiteral("org.freedesktop.DBus.Properties"),
                      QStringLiteral("PropertiesChanged"), this,
                      SLOT(propertiesChanged(QString, QVariantMap, QStringList)));
        m_bus.connect(QString(), path, QStringLiteral("org.mpris.MediaPlayer2.Player"),
                      QStringLiteral("Seeked"), this, SLOT(seekedTo(qlonglong)));
    }
    ~BusWatch() override { QDBusConnection::disconnectFromBus(QStringLiteral("watch")); }

    QList<QVariantMap> changes;
    QList<qlonglong> seeks;

    // Every signal the service sent so far has arrived: they come in the order sent, before the
    // answer to a question asked after them (one that changes nothing, so announces nothing).
    bool caughtUp() {
        QCoreApplication::processEvents(); // the announcements waiting for the call that made them to end
        QDBusMessage get = QDBusMessage::createMethodCall(
            QLatin1String(MprisService::kServiceName), QLatin1String(MprisService::kObjectPath),
            QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
        get << QStringLiteral("org.mpris.MediaPlayer2.Player") << QStringLiteral("Position");
        QDBusPendingCallWatcher answer(m_bus.asyncCall(get));
        return QTest::qWaitFor([&] { return answer.isFinished(); }) && !answer.isError();
    }
    void clear() {
        changes.clear();
        seeks.clear();
    }
    QStringList statuses() const {
        QStringList seen;
        for (const auto& c : changes) {
            if (c.contains(QStringLiteral("PlaybackStatus"))) {
                seen << c.value(QStringLiteral("PlaybackStatus")).toString();
            }
        }
        return seen;
    }
    QList<QVariantMap> metadata() const {
        QList<QVariantMap> seen;
        for (const auto& c : changes) {
            if (c.contains(QStringLiteral("Metadata"))) {
                seen << qdbus_cast<QVariantMap>(c.value(QStringLiteral("Metadata")));
            }
        }
        return seen;
    }
    static QString trackId(const QVariantMap& metadata) {
        return metadata.value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>().path();
    }

private slots:
    void propertiesChanged(const QString&, const QVariantMap& changed, const QStringList&) {
        changes << changed;
    }
    void seekedTo(qlonglong positionUs) { seeks << positionUs; }

private:
    QDBusConnection m_bus;
};

struct Rig {
    FakeMediaPlayer p1, p2;
    ORBMediaList list;
    ORBPlayInfo info;
    ManualScheduler scheduler;
    std::unique_ptr<ORBPlaybackController> c;
    std::unique_ptr<ORBMprisBridge> bridge;
    std::unique_ptr<MprisService> service;

    Rig() {
        for (const QString& path : {kA_F, kA_R, kC_F, kC_R}) {
            list.addMedia(ORBMedia::mediaWithPath(path.toStdString()));
        }
        c = std::make_unique<ORBPlaybackController>(p1, p2, list, info, scheduler, inlineTelemetryReader());
        bridge = std::make_unique<ORBMprisBridge>(*c, info, ORBMprisBridge::Actions{});
        service = std::make_unique<MprisService>(*bridge, QDBusConnection::sessionBus());
        bridge->connectTo(*service);
    }
    // The listing's drives, every file lasting a minute: A and C back to back.
    void giveDrives() {
        auto recordings = nura::driveRecordings({list.medias(), list.mediaPairDic()});
        for (auto& r : recordings) {
            r.frontMs = r.front ? std::optional<int64_t>(60000) : std::nullopt;
            r.rearMs = r.rear ? std::optional<int64_t>(60000) : std::nullopt;
        }
        auto drives = nura::splitIntoDrives(recordings);
        c->setDrives(std::move(recordings), std::move(drives));
    }
    void toEnd() {
        p2.advance(p2.mediaLength());
        p1.advance(p1.mediaLength());
    }
};

} // namespace

class MprisBridgeTest : public QObject {
    Q_OBJECT
private slots:
    // In drive mode the drive is the track: its length and position, one track id through the joins
    // (the title names the recording playing), no Stopped or Playing between, and a stale id refused.
    void aDriveIsOneTrackThroughItsJoins() {
        Rig r;
        QVERIFY(r.service->registered());
        BusWatch watch;
        r.giveDrives();
        QVERIFY(r.c->playAtIndex(0));
        const QString recordingId = r.bridge->track()->trackId;
        r.c->setDriveMode(true);
        QVERIFY(watch.caughtUp());
        QVERIFY(!watch.metadata().isEmpty());
        const QVariantMap drive = watch.metadata().last();
        const QString driveId = BusWatch::trackId(drive);
        QVERIFY(driveId != recordingId);
        QCOMPARE(drive.value(QStringLiteral("mpris:length")).toLongLong(), 120'000'000);

        watch.clear();
        r.toEnd();
        r.scheduler.advance(0); // the join
        QCOMPARE(r.c->item()->mainPath, kC_F);
        r.p1.advance(5000);
        r.p2.advance(5000);
        QCOMPARE(r.bridge->positionUs(), 65'000'000);
        QVERIFY(watch.caughtUp());
        QCOMPARE(watch.statuses(), QStringList());
        QVERIFY(!watch.metadata().isEmpty());
        for (const auto& m : watch.metadata()) {
            QCOMPARE(BusWatch::trackId(m), driveId);
            QCOMPARE(m.value(QStringLiteral("mpris:length")).toLongLong(), 120'000'000);
        }
        QCOMPARE(watch.metadata().last().value(QStringLiteral("xesam:title")).toString(),
                 QStringLiteral("alwa_20230115_083100_F"));

        // Paused, a position in the other recording comes up there paused, without a moment of play.
        r.c->pause();
        QVERIFY(watch.caughtUp());
        watch.clear();
        r.bridge->setPosition(recordingId, 10'000'000); // the track of before: refused
        QCOMPARE(r.c->item()->mainPath, kC_F);
        r.bridge->setPosition(driveId, 10'000'000);
        QCOMPARE(r.c->item()->mainPath, kA_F);
        QCOMPARE(r.p1.time(), 10000);
        QCOMPARE(r.c->status(), ORBPlaybackStatus::Paused);
        QVERIFY(watch.caughtUp());
        QCOMPARE(watch.statuses(), QStringList());
        QCOMPARE(watch.seeks, QList<qlonglong>{10'000'000});
        r.bridge->seekBy(55'000'000);
        QCOMPARE(r.c->item()->mainPath, kC_F);
        QCOMPARE(r.p1.time(), 5000);
    }

    // A swap shows the same recording: no new track. A length known only after playback began (the
    // front failed, the rear's header read late) is told when it becomes known.
    void aSwapIsNoNewTrackAndALateLengthIsTold() {
        Rig r;
        BusWatch watch;
        QVERIFY(r.c->playAtIndex(0));
        r.p1.advance(1000);
        r.p2.advance(1000);
        QVERIFY(watch.caughtUp());
        const QString id = BusWatch::trackId(watch.metadata().last());
        QVERIFY(!id.isEmpty());
        watch.clear();
        QVERIFY(r.c->swapPlayer());
        r.scheduler.advance(2.0);
        QCOMPARE(r.p1.media(), kA_R);
        QVERIFY(watch.caughtUp());
        for (const auto& m : watch.metadata()) {
            QCOMPARE(BusWatch::trackId(m), id);
        }
        QCOMPARE(watch.statuses(), QStringList());

        r.p1.setLengthForPath(kC_F, 0);
        r.p2.setLengthForPath(kC_R, 0);
        QVERIFY(r.c->playAtIndex(2));
        r.p1.fail(MediaPlayer::CannotOpen);
        QVERIFY(watch.caughtUp());
        QVERIFY(!watch.metadata().last().contains(QStringLiteral("mpris:length")));
        watch.clear();
        r.p2.setLength(60000);
        r.p2.advance(40);
        QVERIFY(watch.caughtUp());
        QVERIFY(!watch.metadata().isEmpty());
        QCOMPARE(watch.metadata().last().value(QStringLiteral("mpris:length")).toLongLong(), 60'000'000);
    }
};

QTEST_GUILESS_MAIN(MprisBridgeTest)
#include "MprisBridgeTest.moc"
