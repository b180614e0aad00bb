// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The bezel some image buttons sit on: a three-part strip over the button's frame, in its plain
// set while the button is on and its pressed set while it is off or held down.

#include <QPixmap>

class QPainter;
class QRect;

class TKImageButtonCell {
public:
    TKImageButtonCell();

    void drawBezelWithFrame(QPainter& painter, const QRect& frame, bool stateOn, bool highlighted) const;

private:
    QPixmap m_left, m_center, m_right;
    QPixmap m_leftPressed, m_centerPressed, m_rightPressed;
};
