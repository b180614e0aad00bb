// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A strip drawn from three images: end caps at their own width, the middle stretched between them.

#include <QPixmap>
#include <QWidget>

class TKThreePartImageView : public QWidget {
    Q_OBJECT
public:
    explicit TKThreePartImageView(QWidget* parent = nullptr);

    void setImagesLeft(const QPixmap& left, const QPixmap& middle, const QPixmap& right);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap left_img;
    QPixmap middle_img;
    QPixmap right_img;
};
