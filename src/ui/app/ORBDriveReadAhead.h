// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The event markers and GPS fixes of every recording of the drive that plays, read ahead in the
// background so that the slider's markers and the map's route cover the whole drive. The playing
// recording comes first, then the next, then outwards from it. Each file is read once per listing
// and only its markers and fixes are kept. The reads run one at a time on a pool of their own at low
// priority, so the playing recording's own read never waits behind them; the playing recording is
// taken from that read rather than read twice. Leaving the drive or opening another folder stops them.

#include "core/telemetry/ORBEventMarkers.h"
#include "ui/app/ORBPlaybackController.h"
#include "ui/app/PlaybackMap.h"

#include <QHash>
#include <QObject>
#include <QString>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

// What is kept of one recording's telemetry.
struct ORBDriveRecordingRead {
    std::vector<nura::ORBEventMarker> markers; // their seconds are into the recording
    std::vector<MapFix> fixes;                 // one per GPS fix, in file order
};
using ORBDriveRead = std::shared_ptr<const ORBDriveRecordingRead>;

class ORBDriveReadAhead : public QObject {
    Q_OBJECT
public:
    // Runs `read` off the UI thread and hands its result to `done` on the UI thread, unless `context`
    // has gone by then. A null result is a read that was stopped.
    using Runner = std::function<void(QObject* context, std::function<ORBDriveRead()> read,
                                      std::function<void(ORBDriveRead)> done)>;
    // Reads the telemetry of `path` and keeps its markers and fixes; null once `cancelled` is set.
    using Reader = std::function<ORBDriveRead(const std::string& path, std::optional<int64_t> lengthMs,
                                              double thresholdG, const std::atomic<bool>& cancelled)>;

    // The application's: a pool of its own, of two threads at low priority (a read the card holds up
    // must not keep the next drive's from starting), never destroyed so that quitting waits for none.
    static Runner backgroundRunner();
    // The file's telemetry through the cancellable reader of playback.
    static ORBDriveRead readFile(const std::string& path, std::optional<int64_t> lengthMs, double thresholdG,
                                 const std::atomic<bool>& cancelled);
    // The markers of a file `lengthMs` long (none without a length) and its drawable fixes.
    static ORBDriveRead keep(const nura::ORBBlackBoxData& data, std::optional<int64_t> lengthMs,
                             double thresholdG);

    ORBDriveReadAhead(ORBPlaybackController& playback, Runner runner = backgroundRunner(),
                      Reader reader = readFile, QObject* parent = nullptr);
    ~ORBDriveReadAhead() override;

    // The listing's recordings with the lengths of their files, in the indices the drives use.
    void setRecordings(std::vector<nura::DriveRecording> recordings);
    // Another folder: what was read is dropped and the reads stop.
    void clear();

    // The telemetry file of a segment of the playing drive (the front file, else the rear), or empty.
    QString pathOf(size_t segment) const;
    // What was read of the recording with telemetry file `path`; null while it is not read yet.
    ORBDriveRead readOf(const QString& path) const;
    // A read runs, or is waiting to.
    bool reading() const { return m_running || !m_queue.empty(); }
    // The fixes of the drive's recordings read so far, in drive order; empty out of drive mode.
    std::vector<MapFix> route() const;

signals:
    // A recording's read arrived, or the drive that plays changed.
    void changed();

private:
    struct Wanted {
        QString path;
        std::optional<int64_t> lengthMs;
    };
    void follow();
    void takePlayingTelemetry(const ORBTelemetry& telemetry);
    void cancel();
    void readNext();
    std::optional<int64_t> lengthOf(size_t segment) const;

    ORBPlaybackController& m_playback;
    Runner m_runner;
    Reader m_reader;
    std::vector<nura::DriveRecording> m_recordings;
    // The drive followed: each segment's telemetry file, in drive order.
    std::vector<QString> m_drive;
    std::vector<Wanted> m_queue; // next first
    QHash<QString, ORBDriveRead> m_read;
    double m_threshold = 0;
    bool m_running = false;
    // Set to stop the reads of the drive followed; a result whose flag is set goes nowhere.
    std::shared_ptr<std::atomic<bool>> m_cancel = std::make_shared<std::atomic<bool>>(false);
};
