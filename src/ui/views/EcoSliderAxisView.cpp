// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/views/EcoSliderAxisView.h"

#include <QPainter>

namespace nura {

EcoSliderAxisView::EcoSliderAxisView(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void EcoSliderAxisView::setBackgroundColor(const QColor& color) {
    m_backgroundColor = color;
    update();
}

std::array<QRectF, EcoSliderAxisView::kTickCount> EcoSliderAxisView::tickRects(double width) {
    std::array<QRectF, kTickCount> ticks;
    // First and last tick 8 px in from the edges, under the slider's ends.
    const double spacing = (width - 16) / (kTickCount - 1);
    for (int i = 0; i < kTickCount; ++i) {
        const bool isLong = i == 0 || i == 10 || i == kTickCount - 1;
        ticks[static_cast<std::size_t>(i)] =
            isLong ? QRectF(8 + i * spacing, 3, 1, 8) : QRectF(8 + i * spacing, 5, 1, 5);
    }
    return ticks;
}

void EcoSliderAxisView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (m_backgroundColor.isValid()) {
        painter.fillRect(rect(), m_backgroundColor);
    }
    const QColor ink = palette().color(QPalette::WindowText);
    for (const QRectF& tick : tickRects(width())) {
        painter.fillRect(tick, ink);
    }
}

} // namespace nura
