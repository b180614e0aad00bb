// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/app/ORBPlaybackController.h"

#include "core/log.h"
#include "core/telemetry/ORBByteSource.h"
#include "ui/app/ORBPlayInfo.h"
#include "ui/strings/InfoPlist.h"

#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QThreadPool>
#include <QtConcurrent>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <utility>

namespace {

ORBTelemetry emptyTelemetry() {
    static const ORBTelemetry empty = std::make_shared<const nura::ORBBlackBoxData>();
    return empty;
}

// A recording's file whose reads stop once the start that asked for them is over: on a slow card a
// superseded read must neither hold a reader thread nor keep the card's files open.
class CancellableFile final : public nura::ORBByteSource {
public:
    CancellableFile(nura::ORBByteSource& file, const std::atomic<bool>& cancelled)
        : m_file(file), m_cancelled(cancelled) {}
    uint64_t size() const override { return m_file.size(); }
    bool readAt(uint64_t position, std::span<std::byte> out) override {
        return !m_cancelled.load(std::memory_order_relaxed) && m_file.readAt(position, out);
    }
    int readError() const override {
        return m_cancelled.load(std::memory_order_relaxed) ? ECANCELED : m_file.readError();
    }

private:
    nura::ORBByteSource& m_file;
    const std::atomic<bool>& m_cancelled;
};

} // namespace

ORBTelemetry readTelemetry(const std::string& path, const std::atomic<bool>& cancelled) {
    auto data = std::make_shared<nura::ORBBlackBoxData>();
    if (path.empty() || cancelled.load()) {
        return data;
    }
    const auto file = nura::ORBFileByteSource::open(path);
    if (!file) {
        data->ExtractStreamInformation(path); // says why it cannot be opened
        return data;
    }
    CancellableFile source(*file, cancelled);
    data->ExtractStreamInformation(source);
    return data;
}

ORBTelemetryReader backgroundTelemetryReader() {
    return [](QObject* context, std::function<ORBTelemetry()> read, std::function<void(ORBTelemetry)> done) {
        // The watcher dies with its context, so a result that comes back too late goes nowhere.
        auto* watcher = new QFutureWatcher<ORBTelemetry>(context);
        QObject::connect(watcher, &QFutureWatcherBase::finished, context, [watcher, done] {
            done(watcher->result());
            watcher->deleteLater();
        });
        // Reads of a slow or failing card must not hold the threads of the shared pool, which Qt's
        // own picture conversions use: a read that stalls there delayed the first pictures of playback.
        // The pool is never destroyed, so quitting does not wait for a read held up by the card; a
        // few threads let a new read start while cancelled ones finish their last system call.
        static QThreadPool* const readers = [] {
            auto* pool = new QThreadPool;
            pool->setMaxThreadCount(6);
            return pool;
        }();
        watcher->setFuture(QtConcurrent::run(readers, std::move(read)));
    };
}

ORBTelemetryReader inlineTelemetryReader() {
    return [](QObject*, std::function<ORBTelemetry()> read, std::function<void(ORBTelemetry)> done) {
        done(read());
    };
}

ORBPlaybackController::ORBPlaybackController(ORBRecordingPlayer& recording, const ORBMediaList& list,
                                             ORBPlayInfo& info, Scheduler& scheduler,
                                             ORBTelemetryReader reader, QObject* parent)
    : QObject(parent), m_recording(recording), m_list(list), m_info(info), m_scheduler(scheduler),
      m_reader(std::move(reader)), m_telemetry(emptyTelemetry()) {
    wireRecording();
}

ORBPlaybackController::ORBPlaybackController(MediaPlayer& player1, MediaPlayer& player2,
                                             const ORBMediaList& list, ORBPlayInfo& info,
                                             Scheduler& scheduler, ORBTelemetryReader reader, QObject* parent)
    : QObject(parent), m_ownRecording(std::make_unique<ORBRecordingPlayer>(player1, player2, scheduler)),
      m_recording(*m_ownRecording), m_list(list), m_info(info), m_scheduler(scheduler),
      m_reader(std::move(reader)), m_telemetry(emptyTelemetry()) {
    wireRecording();
}

ORBPlaybackController::~ORBPlaybackController() {
    disconnect(&m_recording, nullptr, this, nullptr);
}

