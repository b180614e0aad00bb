// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Observable playback state: the controls and the telemetry presentation follow its changes.

#include <QObject>

class ORBPlayInfo : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isPlaying READ isPlaying WRITE setIsPlaying NOTIFY isPlayingChanged)
    Q_PROPERTY(double position READ position WRITE setPosition NOTIFY positionChanged)
    Q_PROPERTY(double speed READ speed WRITE setSpeed NOTIFY speedChanged)
    Q_PROPERTY(double scale READ scale WRITE setScale NOTIFY scaleChanged)
    Q_PROPERTY(uint audioMediaDirection READ audioMediaDirection WRITE setAudioMediaDirection NOTIFY
                   audioMediaDirectionChanged)
public:
    using QObject::QObject;

    bool isPlaying() const { return m_isPlaying; }
    double position() const { return m_position; }
    double speed() const { return m_speed; }
    double scale() const { return m_scale; }
    uint audioMediaDirection() const { return m_audioMediaDirection; }

    // Every setter notifies, also when the value is unchanged: observers re-read the state on
    // each report, as the telemetry presentation expects.
    void setIsPlaying(bool value);
    void setPosition(double value);
    void setSpeed(double value);
    void setScale(double value);
    void setAudioMediaDirection(uint value);

signals:
    void isPlayingChanged(bool value);
    void positionChanged(double value);
    void speedChanged(double value);
    void scaleChanged(double value);
    void audioMediaDirectionChanged(uint value);

private:
    bool m_isPlaying = false;
    double m_position = 0;
    double m_speed = 1.0;
    double m_scale = 0;
    uint m_audioMediaDirection = 2;
};
