// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/views/TKImageDrawing.h"

#include <QPainter>

namespace {

void drawInto(QPainter& painter, const QRect& target, const QPixmap& image) {
    if (!image.isNull() && target.width() > 0 && target.height() > 0) {
        painter.drawPixmap(target, image);
    }
}

} // namespace

QPixmap TKImageDrawing::imageNamed(const QString& name) {
    if (name.isEmpty()) {
        return {};
    }
    QString path = QStringLiteral(":/images/");
    path.append(name);
    if (!name.endsWith(QLatin1String(".png"))) {
        path.append(QLatin1String(".png"));
    }
    QPixmap image;
    // load() goes through the pixmap cache, so every button sharing a picture shares its pixels.
    image.load(path);
    return image;
}

void TKImageDrawing::drawThreePartImage(QPainter& painter, const QRect& frame, const QPixmap& left,
                                        const QPixmap& middle, const QPixmap& right) {
    const int leftWidth = left.isNull() ? 0 : left.width();
    const int rightWidth = right.isNull() ? 0 : right.width();
    drawInto(painter, QRect(frame.left(), frame.top(), leftWidth, frame.height()), left);
    drawInto(
        painter,
        QRect(frame.left() + leftWidth, frame.top(), frame.width() - leftWidth - rightWidth, frame.height()),
        middle);
    drawInto(painter, QRect(frame.right() + 1 - rightWidth, frame.top(), rightWidth, frame.height()), right);
}

void TKImageDrawing::drawNinePartImage(QPainter& painter, const QRect& frame, const NineParts& p) {
    auto width = [](const QPixmap& image) { return image.isNull() ? 0 : image.width(); };
    auto height = [](const QPixmap& image) { return image.isNull() ? 0 : image.height(); };
    const int x0 = frame.left();
    const int y0 = frame.top();
    const int x1 = frame.right() + 1;
    const int y1 = frame.bottom() + 1;
    const int leftWidth = width(p.leftEdge);
    const int rightWidth = width(p.rightEdge);
    const int topHeight = height(p.topEdge);
    const int bottomHeight = height(p.bottomEdge);

    drawInto(painter,
             QRect(x0 + leftWidth, y0 + topHeight, x1 - x0 - leftWidth - rightWidth,
                   y1 - y0 - topHeight - bottomHeight),
             p.center);
    drawInto(painter,
             QRect(x0 + width(p.topLeft), y0, x1 - x0 - width(p.topLeft) - width(p.topRight), topHeight),
             p.topEdge);
    drawInto(painter,
             QRect(x0 + width(p.bottomLeft), y1 - bottomHeight,
                   x1 - x0 - width(p.bottomLeft) - width(p.bottomRight), bottomHeight),
             p.bottomEdge);
    drawInto(painter,
             QRect(x0, y0 + height(p.topLeft), leftWidth, y1 - y0 - height(p.topLeft) - height(p.bottomLeft)),
             p.leftEdge);
    drawInto(painter,
             QRect(x1 - rightWidth, y0 + height(p.topRight), rightWidth,
                   y1 - y0 - height(p.topRight) - height(p.bottomRight)),
             p.rightEdge);
    drawInto(painter, QRect(QPoint(x0, y0), p.topLeft.size()), p.topLeft);
    drawInto(painter, QRect(QPoint(x1 - width(p.topRight), y0), p.topRight.size()), p.topRight);
    drawInto(painter, QRect(QPoint(x0, y1 - height(p.bottomLeft)), p.bottomLeft.size()), p.bottomLeft);
    drawInto(painter,
             QRect(QPoint(x1 - width(p.bottomRight), y1 - height(p.bottomRight)), p.bottomRight.size()),
             p.bottomRight);
}
