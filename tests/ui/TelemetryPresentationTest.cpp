// SPDX-License-Identifier: GPL-3.0-or-later
// What the window shows of a recording's telemetry at a playback position: the G-sensor and GPS
// texts, the map calls, the G-sensor graph drawn into an image, and in drive mode the whole drive's
// markers as the read-ahead brings them.

#include "DriveScript.h"
#include "SampleRecording.h"
#include "UiTestSupport.h"
#include "core/media/DriveTimeline.h"
#include "core/telemetry/ORBByteSource.h"
#include "core/telemetry/ORBTelemetryRecord.h"
#include "platform/FakeMediaPlayer.h"
#include "platform/Scheduler.h"
#include "ui/app/ORBDriveReadAhead.h"
#include "ui/app/ORBEventMarkerController.h"
#include "ui/app/ORBPlayInfo.h"
#include "ui/app/ORBTelemetryPresenter.h"
#include "ui/app/PlaybackMap.h"
#include "ui/views/GraphView.h"
#include "ui/views/TKSliderMarks.h"

#include <QImage>
#include <QLabel>
#include <QSettings>
#include <QSlider>
#include <QTest>

namespace {

struct Sample {
    int x, y, z;    // 1 g = 256
    char unit;      // '9' km/h
    QByteArray gps; // sentences without checksums
};

QByteArray sentence(const QByteArray& body) {
    return QByteArray::fromStdString(samples::DriveScript::withChecksum(body.toStdString()));
}

void putI32(std::array<std::byte, 153>& b, size_t at, int32_t v) {
    const auto u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i) {
        b[at + i] = static_cast<std::byte>((u >> (8 * i)) & 0xff);
    }
}

// A recording's telemetry as the reader gets it from a file with these records.
ORBTelemetry telemetryOf(const std::vector<Sample>& samples) {
    std::vector<nura::ORBTelemetryRecord> records;
    for (size_t i = 0; i < samples.size(); ++i) {
        std::array<std::byte, 153> b{};
        putI32(b, 0, static_cast<int32_t>(i * 100));
        putI32(b, 8, samples[i].x);
        putI32(b, 12, samples[i].y);
        putI32(b, 16, samples[i].z);
        b[24] = static_cast<std::byte>(samples[i].unit);
        for (int k = 0; k < samples[i].gps.size() && k < 128; ++k) {
            b[25 + k] = static_cast<std::byte>(samples[i].gps[k]);
        }
        records.push_back(*nura::ORBTelemetryRecord::decode(b));
    }
    auto file = samples::buildCameraMp4(samples::placeholderVideo(64, 36, 10, 10), records);
    auto data = std::make_shared<nura::ORBBlackBoxData>();
    nura::ORBMemoryByteSource source(file.bytes);
    data->ExtractStreamInformation(source);
    return data;
}

struct Screen {
    QLabel x, y, z, speed, hdop, sats;
    RecordingPlaybackMap map;
    GraphView graph;
    ORBTelemetryPresenter presenter{{&x, &y, &z, &speed, &hdop, &sats}, &graph, &map};
};

// Speed from the recommended-minimum sentence, then position, satellites and HDOP from the fix.
QByteArray fix(const char* lat, const char* ns, const char* lon, const char* ew, const char* knots) {
    return sentence(QByteArray("GPRMC,083012.000,A,,,,,") + knots + ",0.0,150123,,,A") +
           sentence(QByteArray("GPGGA,083012.000,") + lat + "," + ns + "," + lon + "," + ew +
                    ",1,07,0.9,10.0,M,0.0,M,,");
}

const QString kA = QStringLiteral("/card/alwa_20230115_083000_F.MP4");
const QString kB = QStringLiteral("/card/alwa_20230115_083100_F.MP4");
const QString kC = QStringLiteral("/card/alwa_20230115_083200_F.MP4");

