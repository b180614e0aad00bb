// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Shows the frames a player hands it, scaled to fill the view (cropping the overflow) or to fit it.
// The wheel zooms into the picture about the cursor (up to 8x), a drag pans while zoomed in, and a
// double-click or the 0 key goes back to the whole picture. At 1x the mouse is left to the window,
// which a drag moves.

#include <QImage>
#include <QMutex>
#include <QPointF>
#include <QRectF>
#include <QWidget>

// How far a view is zoomed into its camera's picture, and where. The centre is the picture's point
// shown in the middle of the view, as shares of the picture's width and height, so that it means
// the same for a camera of another size: the zoom can follow its camera to the other view.
struct VideoZoom {
    double factor = 1.0;
    QPointF centre{0.5, 0.5};
    bool operator==(const VideoZoom&) const = default;
};

class VideoView : public QWidget {
    Q_OBJECT
public:
    static constexpr double kMaxZoom = 8.0;
    // One wheel notch (120) zooms by 2^(1/3): from the whole picture to 8x in nine notches.
    static constexpr double kNotchesPerDoubling = 3.0;

    explicit VideoView(QWidget* parent = nullptr);

    void setFillScreen(bool fill);
    bool fillScreen() const { return m_fill; }
    // Shows the picture flipped left to right, as a rear-view mirror would. Only the painting is
    // flipped: the frames (and snapshots made from them) stay the camera's own.
    void setMirrored(bool mirrored);
    bool mirrored() const { return m_mirrored; }

    // Only the painting zooms: the frames, and snapshots made from them, stay whole.
    VideoZoom zoom() const { return m_zoom; }
    void setZoom(VideoZoom zoom);
    // Multiplies the zoom by `by`, keeping the picture's point under `viewPos` where it is.
    void zoomAbout(double by, QPointF viewPos);
    // Moves the picture by `delta` view pixels, as a drag does; never past the picture's edges.
    void panBy(QPointF delta);
    // Where the view draws a frame of `frameSize` when `viewSize` large: the part of the frame
    // shown (always inside the frame) and where on the view it lands, before any mirroring.
    struct Placement {
        QRectF source;
        QRectF target;
    };
    static Placement placement(QSize frameSize, QSizeF viewSize, bool fill, const VideoZoom& zoom);

    // Thread-safe: called with each decoded frame; the view repaints on the UI thread.
    void presentFrame(const QImage& frame);
    // Said in the middle of the view while it has no frame ("no rear picture"); empty for none.
    void setPlaceholder(const QString& text);
    QString placeholder() const { return m_placeholder; }
    // The last frame shown, or a null image.
    QImage lastFrame() const;
    void clearFrame();

    // Frames handed to the view and frames that reached the screen: a frame replaced before the
    // next paint is counted as presented but never painted.
    quint64 framesPresented() const;
    quint64 framesPainted() const { return m_framesPainted; }

public slots:
    void resetZoom();

signals:
    void zoomChanged(VideoZoom zoom);

protected:
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QSize frameSize() const;
    // The view's point as it would be without the mirror's flip.
    QPointF unmirrored(QPointF viewPos) const;
    // Keeps the centre where the view shows only the picture, then tells the change.
    void applyZoom(VideoZoom zoom);

    mutable QMutex m_mutex;
    QImage m_frame;
    quint64 m_framesPresented = 0;
    quint64 m_framesPainted = 0;
    bool m_frameUnpainted = false;
    QString m_placeholder;
    bool m_fill = true;
    bool m_mirrored = false;
    VideoZoom m_zoom;
    bool m_panning = false;
    QPointF m_panFrom;
};