void ORBPlaybackController::wireRecording() {
    connect(&m_info, &ORBPlayInfo::audioMediaDirectionChanged, this, [this] { updateAudioUI(); });
    connect(this, &ORBPlaybackController::volumeChanged, this, [this] { updateAudioUI(); });
    auto* r = &m_recording;
    connect(r, &ORBRecordingPlayer::stateChanged, this, &ORBPlaybackController::recordingStateChanged);
    connect(r, &ORBRecordingPlayer::playerFailed, this,
            [this](MediaPlayer* player) { reportFailure(*player); });
    connect(r, &ORBRecordingPlayer::positionChanged, this, [this] { showPosition(); });
    connect(r, &ORBRecordingPlayer::firstPicture, this, [this] {
        if (m_move != ORBPlaybackMove::Swapping) {
            chooseAudioAuto();
        }
    });
    connect(r, &ORBRecordingPlayer::loadingShown, this, &ORBPlaybackController::loadingShown);
    connect(r, &ORBRecordingPlayer::loadingProgressChanged, this,
            &ORBPlaybackController::loadingProgressChanged);
    connect(r, &ORBRecordingPlayer::loadingHidden, this, &ORBPlaybackController::loadingHidden);
}

void ORBPlaybackController::later(double seconds, std::function<void()> task) {
    const unsigned generation = m_generation;
    m_scheduler.after(seconds, this, [this, generation, task = std::move(task)] {
        if (generation == m_generation) {
            task();
        }
    });
}

// ---- starting a recording

std::optional<ORBPlayItem> ORBPlaybackController::itemAtRow(int64_t row) const {
    const auto entry = m_list.entryAtIndex(static_cast<size_t>(row));
    if (!entry || !entry->media) {
        return std::nullopt;
    }
    const ORBMedia& media = *entry->media;
    ORBPlayItem item;
    item.mainPath = nura::pathText(media.path);
    item.mainIsFront = !media.isRearMedia();
    if (entry->pair) {
        const auto& partner = media.isRearMedia() ? entry->pair->frontMedia : entry->pair->rearMedia;
        if (partner && partner->path != media.path) {
            item.partnerPath = nura::pathText(partner->path);
        }
    }
    return item;
}

bool ORBPlaybackController::playAtIndex(int64_t row) {
    m_unplayableInARow = -1; // the user's choice
    return startRow(row);
}

bool ORBPlaybackController::startRow(int64_t row) {
    const auto count = static_cast<int64_t>(m_list.count());
    if (count == 0) {
        return false;
    }
    row = std::clamp<int64_t>(row, 0, count - 1);
    const auto item = itemAtRow(row);
    if (!item) {
        return false; // the list shrank since the count was read
    }
    start(*item, row, 0, ORBStartKind::Fresh);
    return true;
}

// Both files go to the players and play at once; the telemetry read runs beside them. A start
// under way is superseded: the latest start wins.
void ORBPlaybackController::start(const ORBPlayItem& item, int64_t row, int64_t fromMs, ORBStartKind kind) {
    ++m_generation;
    cancelAdvance(false); // the start says Playing at once: no Stopped in between
    const bool swap = kind == ORBStartKind::Swap, joining = kind == ORBStartKind::Join;
    m_item = item;
    m_mediaIndex = row;
    if (!joining) {
        m_frontInMain = item.mainIsFront; // the camera the user put in the main picture
    }
    // A swap restarts the same recording, and a join goes on with the drive: the heard side and
    // the speed stay as they were. A start ends a swap under way.
    m_move = swap ? ORBPlaybackMove::Swapping : joining ? ORBPlaybackMove::None : ORBPlaybackMove::Announcing;
    updateFollowing();
    m_failures.clear();
    const bool wasActive = m_drive.active();
    m_drive.follow(item.mainPath);
    m_recording.open(item, fromMs);
    if (joining) {
        m_recording.setRate(static_cast<float>(m_info.speed()));
        emit joined(row, !item.mainIsFront, item.hasPartner());
    } else if (!swap) {
        emit recordingStarting(row, !item.mainIsFront, item.hasPartner());
        initMediaControlView();
    }
    if (!(joining || swap) || wasActive != m_drive.active()) {
        emit driveModeChanged(m_drive.active());
    }
    emit itemChanged();
    m_recording.start(!joining);
    updateIsPlaying(); // a pause asked while the start before opened is gone with it
    if (swap) {
        emit swapped(!item.mainIsFront);
        return; // the telemetry stays: the recording is the same
    }

    m_telemetry = emptyTelemetry();
    emit telemetryChanged(m_telemetry);
    cancelTelemetryRead();
    const std::string path = nura::pathBytes(item.telemetryPath());
    auto read = std::make_shared<std::atomic<bool>>(false);
    m_telemetryRead = read;
    m_reader(
        this, [path, read] { return readTelemetry(path, *read); },
        [this, read](ORBTelemetry telemetry) { finishTelemetryRead(telemetry, read); });
}

void ORBPlaybackController::cancelTelemetryRead() {
    if (m_telemetryRead) {
        m_telemetryRead->store(true);
        m_telemetryRead.reset();
    }
}

