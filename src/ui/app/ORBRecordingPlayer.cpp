// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/app/ORBRecordingPlayer.h"

#include <algorithm>
#include <cmath>

ORBRecordingPlayer::ORBRecordingPlayer(MediaPlayer& main, MediaPlayer& sub, Scheduler& scheduler,
                                       QObject* parent)
    : QObject(parent), m_main(&main), m_sub(&sub), m_scheduler(scheduler) {
    connectPlayers();
}

ORBRecordingPlayer::ORBRecordingPlayer(std::unique_ptr<MediaPlayer> main, std::unique_ptr<MediaPlayer> sub,
                                       Scheduler& scheduler, QObject* parent)
    : QObject(parent), m_main(main.get()), m_sub(sub.get()), m_scheduler(scheduler) {
    m_owned.push_back(std::move(main));
    m_owned.push_back(std::move(sub));
    connectPlayers();
}

ORBRecordingPlayer::~ORBRecordingPlayer() {
    // The players' last reports (a stop at their end) must not reach a half-destroyed recording.
    for (MediaPlayer* p : {m_main, m_sub, m_spareMain, m_spareSub}) {
        if (p) {
            disconnect(p, nullptr, this, nullptr);
        }
    }
}

void ORBRecordingPlayer::connectPlayers() {
    for (MediaPlayer* p : {m_main, m_sub, m_spareMain, m_spareSub}) {
        if (p) {
            disconnect(p, nullptr, this, nullptr);
            connect(p, &MediaPlayer::stateChanged, this, &ORBRecordingPlayer::playerStateChanged);
            connect(p, &MediaPlayer::timeChanged, this, &ORBRecordingPlayer::playerTimeChanged);
        }
    }
}

void ORBRecordingPlayer::setSparePlayers(MediaPlayer& main, MediaPlayer& sub) {
    m_spareMain = &main;
    m_spareSub = &sub;
    for (MediaPlayer* p : {m_spareMain, m_spareSub}) {
        p->setView(nullptr);
    }
    connectPlayers();
}

void ORBRecordingPlayer::setSparePlayers(std::unique_ptr<MediaPlayer> main,
                                         std::unique_ptr<MediaPlayer> sub) {
    setSparePlayers(*main, *sub);
    m_owned.push_back(std::move(main));
    m_owned.push_back(std::move(sub));
}

bool ORBRecordingPlayer::isSpare(const MediaPlayer* player) const {
    return player && (player == m_spareMain || player == m_spareSub);
}

void ORBRecordingPlayer::later(double seconds, std::function<void()> task) {
    const unsigned generation = m_generation;
    m_scheduler.after(seconds, this, [this, generation, task = std::move(task)] {
        if (generation == m_generation) {
            task();
        }
    });
}

bool ORBRecordingPlayer::isPlaying(const MediaPlayer& player) {
    if (!player.hasMedia() || !player.isPlaying()) {
        return false;
    }
    return MediaPlayer::timeString(player.remainingTime()) != QStringLiteral("00:00");
}

// ---- who is who

MediaPlayer* ORBRecordingPlayer::front() const {
    if (!m_item || m_item->frontPath().isEmpty()) {
        return nullptr;
    }
    return m_item->mainIsFront ? m_main : m_sub;
}

MediaPlayer* ORBRecordingPlayer::rear() const {
    if (!m_item || m_item->rearPath().isEmpty()) {
        return nullptr;
    }
    return m_item->mainIsFront ? m_sub : m_main;
}

MediaPlayer* ORBRecordingPlayer::telemetryPlayer() const {
    MediaPlayer* player = front() ? front() : rear();
    return player && player->hasMedia() ? player : nullptr;
}

int64_t ORBRecordingPlayer::length() const {
    int64_t longest = 0;
    for (const MediaPlayer* p : {m_main, m_sub}) {
        if (p->hasMedia() && p->state() != MediaPlayer::Failed) {
            longest = std::max(longest, p->mediaLength());
        }
    }
    return longest > 0 ? longest : lead().mediaLength();
}

