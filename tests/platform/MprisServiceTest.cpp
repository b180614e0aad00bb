// SPDX-License-Identifier: GPL-3.0-or-later
// The media-player service on a private session bus (the test runs under dbus-run-session), driven by
// gdbus as a desktop widget would: the edge cases of the calls that reach playback, the types a client
// reads, the change signals, a second instance, and no bus at all.

#include "platform/MprisService.h"
#include "../ui/BusWatch.h"

#include <QCoreApplication>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>

namespace {

const QString kPath = QString::fromLatin1(MprisService::kObjectPath);
const QString kName = QString::fromLatin1(MprisService::kServiceName);
const QString kPlayer = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kTrack12 = QStringLiteral("/org/nura/viewer/track/12");

class RecordingTarget : public MprisPlayerTarget {
public:
    Status status = Status::Playing;
    std::optional<Track> current = Track{kTrack12, 60'000'000, QStringLiteral("file:///card/DCIM/F_0812.mp4"),
                                         QStringLiteral("2024-05-01 08:12:00")};
    qint64 position = 42'000'000;
    double currentRate = 1.0;
    double currentVolume = 1.0;
    bool hasNext = true;
    bool opens = true;
    QStringList calls;

    Status playbackStatus() const override { return status; }
    std::optional<Track> track() const override { return current; }
    qint64 positionUs() const override { return position; }
    double rate() const override { return currentRate; }
    double minimumRate() const override { return 0.25; }
    double maximumRate() const override { return 4.0; }
    void setRate(double rate) override { calls << QStringLiteral("setRate %1").arg(rate); }
    double volume() const override { return currentVolume; }
    void setVolume(double volume) override { calls << QStringLiteral("setVolume %1").arg(volume); }
    bool canGoNext() const override { return hasNext; }
    bool canGoPrevious() const override { return true; }
    bool canPlay() const override { return true; }
    bool canPause() const override { return true; }
    bool canSeek() const override { return true; }
    void play() override { calls << QStringLiteral("play"); }
    void pause() override { calls << QStringLiteral("pause"); }
    void playPause() override { calls << QStringLiteral("playPause"); }
    void stop() override { calls << QStringLiteral("stop"); }
    void next() override { calls << QStringLiteral("next"); }
    void previous() override { calls << QStringLiteral("previous"); }
    void seekBy(qint64 offsetUs) override { calls << QStringLiteral("seekBy %1").arg(offsetUs); }
    void setPosition(const QString& trackId, qint64 positionUs) override {
        calls << QStringLiteral("setPosition %1 %2").arg(trackId).arg(positionUs);
    }
    bool openUri(const QString& uri) override {
        calls << QStringLiteral("openUri %1").arg(uri);
        return opens;
    }
    void raise() override { calls << QStringLiteral("raise"); }
    void quit() override {
        calls << QStringLiteral("quit");
        if (onQuit) {
            onQuit();
        }
    }
    std::function<void()> onQuit;
};

struct Reply {
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs a bus client while the event loop keeps serving the bus.
Reply runClient(const QString& program, const QStringList& arguments) {
    QProcess process;
    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    process.start(program, arguments);
    if (process.waitForStarted() && process.state() != QProcess::NotRunning) {
        loop.exec();
    }
    Reply reply;
    reply.exitCode = process.state() == QProcess::NotRunning ? process.exitCode() : -1;
    reply.out = QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    reply.err = QString::fromUtf8(process.readAllStandardError()).trimmed();
    return reply;
}

Reply call(const QString& method, const QStringList& arguments = {}, const QString& name = kName) {
    return runClient(QStringLiteral("gdbus"),
                     QStringList{QStringLiteral("call"), QStringLiteral("--session"),
                                 QStringLiteral("--dest"), name, QStringLiteral("--object-path"), kPath,
                                 QStringLiteral("--method"), method} +
                         arguments);
}

// Without a bus: a child run of this program, so that its session bus is not already connected.
int runWithoutBus() {
    RecordingTarget target;
    const std::unique_ptr<MprisService> service = createSessionMprisService(target);
    service->statusChanged();
    service->trackChanged();
    service->seeked();
    return service->registered() || !target.calls.isEmpty() ? 1 : 0;
}

} // namespace

class MprisServiceTest : public QObject {
    Q_OBJECT

private:
    RecordingTarget m_target;
    std::unique_ptr<MprisService> m_service;

private slots:
    void initTestCase() {
        QVERIFY2(!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"), "run under dbus-run-session");
        m_service = std::make_unique<MprisService>(m_target, QDBusConnection::sessionBus());
        QVERIFY(m_service->registered());
        QCOMPARE(m_service->serviceName(), kName);
    }

    void init() {
        m_target = RecordingTarget();
        m_service->trackChanged(); // announces the reset, so that each test starts from the same state
    }

    // The plain calls are made end to end through the viewer (media_keys_test.py); here the edges
    // a desktop client may send.
    void methodsReachPlayback_data() {
        QTest::addColumn<QString>("method");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("calls");
        const QString track = QStringLiteral("'%1'").arg(kTrack12);
        QTest::newRow("Seek back") << "Seek" << QStringList{"--", "-5000000"}
                                   << QStringList{"seekBy -5000000"};
        QTest::newRow("SetPosition at the end") << "SetPosition" << QStringList{track, "60000000"}
                                                << QStringList{"setPosition " + kTrack12 + " 60000000"};
        QTest::newRow("SetPosition of another track")
            << "SetPosition" << QStringList{"'/org/nura/viewer/track/11'", "1000"} << QStringList();
        QTest::newRow("SetPosition before the start")
            << "SetPosition" << QStringList{track, "--", "-1"} << QStringList();
        QTest::newRow("SetPosition past the end")
            << "SetPosition" << QStringList{track, "60000001"} << QStringList();
        QTest::newRow("Raise") << "org.mpris.MediaPlayer2.Raise" << QStringList() << QStringList{"raise"};
    }

    void methodsReachPlayback() {
        QFETCH(QString, method);
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, calls);
        if (!method.contains(u'.')) {
            method = kPlayer + u'.' + method;
        }
        const Reply reply = call(method, arguments);
        QVERIFY2(reply.exitCode == 0, qPrintable(reply.err));
        QCOMPARE(m_target.calls, calls);
    }

