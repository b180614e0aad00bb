// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Image resources by name, and the three-part and nine-part drawing of the window's frames and strips.
// A name without a resource gives a null image, and a null image draws nothing.

#include <QPixmap>
#include <QRect>
#include <QString>

class QPainter;

class TKImageDrawing {
public:
    // ":/images/<name>.png"; a trailing ".png" in the name is allowed.
    static QPixmap imageNamed(const QString& name);

    // End caps at their own width and the frame's height, the middle stretched between them.
    static void drawThreePartImage(QPainter& painter, const QRect& frame, const QPixmap& left,
                                   const QPixmap& middle, const QPixmap& right);

    struct NineParts {
        QPixmap topLeft, topRight, bottomLeft, bottomRight;
        QPixmap leftEdge, rightEdge, topEdge, bottomEdge;
        QPixmap center;
    };
    // Corners at their own size, edges stretched along their side, the centre over the rest.
    static void drawNinePartImage(QPainter& painter, const QRect& frame, const NineParts& parts);
};
