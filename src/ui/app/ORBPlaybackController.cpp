#include "ui/app/ORBPlaybackController.h"

#include "core/log.h"
#include "ui/app/ORBPlayInfo.h"
#include "ui/strings/InfoPlist.h"

#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
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
        watcher->setFuture(QtConcurrent::run(std::move(read)));
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

// ---- starting a recording

bool ORBPlaybackController::playAtIndex(int64_t row) {
    const auto count = static_cast<int64_t>(m_list.count());
    if (count == 0 || m_waitingForPlayStart) {
        return false;
    }
    row = std::clamp<int64_t>(row, 0, count - 1);
    const auto media = m_list.mediaAtIndex(static_cast<size_t>(row));
    if (!media) {
        return false;
    }
    m_waitingForPlayStart = true;
    ++m_generation;
    m_moving = false;
    m_swapping = false;
    for (MediaPlayer* p : {&m_player1, &m_player2}) {
        p->stop();
        p->setMedia(QString());
    }
    m_mediaIndex = row;
    m_mediaPath = QFile::decodeName(media->path.c_str());
    m_preparingPlayNext = false;
    startTimerPlayNext();
    updateVideoUI();

    showLoading();
    m_telemetry = emptyTelemetry();
    emit telemetryChanged(m_telemetry);
    const QString front = m_player1.isRearMedia() ? m_player2.media() : m_player1.media();
    const std::string path = QFile::encodeName(front).toStdString();
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
    return true;
}

void ORBPlaybackController::updateVideoUI() {
    const auto media = m_list.mediaAtIndex(static_cast<size_t>(m_mediaIndex));
    m_player1.setMedia(m_mediaPath);
    const bool mainIsRear = media->isRearMedia();
    std::shared_ptr<const ORBMedia> partner;
    if (const auto pair = m_list.findMediaPairWithFileName(media->path)) {
        partner = mainIsRear ? pair->frontMedia : pair->rearMedia;
    }
    if (partner && partner->path != media->path) {
        m_player2.setMedia(QFile::decodeName(partner->path.c_str()));
    } else {
        m_player2.stop();
        m_player2.setMedia(QString());
    }
    emit recordingStarting(m_mediaIndex, mainIsRear, m_player2.hasMedia());
}

void ORBPlaybackController::finishTelemetryRead(const ORBTelemetry& telemetry, unsigned generation) {
    if (generation != m_generation) {
        return; // a newer start, or this one was given up
    }
    m_telemetry = telemetry ? telemetry : emptyTelemetry();
    emit telemetryChanged(m_telemetry);
    initMediaControlView();
    m_player1.play();
    if (m_player2.hasMedia()) {
        m_player2.play();
    }
}

void ORBPlaybackController::initMediaControlView() {
    m_waitingForPlayStart = true;
    emit scaleStepRequested(0);
    m_info.setSpeed(1.0);
    m_player1.setRate(1.0f);
    m_player2.setRate(1.0f);
    m_subRateCorrected = false;
    m_info.setPosition(0);
    emit controlsReset();
}

void ORBPlaybackController::changeAndPlay(int64_t row) {
    nura::logf("selectedRow=%ld,mediaIndex=%ld,isPlaying=%d,count=%ld", static_cast<long>(row),
               static_cast<long>(m_mediaIndex), m_player1.isPlaying() ? 1 : 0,
               static_cast<long>(m_list.count()));
    const auto media = m_list.mediaAtIndex(static_cast<size_t>(std::max<int64_t>(row, 0)));
    // The row number alone may name another file since the list was rescanned.
    if (!media || QFile::decodeName(media->path.c_str()) != m_mediaPath || !m_player1.hasMedia()) {
        playAtIndex(row);
        return;
    }
    if (m_player1.isHalted()) {
        m_player1.setPosition(0);
        m_player2.setPosition(0);
    }
    m_player1.play();
    if (m_player2.hasMedia()) {
        m_player2.play();
        syncVideoPositionDelay(0.1);
    }
}

bool ORBPlaybackController::playNext() {
    const auto media = m_list.mediaAtIndex(static_cast<size_t>(std::max<int64_t>(m_mediaIndex, 0)));
    if (m_mediaIndex < 0 || !media) {
        return false;
    }
    const auto pair = m_list.findMediaPairWithFileName(media->path);
    const int64_t next = m_mediaIndex + (pair && pair->frontMedia && pair->rearMedia ? 2 : 1);
    if (next < static_cast<int64_t>(m_list.count())) {
        return playAtIndex(next);
    }
    return false;
}