    // Quitting takes the service down with it; the caller still gets its reply.
    void quitAnswersBeforeQuitting() {
        const QString connection = QStringLiteral("quitting");
        RecordingTarget target;
        auto service = std::make_unique<MprisService>(
            target, QDBusConnection::connectToBus(QDBusConnection::SessionBus, connection));
        target.onQuit = [&service] { service.reset(); };
        const Reply reply = call(QStringLiteral("org.mpris.MediaPlayer2.Quit"), {}, service->serviceName());
        QVERIFY2(reply.exitCode == 0, qPrintable(reply.err));
        QTRY_VERIFY(!service);
        QCOMPARE(target.calls, QStringList{"quit"});
        QDBusConnection::disconnectFromBus(connection);
    }

    void openUriRefusesWhatIsNotALocalFile() {
        for (const char* uri :
             {"http://example.org/F_0812.mp4", "file://fileserver/F_0812.mp4", "file:", "F_0812.mp4"}) {
            const Reply reply = call(kPlayer + QStringLiteral(".OpenUri"), {QLatin1String(uri)});
            QVERIFY2(reply.exitCode != 0, uri);
            QVERIFY2(reply.err.contains(QLatin1String("org.freedesktop.DBus.Error.NotSupported")),
                     qPrintable(reply.err));
        }
        QCOMPARE(m_target.calls, QStringList());

        m_target.opens = false;
        const Reply reply = call(kPlayer + QStringLiteral(".OpenUri"), {QStringLiteral("file:///gone.mp4")});
        QVERIFY(reply.exitCode != 0);
        QVERIFY2(reply.err.contains(QLatin1String("org.freedesktop.DBus.Error.InvalidArgs")),
                 qPrintable(reply.err));
        QCOMPARE(m_target.calls, QStringList{"openUri file:///gone.mp4"});
    }

    void writableProperties_data() {
        QTest::addColumn<QString>("property");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QStringList>("calls");
        QTest::newRow("Rate zero pauses") << "Rate"
                                          << "<0.0>" << QStringList{"pause"};
        QTest::newRow("Volume above the loudest") << "Volume"
                                                  << "<3.5>" << QStringList{"setVolume 2"};
    }

    void writableProperties() {
        QFETCH(QString, property);
        QFETCH(QString, value);
        QFETCH(QStringList, calls);
        const Reply reply =
            call(QStringLiteral("org.freedesktop.DBus.Properties.Set"), {kPlayer, property, value});
        QVERIFY2(reply.exitCode == 0, qPrintable(reply.err));
        QCOMPARE(m_target.calls, calls);
    }