void ORBPlaybackController::finishTelemetryRead(const ORBTelemetry& telemetry,
                                                const std::shared_ptr<std::atomic<bool>>& read) {
    // A read of another recording, or of one that was stopped, goes nowhere; a swap keeps the read.
    if (read != m_telemetryRead) {
        return;
    }
    m_telemetryRead.reset();
    m_telemetry = telemetry ? telemetry : emptyTelemetry();
    emit telemetryChanged(m_telemetry);
    m_recording.publishPosition();
    // An empty graph would pass for a recording without data: say that the card failed instead.
    if (m_item && m_telemetry->lastError() == nura::ORBTelemetryError::ReadFailed) {
        emit statusMessage(
            L("main.telemetry_refused_fmt").arg(QFileInfo(m_item->telemetryPath()).fileName()));
    }
}

void ORBPlaybackController::initMediaControlView() {
    emit scaleStepRequested(0);
    m_info.setSpeed(1.0);
    m_recording.setRate(1.0f);
    m_info.setPosition(0);
    m_recording.publishPosition();
    emit speedChanged(1.0);
    emit controlsReset();
}

void ORBPlaybackController::changeAndPlay(int64_t row) {
    nura::logf("selectedRow=%ld,mediaIndex=%ld,isPlaying=%d,count=%ld", static_cast<long>(row),
               static_cast<long>(m_mediaIndex), m_recording.main().isPlaying() ? 1 : 0,
               static_cast<long>(m_list.count()));
    const auto item = itemAtRow(std::max<int64_t>(row, 0));
    const ORBRecordingState now = state();
    // The row number alone may name another file since the list was rescanned.
    if (!item || !m_item || item->mainPath != m_item->mainPath || now == ORBRecordingState::Idle ||
        now == ORBRecordingState::Failed) {
        playAtIndex(row);
        return;
    }
    if (now == ORBRecordingState::Ended) {
        m_recording.main().setTime(0);
        m_recording.sub().setTime(0);
    }
    play();
}

bool ORBPlaybackController::playNext() {
    if (!m_item) {
        return false;
    }
    if (m_drive.navigates()) {
        return playDriveNeighbour(1);
    }
    const auto next = m_list.nextRecordingIndex(nura::pathBytes(m_item->mainPath));
    return next && playAtIndex(static_cast<int64_t>(*next));
}

bool ORBPlaybackController::playPrevious() {
    if (!m_item) {
        return false;
    }
    if (m_drive.navigates()) {
        return playDriveNeighbour(-1);
    }
    const auto previous = m_list.previousRecordingIndex(nura::pathBytes(m_item->mainPath));
    return previous && playAtIndex(static_cast<int64_t>(*previous));
}

bool ORBPlaybackController::hasNext() const {
    if (m_item && m_drive.navigates()) {
        return m_drive.neighbour(1).has_value();
    }
    return m_item && m_list.nextRecordingIndex(nura::pathBytes(m_item->mainPath));
}

bool ORBPlaybackController::hasPrevious() const {
    if (m_item && m_drive.navigates()) {
        return m_drive.neighbour(-1).has_value();
    }
    return m_item && m_list.previousRecordingIndex(nura::pathBytes(m_item->mainPath));
}

void ORBPlaybackController::mediaListReloaded() {
    m_mediaIndex = m_item ? rowOf(m_item->mainPath) : -1;
}

void ORBPlaybackController::stopPlay(bool forget) {
    ++m_generation;
    cancelAdvance();
    m_move = ORBPlaybackMove::None;
    updateFollowing();
    cancelTelemetryRead();
    if (forget) {
        m_item.reset();
        m_mediaIndex = -1;
    }
    m_recording.stop(forget);
    if (forget) {
        m_telemetry = emptyTelemetry();
        emit telemetryChanged(m_telemetry);
        emit itemChanged();
    }
    updateIsPlaying();
    m_info.setPosition(0);
}

// ---- the recording's state

void ORBPlaybackController::recordingStateChanged(ORBRecordingState state, ORBRecordingState previous) {
    switch (state) {
    case ORBRecordingState::Playing:
        m_unplayableInARow = std::min(m_unplayableInARow, 0);
        if (m_move == ORBPlaybackMove::Announcing) {
            m_move = ORBPlaybackMove::None;
            didStartPlayer();
        } else {
            updateAudioUI();
        }
        prepareNext();
        break;
    case ORBRecordingState::Ended:
        didFinishPlay();
        // Within a drive the next recording takes over at once (once this report has been heard).
        if (const auto next = m_drive.active() ? m_drive.nextSegment() : std::nullopt) {
            joinLater(*next);
        } else {
            scheduleAdvance();
        }
        break;
    case ORBRecordingState::Paused:
        m_unplayableInARow = std::min(m_unplayableInARow, 0);
        if (previous == ORBRecordingState::Starting && m_move == ORBPlaybackMove::Announcing) {
            m_move = ORBPlaybackMove::None;
            didStartPlayer();
        }
        prepareNext();
        break;
    case ORBRecordingState::Failed:
        // Moving on through a drive, a recording that cannot be played is passed over (at once
        // within the drive); a run of them (a pulled card) ends the move.
        if (m_unplayableInARow >= 0 && ++m_unplayableInARow < kUnplayableInARowLimit) {
            if (const auto next = m_drive.active() ? m_drive.nextSegment() : std::nullopt) {
                joinLater(*next);
            } else {
                scheduleAdvance();
            }
        } else if (m_unplayableInARow >= 0) {
            emit statusMessage(L("main.advance_stopped_fmt").arg(kUnplayableInARowLimit));
        }
        break;
    case ORBRecordingState::Idle:
    case ORBRecordingState::Starting:
        break;
    }
    emit stateChanged(state);
    updateIsPlaying();
}

