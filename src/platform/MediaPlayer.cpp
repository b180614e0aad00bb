#include "platform/MediaPlayer.h"

#include "core/media/MediaDirection.h"

#include <QFile>

int MediaPlayer::mediaDirection() const {
    const QString path = media();
    if (path.isEmpty()) {
        return ORBMediaDirectionUnknown;
    }
    const QByteArray bytes = QFile::encodeName(path);
    return mediaDirectionOfPath(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
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
