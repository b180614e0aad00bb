// SPDX-License-Identifier: GPL-3.0-or-later
// The video view's scaling (fill crops evenly, fit letterboxes), its zoom and pan, and its
// hand-over of frames from decoder threads.

#include "platform/VideoView.h"

#include <QPainter>
#include <QThread>
#include <QtTest>

#include <cmath>
#include <limits>

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

// Each pixel tells where it is: red is its column, green its row. Scaled up smoothly, a shown
// pixel's red and green are the frame position it was read from (less half a pixel).
QImage coordinateFrame(int width, int height) {
    QImage frame(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            frame.setPixel(x, y, qRgb(x, y, 0));
        }
    }
    return frame;
}

// The frame position a shown pixel came from, as its colour says.
QPointF sourceOf(const QImage& shown, int x, int y) {
    const QColor c = shown.pixelColor(x, y);
    return {c.red() + 0.5, c.green() + 0.5};
}

void wheel(QWidget& view, QPointF at, int notches) {
    QWheelEvent event(at, view.mapToGlobal(at), {}, {0, 120 * notches}, Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(&view, &event);
}

void drag(QWidget& view, QPoint from, QPoint to) {
    QTest::mousePress(&view, Qt::LeftButton, {}, from);
    QMouseEvent move(QEvent::MouseMove, QPointF(to), view.mapToGlobal(QPointF(to)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&view, &move);
    QTest::mouseRelease(&view, Qt::LeftButton, {}, to);
}

// Counts the presses that reach it: those the view leaves to the window.
class Window : public QWidget {
public:
    int presses = 0;

protected:
    void mousePressEvent(QMouseEvent*) override { ++presses; }
};

} // namespace

class VideoViewTest : public QObject {
    Q_OBJECT

private slots:
    void fillCropsTheOverflowEvenlyAndFitLetterboxesInBlack() {
        // Filled (as by default), the frame's middle columns 50..149 are kept, its green band just inside
        // 35..65; fitted, it is scaled to 100 x 50 and centred on rows 25..74.
        QVERIFY(VideoView().fillScreen());
        struct Case {
            bool fill;
            QPoint at;
            Qt::GlobalColor colour;
        };
        for (const Case c : {Case{true, {50, 2}, Qt::green}, Case{true, {35, 0}, Qt::red},
                             Case{true, {65, 99}, Qt::blue}, Case{false, {50, 10}, Qt::black},
                             Case{false, {50, 90}, Qt::black}, Case{false, {90, 50}, Qt::blue}}) {
            VideoView view;
            view.resize(100, 100);
            view.setFillScreen(c.fill);
            view.presentFrame(testFrame());
            QCOMPARE(view.grab().toImage().pixelColor(c.at), QColor(c.colour));
            view.clearFrame();
            QCOMPARE(view.grab().toImage().pixelColor(50, 50), QColor(Qt::black));
        }
    }

    void theWheelZoomsAboutTheCursorOnThePlainAndTheMirroredPicture() {
        // 200 x 100 in a 200 x 100 view: at 1x a view pixel is a frame pixel. Six notches are 4x.
        for (const bool mirrored : {false, true}) {
            VideoView view;
            view.resize(200, 100);
            view.setMirrored(mirrored);
            const QImage frame = coordinateFrame(200, 100);
            view.presentFrame(frame);
            const QPointF cursor(150, 30);
            // The frame position under the cursor, and how a view step moves across the frame.
            const double under = mirrored ? 50 : 150, across = mirrored ? -1 : 1;
            wheel(view, cursor, 6);
            QCOMPARE(view.zoom().factor, 4.0);
            const QImage shown = view.grab().toImage();
            // Nothing new came (as while paused): the zoom is drawn from the frame at hand.
            for (const QPoint offset : {QPoint(0, 0), QPoint(20, 0), QPoint(-40, 12), QPoint(28, -20)}) {
                const QPoint pixel = cursor.toPoint() + offset;
                const QPointF expected(under + across * (offset.x() + 0.5) / 4.0,
                                       30 + (offset.y() + 0.5) / 4.0);
                const QPointF got = sourceOf(shown, pixel.x(), pixel.y());
                QVERIFY2(std::abs(got.x() - expected.x()) <= 1 && std::abs(got.y() - expected.y()) <= 1,
                         qPrintable(QString::asprintf("mirrored %d at %d,%d: %.2f,%.2f for %.2f,%.2f",
                                                      mirrored, pixel.x(), pixel.y(), got.x(), got.y(),
                                                      expected.x(), expected.y())));
            }
            // A drag moves the picture with the hand, on the mirrored view too.
            drag(view, QPoint(100, 50), QPoint(140, 50));
            const QImage moved = view.grab().toImage();
            QCOMPARE(moved.pixelColor(140, 50), shown.pixelColor(100, 50));
            // The frame kept for snapshots is the whole one, as recorded.
            QCOMPARE(view.lastFrame(), frame);
            wheel(view, cursor, -20);
            QCOMPARE(view.zoom(), VideoZoom());
            const QPointF whole = sourceOf(view.grab().toImage(), 7, 9);
            QVERIFY(std::abs(whole.x() - (mirrored ? 192.5 : 7.5)) <= 1 && std::abs(whole.y() - 9.5) <= 1);
        }
    }

    void aDragPansOnlyToThePicturesEdgesAndAtOnceXItIsTheWindows() {
        Window window;
        auto* view = new VideoView(&window);
        auto* sub = new VideoView(&window); // the small picture, under the main one
        window.resize(200, 100);
        view->resize(200, 100);
        sub->resize(80, 45);
        view->raise();
        window.show();
        const QImage frame = coordinateFrame(200, 100);
        view->presentFrame(frame);
        drag(*view, QPoint(100, 50), QPoint(150, 60));
        QCOMPARE(window.presses, 1); // at 1x the window moves
        QCOMPARE(view->zoom(), VideoZoom());

        wheel(*view, QPointF(100, 50), 9);
        QCOMPARE(view->zoom().factor, VideoView::kMaxZoom);
        // Far to the right and down: the picture's top left corner comes into the view's, no further.
        for (int i = 0; i < 6; ++i) {
            drag(*view, QPoint(10, 10), QPoint(190, 95));
        }
        QCOMPARE(window.presses, 1);
        QImage shown = view->grab().toImage();
        QCOMPARE(sourceOf(shown, 0, 0), QPointF(0.5, 0.5));
        // Back by 199 view pixels: the picture follows the hand by 199 / 8 frame pixels.
        drag(*view, QPoint(199, 50), QPoint(0, 50));
        shown = view->grab().toImage();
        QVERIFY(std::abs(sourceOf(shown, 0, 0).x() - 24.94) <= 1);
        // And the other way past the bottom right corner: its last pixel lands in the view's last one.
        for (int i = 0; i < 10; ++i) {
            drag(*view, QPoint(190, 95), QPoint(0, 0));
        }
        shown = view->grab().toImage();
        QCOMPARE(sourceOf(shown, 199, 99), QPointF(199.5, 99.5));

        // A double-click goes back to the whole picture; at 1x it is the window's.
        QTest::mouseDClick(view, Qt::LeftButton, {}, QPoint(50, 50));
        QCOMPARE(view->zoom(), VideoZoom());
        QCOMPARE(view->grab().toImage().pixelColor(150, 60), frame.pixelColor(150, 60));

        // 0 shows every picture of the window whole.
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        for (VideoView* v : {view, sub}) {
            v->presentFrame(testFrame());
            v->setZoom({3.0, {0.2, 0.7}});
        }
        QTest::keyClick(&window, Qt::Key_0);
        QCOMPARE(view->zoom(), VideoZoom());
        QCOMPARE(sub->zoom(), VideoZoom());
    }

    void everyRectangleReadLiesInsideTheFrame() {
        // Odd sizes, single pixels and nonsense zooms: the part read from the frame stays inside
        // it and is never empty, and painting it is safe.
        const double nan = std::numeric_limits<double>::quiet_NaN();
        const QSize frames[] = {{1, 1}, {1, 7}, {3, 1}, {201, 101}, {1920, 1080}};
        const QSize views[] = {{1, 1}, {99, 51}, {400, 300}};
        const VideoZoom zooms[] = {{},
                                   {2.5, {0.0, 0.0}},
                                   {8, {1, 1}},
                                   {8, {-5, 9}},
                                   {100, {7, 0.3}},
                                   {nan, {nan, nan}},
                                   {3, {nan, 0.5}},
                                   {-2, {0.5, 0.5}}};
        for (const QSize frameSize : frames) {
            const QImage frame = coordinateFrame(frameSize.width(), frameSize.height());
            for (const QSize viewSize : views) {
                for (const bool fill : {true, false}) {
                    for (const VideoZoom& zoom : zooms) {
                        const auto place = VideoView::placement(frameSize, QSizeF(viewSize), fill, zoom);
                        const QString where = QString::asprintf(
                            "frame %dx%d view %dx%d fill %d zoom %g", frameSize.width(), frameSize.height(),
                            viewSize.width(), viewSize.height(), fill, zoom.factor);
                        QVERIFY2(!place.source.isEmpty(), qPrintable(where));
                        QVERIFY2(QRectF(QPointF(), QSizeF(frameSize)).contains(place.source),
                                 qPrintable(where));
                        QVERIFY2(QRectF(QPointF(), QSizeF(viewSize))
                                     .adjusted(-1e-9, -1e-9, 1e-9, 1e-9)
                                     .contains(place.target),
                                 qPrintable(where));
                        VideoView view;
                        view.resize(viewSize);
                        view.setFillScreen(fill);
                        view.presentFrame(frame);
                        view.setZoom(zoom);
                        view.zoomAbout(2.0, QPointF(viewSize.width(), 0));
                        view.panBy(QPointF(-1e6, 1e6));
                        QVERIFY2(!view.grab().isNull(), qPrintable(where));
                    }
                }
            }
        }
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
        QCOMPARE(view.grab().toImage().pixelColor(10, 10), QColor(199, 0, 0));
    }
};

QTEST_MAIN(VideoViewTest)
#include "VideoViewTest.moc"
