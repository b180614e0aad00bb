// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A button drawn from image resources: a picture for normal, hover ("_f") and pressed ("_p"), named
// after the normal picture ("icon_play_n" gives "icon_play_f" and "icon_play_p"). The hover picture
// shows while the pointer is within 4 pixels of the button; a missing picture is simply not drawn.

#include <QAbstractButton>
#include <QPixmap>

#include <cstdint>
#include <memory>

class TKImageButtonCell;

class TKImageButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit TKImageButton(QWidget* parent = nullptr);
    ~TKImageButton() override;

    // Loads the named picture and derives the hover and pressed pictures from its name.
    void setImageName(const QString& name);
    QString imageName() const { return m_imageName; }
    // The current picture's name without its last two characters, plus `suffix`.
    QString buttonImageNameWithSuffix(const QString& suffix) const;

    void didCaptureMousePointer();
    void didReleaseMousePointer();
    void resetMouseCaptures();
    int64_t numberOfCaptures() const { return m_numberOfCaptures; }
    bool shouldDisplayRollOver() const { return m_numberOfCaptures > 0; }
    void updateRollOverImage();
    // Shows the active picture when enabled and the inactive one when disabled (also on every
    // change of the enabled state).
    void updateImage();
    // Follows the pointer again, after the button moved or changed size under it.
    void updateTrackingAreas();

    // The picture shown when not pressed.
    QPixmap image() const { return m_image; }
    QPixmap pressedImage() const { return m_pressedImage; }
    void setPressedImage(const QPixmap& image);
    QPixmap activeImage() const { return m_activeImage; }
    void setActiveImage(const QPixmap& image) { m_activeImage = image; }
    QPixmap inactiveImage() const { return m_inactiveImage; }
    void setInactiveImage(const QPixmap& image) { m_inactiveImage = image; }
    QPixmap rolloverImage() const { return m_rolloverImage; }
    void setRolloverImage(const QPixmap& image) { m_rolloverImage = image; }

    // Draws the three-part bezel under the picture.
    void setDrawsBezel(bool draws);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setUp();
    void setShownImage(const QPixmap& image);
    void trackPointer(const QPointF& globalPosition);
    void watchParent();

    QString m_imageName;
    QPixmap m_image;
    QPixmap m_pressedImage;
    QPixmap m_activeImage;
    QPixmap
        m_activeNotKeyWindowImage; // kept for callers; the picture does not change with the window's focus
    QPixmap m_inactiveImage;
    QPixmap m_rolloverImage;
    int64_t m_numberOfCaptures = 0;
    bool m_pointerInside = false;
    QWidget* m_watchedParent = nullptr;
    std::unique_ptr<TKImageButtonCell> m_cell;
};
