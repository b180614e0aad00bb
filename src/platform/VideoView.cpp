// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/VideoView.h"

#include <QMetaObject>
#include <QMouseEvent>
#include <QMutexLocker>
#include <QPainter>
#include <QShortcut>
#include <QThread>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

// Frame pixels per view pixel at `factor`: fill covers the view, fit shows the whole frame.
double scaleOf(QSize frame, QSizeF view, bool fill, double factor) {
    const double across = view.width() / frame.width(), down = view.height() / frame.height();
    return (fill ? std::max(across, down) : std::min(across, down)) * factor;
}

// The frame's coordinate shown in the middle of the view on one axis: where the picture is wider
// than the view, never so near an edge that the view shows past it; else the picture's middle.
double centreOn(double share, double frame, double view, double scale) {
    const double half = view / (2 * scale);
    if (2 * half >= frame) {
        return frame / 2;
    }
    return std::clamp(share * frame, half, frame - half);
}

VideoZoom sanitised(VideoZoom zoom) {
    if (!std::isfinite(zoom.factor) || zoom.factor <= 1.0) {
        return {};
    }
    zoom.factor = std::min(zoom.factor, VideoView::kMaxZoom);
    const auto share = [](double v) { return std::isfinite(v) ? std::clamp(v, 0.0, 1.0) : 0.5; };
    zoom.centre = QPointF(share(zoom.centre.x()), share(zoom.centre.y()));
    return zoom;
}

} // namespace

VideoView::VideoView(QWidget* parent) : QWidget(parent) {
    // Every pixel is painted here: black bars or the frame.
    setAttribute(Qt::WA_OpaquePaintEvent);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    setPalette(pal);
    setAutoFillBackground(false);
    // 0 goes back to the whole picture in every view of the window. Both views hold this key, so
    // Qt may report it as ambiguous: either way, whichever view gets it resets them all.
    auto* reset = new QShortcut(QKeySequence(Qt::Key_0), this);
    reset->setContext(Qt::WindowShortcut);
    const auto resetAll = [this] {
        for (VideoView* view : window()->findChildren<VideoView*>()) {
            view->resetZoom();
        }
    };
    connect(reset, &QShortcut::activated, this, resetAll);
    connect(reset, &QShortcut::activatedAmbiguously, this, resetAll);
}

void VideoView::setFillScreen(bool fill) {
    if (m_fill == fill) {
        return;
    }
    m_fill = fill;
    update();
}

void VideoView::setMirrored(bool mirrored) {
    if (m_mirrored == mirrored) {
        return;
    }
    m_mirrored = mirrored;
    update();
}

void VideoView::presentFrame(const QImage& frame) {
    {
        QMutexLocker lock(&m_mutex);
        m_frame = frame;
        if (!frame.isNull()) {
            ++m_framesPresented;
            m_frameUnpainted = true;
        }
    }
    if (QThread::currentThread() == thread()) {
        update();
    } else {
        // Decoder threads must not touch the widget: the repaint is queued to its own thread.
        QMetaObject::invokeMethod(this, qOverload<>(&QWidget::update), Qt::QueuedConnection);
    }
}

QImage VideoView::lastFrame() const {
    QMutexLocker lock(&m_mutex);
    return m_frame;
}

quint64 VideoView::framesPresented() const {
    QMutexLocker lock(&m_mutex);
    return m_framesPresented;
}

void VideoView::clearFrame() {
    presentFrame(QImage());
}

void VideoView::setPlaceholder(const QString& text) {
    if (text != m_placeholder) {
        m_placeholder = text;
        update();
    }
}

void VideoView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    QImage frame;
    {
        QMutexLocker lock(&m_mutex);
        frame = m_frame;
        if (m_frameUnpainted && !frame.isNull() && width() > 0 && height() > 0) {
            ++m_framesPainted;
        }
        m_frameUnpainted = false;
    }
    if (frame.isNull() && !m_placeholder.isEmpty()) {
        painter.setPen(QColor(0xb0, 0xb0, 0xb0));
        painter.drawText(rect(), Qt::AlignCenter | Qt::TextWordWrap, m_placeholder);
        return;
    }
    if (frame.isNull() || width() <= 0 || height() <= 0) {
        return;
    }
    const Placement place = placement(frame.size(), QSizeF(size()), m_fill, m_zoom);
    if (place.source.isEmpty()) {
        return;
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (m_mirrored) {
        // The flip about the view's middle: a centred picture stays in place.
        painter.translate(width(), 0);
        painter.scale(-1, 1);
    }
    // Only the part shown is read from the frame: zoomed in, the rest never reaches the painter.
    painter.drawImage(place.target, frame, place.source);
}

// ---------------------------------------------------------------- zoom and pan