double ORBRecordingPlayer::position() const {
    const int64_t total = length();
    if (total <= 0) {
        return 0;
    }
    return std::clamp(static_cast<double>(time()) / static_cast<double>(total), 0.0, 1.0);
}

double ORBRecordingPlayer::telemetryPosition() const {
    const MediaPlayer* player = telemetryPlayer();
    const int64_t length = player ? player->mediaLength() : 0;
    if (length <= 0) {
        return 0;
    }
    return std::clamp(static_cast<double>(time()) / static_cast<double>(length), 0.0, 1.0);
}

// ---- the recording

void ORBRecordingPlayer::open(const ORBPlayItem& item, int64_t fromMs) {
    ++m_generation;
    m_item = item;
    m_pauseAsked = false;
    // Starting before the files change hands: the players' reports of letting the old files go are
    // part of the start, not a stop between two recordings.
    transition(ORBPlaybackEvent::Start);
    m_followTimer.start(m_scheduler, kFollowSeconds, this, [this] { follow(); });
    if (m_prepared && *m_prepared == item) {
        takePrepared();
    } else {
        dropPrepared();
        m_main->setMedia(item.mainPath);
        m_sub->setMedia(item.partnerPath);
    }
    if (fromMs > 0) {
        m_main->setTime(fromMs);
        if (item.hasPartner()) {
            m_sub->setTime(fromMs);
        }
    }
}

void ORBRecordingPlayer::start(bool showIndicator) {
    if (showIndicator) {
        showLoading();
    } else {
        hideLoading();
    }
    later(kLoadingGiveUpSeconds, [this] { giveUpSilentPlayers(); });
    bool failedBefore = false;
    for (MediaPlayer* p : {m_main, m_sub}) {
        if (p->state() == MediaPlayer::Failed) {
            failedBefore = true; // while it was prepared
        } else if (p->hasMedia()) {
            p->play();
        }
    }
    if (failedBefore) {
        for (MediaPlayer* p : {m_main, m_sub}) {
            if (p->state() == MediaPlayer::Failed) {
                emit playerFailed(p);
            }
        }
        transition(ORBPlaybackEvent::PlayersChanged);
    }
}

// ---- the next recording, prepared ahead

void ORBRecordingPlayer::prepare(const ORBPlayItem& item) {
    if (!m_spareMain || (m_prepared && *m_prepared == item)) {
        return;
    }
    m_prepared = item;
    const std::pair<MediaPlayer*, QString> files[] = {{m_spareMain, item.mainPath},
                                                      {m_spareSub, item.partnerPath}};
    for (const auto& [player, path] : files) {
        player->setMedia(path);
        if (!path.isEmpty()) {
            player->setMute(true);
            // At the recording's rate already: a change of rate at the join makes the engine drop
            // the pictures it had ready.
            player->setRate(m_main->rate());
            player->play();
            player->pause(); // comes up paused on its first picture
        }
    }
}

void ORBRecordingPlayer::dropPrepared() {
    if (!m_prepared) {
        return;
    }
    m_prepared.reset();
    for (MediaPlayer* p : {m_spareMain, m_spareSub}) {
        p->setMedia(QString());
    }
}

// The prepared pair takes the views over, each showing its first picture at once; the pair that
// played lets its files go and waits for the next recording.
void ORBRecordingPlayer::takePrepared() {
    m_prepared.reset();
    std::swap(m_main, m_spareMain);
    std::swap(m_sub, m_spareSub);
    const float rate = m_spareMain->rate(); // the recording's, not the sub player's corrected one
    for (const auto& [now, before] : {std::pair{m_main, m_spareMain}, std::pair{m_sub, m_spareSub}}) {
        VideoView* view = before->view();
        before->setView(nullptr);
        now->setView(view);
        now->setVolume(before->volume());
        now->setMute(before->isMuted());
        now->setRate(rate);
        before->setMedia(QString());
    }
    m_subRateCorrected = false;
}

