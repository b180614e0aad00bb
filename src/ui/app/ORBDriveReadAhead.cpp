// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/app/ORBDriveReadAhead.h"

#include "core/telemetry/ConvertNmeaCoordinates.h"
#include "core/telemetry/GpsFixes.h"
#include "ui/app/ORBEventMarkerController.h"

#include <QFile>
#include <QFutureWatcher>
#include <QThreadPool>
#include <QtConcurrent>

#include <algorithm>
#include <cmath>
#include <new>

ORBDriveReadAhead::Runner ORBDriveReadAhead::backgroundRunner() {
    return [](QObject* context, std::function<ORBDriveRead()> read, std::function<void(ORBDriveRead)> done) {
        auto* watcher = new QFutureWatcher<ORBDriveRead>(context);
        QObject::connect(watcher, &QFutureWatcherBase::finished, context, [watcher, done] {
            done(watcher->result());
            watcher->deleteLater();
        });
        static QThreadPool* const pool = [] {
            auto* p = new QThreadPool;
            p->setMaxThreadCount(2);
            p->setThreadPriority(QThread::LowPriority);
            return p;
        }();
        watcher->setFuture(QtConcurrent::run(pool, std::move(read)));
    };
}

ORBDriveRead ORBDriveReadAhead::keep(const nura::ORBBlackBoxData& data, std::optional<int64_t> lengthMs,
                                     double thresholdG) {
    auto kept = std::make_shared<ORBDriveRecordingRead>();
    try {
        if (lengthMs && *lengthMs > 0) {
            kept->markers = nura::ORBEventMarkers::find(data.gSensors(),
                                                        static_cast<double>(*lengthMs) / 1000.0, thresholdG);
        }
        const auto& states = data.nmeas();
        for (size_t i = 0; i < states.size(); ++i) {
            if (!nura::isFixState(states, i)) {
                continue;
            }
            const nura::DecimalPosition where = nura::decimalPosition(states[i]);
            kept->fixes.push_back({where.longitude, where.latitude, {}});
        }
    } catch (const std::bad_alloc&) {
        // What fitted is kept: a drive without some of its markers beats no drive at all.
    }
    return kept;
}

ORBDriveRead ORBDriveReadAhead::readFile(const std::string& path, std::optional<int64_t> lengthMs,
                                         double thresholdG, const std::atomic<bool>& cancelled) {
    try {
        const ORBTelemetry telemetry = readTelemetry(path, cancelled);
        if (cancelled.load()) {
            return nullptr; // cut off part way: nothing of it is kept
        }
        return keep(*telemetry, lengthMs, thresholdG);
    } catch (const std::bad_alloc&) {
        return std::make_shared<ORBDriveRecordingRead>();
    }
}

ORBDriveReadAhead::ORBDriveReadAhead(ORBPlaybackController& playback, Runner runner, Reader reader,
                                     QObject* parent)
    : QObject(parent), m_playback(playback), m_runner(std::move(runner)), m_reader(std::move(reader)) {
    // A start emits driveModeChanged, a join joined: either may change the drive or the segment.
    connect(&playback, &ORBPlaybackController::driveModeChanged, this, &ORBDriveReadAhead::follow);
    connect(&playback, &ORBPlaybackController::joined, this, &ORBDriveReadAhead::follow);
    connect(&playback, &ORBPlaybackController::telemetryChanged, this,
            &ORBDriveReadAhead::takePlayingTelemetry);
    // The window lets playback go first when it closes: a read that ends after that goes nowhere.
    connect(&playback, &QObject::destroyed, this, [this] {
        cancel();
        m_drive.clear();
    });
}

ORBDriveReadAhead::~ORBDriveReadAhead() {
    m_cancel->store(true);
}

void ORBDriveReadAhead::setRecordings(std::vector<nura::DriveRecording> recordings) {
    m_recordings = std::move(recordings);
}

void ORBDriveReadAhead::clear() {
    cancel();
    m_recordings.clear();
    m_read.clear();
    const bool followed = !m_drive.empty();
    m_drive.clear();
    if (followed) {
        emit changed();
    }
}

void ORBDriveReadAhead::cancel() {
    m_cancel->store(true);
    m_cancel = std::make_shared<std::atomic<bool>>(false);
    m_running = false;
    m_queue.clear();
}

QString ORBDriveReadAhead::pathOf(size_t segment) const {
    const ORBDrivePlayback& drive = m_playback.drivePlayback();
    if (!drive.drive() || segment >= drive.drive()->segments().size()) {
        return QString();
    }
    return drive.itemOf(segment, true).telemetryPath();
}

