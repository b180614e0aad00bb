// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/app/ORBRearMirror.h"

#include "platform/VideoView.h"
#include "ui/app/ORBRecordingPlayer.h"
#include "ui/strings/InfoPlist.h"

#include <QEvent>
#include <QPainter>
#include <QPolygonF>
#include <QSettings>
#include <QToolButton>

namespace {

constexpr int kButtonSize = 24, kMargin = 6;

// The flip symbol: a solid and a hollow triangle facing away from a dashed axis.
QIcon flipIcon() {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::white, 2));
    p.setBrush(Qt::white);
    p.drawPolygon(QPolygonF({QPointF(13, 7), QPointF(13, 25), QPointF(3, 25)}));
    p.setBrush(Qt::NoBrush);
    p.drawPolygon(QPolygonF({QPointF(19, 7), QPointF(19, 25), QPointF(29, 25)}));
    p.setPen(QPen(Qt::white, 2, Qt::DashLine));
    p.drawLine(QPointF(16, 2), QPointF(16, 30));
    p.end();
    return QIcon(pixmap);
}

} // namespace

ORBRearMirror::ORBRearMirror(const ORBRecordingPlayer& recording, VideoView* view1, VideoView* view2,
                             QObject* parent)
    : QObject(parent), m_recording(recording), m_view1(view1), m_view2(view2),
      m_enabled(QSettings().value(QLatin1String(kSettingKey), false).toBool()) {
    m_button = new QToolButton(view2);
    m_button->setObjectName(QStringLiteral("mirrorButton"));
    m_button->setCheckable(true);
    m_button->setChecked(m_enabled);
    m_button->setFocusPolicy(Qt::NoFocus);
    m_button->setFixedSize(kButtonSize, kButtonSize);
    m_button->setIcon(flipIcon());
    m_button->setIconSize(QSize(16, 16));
    m_button->setToolTip(L("main.mirror_tip"));
    m_button->setStyleSheet(QStringLiteral("QToolButton { background: rgba(0, 0, 0, 120); color: white; "
                                           "border: 1px solid rgba(255, 255, 255, 90);"
                                           " border-radius: 4px; padding: 0; }"
                                           "QToolButton:checked { background: rgba(46, 140, 220, 220); }"));
    connect(m_button, &QToolButton::toggled, this, &ORBRearMirror::setEnabled);
    for (VideoView* view : {view1, view2}) {
        view->installEventFilter(this);
    }
    refresh();
}

void ORBRearMirror::setEnabled(bool enabled) {
    if (enabled != m_enabled) {
        m_enabled = enabled;
        QSettings().setValue(QLatin1String(kSettingKey), enabled);
    }
    if (m_button) {
        const QSignalBlocker block(m_button);
        m_button->setChecked(enabled);
    }
    refresh();
}

VideoView* ORBRearMirror::rearView() const {
    const MediaPlayer* rear = m_recording.rear();
    if (rear == nullptr || !rear->hasMedia()) {
        return nullptr;
    }
    return rear == &m_recording.main() ? m_view1 : m_view2;
}

void ORBRearMirror::refresh() {
    if (!m_button) {
        return;
    }
    VideoView* rear = rearView();
    m_view1->setMirrored(m_enabled && rear == m_view1);
    m_view2->setMirrored(m_enabled && rear == m_view2);
    if (rear == nullptr) {
        m_button->hide();
        return;
    }
    if (m_button->parentWidget() != rear) {
        m_button->setParent(rear);
    }
    placeButton();
    m_button->show();
    m_button->raise();
}

void ORBRearMirror::placeButton() {
    if (QWidget* view = m_button->parentWidget()) {
        // The top right corner: the camera's logo holds the top left of the sub view.
        m_button->move(view->width() - kButtonSize - kMargin, kMargin);
    }
}

bool ORBRearMirror::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize && m_button && watched == m_button->parentWidget()) {
        placeButton();
    }
    return QObject::eventFilter(watched, event);
}
