// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/app/ORBPlayInfo.h"

void ORBPlayInfo::setIsPlaying(bool value) {
    m_isPlaying = value;
    emit isPlayingChanged(value);
}

void ORBPlayInfo::setPosition(double value) {
    m_position = value;
    emit positionChanged(value);
}

void ORBPlayInfo::setSpeed(double value) {
    m_speed = value;
    emit speedChanged(value);
}

void ORBPlayInfo::setScale(double value) {
    m_scale = value;
    emit scaleChanged(value);
}

void ORBPlayInfo::setAudioMediaDirection(uint value) {
    m_audioMediaDirection = value;
    emit audioMediaDirectionChanged(value);
}