std::optional<int64_t> ORBDriveReadAhead::lengthOf(size_t segment) const {
    const nura::DriveSegment& s = m_playback.drivePlayback().drive()->segments()[segment];
    // The markers' moments are over the telemetry file's own length; the segment's is the longer file's.
    if (s.recording < m_recordings.size()) {
        const nura::DriveRecording& r = m_recordings[s.recording];
        if (QFile::decodeName(r.media().path.c_str()) == pathOf(segment)) {
            return r.front ? r.frontMs : r.rearMs;
        }
    }
    return s.lengthMs;
}

ORBDriveRead ORBDriveReadAhead::readOf(const QString& path) const {
    return m_read.value(path);
}

std::vector<MapFix> ORBDriveReadAhead::route() const {
    std::vector<MapFix> fixes;
    for (const QString& path : m_drive) {
        if (const ORBDriveRead read = m_read.value(path)) {
            fixes.insert(fixes.end(), read->fixes.begin(), read->fixes.end());
        }
    }
    return fixes;
}

void ORBDriveReadAhead::follow() {
    const ORBDrivePlayback& drive = m_playback.drivePlayback();
    std::vector<QString> paths;
    if (m_playback.driveModeActive() && drive.drive() && drive.segment()) {
        for (size_t i = 0; i < drive.drive()->segments().size(); ++i) {
            paths.push_back(pathOf(i));
        }
    }
    // Markers found with another threshold (the preferences changed) are found again.
    const double threshold = ORBEventMarkerController::threshold();
    bool changedDrive = false;
    if (threshold != m_threshold) {
        m_threshold = threshold;
        m_read.clear();
        cancel();
        changedDrive = true;
    }
    if (paths != m_drive) {
        cancel();
        m_drive = std::move(paths);
        changedDrive = true;
    }
    if (!m_drive.empty()) {
        // The playing segment's own read gives it (it may have ended before the drives were known);
        // the others are read from the next one outwards.
        takePlayingTelemetry(m_playback.telemetry());
        const auto current = static_cast<std::ptrdiff_t>(*drive.segment());
        const auto count = static_cast<std::ptrdiff_t>(m_drive.size());
        m_queue.clear();
        const auto want = [&](std::ptrdiff_t i) {
            if (i >= 0 && i < count && !m_read.contains(m_drive[static_cast<size_t>(i)])) {
                m_queue.push_back({m_drive[static_cast<size_t>(i)], lengthOf(static_cast<size_t>(i))});
            }
        };
        for (std::ptrdiff_t step = 1; step < count; ++step) {
            want(current + step);
            want(current - step);
        }
        // Should the playing read give nothing to take (an empty track), the file is read last.
        want(current);
    }
    if (changedDrive) {
        emit changed();
    }
    readNext();
}

void ORBDriveReadAhead::takePlayingTelemetry(const ORBTelemetry& telemetry) {
    const auto& item = m_playback.item();
    // The empty result of a start stands for a read under way; a finished read has samples, fixes or
    // the reason it has none.
    if (!telemetry || !item ||
        (telemetry->gSensors().empty() && telemetry->nmeas().empty() &&
         telemetry->lastError() == nura::ORBTelemetryError::None)) {
        return;
    }
    const QString path = item->telemetryPath();
    const auto at = std::find(m_drive.begin(), m_drive.end(), path);
    if (at == m_drive.end() || m_read.contains(path)) {
        return;
    }
    m_read.insert(path, keep(*telemetry, lengthOf(static_cast<size_t>(at - m_drive.begin())), m_threshold));
    std::erase_if(m_queue, [&](const Wanted& w) { return w.path == path; });
    emit changed();
}

void ORBDriveReadAhead::readNext() {
    while (!m_running && !m_queue.empty()) {
        const Wanted next = m_queue.front();
        m_queue.erase(m_queue.begin());
        if (m_read.contains(next.path)) {
            continue;
        }
        m_running = true;
        const auto cancelled = m_cancel;
        const std::string file = QFile::encodeName(next.path).toStdString();
        m_runner(
            this,
            [reader = m_reader, file, length = next.lengthMs, threshold = m_threshold, cancelled] {
                return reader(file, length, threshold, *cancelled);
            },
            [this, cancelled, path = next.path](ORBDriveRead read) {
                if (cancelled != m_cancel) {
                    return; // of a drive left since, or of another folder
                }
                m_running = false;
                if (read) {
                    m_read.insert(path, std::move(read));
                    emit changed();
                }
                readNext();
            });
    }
}
