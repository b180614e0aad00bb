// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The borderless main window: moved by dragging its background, with a full-screen mode of its own.

#include <QRect>
#include <QWidget>

class CustomWindow : public QWidget {
    Q_OBJECT
    Q_PROPERTY(bool isFullScreen READ isFullScreen NOTIFY isFullScreenChanged)
public:
    explicit CustomWindow(QWidget* parent = nullptr);

    // The windowed frame to return to when leaving full screen.
    void setInitialFrame(const QRect& frame) { m_initialFrame = frame; }
    QRect initialFrame() const { return m_initialFrame; }
    QPoint initialLocation() const { return m_initialLocation; }

    bool isFullScreen() const { return m_isFullScreen; }
    void enterFullscreen();
    void leaveFullscreen();

    // Where a drag to `mouseInWindow` puts the window's origin: the top never goes above the
    // top of the screen's available area; the other edges may leave the screen.
    static QPoint draggedOrigin(const QRect& frame, QPoint mouseInWindow, QPoint pressInWindow,
                                const QRect& availableArea);

signals:
    void isFullScreenChanged(bool fullScreen);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QRect m_initialFrame;
    QPoint m_initialLocation;
    bool m_isFullScreen = false;
    bool m_dragging = false;
};
