// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/app/Resources.h"
#include "ui/views/TKImageButton.h"

#include <QMouseEvent>
#include <QtTest>

namespace {

QImage resource(const QString& name) {
    return QImage(QStringLiteral(":/images/%1.png").arg(name)).convertToFormat(QImage::Format_ARGB32);
}

bool same(const QPixmap& shown, const QString& name) {
    const QImage expected = resource(name).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    return !expected.isNull() &&
           shown.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied) == expected;
}

QImage rendered(QWidget& view) {
    QImage image(view.size(), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    view.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

} // namespace

class ImageControlsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initNuraResources(); }

    void derivesHoverAndPressedPicturesFromTheName() {
        TKImageButton button;
        button.setImageName(QStringLiteral("icon_pause_n"));
        QVERIFY(same(button.rolloverImage(), QStringLiteral("icon_pause_f")));
        QVERIFY(same(button.pressedImage(), QStringLiteral("icon_pause_p")));

        // A picture without hover and pressed partners: those states draw nothing.
        button.setImageName(QStringLiteral("car_front_alwa"));
        button.resize(40, 20);
        QVERIFY(rendered(button).pixel(20, 10) != 0);
        button.didCaptureMousePointer();
        QCOMPARE(qAlpha(rendered(button).pixel(20, 10)), 0);
    }

    void countsPointerCapturesNeverBelowZeroAndShowsTheInactivePictureWhenDisabled() {
        TKImageButton button;
        button.setImageName(QStringLiteral("icon_play_n"));
        button.setInactiveImage(QPixmap(QStringLiteral(":/images/icon_pause_n.png")));
        button.didCaptureMousePointer();
        button.didCaptureMousePointer();
        button.didReleaseMousePointer();
        QCOMPARE(button.numberOfCaptures(), 1);
        button.didReleaseMousePointer();
        button.didReleaseMousePointer();
        QVERIFY(same(button.image(), QStringLiteral("icon_play_n")));
        // Had the counter gone to -1, one entry would not show the hover picture.
        button.didCaptureMousePointer();
        QVERIFY(same(button.image(), QStringLiteral("icon_play_f")));
        // Disabled while hovered: the inactive picture, and the hover one again once enabled.
        button.setEnabled(false);
        QVERIFY(same(button.image(), QStringLiteral("icon_pause_n")));
        button.setEnabled(true);
        QVERIFY(same(button.image(), QStringLiteral("icon_play_f")));
    }

    void hoverReachesFourPixelsPastTheButton() {
        QWidget parent;
        parent.resize(100, 60);
        auto* button = new TKImageButton(&parent);
        button->setImageName(QStringLiteral("icon_play_n"));
        button->setGeometry(30, 10, 32, 32);
        parent.show();
        QVERIFY(QTest::qWaitForWindowExposed(&parent));
        auto moveTo = [&parent](QPoint local) {
            QMouseEvent move(QEvent::MouseMove, local, parent.mapToGlobal(local), Qt::NoButton, Qt::NoButton,
                             Qt::NoModifier);
            QCoreApplication::sendEvent(&parent, &move);
        };
        moveTo({27, 20}); // 3 pixels left of the button
        QCOMPARE(button->numberOfCaptures(), 1);
        moveTo({24, 20}); // 6 pixels away
        QCOMPARE(button->numberOfCaptures(), 0);
    }
};

QTEST_MAIN(ImageControlsTest)
#include "ImageControlsTest.moc"