void ORBRecordingPlayer::stop(bool forget) {
    ++m_generation;
    dropPrepared();
    m_followTimer.cancel();
    hideLoading();
    if (forget) {
        m_item.reset();
        for (MediaPlayer* p : {m_main, m_sub}) {
            p->setMedia(QString());
        }
    } else {
        for (MediaPlayer* p : {m_main, m_sub}) {
            p->stop();
        }
    }
    transition(ORBPlaybackEvent::Stop);
}

void ORBRecordingPlayer::play() {
    m_pauseAsked = false;
    // Resuming in the longer file's last seconds leaves the shorter one on its last picture.
    const bool oneEnded = m_state != ORBRecordingState::Ended;
    for (MediaPlayer* p : {m_main, m_sub}) {
        if (p->hasMedia() && p->state() != MediaPlayer::Failed &&
            !(oneEnded && p->state() == MediaPlayer::Ended)) {
            p->play();
        }
    }
}

void ORBRecordingPlayer::pause() {
    m_pauseAsked = m_state == ORBRecordingState::Starting;
    for (MediaPlayer* p : {m_main, m_sub}) {
        if (p->hasMedia() && (p->isPlaying() || p->state() == MediaPlayer::Opening)) {
            p->pause();
        }
    }
}

void ORBRecordingPlayer::seek(int64_t ms) {
    const bool playing = m_state == ORBRecordingState::Playing;
    // Ended, the picture at the moment sought shows paused, and Play goes on from there.
    const bool paused = m_state == ORBRecordingState::Paused || m_state == ORBRecordingState::Ended;
    for (MediaPlayer* p : {m_main, m_sub}) {
        if (p->hasMedia() && p->state() != MediaPlayer::Failed) {
            const int64_t own = p->mediaLength();
            const bool ended = p->state() == MediaPlayer::Ended;
            p->setTime(own > 0 ? std::min(ms, own) : ms);
            // The shorter file of a pair ended first; back before its end it goes on with the other.
            if ((playing || paused) && ended && (own <= 0 || ms < own)) {
                p->play();
                if (paused) {
                    p->pause();
                }
            }
        }
    }
    restartTimeReports();
}

void ORBRecordingPlayer::seekToEnd() {
    for (MediaPlayer* p : {m_main, m_sub}) {
        if (p->hasMedia()) {
            p->setTime(p->mediaLength());
        }
    }
}

void ORBRecordingPlayer::setRate(float rate) {
    if (rate == m_main->rate() && !m_subRateCorrected) {
        return;
    }
    m_main->setRate(rate);
    m_sub->setRate(rate);
    m_subRateCorrected = false;
    // The two engines take up a new rate each at its own moment: once they have, the sub player is
    // put back at the main one's moment instead of catching up at a tenth faster for seconds.
    if (m_state == ORBRecordingState::Playing) {
        alignLater(kRateSettleSeconds);
    }
}

void ORBRecordingPlayer::publishPosition() {
    emit positionChanged(time(), telemetryPosition());
}

// ---- the recording's state

void ORBRecordingPlayer::transition(ORBPlaybackEvent event) {
    const ORBRecordingState previous = m_state;
    m_state = nextRecordingState(m_state, event, players());
    if (m_state != previous) {
        enterState(previous);
        emit stateChanged(m_state, previous);
    }
}

void ORBRecordingPlayer::enterState(ORBRecordingState previous) {
    switch (m_state) {
    case ORBRecordingState::Playing:
        if (previous != ORBRecordingState::Starting) {
            alignLater(0.3);
        }
        break;
    case ORBRecordingState::Ended:
        publishPosition();
        break;
    case ORBRecordingState::Failed:
    case ORBRecordingState::Idle:
        hideLoading();
        break;
    case ORBRecordingState::Paused:
    case ORBRecordingState::Starting:
        break;
    }
}

void ORBRecordingPlayer::playerStateChanged(MediaPlayer* player) {
    if (isSpare(player)) {
        return; // a failure while prepared is told when the recording's turn comes
    }
    if (player && player->hasMedia() && player->state() == MediaPlayer::Failed) {
        emit playerFailed(player);
    }
    transition(ORBPlaybackEvent::PlayersChanged);
    emit playersReported();
}

