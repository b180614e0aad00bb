// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/VideoView.h"

#include <QMetaObject>
#include <QMutexLocker>
#include <QPainter>
#include <QThread>

VideoView::VideoView(QWidget* parent) : QWidget(parent) {
    // Every pixel is painted here: black bars or the frame.
    setAttribute(Qt::WA_OpaquePaintEvent);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    setPalette(pal);
    setAutoFillBackground(false);
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
    if (frame.isNull() || width() <= 0 || height() <= 0) {
        return;
    }
    // Fill covers the whole view and crops the overflow evenly; fit shows the whole frame with bars.
    const QSizeF scaled =
        QSizeF(frame.size())
            .scaled(QSizeF(size()), m_fill ? Qt::KeepAspectRatioByExpanding : Qt::KeepAspectRatio);
    const QRectF target((width() - scaled.width()) / 2.0, (height() - scaled.height()) / 2.0, scaled.width(),
                        scaled.height());
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (m_mirrored) {
        // The target is centred, so the flip about the view's middle keeps it in place.
        painter.translate(width(), 0);
        painter.scale(-1, 1);
    }
    painter.drawImage(target, frame);
}
