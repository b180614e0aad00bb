// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/app/ORBPlaybackController.h"

#include "core/log.h"
#include "ui/app/ORBPlayInfo.h"
#include "ui/strings/InfoPlist.h"

#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QThreadPool>
#include <QtConcurrent>

#include <algorithm>
#include <cmath>

namespace {

ORBTelemetry emptyTelemetry() {
    static const ORBTelemetry empty = std::make_shared<const nura::ORBBlackBoxData>();
    return empty;
}

} // namespace

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
        static QThreadPool readers;
        watcher->setFuture(QtConcurrent::run(&readers, std::move(read)));
    };
}

ORBTelemetryReader inlineTelemetryReader() {
    return [](QObject*, std::function<ORBTelemetry()> read, std::function<void(ORBTelemetry)> done) {
        done(read());
    };
}

ORBPlaybackController::ORBPlaybackController(MediaPlayer& player1, MediaPlayer& player2,
                                             const ORBMediaList& list, ORBPlayInfo& info,
                                             Scheduler& scheduler, ORBTelemetryReader reader, QObject* parent)
    : QObject(parent), m_player1(player1), m_player2(player2), m_list(list), m_info(info),
      m_scheduler(scheduler), m_reader(std::move(reader)), m_telemetry(emptyTelemetry()) {
    connect(&m_info, &ORBPlayInfo::audioMediaDirectionChanged, this, [this] { updateAudioUI(); });
    connect(this, &ORBPlaybackController::volumeChanged, this, [this] { updateAudioUI(); });
}

ORBPlaybackController::~ORBPlaybackController() = default;

void ORBPlaybackController::later(double seconds, std::function<void()> task) {
    const unsigned generation = m_generation;
    m_scheduler.after(seconds, this, [this, generation, task = std::move(task)] {
        if (generation == m_generation) {
            task();
        }
    });
}

bool ORBPlaybackController::isPlaying(const MediaPlayer& player) {
    if (!player.hasMedia() || !player.isPlaying()) {
        return false;
    }
    return MediaPlayer::timeString(player.remainingTime()) != QStringLiteral("00:00");
}

ORBPlayerStates ORBPlaybackController::leadPlayers() const {
    return {m_player1.state(), m_player2.state(), m_player2.hasMedia()};
}

int64_t ORBPlaybackController::time() const {
    return lead().time();
}

int64_t ORBPlaybackController::length() const {
    return lead().mediaLength();
}

MediaPlayer* ORBPlaybackController::telemetryPlayer() const {
    if (!m_item) {
        return nullptr;
    }
    const QString path = m_item->telemetryPath();
    for (MediaPlayer* p : {&m_player1, &m_player2}) {
        if (p->hasMedia() && p->media() == path) {
            return p;
        }
    }
    return nullptr;
}

double ORBPlaybackController::telemetryPosition() const {
    const MediaPlayer* player = telemetryPlayer();
    const int64_t length = player ? player->mediaLength() : 0;
    if (length <= 0) {
        return 0;
    }
    // The same moment is the same time in both files, not the same fraction of two lengths.
    return std::clamp(static_cast<double>(time()) / static_cast<double>(length), 0.0, 1.0);
}

// ---- starting a recording

std::optional<ORBPlayItem> ORBPlaybackController::itemAtRow(int64_t row) const {
    const auto entry = m_list.entryAtIndex(static_cast<size_t>(row));
    if (!entry || !entry->media) {
        return std::nullopt;
    }
    const ORBMedia& media = *entry->media;
    ORBPlayItem item;
    item.mainPath = QFile::decodeName(media.path.c_str());
    item.mainIsFront = !media.isRearMedia();
    if (entry->pair) {
        const auto& partner = media.isRearMedia() ? entry->pair->frontMedia : entry->pair->rearMedia;
        if (partner && partner->path != media.path) {
            item.partnerPath = QFile::decodeName(partner->path.c_str());
        }
    }
    return item;
}

