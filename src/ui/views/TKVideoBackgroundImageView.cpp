// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/views/TKVideoBackgroundImageView.h"

#include "ui/views/TKImageDrawing.h"

#include <QPainter>

TKVideoBackgroundImageView::TKVideoBackgroundImageView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void TKVideoBackgroundImageView::setBackgroundNineImageName(const QString& name) {
    auto named = [&name](const char* format) {
        return TKImageDrawing::imageNamed(QString::fromLatin1(format).arg(name));
    };
    topLeftConerImage = named("%1_top_left_corner");
    topRightConerImage = named("%1_top_right_corner");
    bottomLeftConerImage = named("%1_bottom_left_corner");
    bottomRightConerImage = named("%1_bottom_right_corner");
    leftEdgeFillImage = named("%1_left_edge_fill");
    rightEdgeFillImage = named("%1_right_edge_fill");
    topEdgeFillImage = named("%1_top_edge_fill");
    bottomEdgeFillImage = named("%1_bottom_edge_fill");
    centerFillImage = named("%1_center_fill");
    update();
}

void TKVideoBackgroundImageView::setLogoImage(const QPixmap& logo) {
    centerLogoImage = logo;
    update();
}

void TKVideoBackgroundImageView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    TKImageDrawing::drawNinePartImage(painter, rect(),
                                      {topLeftConerImage, topRightConerImage, bottomLeftConerImage,
                                       bottomRightConerImage, leftEdgeFillImage, rightEdgeFillImage,
                                       topEdgeFillImage, bottomEdgeFillImage, centerFillImage});
    if (!centerLogoImage.isNull()) {
        // A logo larger than the view stays centred and is cut at the edges.
        const QSize room = size() - centerLogoImage.size();
        painter.drawPixmap(QPoint(room.width() / 2, room.height() / 2), centerLogoImage);
    }
}
