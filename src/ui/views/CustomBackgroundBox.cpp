// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/views/CustomBackgroundBox.h"

#include <QPaintEvent>
#include <QPainter>

CustomBackgroundBox::CustomBackgroundBox(QWidget* parent) : QFrame(parent) {}

QColor CustomBackgroundBox::fillColor() {
    return QColor::fromRgbF(0.416f, 0.373f, 0.357f);
}

void CustomBackgroundBox::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    QPainter(this).fillRect(event->rect(), fillColor());
}