bool ORBPlaybackController::playAtIndex(int64_t row) {
    const auto count = static_cast<int64_t>(m_list.count());
    if (count == 0) {
        return false;
    }
    row = std::clamp<int64_t>(row, 0, count - 1);
    const auto item = itemAtRow(row);
    if (!item) {
        return false; // the list shrank since the count was read
    }
    start(*item, row, 0, false);
    return true;
}

// Both files go to the players and play at once; the telemetry read runs beside them. A start
// under way is superseded: the latest start wins.
void ORBPlaybackController::start(const ORBPlayItem& item, int64_t row, int64_t fromMs, bool swap) {
    ++m_generation;
    cancelAdvance();
    m_item = item;
    m_mediaIndex = row;
    // A swap restarts the same recording: the heard side and the speed stay as they were.
    m_didStart = swap;
    m_followTimer.start(m_scheduler, kFollowSeconds, this, [this] { followMainPlayer(); });

    m_player1.setMedia(item.mainPath);
    m_player2.setMedia(item.partnerPath);
    if (fromMs > 0) {
        m_player1.setTime(fromMs);
        if (item.hasPartner()) {
            m_player2.setTime(fromMs);
        }
    }
    if (!swap) {
        emit recordingStarting(row, !item.mainIsFront, item.hasPartner());
        initMediaControlView();
    }
    emit itemChanged();
    transition(ORBPlaybackEvent::Start);
    showLoading();
    later(kLoadingGiveUpSeconds, [this] { giveUpSilentPlayers(); });
    m_player1.play();
    if (item.hasPartner()) {
        m_player2.play();
    }
    if (swap) {
        emit swapped(!item.mainIsFront);
        return; // the telemetry stays: the recording is the same
    }

    m_telemetry = emptyTelemetry();
    emit telemetryChanged(m_telemetry);
    const std::string path = QFile::encodeName(item.telemetryPath()).toStdString();
    const unsigned generation = m_generation;
    m_reader(
        this,
        [path] {
            auto data = std::make_shared<nura::ORBBlackBoxData>();
            if (!path.empty()) {
                data->ExtractStreamInformation(path);
            }
            return ORBTelemetry(std::move(data));
        },
        [this, generation](ORBTelemetry telemetry) { finishTelemetryRead(telemetry, generation); });
}

void ORBPlaybackController::finishTelemetryRead(const ORBTelemetry& telemetry, unsigned generation) {
    if (generation != m_generation) {
        return; // a newer start, or playback stopped
    }
    m_telemetry = telemetry ? telemetry : emptyTelemetry();
    emit telemetryChanged(m_telemetry);
    publishPosition();
    // An empty graph would pass for a recording without data: say that the card failed instead.
    if (m_item && m_telemetry->lastError() == nura::ORBTelemetryError::ReadFailed) {
        emit statusMessage(
            L("main.telemetry_refused_fmt").arg(QFileInfo(m_item->telemetryPath()).fileName()));
    }
}

void ORBPlaybackController::initMediaControlView() {
    emit scaleStepRequested(0);
    m_info.setSpeed(1.0);
    m_player1.setRate(1.0f);
    m_player2.setRate(1.0f);
    m_subRateCorrected = false;
    m_info.setPosition(0);
    emit speedChanged(1.0);
    emit controlsReset();
}

void ORBPlaybackController::changeAndPlay(int64_t row) {
    nura::logf("selectedRow=%ld,mediaIndex=%ld,isPlaying=%d,count=%ld", static_cast<long>(row),
               static_cast<long>(m_mediaIndex), m_player1.isPlaying() ? 1 : 0,
               static_cast<long>(m_list.count()));
    const auto item = itemAtRow(std::max<int64_t>(row, 0));
    // The row number alone may name another file since the list was rescanned.
    if (!item || !m_item || item->mainPath != m_item->mainPath || m_state == ORBRecordingState::Idle ||
        m_state == ORBRecordingState::Failed) {
        playAtIndex(row);
        return;
    }
    if (m_state == ORBRecordingState::Ended) {
        m_player1.setTime(0);
        m_player2.setTime(0);
    }
    play();
}