VideoView::Placement VideoView::placement(QSize frameSize, QSizeF viewSize, bool fill,
                                          const VideoZoom& zoom) {
    if (frameSize.isEmpty() || viewSize.isEmpty()) {
        return {};
    }
    const VideoZoom z = sanitised(zoom);
    const double scale = scaleOf(frameSize, viewSize, fill, z.factor);
    const double fw = frameSize.width(), fh = frameSize.height();
    // At 1x this centres the frame: fill crops the overflow evenly, fit leaves even bars.
    const QPointF centre(centreOn(z.centre.x(), fw, viewSize.width(), scale),
                         centreOn(z.centre.y(), fh, viewSize.height(), scale));
    const QPointF offset = QPointF(viewSize.width(), viewSize.height()) / 2 - centre * scale;
    const QRectF shown(-offset / scale, viewSize / scale);
    // Every rectangle read from the frame lies inside it, whatever its size.
    const QRectF source = shown.intersected(QRectF(0, 0, fw, fh));
    return {source, QRectF(offset + source.topLeft() * scale, source.size() * scale)};
}

QSize VideoView::frameSize() const {
    QMutexLocker lock(&m_mutex);
    return m_frame.size();
}

QPointF VideoView::unmirrored(QPointF viewPos) const {
    return m_mirrored ? QPointF(width() - viewPos.x(), viewPos.y()) : viewPos;
}

void VideoView::setZoom(VideoZoom zoom) {
    // Taken as given: the view may still show the other camera's last frame, so the edges are
    // kept at the next paint rather than here.
    zoom = sanitised(zoom);
    if (zoom == m_zoom) {
        return;
    }
    m_zoom = zoom;
    if (m_zoom.factor > 1.0) {
        setCursor(m_panning ? Qt::ClosedHandCursor : Qt::OpenHandCursor);
    } else {
        unsetCursor();
    }
    update();
    emit zoomChanged(m_zoom);
}

void VideoView::resetZoom() {
    m_panning = false;
    setZoom({});
}

void VideoView::applyZoom(VideoZoom zoom) {
    zoom = sanitised(zoom);
    const QSize frame = frameSize();
    if (zoom.factor > 1.0 && !frame.isEmpty() && width() > 0 && height() > 0) {
        // Stored where the view can show it, so that a drag past an edge is not owed back.
        const Placement place = placement(frame, QSizeF(size()), m_fill, zoom);
        const double scale = place.target.width() / place.source.width();
        const QPointF middle =
            place.source.topLeft() + (QPointF(width(), height()) / 2 - place.target.topLeft()) / scale;
        zoom.centre = QPointF(middle.x() / frame.width(), middle.y() / frame.height());
    }
    setZoom(zoom);
}

void VideoView::zoomAbout(double by, QPointF viewPos) {
    const QSize frame = frameSize();
    if (frame.isEmpty() || width() <= 0 || height() <= 0 || !std::isfinite(by) || by <= 0) {
        return;
    }
    const Placement before = placement(frame, QSizeF(size()), m_fill, m_zoom);
    const double factor = std::clamp(m_zoom.factor * by, 1.0, kMaxZoom);
    const QPointF at = unmirrored(viewPos);
    const double from = before.target.width() / before.source.width();
    const double to = scaleOf(frame, QSizeF(size()), m_fill, factor);
    // The frame's point under the cursor stays under it (unless that would show past an edge).
    const QPointF point = before.source.topLeft() + (at - before.target.topLeft()) / from;
    const QPointF middle = point - (at - QPointF(width(), height()) / 2) / to;
    applyZoom({factor, QPointF(middle.x() / frame.width(), middle.y() / frame.height())});
}

void VideoView::panBy(QPointF delta) {
    const QSize frame = frameSize();
    if (m_zoom.factor <= 1.0 || frame.isEmpty() || width() <= 0 || height() <= 0) {
        return;
    }
    if (m_mirrored) {
        delta.setX(-delta.x());
    }
    const Placement place = placement(frame, QSizeF(size()), m_fill, m_zoom);
    const double scale = place.target.width() / place.source.width();
    // The picture follows the hand: its middle moves the other way in frame pixels.
    const QPointF middle =
        place.source.topLeft() + (QPointF(width(), height()) / 2 - place.target.topLeft() - delta) / scale;
    applyZoom({m_zoom.factor, QPointF(middle.x() / frame.width(), middle.y() / frame.height())});
}

void VideoView::wheelEvent(QWheelEvent* event) {
    const int delta = event->angleDelta().y();
    if (delta == 0 || frameSize().isEmpty()) {
        event->ignore();
        return;
    }
    zoomAbout(std::exp2(delta / 120.0 / kNotchesPerDoubling), event->position());
    event->accept();
}

void VideoView::mousePressEvent(QMouseEvent* event) {
    // At 1x the press goes on to the window, whose drag moves it.
    if (event->button() != Qt::LeftButton || m_zoom.factor <= 1.0) {
        event->ignore();
        return;
    }
    m_panning = true;
    m_panFrom = event->position();
    setCursor(Qt::ClosedHandCursor);
    event->accept();
}

void VideoView::mouseMoveEvent(QMouseEvent* event) {
    if (!m_panning || !(event->buttons() & Qt::LeftButton)) {
        event->ignore();
        return;
    }
    panBy(event->position() - m_panFrom);
    m_panFrom = event->position();
    event->accept();
}

void VideoView::mouseReleaseEvent(QMouseEvent* event) {
    if (!m_panning || event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    m_panning = false;
    if (m_zoom.factor > 1.0) {
        setCursor(Qt::OpenHandCursor);
    }
    event->accept();
}

void VideoView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && m_zoom.factor > 1.0) {
        resetZoom();
        event->accept();
        return;
    }
    event->ignore();
}
