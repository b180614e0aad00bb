// SPDX-License-Identifier: GPL-3.0-or-later
#include "mediahelper/BandPainter.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <ctime>

namespace media {

BandPainter::BandPainter(const ClipPlan& plan, int width, int height)
    : m_plan(plan), m_width(width), m_height(height),
      m_image(width, height, QImage::Format_ARGB32_Premultiplied) {
    m_image.fill(Qt::transparent);
}

const BandRecord* BandPainter::recordAt(double t, long* key) const {
    for (size_t p = 0; p < m_plan.data.size(); ++p) {
        const auto& d = m_plan.data[p];
        const bool last = p + 1 == m_plan.data.size();
        if (d.records.empty() || d.duration <= 0 || t < d.offset || (!last && t >= d.offset + d.duration)) {
            continue;
        }
        const double position = std::clamp((t - d.offset) / d.duration, 0.0, 1.0);
        const size_t count = d.records.size();
        const size_t i = std::min(count - 1, static_cast<size_t>(position * static_cast<double>(count)));
        if (key != nullptr) {
            *key = static_cast<long>(p * 1000000 + i);
        }
        return &d.records[i];
    }
    return nullptr;
}

const QImage& BandPainter::at(double t) {
    long key = -1;
    recordAt(t, &key);
    const auto second = static_cast<long long>(std::floor(t));
    if (key != m_shownKey || second != m_shownSecond) {
        paint(t);
        m_shownKey = key;
        m_shownSecond = second;
    }
    return m_image;
}

void BandPainter::paint(double t) {
    m_image.fill(QColor(0, 0, 0, 150));
    QPainter p(&m_image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    const int h = m_height;
    const int pad = std::max(4, h / 8);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(std::max(8, h * 28 / 100));
    p.setFont(font);
    p.setPen(Qt::white);

    const auto when = static_cast<time_t>(m_plan.clock + static_cast<long long>(std::floor(t)));
    std::tm tm{};
    ::gmtime_r(&when, &tm);
    char clock[64];
    std::snprintf(clock, sizeof clock, "%04d-%02d-%02d %02d:%02d:%02d", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    const BandRecord* r = recordAt(t);
    const int column = m_width * 30 / 100;
    const int top = pad + font.pixelSize();
    const int bottom = h - pad;
    p.drawText(pad, top, QStringLiteral("Camera clock"));
    p.drawText(pad, bottom, QString::fromLatin1(clock));
    p.drawText(column, top, QStringLiteral("Speed"));
    p.drawText(column + m_width * 16 / 100, top, QStringLiteral("G-force"));
    if (r != nullptr) {
        p.drawText(column, bottom,
                   QStringLiteral("%1 %2").arg(std::lround(r->speed)).arg(r->kmh ? "km/h" : "mph"));
        p.drawText(column + m_width * 16 / 100, bottom,
                   QStringLiteral("x %1  y %2  z %3")
                       .arg(r->gx, 0, 'f', 2)
                       .arg(r->gy, 0, 'f', 2)
                       .arg(r->gz, 0, 'f', 2));
    } else {
        p.drawText(column, bottom, QStringLiteral("no data"));
    }

    // The trace: x, y and z over the last seconds, ±2 g across the box's height.
    const QRect box(m_width * 74 / 100, pad, m_width * 26 / 100 - pad, h - 2 * pad);
    p.setPen(QPen(QColor(255, 255, 255, 90), 1));
    p.drawRect(box);
    p.drawLine(box.left(), box.center().y(), box.right(), box.center().y());
    const QColor colours[3] = {QColor(255, 90, 90), QColor(90, 220, 90), QColor(90, 160, 255)};
    const int steps = std::max(2, box.width() / 3);
    for (int axis = 0; axis < 3; ++axis) {
        QPainterPath path;
        bool started = false;
        for (int s = 0; s <= steps; ++s) {
            const double at = t - kTraceSeconds + kTraceSeconds * s / steps;
            const BandRecord* q = at >= 0 ? recordAt(at) : nullptr;
            if (q == nullptr) {
                started = false;
                continue;
            }
            const float g = axis == 0 ? q->gx : axis == 1 ? q->gy : q->gz - 1.0f;
            const double y = box.center().y() - std::clamp(g / 2.0, -1.0, 1.0) * box.height() / 2.0;
            const double x = box.left() + static_cast<double>(box.width()) * s / steps;
            if (started) {
                path.lineTo(x, y);
            } else {
                path.moveTo(x, y);
                started = true;
            }
        }
        p.setPen(QPen(colours[axis], std::max(1.0, h / 60.0)));
        p.drawPath(path);
    }
}

} // namespace media