void ORBPlaybackController::mediaListReloaded() {
    m_mediaIndex = -1;
    if (m_mediaPath.isEmpty()) {
        return;
    }
    const std::string path = QFile::encodeName(m_mediaPath).toStdString();
    const size_t count = m_list.count();
    for (size_t i = 0; i < count; ++i) {
        const auto media = m_list.mediaAtIndex(i);
        if (media && media->path == path) {
            m_mediaIndex = static_cast<int64_t>(i);
            return;
        }
    }
}

void ORBPlaybackController::stopPlay() {
    ++m_generation;
    m_playStopTimer.cancel();
    m_followTimer.cancel();
    m_waitingForPlayStart = false;
    m_moving = false;
    m_swapping = false;
    m_mediaPath.clear();
    hideLoading();
    for (MediaPlayer* p : {&m_player1, &m_player2}) {
        p->pause();
        p->setMedia(QString());
    }
}

void ORBPlaybackController::failStart(const QString& message) {
    ++m_generation;
    m_waitingForPlayStart = false;
    m_mediaPath.clear(); // a double-click on the same row starts it afresh
    hideLoading();
    nura::logf("play failed: %s", message.toUtf8().constData());
    emit statusMessage(message);
}

// ---- player notifications

void ORBPlaybackController::mediaPlayerStateChanged(MediaPlayer* player) {
    if (player && player->hasMedia() && player->state() == MediaPlayer::Failed) {
        failStart(L("main.play_failed_fmt").arg(QFileInfo(player->media()).fileName()));
        return;
    }
    if (!m_player1.hasMedia()) {
        return;
    }
    const bool halted1 = m_player1.isHalted();
    bool started = false;
    if (m_player2.hasMedia()) {
        if (halted1 && m_player2.isHalted()) {
            didFinishPlay();
            return;
        }
        started = m_player1.isPlaying() && m_player2.isPlaying();
    } else {
        if (halted1) {
            didFinishPlay();
            return;
        }
        started = m_player1.isPlaying();
    }
    if (!started) {
        return;
    }
    if (m_waitingForPlayStart) {
        m_waitingForPlayStart = false;
        didStartPlayer();
    } else {
        updateAudioUI();
    }
}

void ORBPlaybackController::didStartPlayer() {
    m_info.setSpeed(static_cast<double>(m_player1.rate()));
    m_info.setIsPlaying(isPlaying(m_player1));
    chooseAudioAuto();
}

void ORBPlaybackController::didFinishPlay() {
    m_info.setPosition(static_cast<double>(m_player1.position()));
    m_info.setIsPlaying(isPlaying(m_player1));
}

void ORBPlaybackController::mediaPlayerTimeChanged(MediaPlayer* player) {
    m_preparingPlayNext = false;
    if (!m_stopVideoLoadingView) {
        hideLoading();
        chooseAudioAuto();
    }
    m_info.setIsPlaying(isPlaying(m_player1));
    if (m_moving) {
        m_timeReportCounter = -1;
        if (m_movingPosition > 0) {
            m_info.setPosition(m_movingPosition);
        }
    } else if (player == &m_player1) {
        m_timeReportCounter = (m_timeReportCounter + 1) % 3;
        if (m_timeReportCounter == 0) {
            m_info.setPosition(static_cast<double>(m_player1.position()));
        }
    }
}

// ---- end of recording

void ORBPlaybackController::startTimerPlayNext() {
    m_playStopTimer.start(m_scheduler, kWatchSeconds, this, [this] { timerPlayNext(); });
    m_followTimer.start(m_scheduler, kFollowSeconds, this, [this] { followMainPlayer(); });
}

void ORBPlaybackController::timerPlayNext() {
    if (m_preparingPlayNext || !m_player1.isHalted() ||
        static_cast<double>(m_player1.position()) < kEndFraction) {
        return;
    }
    m_preparingPlayNext = true;
    later(1.0, [this] { playNext(); });
}

// ---- front and rear at the same moment

void ORBPlaybackController::syncVideoPositionDelay(double seconds) {
    if (!m_player1.hasMedia() || !m_player2.hasMedia()) {
        m_moving = false;
        return;
    }
    later(seconds, [this] {
        m_moving = false;
        alignSubPlayer();
    });
}

void ORBPlaybackController::alignSubPlayer() {
    // The two files' lengths may differ by a second or more: the same moment is the same time,
    // not the same fraction.
    const int64_t length = m_player2.mediaLength();
    const int64_t time = m_player1.time();
    m_player2.setTime(length > 0 ? std::min(time, length) : time);
}

void ORBPlaybackController::followMainPlayer() {
    if (m_moving || m_swapping || m_waitingForPlayStart || !isPlaying(m_player1) || !isPlaying(m_player2)) {
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
