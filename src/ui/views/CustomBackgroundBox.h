// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A box painted over in the window's warm grey once its frame is drawn. Its background image is
// kept for whoever sets it but not drawn.

#include <QFrame>
#include <QPixmap>

class CustomBackgroundBox : public QFrame {
    Q_OBJECT
public:
    explicit CustomBackgroundBox(QWidget* parent = nullptr);

    void setBackgroundImage(const QPixmap& image) { backgroundImage = image; }
    QPixmap background() const { return backgroundImage; }
    static QColor fillColor();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap backgroundImage;
};
