// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/MediaPlayer.h"

#include "core/media/MediaDirection.h"

#include <algorithm>
#include <cmath>

int MediaPlayer::mediaDirection() const {
    const QString path = media();
    if (path.isEmpty()) {
        return ORBMediaDirectionUnknown;
    }
    return mediaDirectionOfPath(nura::pathBytes(path));
}

QString MediaPlayer::timeString(int64_t ms) {
    // Whole seconds, truncated toward zero: the last partial second of a recording reads "00:00".
    const int64_t seconds = ms / 1000;
    const uint64_t magnitude =
        seconds < 0 ? 0 - static_cast<uint64_t>(seconds) : static_cast<uint64_t>(seconds);
    const QString sign = seconds < 0 ? QStringLiteral("-") : QString();
    const auto two = [](uint64_t v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); };
    if (magnitude >= 3600) {
        return sign + QString::number(magnitude / 3600) + QLatin1Char(':') + two(magnitude / 60 % 60) +
               QLatin1Char(':') + two(magnitude % 60);
    }
    return sign + two(magnitude / 60) + QLatin1Char(':') + two(magnitude % 60);
}

double MediaPlayer::frameDurationMs() const {
    const double rate = frameRate();
    return 1000.0 / (std::isfinite(rate) && rate >= 1.0 && rate <= 1000.0 ? rate : 30.0);
}

int64_t MediaPlayer::frameIndexAt(int64_t ms) const {
    // Times are whole milliseconds: a frame's rounded start still belongs to it.
    return static_cast<int64_t>(
        std::floor((static_cast<double>(std::max<int64_t>(ms, 0)) + 0.5) / frameDurationMs()));
}

int64_t MediaPlayer::frameStart(int64_t index) const {
    return std::llround(static_cast<double>(index) * frameDurationMs());
}

int64_t MediaPlayer::lastFrameIndex() const {
    const int64_t length = mediaLength();
    if (length <= 0) {
        return -1;
    }
    // A length that runs a little past the last frame's end (rounding, an audio track) adds no frame.
    const double frames = std::ceil(static_cast<double>(length) / frameDurationMs() - 0.5);
    return std::max<int64_t>(static_cast<int64_t>(frames) - 1, 0);
}

bool MediaPlayer::showFrameAt(int64_t ms) {
    const int64_t last = lastFrameIndex();
    return last >= 0 && showFrame(std::min(frameIndexAt(ms), last));
}
