// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A clip whose every picture shows its own frame number, for checking which frame a view shows:
// block k (20 pixels wide) of the picture is white when bit k of the number is set. Made with
// ffmpeg, losslessly, so the picture reads back exactly. Header-only: the Qt programs that check
// pictures use it, the plain writers of this folder do not.

#include <QImage>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace samples {

constexpr int kFrameNumberBits = 12, kFrameNumberBitWidth = 20;

// The first picture shows `firstNumber`: clips of a drive can go on counting from each other.
inline bool writeFrameNumberClip(const QString& path, int seconds, int framesPerSecond = 30,
                                 int firstNumber = 0) {
    QProcess p;
    p.start(QStringLiteral("ffmpeg"),
            {"-v", "error", "-y", "-f", "lavfi", "-i",
             QStringLiteral(
                 "nullsrc=s=%1x32:r=%2:d=%3,geq=lum='if(bitand(N+%5\\,pow(2\\,floor(X/%4)))\\,235\\,16)'"
                 ":cb=128:cr=128")
                 .arg(kFrameNumberBits * kFrameNumberBitWidth)
                 .arg(framesPerSecond)
                 .arg(seconds)
                 .arg(kFrameNumberBitWidth)
                 .arg(firstNumber),
             "-c:v", "libx264", "-qp", "0", "-g", "30", path});
    return p.waitForFinished(300000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// The number a picture of such a clip shows, or -1 for no picture.
inline int frameNumber(const QImage& frame) {
    if (frame.isNull() || frame.width() < kFrameNumberBits * kFrameNumberBitWidth) {
        return -1;
    }
    int n = 0;
    for (int k = 0; k < kFrameNumberBits; ++k) {
        if (qGray(frame.pixel(k * kFrameNumberBitWidth + kFrameNumberBitWidth / 2, frame.height() / 2)) >
            128) {
            n |= 1 << k;
        }
    }
    return n;
}

} // namespace samples
