// SPDX-License-Identifier: GPL-3.0-or-later
// The video view's scaling (fill crops evenly, fit letterboxes) and its hand-over of frames
// from decoder threads.

#include "platform/VideoView.h"

#include <QPainter>
#include <QThread>
#include <QtTest>

namespace {

// 200 x 100: left half red, right half blue, with a green column band at x 90..109.
QImage testFrame() {
    QImage frame(200, 100, QImage::Format_RGB32);
    QPainter painter(&frame);
    painter.fillRect(0, 0, 100, 100, Qt::red);
    painter.fillRect(100, 0, 100, 100, Qt::blue);
    painter.fillRect(90, 0, 20, 100, Qt::green);
    return frame;
}

QColor at(const QImage& image, int x, int y) {
    return image.pixelColor(x, y);
}

} // namespace

class VideoViewTest : public QObject {
    Q_OBJECT

private slots:
    void fillCropsTheOverflowEvenly() {
        VideoView view;
        view.resize(100, 100);
        view.presentFrame(testFrame());
        QVERIFY(view.fillScreen());
        const QImage shown = view.grab().toImage();
        // Scaled to 200 x 100, the middle 100 columns are kept: frame x 50..149.
        QCOMPARE(at(shown, 2, 50), QColor(Qt::red));
        QCOMPARE(at(shown, 97, 50), QColor(Qt::blue));
        QCOMPARE(at(shown, 50, 2), QColor(Qt::green));
        QCOMPARE(at(shown, 50, 97), QColor(Qt::green));
        QCOMPARE(at(shown, 35, 0), QColor(Qt::red));
        QCOMPARE(at(shown, 65, 99), QColor(Qt::blue));
    }

    void fitLetterboxesInBlack() {
        VideoView view;
        view.resize(100, 100);
        view.setFillScreen(false);
        view.presentFrame(testFrame());
        const QImage shown = view.grab().toImage();
        // Scaled to 100 x 50, centred: rows 25..74.
        QCOMPARE(at(shown, 50, 10), QColor(Qt::black));
        QCOMPARE(at(shown, 50, 90), QColor(Qt::black));
        QCOMPARE(at(shown, 10, 50), QColor(Qt::red));
        QCOMPARE(at(shown, 90, 50), QColor(Qt::blue));
        view.clearFrame();
        QCOMPARE(at(view.grab().toImage(), 50, 50), QColor(Qt::black));
    }

    void framesFromAnotherThreadRepaintOnTheViewsThread() {
        VideoView view;
        view.resize(64, 32);
        view.show();
        std::unique_ptr<QThread> decoder(QThread::create([&view] {
            QImage frame(64, 32, QImage::Format_RGB32);
            for (int i = 0; i < 200; ++i) {
                frame.fill(QColor(i, 0, 0));
                view.presentFrame(frame.copy());
            }
        }));
        decoder->start();
        while (!decoder->isFinished()) {
            QCoreApplication::processEvents(); // paints while frames arrive
        }
        QCOMPARE(view.lastFrame().pixelColor(0, 0), QColor(199, 0, 0));
        QCoreApplication::processEvents();
        QCOMPARE(at(view.grab().toImage(), 10, 10), QColor(199, 0, 0));
    }
};

QTEST_MAIN(VideoViewTest)
#include "VideoViewTest.moc"
