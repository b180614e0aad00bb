// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The data band drawn over the bottom of a clip's picture: the moment on the camera's clock, the speed,
// the G-force and a small trace of the last seconds' G-force, on a half-dark strip. Drawn with QPainter
// into an image with alpha; the renderer blends it into the picture in YUV.

#include "mediahelper/ClipRenderer.h"

#include <QImage>

namespace media {

class BandPainter {
public:
    static constexpr double kTraceSeconds = 5.0;

    BandPainter(const ClipPlan& plan, int width, int height);
    // The band for the moment `t` (seconds on the front's timeline). The image is redrawn only when
    // what it shows changes (a new record or a new second).
    const QImage& at(double t);
    int height() const { return m_height; }

    // The record shown at `t`, as playback picks it: the entry at position x count of its recording.
    const BandRecord* recordAt(double t, long* key = nullptr) const;

private:
    void paint(double t);
    const ClipPlan& m_plan;
    int m_width, m_height;
    QImage m_image;
    long m_shownKey = -1;
    long long m_shownSecond = -1;
};

} // namespace media
