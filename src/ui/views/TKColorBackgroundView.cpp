// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/views/TKColorBackgroundView.h"

#include <QPaintEvent>
#include <QPainter>

TKColorBackgroundView::TKColorBackgroundView(QWidget* parent) : QWidget(parent) {}

void TKColorBackgroundView::setBackgroundColor(std::optional<QColor> color) {
    m_backgroundColor = color;
    update();
}

void TKColorBackgroundView::paintEvent(QPaintEvent* event) {
    if (m_backgroundColor) {
        QPainter(this).fillRect(event->rect(), *m_backgroundColor);
    }
    QWidget::paintEvent(event);
}