// Three back-to-back minutes played with fake players. Playback's own read of A gives a jolt at 20 s,
// of B at 40 s; the read-ahead's reads wait until the test runs them and give a marker at 30 s.
struct DriveRig {
    FakeMediaPlayer p1, p2;
    ORBMediaList list;
    ORBPlayInfo info;
    ManualScheduler scheduler;
    QHash<QString, ORBTelemetry> ownRead{
        {kA, uitest::joltAt(20)}, {kB, uitest::joltAt(40)}, {kC, uitest::joltAt(50)}};
    ORBPlaybackController c{
        p1, p2, list, info, scheduler, [this](QObject*, auto, std::function<void(ORBTelemetry)> done) {
            done(ownRead.value(c.item()->telemetryPath()));
        }};
    std::vector<std::function<void()>> pending;
    QStringList readFiles;
    ORBDriveReadAhead ahead{
        c,
        [this](QObject*, std::function<ORBDriveRead()> read, std::function<void(ORBDriveRead)> done) {
            pending.push_back([read, done] { done(read()); });
        },
        [this](const std::string& path, std::optional<int64_t> lengthMs, double,
               const std::atomic<bool>& cancelled) -> ORBDriveRead {
            if (cancelled.load()) {
                return nullptr;
            }
            readFiles << QString::fromStdString(path);
            auto kept = std::make_shared<ORBDriveRecordingRead>();
            kept->markers.push_back({300, 0.5, 30.0, 2.0});
            kept->fixes.push_back({127.0 + readFiles.size(), 37.0, {}});
            return lengthMs == 60000 ? kept : nullptr;
        }};
    QSlider slider{Qt::Horizontal};
    GraphView graph;
    ORBEventMarkerController markers{c, &graph, {new TKSliderMarks(&slider)}};

    DriveRig() {
        for (const QString& path : {kA, kB, kC}) {
            list.addMedia(ORBMedia::mediaWithPath(path.toStdString()));
        }
        QObject::connect(&c, &ORBPlaybackController::telemetryChanged, &markers,
                         &ORBEventMarkerController::setTelemetry);
        markers.setReadAhead(&ahead);
    }
    void giveDrives() {
        auto recordings = nura::driveRecordings({list.medias(), list.mediaPairDic()});
        for (auto& r : recordings) {
            r.frontMs = 60000;
        }
        ahead.setRecordings(recordings);
        auto drives = nura::splitIntoDrives(recordings);
        c.setDrives(std::move(recordings), std::move(drives));
    }
    void runRead() {
        QVERIFY(!pending.empty());
        auto next = pending.front();
        pending.erase(pending.begin());
        next();
    }
    std::vector<double> onSlider() const {
        std::vector<double> at;
        for (const auto& m : markers.sliders().front()->markers()) {
            at.push_back(std::round(m.position * 180));
        }
        return at;
    }
    using Bands = std::vector<std::pair<double, double>>;
};

} // namespace

class TelemetryPresentationTest : public QObject {
    Q_OBJECT
private slots:
    void axisAndSpeedTexts() {
        // The texts of a plain value are checked where playback shows them; here the edges.
        QCOMPARE(ORBTelemetryPresenter::axisText('Z', -0.001f), QStringLiteral("Z=-0.00"));
        QCOMPARE(ORBTelemetryPresenter::speedText(1e300, true), QStringLiteral("2147483647 Km/h"));
    }

    void theIndexRuleOverEmptyOneAndManyEntries() {
        Screen s;
        s.presenter.resetTexts();
        // Empty: G-sensor texts stay, GPS placeholders, and only the map's note of no GPS, on every update.
        for (double p : {0.0, 0.5, 1.0}) {
            s.presenter.update(p, p);
        }
        QCOMPARE(s.x.text(), QStringLiteral("X=+0.00"));
        QCOMPARE(s.speed.text(), QStringLiteral("- Km/h"));
        QCOMPARE(s.map.calls, QStringList(3, QStringLiteral("clearMarker()")));

        s.presenter.setTelemetry(telemetryOf({{128, -64, 256, '9', {}}}));
        for (double p : {0.0, 0.5, 1.0}) {
            s.presenter.update(p, p);
            QCOMPARE(s.y.text(), QStringLiteral("Y=-0.25"));
        }
        QCOMPARE(s.speed.text(), QStringLiteral("- Km/h")); // G-sensor data but no sentences

        std::vector<Sample> many;
        for (int i = 0; i < 4; ++i) {
            many.push_back({i * 64, 0, 0, '9', {}});
        }
        s.presenter.setTelemetry(telemetryOf(many));
        // A player that knows no position yet says -1.
        const std::pair<double, QString> expected[] = {
            {-1.0, "X=0.00"}, {0.2499, "X=0.00"}, {0.25, "X=+0.25"}, {0.99, "X=+0.75"}, {1.0, "X=+0.75"}};
        for (const auto& [p, text] : expected) {
            s.presenter.update(p, p);
            QCOMPARE(s.x.text(), text);
        }
        QCOMPARE(s.graph.timePosition(), 1.0);
    }

