// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/views/TKThreePartImageView.h"

#include "ui/views/TKImageDrawing.h"

#include <QPainter>

TKThreePartImageView::TKThreePartImageView(QWidget* parent) : QWidget(parent) {}

void TKThreePartImageView::setImagesLeft(const QPixmap& left, const QPixmap& middle, const QPixmap& right) {
    left_img = left;
    middle_img = middle;
    right_img = right;
    update();
}

void TKThreePartImageView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    TKImageDrawing::drawThreePartImage(painter, rect(), left_img, middle_img, right_img);
}
