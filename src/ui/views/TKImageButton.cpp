// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/views/TKImageButton.h"

#include "ui/views/TKImageButtonCell.h"
#include "ui/views/TKImageDrawing.h"

#include <QCursor>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>

namespace {

// The hover area reaches this far past the button on every side.
constexpr int kTrackingMargin = 4;
// Between the picture and a caption.
constexpr int kCaptionGap = 6;

} // namespace

TKImageButton::TKImageButton(QWidget* parent) : QAbstractButton(parent) {
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_Hover, true);
    setUp();
    watchParent();
}

TKImageButton::~TKImageButton() = default;

void TKImageButton::setUp() {
    // Momentary, borderless and without a title: the pictures are the whole button.
    setCheckable(false);
    setText(QString());
    m_rolloverImage = TKImageDrawing::imageNamed(buttonImageNameWithSuffix(QStringLiteral("_f")));
    m_pressedImage = TKImageDrawing::imageNamed(buttonImageNameWithSuffix(QStringLiteral("_p")));
    m_activeImage = m_image;
    m_inactiveImage = m_image;
    updateGeometry();
}

void TKImageButton::setImageName(const QString& name) {
    m_imageName = name;
    m_image = TKImageDrawing::imageNamed(name);
    setUp();
    updateRollOverImage();
}

QString TKImageButton::buttonImageNameWithSuffix(const QString& suffix) const {
    if (m_imageName.size() < 2) {
        return {};
    }
    QString name = m_imageName.chopped(2);
    name.append(suffix);
    return name;
}

void TKImageButton::didCaptureMousePointer() {
    ++m_numberOfCaptures;
    updateRollOverImage();
}

void TKImageButton::didReleaseMousePointer() {
    if (m_numberOfCaptures > 0) {
        --m_numberOfCaptures;
    }
    updateRollOverImage();
}

void TKImageButton::resetMouseCaptures() {
    m_numberOfCaptures = 0;
    updateRollOverImage();
}

void TKImageButton::updateRollOverImage() {
    if (shouldDisplayRollOver() && isEnabled()) {
        setShownImage(m_rolloverImage);
    } else {
        updateImage();
    }
}

void TKImageButton::updateImage() {
    setShownImage(isEnabled() ? m_activeImage : m_inactiveImage);
}

void TKImageButton::setShownImage(const QPixmap& image) {
    m_image = image;
    update();
}

void TKImageButton::setPressedImage(const QPixmap& image) {
    m_pressedImage = image;
    update();
}

void TKImageButton::setDrawsBezel(bool draws) {
    m_cell = draws ? std::make_unique<TKImageButtonCell>() : nullptr;
    update();
}

QSize TKImageButton::sizeHint() const {
    QSize hint = m_activeImage.isNull() ? QSize(24, 24) : m_activeImage.size();
    if (!text().isEmpty()) {
        hint.rwidth() += kCaptionGap + fontMetrics().horizontalAdvance(text());
        hint.setHeight(std::max(hint.height(), fontMetrics().height()));
    }
    return m_cell ? hint + QSize(16, 6) : hint;
}

void TKImageButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (m_cell) {
        m_cell->drawBezelWithFrame(painter, rect(), isChecked(), isDown());
    }
    // Held down, the pressed picture replaces the shown one; without one nothing is drawn.
    const QPixmap& picture = isDown() ? m_pressedImage : m_image;
    if (text().isEmpty()) {
        if (!picture.isNull()) {
            const QSize room = size() - picture.size();
            painter.drawPixmap(QPoint(room.width() / 2, room.height() / 2), picture);
        }
        return;
    }
    // With a caption: the picture at the left, the caption after it, brighter under the pointer.
    const int pictureWidth = m_activeImage.isNull() ? 0 : m_activeImage.width();
    if (!picture.isNull()) {
        painter.drawPixmap(QPoint(0, (height() - picture.height()) / 2), picture);
    }
    painter.setPen(palette().color(shouldDisplayRollOver() && isEnabled() ? QPalette::BrightText
                                                                          : QPalette::WindowText));
    painter.drawText(rect().adjusted(pictureWidth + kCaptionGap, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
                     text());
}

void TKImageButton::changeEvent(QEvent* event) {
    QAbstractButton::changeEvent(event);
    if (event->type() == QEvent::EnabledChange) {
        updateRollOverImage();
    } else if (event->type() == QEvent::ParentChange) {
        watchParent();
    }
}

void TKImageButton::watchParent() {
    if (m_watchedParent) {
        m_watchedParent->removeEventFilter(this);
    }
    // The hover area spills over the parent by a few pixels, so the parent's pointer moves count too.
    m_watchedParent = parentWidget();
    if (m_watchedParent) {
        m_watchedParent->setMouseTracking(true);
        m_watchedParent->installEventFilter(this);
    }
}

void TKImageButton::trackPointer(const QPointF& globalPosition) {
    const QRectF area =
        QRectF(rect()).adjusted(-kTrackingMargin, -kTrackingMargin, kTrackingMargin, kTrackingMargin);
    const bool inside = isVisible() && area.contains(mapFromGlobal(globalPosition));
    if (inside == m_pointerInside) {
        return;
    }
    m_pointerInside = inside;
    inside ? didCaptureMousePointer() : didReleaseMousePointer();
}

void TKImageButton::updateTrackingAreas() {
    trackPointer(QCursor::pos());
}

void TKImageButton::enterEvent(QEnterEvent* event) {
    QAbstractButton::enterEvent(event);
    trackPointer(event->globalPosition());
}

void TKImageButton::leaveEvent(QEvent* event) {
    QAbstractButton::leaveEvent(event);
    updateTrackingAreas();
}

void TKImageButton::moveEvent(QMoveEvent* event) {
    QAbstractButton::moveEvent(event);
    if (m_pointerInside) {
        updateTrackingAreas();
    }
}

void TKImageButton::resizeEvent(QResizeEvent* event) {
    QAbstractButton::resizeEvent(event);
    if (m_pointerInside) {
        updateTrackingAreas();
    }
}

bool TKImageButton::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_watchedParent) {
        if (event->type() == QEvent::MouseMove) {
            trackPointer(static_cast<QMouseEvent*>(event)->globalPosition());
        } else if (event->type() == QEvent::Leave && m_pointerInside && !underMouse()) {
            trackPointer(QCursor::pos());
        }
    }
    return QAbstractButton::eventFilter(watched, event);
}