    void gpsTextsAndTheMapFollowTheCurrentEntrysHemisphere() {
        Screen s;
        // A southern-western recording, then a northern-eastern one.
        s.presenter.setTelemetry(
            telemetryOf({{0, 0, 0, '9', fix("3730.5000", "S", "12700.0000", "W", "10.0")}}));
        s.presenter.update(1.0, 1.0);
        QCOMPARE(s.map.calls.last(), QStringLiteral("setLatLag('-127.000000','-37.508333','0.0')"));
        QCOMPARE(s.speed.text(), QStringLiteral("18 Km/h"));
        QCOMPARE(s.sats.text(), QStringLiteral("7"));

        s.presenter.setTelemetry(
            telemetryOf({{0, 0, 0, 'M', fix("3730.5000", "N", "12700.0000", "E", "10.0")}}));
        s.presenter.update(1.0, 1.0);
        QCOMPARE(s.map.calls.last(), QStringLiteral("setLatLag('127.000000','37.508333','0.0')"));
        QCOMPARE(s.speed.text(), QStringLiteral("11 Mi/h"));
    }

    void theMapGetsExactCallsAndItsTrailIsRedrawnAfterASeek() {
        Screen s;
        // A new recording: the trail restarts once its telemetry arrives, and the first update
        // draws the trail up to where playback stands (the read may end while it plays).
        s.presenter.setTelemetry(
            telemetryOf({{0, 0, 0, '9', fix("0000.0000", "N", "00000.0000", "E", "0")},
                         {0, 0, 0, '9', fix("3700.0000", "N", "12730.0000", "E", "5")},
                         {0, 0, 0, '9', fix("3700.0000", "N", "12730.0000", "E", "5")},
                         {0, 0, 0, '9', fix("3701.0000", "N", "12730.0000", "E", "5")}}));
        QCOMPARE(s.map.calls, QStringList{QStringLiteral("ORBRestartTrail()")});
        const auto wholeTrail = [&s] {
            // One call, repeats left out; a heading only where the car moves.
            return s.map.lastTrail.size() == 2 && s.map.lastTrail[0].longitude == 0.0 &&
                   !s.map.lastTrail[0].headingDegrees && s.map.lastTrail[1].longitude == 127.5 &&
                   s.map.lastTrail[1].latitude == 37.0 && s.map.lastTrail[1].headingDegrees == 0.0;
        };
        s.presenter.update(0.6, 0.6);
        QCOMPARE(s.map.calls.at(1), QStringLiteral("setTrail(2)"));
        QVERIFY(wholeTrail());
        QCOMPARE(s.map.calls.last(), QStringLiteral("setLatLag('127.500000','37.000000','0.0')"));
        s.presenter.update(0.9, 0.9);
        QCOMPARE(s.map.calls.last(), QStringLiteral("setLatLag('127.500000','37.016667','0.0')"));
        QCOMPARE(s.map.calls.size(), 4); // moving on adds to the trail

        // A step back, or any seek, draws the trail again from the first fix to where it landed.
        s.map.calls.clear();
        s.map.lastTrail.clear();
        s.presenter.update(0.6, 0.6);
        QCOMPARE(s.map.calls.first(), QStringLiteral("setTrail(2)"));
        QVERIFY(wholeTrail());
        s.map.calls.clear();
        s.presenter.seeked();
        s.presenter.update(0.9, 0.9);
        QCOMPARE(s.map.calls.first(), QStringLiteral("setTrail(3)"));
    }

