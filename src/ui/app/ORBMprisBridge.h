// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The desktop's media keys and widgets as one more pair of hands on playback: what they see and do
// goes through the playback logic exactly as the window's own controls do.

#include "platform/MprisPlayerTarget.h"

#include <QObject>

#include <cstdint>
#include <functional>

class ORBPlaybackController;
class ORBPlayInfo;
class MprisService;

class ORBMprisBridge : public MprisPlayerTarget {
public:
    struct Actions {
        std::function<bool(const QString& path)> openRecording; // like `nura-viewer FILE`
        std::function<void()> raise;
        std::function<void()> quit;
    };

    ORBMprisBridge(ORBPlaybackController& playback, ORBPlayInfo& info, Actions actions);
    // Announces playback's changes through `service`.
    void connectTo(MprisService& service);

    Status playbackStatus() const override;
    std::optional<Track> track() const override;
    qint64 positionUs() const override;
    double rate() const override;
    double minimumRate() const override;
    double maximumRate() const override;
    void setRate(double rate) override;
    double volume() const override;
    void setVolume(double volume) override;
    bool canGoNext() const override;
    bool canGoPrevious() const override;
    bool canPlay() const override;
    bool canPause() const override;
    bool canSeek() const override;
    void play() override;
    void pause() override;
    void playPause() override;
    void stop() override;
    void next() override;
    void previous() override;
    void seekBy(qint64 offsetUs) override;
    void setPosition(const QString& trackId, qint64 positionUs) override;
    bool openUri(const QString& uri) override;
    void raise() override;
    void quit() override;

private:
    QString trackIdNow() const;
    qint64 lengthUs() const;
    // Where playback stands: in the recording, or in drive mode in the drive.
    int64_t timeMs() const;
    void seekToMs(int64_t ms);

    ORBPlaybackController& m_playback;
    ORBPlayInfo& m_info;
    Actions m_actions;
    // The track's length at the last player report; -1 after a change of track or mode.
    qint64 m_lengthUsSeen = -1;
};
