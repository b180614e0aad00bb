// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The frame behind a video picture: a nine-part image over the whole view and the camera's logo,
// at its own size, in the middle.

#include <QPixmap>
#include <QWidget>

class TKVideoBackgroundImageView : public QWidget {
    Q_OBJECT
public:
    explicit TKVideoBackgroundImageView(QWidget* parent = nullptr);

    // Loads "<name>_top_left_corner" ... "<name>_center_fill".
    void setBackgroundNineImageName(const QString& name);
    void setLogoImage(const QPixmap& logo);
    QPixmap logoImage() const { return centerLogoImage; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap topLeftConerImage;
    QPixmap topRightConerImage;
    QPixmap bottomLeftConerImage;
    QPixmap bottomRightConerImage;
    QPixmap leftEdgeFillImage;
    QPixmap rightEdgeFillImage;
    QPixmap topEdgeFillImage;
    QPixmap bottomEdgeFillImage;
    QPixmap centerFillImage;
    QPixmap centerLogoImage;
};