    // The drive's markers land at their drive times, the playing recording's from its own read, the
    // others' as the read-ahead brings them (next first), a band standing for each one not read yet.
    // The graph stays with the playing recording; leaving the drive stops the reads.
    void aDrivesMarkersComeInAtTheirDriveTimesAndLeavingItCancelsTheReads() {
        QSettings().remove(QString::fromLatin1(ORBEventMarkerController::kThresholdKey));
        DriveRig r;
        r.c.setDriveMode(true);
        QVERIFY(r.c.playAtIndex(0));
        r.giveDrives();
        QVERIFY(r.c.driveModeActive());
        QCOMPARE(r.onSlider(), (std::vector<double>{20}));
        QCOMPARE(r.markers.placeholders(), (DriveRig::Bands{{1.0 / 3, 2.0 / 3}, {2.0 / 3, 1.0}}));
        QCOMPARE(r.pending.size(), size_t(1)); // one read at a time, and A is not read again

        r.runRead();
        QCOMPARE(r.readFiles, QStringList{kB});
        QCOMPARE(r.onSlider(), (std::vector<double>{20, 90}));
        QCOMPARE(r.markers.placeholders(), (DriveRig::Bands{{2.0 / 3, 1.0}}));
        QCOMPARE(r.markers.sliders().front()->markers()[1].toolTip,
                 QStringLiteral("Sharp force: 2.00 g at 01:30"));

        // Ctrl+Right crosses the join: B plays from 3 s before its marker; the graph shows B's own.
        r.p1.setTime(30000);
        QVERIFY(r.markers.jumpToNextMarker());
        QCOMPARE(r.p1.media(), kB);
        QCOMPARE(r.p1.time(), 27000);
        QCOMPARE(r.graph.markers().size(), size_t(1));
        QCOMPARE(r.graph.markers()[0].position, 400.0 / 600);
        QCOMPARE(r.onSlider(), (std::vector<double>{20, 100}));

        // Out of the drive, C's read stops and goes nowhere; back in, it is read, and B is not again.
        r.c.setDriveMode(false);
        QCOMPARE(r.onSlider(), (std::vector<double>{120})); // B's jolt over B alone
        QVERIFY(r.markers.placeholders().empty());
        r.runRead();
        QCOMPARE(r.readFiles, QStringList{kB});
        QVERIFY(!r.ahead.reading());
        r.c.setDriveMode(true);
        r.runRead();
        QCOMPARE(r.readFiles, (QStringList{kB, kC}));
        QVERIFY(r.pending.empty());
        QCOMPARE(r.onSlider(), (std::vector<double>{20, 100, 150}));
        QVERIFY(r.markers.placeholders().empty());
        QCOMPARE(r.ahead.route().size(), size_t(2)); // B's and C's fixes; A has none
        QCOMPARE(r.ahead.route()[1].longitude, 129.0);
    }

    void theGraphDrawsTracesAndBar() {
        GraphView g;
        g.resize(240, 116); // graph area 200 x 100: 25 points per g, 0 g at 58 points from the bottom
        // Whether a pixel of `channel` ('r', 'g', 'b') stands within a point of (x, y upward).
        auto strong = [&g](int x, int yUp, char channel) {
            const QImage image = g.grab().toImage();
            for (int row = g.height() - 2 - yUp; row <= g.height() - yUp; ++row) {
                const QColor c = image.pixelColor(x, row);
                const int v = channel == 'r'   ? c.red() - c.green()
                              : channel == 'g' ? c.green() - c.red()
                                               : c.blue() - c.red();
                if (v > 100) {
                    return true;
                }
            }
            return false;
        };

        const QImage empty = g.grab().toImage();
        QCOMPARE(empty.pixelColor(120, 30), empty.pixelColor(232, 30)); // no bar without samples

        // One sample: three flat lines at +1 g (x, red), -1 g (y, green) and 0 g (z, blue).
        g.setGraphData(
            std::make_shared<std::vector<nura::ORBGSensor>>(1, nura::ORBGSensor(1.0f, -1.0f, 0.0f)));
        g.updateTimePosition(0.25);
        QVERIFY(strong(100, 83, 'r'));
        QVERIFY(strong(100, 33, 'g'));
        QVERIFY(strong(100, 58, 'b'));
        QCOMPARE(g.timeBarRect(), QRectF(70, 8, 2, 100));

        // Moving the bar reuses the drawn traces.
        const int renders = g.traceRenderCount();
        for (double p : {0.3, 0.6, 1.0}) {
            g.updateTimePosition(p);
            g.grab();
        }
        QCOMPARE(g.traceRenderCount(), renders);
        QCOMPARE(g.timeBarRect().left(), 220.0);

        // 100 samples over 200 points: the segment ends from x = 119.1 to 121 use sample 49.
        auto hundred = std::make_shared<std::vector<nura::ORBGSensor>>(100, nura::ORBGSensor(0, 0, 0));
        (*hundred)[49] = nura::ORBGSensor(1.0f, 0, 0);
        g.setGraphData(hundred);
        QVERIFY(strong(120, 83, 'r'));
        QVERIFY(!strong(117, 83, 'r'));
        QVERIFY(!strong(123, 83, 'r'));

        // A new size draws the kept traces again, over the new width.
        g.resize(440, 116);
        QVERIFY(strong(220, 83, 'r'));
        QVERIFY(!strong(120, 83, 'r'));
    }
};

QTEST_MAIN(TelemetryPresentationTest)
#include "TelemetryPresentationTest.moc"
