// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/views/TKImageButtonCell.h"

#include "ui/views/TKImageDrawing.h"

TKImageButtonCell::TKImageButtonCell()
    : m_left(TKImageDrawing::imageNamed(QStringLiteral("bg_bt_info_left.png"))),
      m_center(TKImageDrawing::imageNamed(QStringLiteral("bg_bt_info_center.png"))),
      m_right(TKImageDrawing::imageNamed(QStringLiteral("bg_bt_info_right.png"))),
      m_leftPressed(TKImageDrawing::imageNamed(QStringLiteral("bg_bt_info_left_pressed.png"))),
      m_centerPressed(TKImageDrawing::imageNamed(QStringLiteral("bg_bt_info_center_pressed.png"))),
      m_rightPressed(TKImageDrawing::imageNamed(QStringLiteral("bg_bt_info_right_pressed.png"))) {}

void TKImageButtonCell::drawBezelWithFrame(QPainter& painter, const QRect& frame, bool stateOn,
                                           bool highlighted) const {
    if (stateOn && !highlighted) {
        TKImageDrawing::drawThreePartImage(painter, frame, m_left, m_center, m_right);
    } else {
        TKImageDrawing::drawThreePartImage(painter, frame, m_leftPressed, m_centerPressed, m_rightPressed);
    }
}