bool ORBPlaybackController::playNext() {
    if (!m_item) {
        return false;
    }
    const auto next = m_list.nextRecordingIndex(QFile::encodeName(m_item->mainPath).toStdString());
    return next && playAtIndex(static_cast<int64_t>(*next));
}

bool ORBPlaybackController::playPrevious() {
    if (!m_item) {
        return false;
    }
    const auto previous = m_list.previousRecordingIndex(QFile::encodeName(m_item->mainPath).toStdString());
    return previous && playAtIndex(static_cast<int64_t>(*previous));
}

void ORBPlaybackController::mediaListReloaded() {
    m_mediaIndex = -1;
    if (!m_item) {
        return;
    }
    const std::string path = QFile::encodeName(m_item->mainPath).toStdString();
    const size_t count = m_list.count();
    for (size_t i = 0; i < count; ++i) {
        const auto media = m_list.mediaAtIndex(i);
        if (media && media->path == path) {
            m_mediaIndex = static_cast<int64_t>(i);
            return;
        }
    }
}

void ORBPlaybackController::stopPlay(bool forget) {
    ++m_generation;
    cancelAdvance();
    m_followTimer.cancel();
    m_swapping = false;
    hideLoading();
    if (forget) {
        m_item.reset();
        m_mediaIndex = -1;
        for (MediaPlayer* p : {&m_player1, &m_player2}) {
            p->setMedia(QString());
        }
        m_telemetry = emptyTelemetry();
        emit telemetryChanged(m_telemetry);
        emit itemChanged();
    } else {
        for (MediaPlayer* p : {&m_player1, &m_player2}) {
            p->stop();
        }
    }
    transition(ORBPlaybackEvent::Stop);
    m_info.setPosition(0);
}

// ---- the recording's state

void ORBPlaybackController::transition(ORBPlaybackEvent event) {
    const ORBRecordingState previous = m_state;
    m_state = nextRecordingState(m_state, event, leadPlayers());
    if (m_state != previous) {
        enterState(previous);
        emit stateChanged(m_state);
    }
    updateIsPlaying();
}

void ORBPlaybackController::enterState(ORBRecordingState previous) {
    switch (m_state) {
    case ORBRecordingState::Playing:
        if (!m_didStart) {
            m_didStart = true;
            didStartPlayer();
        } else {
            updateAudioUI();
        }
        if (previous != ORBRecordingState::Starting) {
            syncVideoPositionDelay(0.3);
        }
        break;
    case ORBRecordingState::Ended:
        didFinishPlay();
        scheduleAdvance();
        break;
    case ORBRecordingState::Failed:
    case ORBRecordingState::Idle:
        hideLoading();
        break;
    case ORBRecordingState::Paused:
        if (previous == ORBRecordingState::Starting) {
            m_didStart = true;
            didStartPlayer();
        }
        break;
    case ORBRecordingState::Starting:
        break;
    }
}

void ORBPlaybackController::updateIsPlaying() {
    const ORBPlaybackStatus status = this->status();
    m_info.setIsPlaying(status == ORBPlaybackStatus::Playing);
    if (status != m_status) {
        m_status = status;
        emit statusChanged(status);
    }
}

// ---- player notifications

void ORBPlaybackController::mediaPlayerStateChanged(MediaPlayer* player) {
    if (player && player->hasMedia() && player->state() == MediaPlayer::Failed) {
        reportFailure(*player);
    }
    transition(ORBPlaybackEvent::PlayersChanged);
}

void ORBPlaybackController::reportFailure(MediaPlayer& player) {
    const int side = player.isRearMedia() ? 1 : 0;
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
    emit statusMessage(message);
    emit sideFailed(side, reason);
}

void ORBPlaybackController::didStartPlayer() {
    m_info.setSpeed(static_cast<double>(m_player1.rate()));
    chooseAudioAuto();
}

