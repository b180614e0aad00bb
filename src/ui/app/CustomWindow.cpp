// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/app/CustomWindow.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>

CustomWindow::CustomWindow(QWidget* parent) : QWidget(parent, Qt::Window | Qt::FramelessWindowHint) {
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

QPoint CustomWindow::draggedOrigin(const QRect& frame, QPoint mouseInWindow, QPoint pressInWindow,
                                   const QRect& availableArea) {
    QPoint origin = frame.topLeft() + (mouseInWindow - pressInWindow);
    if (origin.y() < availableArea.top()) {
        origin.setY(availableArea.top());
    }
    return origin;
}

void CustomWindow::mousePressEvent(QMouseEvent* event) {
    // Presses that reach the window itself land on its background: they start a drag.
    if (event->button() == Qt::LeftButton && !m_isFullScreen) {
        m_initialLocation = event->position().toPoint();
        m_dragging = true;
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void CustomWindow::mouseMoveEvent(QMouseEvent* event) {
    if (!m_dragging || !(event->buttons() & Qt::LeftButton)) {
        m_dragging = false;
        QWidget::mouseMoveEvent(event);
        return;
    }
    const QScreen* s = screen();
    const QRect area = s ? s->availableGeometry() : QRect(-100000, -100000, 200000, 200000);
    move(draggedOrigin(frameGeometry(), event->position().toPoint(), m_initialLocation, area));
    event->accept();
}

void CustomWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && m_isFullScreen) {
        leaveFullscreen();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void CustomWindow::enterFullscreen() {
    if (m_isFullScreen) {
        return;
    }
    m_isFullScreen = true;
    if (m_initialFrame.width() == 0 || m_initialFrame.height() == 0) {
        m_initialFrame = geometry();
    }
    if (const QScreen* s = screen()) {
        setGeometry(s->geometry());
    }
    emit isFullScreenChanged(true);
}

void CustomWindow::leaveFullscreen() {
    if (!m_isFullScreen) {
        return;
    }
    m_isFullScreen = false;
    setGeometry(m_initialFrame);
    emit isFullScreenChanged(false);
}