void ORBPlaybackController::updateIsPlaying() {
    const ORBPlaybackStatus status = this->status();
    m_info.setIsPlaying(status == ORBPlaybackStatus::Playing);
    if (status != m_status) {
        m_status = status;
        emit statusChanged(status);
    }
}

void ORBPlaybackController::reportFailure(MediaPlayer& player) {
    const int side = &player == m_recording.rear() ? 1 : 0;
    const MediaPlayer::Failure reason = player.failure();
    QString why;
    switch (reason) {
    case MediaPlayer::CannotOpen:
        why = L("main.fail_cannot_open");
        break;
    case MediaPlayer::NoVideoTrack:
        why = L("main.fail_no_video");
        break;
    case MediaPlayer::NoPicture:
        why = L("main.fail_no_picture_fmt").arg(static_cast<int>(kLoadingGiveUpSeconds));
        break;
    case MediaPlayer::EngineError:
    case MediaPlayer::NoFailure:
        why = L("main.fail_engine");
        break;
    }
    const QString message = L("main.side_failed_fmt")
                                .arg(side == 1 ? L("main.camera_rear") : L("main.camera_front"))
                                .arg(why)
                                .arg(QFileInfo(player.media()).fileName());
    nura::logf("play failed: %s", message.toUtf8().constData());
    // Both files of a recording may fail: the line says both.
    m_failures << message;
    emit statusMessage(m_failures.join(QLatin1Char(' ')));
    emit sideFailed(side, reason);
}

void ORBPlaybackController::didStartPlayer() {
    m_info.setSpeed(static_cast<double>(m_recording.main().rate()));
    chooseAudioAuto();
}

void ORBPlaybackController::didFinishPlay() {
    if (m_drive.active()) {
        m_info.setPosition(m_drive.position(m_recording.length()));
    } else if (m_recording.length() > 0) {
        m_info.setPosition(m_recording.position());
    }
}

// Where the recording stands, on the position sliders (unless the user holds one: its value is theirs).
void ORBPlaybackController::showPosition() {
    if (m_sliderHeld) {
        return;
    }
    m_info.setPosition(m_drive.active() ? m_drive.position(m_recording.time()) : m_recording.position());
}

// ---- end of recording

void ORBPlaybackController::scheduleAdvance() {
    if (!m_item) {
        return;
    }
    // In drive mode the move goes on through the drives: the end of a drive is followed by the next
    // drive, and the card's last drive stays at its end.
    const bool byDrive = m_drive.navigates();
    const bool hasNext = byDrive ? m_drive.neighbour(1).has_value()
                                 : m_list.nextRecordingIndex(nura::pathBytes(m_item->mainPath)).has_value();
    if (!hasNext) {
        nura::logf("%s", byDrive ? "the last drive has ended" : "the last recording has ended");
        return; // stays at the end of the last recording
    }
    m_move = ORBPlaybackMove::Advancing;
    const unsigned token = ++m_advanceToken;
    later(kAdvanceSeconds, [this, token] {
        if (token != m_advanceToken ||
            (state() != ORBRecordingState::Ended && state() != ORBRecordingState::Failed)) {
            return;
        }
        m_move = ORBPlaybackMove::None;
        m_unplayableInARow = std::max(m_unplayableInARow, 0);
        if (m_item && m_drive.navigates()) {
            if (!advanceThroughDrives()) {
                updateIsPlaying();
            }
            return;
        }
        const auto next =
            m_item ? m_list.nextRecordingIndex(nura::pathBytes(m_item->mainPath)) : std::nullopt;
        if (!next || !startRow(static_cast<int64_t>(*next))) {
            updateIsPlaying();
        }
    });
}

void ORBPlaybackController::cancelAdvance(bool announce) {
    ++m_advanceToken;
    if (m_move == ORBPlaybackMove::Advancing) {
        m_move = ORBPlaybackMove::None;
        if (announce) {
            updateIsPlaying();
        }
    }
}

void ORBPlaybackController::updateFollowing() {
    m_recording.setFollowing(m_move != ORBPlaybackMove::Swapping && !m_sliderHeld);
}
