// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Shows the frames a player hands it, scaled to fill the view (cropping the overflow) or to fit it.

#include <QImage>
#include <QMutex>
#include <QWidget>

class VideoView : public QWidget {
    Q_OBJECT
public:
    explicit VideoView(QWidget* parent = nullptr);

    void setFillScreen(bool fill);
    bool fillScreen() const { return m_fill; }
    // Shows the picture flipped left to right, as a rear-view mirror would. Only the painting is
    // flipped: the frames (and snapshots made from them) stay the camera's own.
    void setMirrored(bool mirrored);
    bool mirrored() const { return m_mirrored; }

    // Thread-safe: called with each decoded frame; the view repaints on the UI thread.
    void presentFrame(const QImage& frame);
    // The last frame shown, or a null image.
    QImage lastFrame() const;
    void clearFrame();

    // Frames handed to the view and frames that reached the screen: a frame replaced before the
    // next paint is counted as presented but never painted.
    quint64 framesPresented() const;
    quint64 framesPainted() const { return m_framesPainted; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    mutable QMutex m_mutex;
    QImage m_frame;
    quint64 m_framesPresented = 0;
    quint64 m_framesPainted = 0;
    bool m_frameUnpainted = false;
    bool m_fill = true;
    bool m_mirrored = false;
};