void ORBRecordingPlayer::playerTimeChanged(MediaPlayer* player) {
    if (isSpare(player)) {
        return;
    }
    emit playersReported();
    if (m_state == ORBRecordingState::Idle) {
        return;
    }
    if (player == &lead() && m_loadingVisible) {
        hideLoading();
        emit firstPicture();
    }
    if (player != &lead()) {
        return;
    }
    m_timeReportCounter = (m_timeReportCounter + 1) % 3;
    if (m_timeReportCounter == 0) {
        publishPosition();
    }
}

// ---- front and rear at the same moment

void ORBRecordingPlayer::alignLater(double seconds) {
    if (!m_main->hasMedia() || !m_sub->hasMedia()) {
        return;
    }
    later(seconds, [this] { align(); });
}

void ORBRecordingPlayer::align() {
    MediaPlayer& leader = lead();
    MediaPlayer& other = follower();
    if (!other.hasMedia() || other.state() == MediaPlayer::Failed) {
        return;
    }
    // The two files' lengths may differ by a second or more: the same moment is the same time,
    // not the same fraction.
    const int64_t length = other.mediaLength();
    const int64_t time = leader.time();
    other.setTime(length > 0 ? std::min(time, length) : time);
}

void ORBRecordingPlayer::follow() {
    if (!m_following || m_state != ORBRecordingState::Playing || !isPlaying(*m_main) || !isPlaying(*m_sub)) {
        return;
    }
    // The sub picture may trail the main one by up to a frame but never lead it: a rear picture from
    // after the front's moment would show what the front has not shown yet. A correction aims at
    // half a frame behind.
    const int64_t drift = m_main->time() - m_sub->time();
    const float mainRate = m_main->rate();
    if (std::abs(drift) > kSeekDriftMs) {
        align();
        if (m_subRateCorrected) {
            m_sub->setRate(mainRate);
            m_subRateCorrected = false;
        }
    } else if (drift < -kLeadToleranceMs || drift > kFrameMs) {
        // A small change of rate shows less than a seek.
        const double off = static_cast<double>(drift - kFrameMs / 2);
        const double correction =
            std::clamp(off / (1000.0 * kCatchUpSeconds), -kMaxRateCorrection, kMaxRateCorrection);
        m_sub->setRate(static_cast<float>(static_cast<double>(mainRate) * (1.0 + correction)));
        m_subRateCorrected = true;
    } else if (m_subRateCorrected) {
        m_sub->setRate(mainRate);
        m_subRateCorrected = false;
    }
}

// ---- the loading watch

void ORBRecordingPlayer::showLoading() {
    m_progress = 0;
    m_loadingVisible = true;
    const unsigned generation = ++m_loadingGeneration;
    emit loadingShown();
    m_scheduler.after(kLoadingStepSeconds, this, [this, generation] { stepLoading(generation); });
}

void ORBRecordingPlayer::stepLoading(unsigned generation) {
    if (generation != m_loadingGeneration || !m_loadingVisible) {
        return;
    }
    m_progress += 100.0 / (kLoadingGiveUpSeconds / kLoadingStepSeconds);
    if (m_progress < 100.0 - 1e-6) {
        emit loadingProgressChanged(m_progress);
        m_scheduler.after(kLoadingStepSeconds, this, [this, generation] { stepLoading(generation); });
        return;
    }
    hideLoading();
}

void ORBRecordingPlayer::hideLoading() {
    if (!m_loadingVisible) {
        return;
    }
    m_loadingVisible = false;
    ++m_loadingGeneration;
    emit loadingHidden();
}

// A player that has shown no picture in the give-up time has failed, whether it said so or not;
// the other one plays on.
void ORBRecordingPlayer::giveUpSilentPlayers() {
    for (MediaPlayer* p : {m_main, m_sub}) {
        const MediaPlayer::State state = p->state();
        const bool waiting =
            state == MediaPlayer::Opening ||
            ((state == MediaPlayer::Playing || state == MediaPlayer::Paused) && !p->hasVideoOut());
        if (p->hasMedia() && waiting) {
            p->giveUp(MediaPlayer::NoPicture);
        }
    }
}
