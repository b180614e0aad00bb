// The separate map window: its page, where it opens beside another window, and which positions
// move its map.

#include "platform/MapPage.h"
#include "ui/views/ORBMapWindowController.h"

#include <QTest>
#include <QWidget>

class MapWindowTest : public QObject {
    Q_OBJECT
private slots:
    void placedRightOfTheViewerWithTopEdgesLevel() {
        RecordingMapPage* page = nullptr;
        ORBMapWindowController map([&page](QWidget*) {
            auto fake = std::make_unique<RecordingMapPage>();
            page = fake.get();
            return fake;
        });
        map.showWindow();
        map.showWindow();
        QCOMPARE(page->loads, QList<QUrl>{mapPageUrl()}); // loaded once however often shown

        const QSize before = map.window()->frameGeometry().size();
        map.moveWindowRightBy(QRect(100, 80, 640, 480));
        QCOMPARE(map.window()->frameGeometry().topLeft(), QPoint(740, 80));
        QCOMPARE(map.window()->frameGeometry().size(), before);
    }

    void onlyAPositionWithBothCoordinatesMovesTheMap() {
        RecordingMapPage* page = nullptr;
        ORBMapWindowController map([&page](QWidget*) {
            auto fake = std::make_unique<RecordingMapPage>();
            page = fake.get();
            return fake;
        });
        map.showRecordPosition(0, 127.5);
        map.showRecordPosition(37.5, 0);
        map.showRecordPosition(0, 0);
        QVERIFY(page->scripts.isEmpty());
        map.showRecordPosition(-37.5, -127.25);
        QCOMPARE(page->scripts, QStringList{QStringLiteral("setLatLag('-127.250000','-37.500000')")});
    }
};

QTEST_MAIN(MapWindowTest)
#include "MapWindowTest.moc"