    void propertiesHaveTheirBusTypes() {
        const Reply player = call(QStringLiteral("org.freedesktop.DBus.Properties.GetAll"), {kPlayer});
        QVERIFY2(player.exitCode == 0, qPrintable(player.err));
        for (const char* expected : {
                 "'Position': <int64 42000000>",
                 "'CanPlay': <true>",
                 "'CanPause': <true>",
                 "'CanSeek': <true>",
                 "'CanControl': <true>",
                 "'xesam:title': <'2024-05-01 08:12:00'>",
             }) {
            QVERIFY2(player.out.contains(QLatin1String(expected)),
                     qPrintable(expected + (" in " + player.out)));
        }

        const Reply root = call(QStringLiteral("org.freedesktop.DBus.Properties.GetAll"),
                                {QStringLiteral("org.mpris.MediaPlayer2")});
        QVERIFY2(root.exitCode == 0, qPrintable(root.err));
        for (const char* expected :
             {"'CanQuit': <true>", "'CanRaise': <true>", "'HasTrackList': <false>",
              "'Identity': <'Nura Viewer'>", "'DesktopEntry': <'nura-viewer'>",
              "'SupportedUriSchemes': <['file']>", "'SupportedMimeTypes': <['video/mp4']>"}) {
            QVERIFY2(root.out.contains(QLatin1String(expected)), qPrintable(expected + (" in " + root.out)));
        }

        // Nothing loaded: no metadata at all rather than an unsendable track id.
        m_target.current.reset();
        QVERIFY(
            call(QStringLiteral("org.freedesktop.DBus.Properties.Get"), {kPlayer, QStringLiteral("Metadata")})
                .out.contains(QLatin1String("@a{sv} {}")));
        m_target.current = RecordingTarget::Track{QStringLiteral("not a path"), 0, QString(), QString()};
        QVERIFY(
            call(QStringLiteral("org.freedesktop.DBus.Properties.Get"), {kPlayer, QStringLiteral("Metadata")})
                .out.contains(QLatin1String("@a{sv} {}")));
    }

    void changesAreAnnouncedOnce() {
        BusWatch watch;
        watch.take();
        m_target.status = MprisPlayerTarget::Status::Paused;
        m_target.position = 43'000'000; // position is never announced
        m_service->statusChanged();
        QCOMPARE(watch.take(),
                 (QList<QVariantMap>{{{QStringLiteral("PlaybackStatus"), QStringLiteral("Paused")}}}));

        // Nothing new: no signal. The next one shows only the next change.
        m_service->statusChanged();
        m_service->rateChanged();
        m_target.current = RecordingTarget::Track{QStringLiteral("/org/nura/viewer/track/13"), 30'000'000,
                                                  QStringLiteral("file:///card/DCIM/F_0813.mp4"), QString()};
        m_target.hasNext = false;
        m_service->trackChanged();
        const QList<QVariantMap> track = watch.take();
        QCOMPARE(track.size(), 1);
        QCOMPARE(track[0].keys(), (QStringList{QStringLiteral("CanGoNext"), QStringLiteral("Metadata")}));
        QCOMPARE(track[0].value(QStringLiteral("CanGoNext")), QVariant(false));
        const auto metadata = qdbus_cast<QVariantMap>(track[0].value(QStringLiteral("Metadata")));
        QCOMPARE(metadata.value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>().path(),
                 QStringLiteral("/org/nura/viewer/track/13"));
        QCOMPARE(metadata.value(QStringLiteral("mpris:length")), QVariant(qlonglong(30'000'000)));
        QVERIFY(!metadata.contains(QStringLiteral("xesam:title")));

        m_target.currentVolume = 1.5;
        m_service->volumeChanged();
        m_service->seeked();
        QCOMPARE(watch.take(), (QList<QVariantMap>{{{QStringLiteral("Volume"), 1.5}},
                                                   {{QStringLiteral("Seeked"), qlonglong(43'000'000)}}}));
    }

    void secondInstanceTakesItsOwnName() {
        const QString connection = QStringLiteral("second-instance");
        RecordingTarget target;
        {
            MprisService second(target,
                                QDBusConnection::connectToBus(QDBusConnection::SessionBus, connection));
            QVERIFY(second.registered());
            const QString name =
                kName + QStringLiteral(".instance%1").arg(QCoreApplication::applicationPid());
            QCOMPARE(second.serviceName(), name);
            QVERIFY(call(QStringLiteral("org.mpris.MediaPlayer2.Player.Stop"), {}, name).exitCode == 0);
            QCOMPARE(target.calls, QStringList{"stop"});
            QCOMPARE(m_target.calls, QStringList());
        }
        QDBusConnection::disconnectFromBus(connection);
    }

    // No bus address, or one whose socket is missing.
    void silentWithoutSessionBus() {
        for (const QString& address : {QString(), QStringLiteral("unix:path=/nonexistent/nura-viewer-bus")}) {
            QTemporaryDir runtime; // no bus socket in it
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
            environment.remove(QStringLiteral("DISPLAY"));
            environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
            QProcess child;
            child.setProcessEnvironment(environment);
            child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--without-bus")});
            QVERIFY(child.waitForFinished(30000));
            QCOMPARE(child.exitStatus(), QProcess::NormalExit);
            QCOMPARE(child.exitCode(), 0);
            QCOMPARE(QString::fromUtf8(child.readAllStandardError()), QString());
        }
    }
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (app.arguments().contains(QStringLiteral("--without-bus"))) {
        return runWithoutBus();
    }
    MprisServiceTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "MprisServiceTest.moc"