void ORBPlaybackController::didFinishPlay() {
    if (MediaPlayer* player = &lead(); player->mediaLength() > 0) {
        m_info.setPosition(static_cast<double>(player->position()));
    }
    // A longer partner stops with the recording, on its own picture.
    MediaPlayer& other = leadPlayers().subLeads() ? m_player1 : m_player2;
    if (other.isPlaying()) {
        other.pause();
    }
    publishPosition();
}

void ORBPlaybackController::mediaPlayerTimeChanged(MediaPlayer* player) {
    if (m_state == ORBRecordingState::Idle) {
        return;
    }
    if (player == &lead() && !m_stopVideoLoadingView) {
        hideLoading();
        if (!m_swapping) {
            chooseAudioAuto();
        }
    }
    if (player != &lead()) {
        return;
    }
    m_timeReportCounter = (m_timeReportCounter + 1) % 3;
    if (m_timeReportCounter == 0) {
        publishPosition();
    }
}

void ORBPlaybackController::publishPosition() {
    if (m_sliderHeld) {
        return; // the user holds the slider: its value is theirs
    }
    const MediaPlayer& player = lead();
    m_info.setPosition(player.mediaLength() > 0 ? static_cast<double>(player.position()) : 0.0);
}

// ---- end of recording

void ORBPlaybackController::scheduleAdvance() {
    if (!m_item) {
        return;
    }
    const auto next = m_list.nextRecordingIndex(QFile::encodeName(m_item->mainPath).toStdString());
    if (!next) {
        nura::logf("the last recording has ended");
        return; // stays at the end of the last recording
    }
    m_advancing = true;
    const unsigned token = ++m_advanceToken;
    later(kAdvanceSeconds, [this, token] {
        if (token != m_advanceToken || m_state != ORBRecordingState::Ended) {
            return;
        }
        m_advancing = false;
        if (!playNext()) {
            updateIsPlaying();
        }
    });
}

void ORBPlaybackController::cancelAdvance() {
    ++m_advanceToken;
    if (m_advancing) {
        m_advancing = false;
        updateIsPlaying();
    }
}

// ---- front and rear at the same moment

void ORBPlaybackController::syncVideoPositionDelay(double seconds) {
    if (!m_player1.hasMedia() || !m_player2.hasMedia()) {
        return;
    }
    later(seconds, [this] { alignSubPlayer(); });
}

void ORBPlaybackController::alignSubPlayer() {
    MediaPlayer& leader = lead();
    MediaPlayer& follower = &leader == &m_player1 ? m_player2 : m_player1;
    if (!follower.hasMedia() || follower.state() == MediaPlayer::Failed) {
        return;
    }
    // The two files' lengths may differ by a second or more: the same moment is the same time,
    // not the same fraction.
    const int64_t length = follower.mediaLength();
    const int64_t time = leader.time();
    follower.setTime(length > 0 ? std::min(time, length) : time);
}

void ORBPlaybackController::followMainPlayer() {
    if (m_swapping || m_sliderHeld || m_state != ORBRecordingState::Playing || !isPlaying(m_player1) ||
        !isPlaying(m_player2)) {
        return;
    }
    const int64_t drift = m_player1.time() - m_player2.time();
    const float mainRate = m_player1.rate();
    if (std::abs(drift) > kSeekDriftMs) {
        alignSubPlayer();
        if (m_subRateCorrected) {
            m_player2.setRate(mainRate);
            m_subRateCorrected = false;
        }
    } else if (std::abs(drift) > kFrameMs) {
        // A small change of rate shows less than a seek.
        const double correction = std::clamp(static_cast<double>(drift) / (1000.0 * kCatchUpSeconds),
                                             -kMaxRateCorrection, kMaxRateCorrection);
        m_player2.setRate(static_cast<float>(static_cast<double>(mainRate) * (1.0 + correction)));
        m_subRateCorrected = true;
    } else if (m_subRateCorrected) {
        m_player2.setRate(mainRate);
        m_subRateCorrected = false;
    }
}
