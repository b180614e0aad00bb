// The map side view of the main window: its page is loaded once at start-up, the playback's map
// calls reach it, and it shows in place of the recordings list when chosen.

#include "platform/FakeMediaPlayer.h"
#include "platform/MapPage.h"
#include "platform/Scheduler.h"
#include "ui/app/CustomWindow.h"
#include "ui/app/ORBAppDelegate.h"
#include "ui/app/ORBMainWindowView.h"
#include "ui/app/ORBTelemetryPresenter.h"

#include <QTableView>
#include <QTest>

class MapSideViewTest : public QObject {
    Q_OBJECT
private slots:
    void thePageLoadsOnceAndReceivesThePlaybacksCalls() {
        ManualScheduler scheduler;
        RecordingMapPage* page = nullptr;
        ORBAppServices s;
        s.makePlayer = [](VideoView*) { return std::make_unique<FakeMediaPlayer>(); };
        s.scheduler = &scheduler;
        s.readTelemetry = inlineTelemetryReader();
        s.makeMapPage = [&page](QWidget*) {
            auto fake = std::make_unique<RecordingMapPage>();
            page = fake.get();
            return fake;
        };
        ORBAppDelegate app(std::move(s));
        app.awakeFromNib();
        app.applicationDidFinishLaunching();
        app.window()->show();

        QVERIFY(page);
        QCOMPARE(page->loads, QList<QUrl>{QUrl(QStringLiteral("qrc:/map/map2_eng.htm"))});

        app.telemetryPresenter().update(0.5, 0.5); // nothing read: a recording without GPS
        QCOMPARE(page->scripts.last(), QStringLiteral("ORBDebug('GPS Data Count=Zero')"));

        app.clickMapViewButton();
        QVERIFY(app.view().mapContainerView->isVisible());
        QVERIFY(!app.view().mediaListTableView->isVisible());
        app.clickMediaListViewButton();
        QVERIFY(!app.view().mapContainerView->isVisible());
        QCOMPARE(page->loads.size(), 1);
    }

    void withoutAMapPageTheCallsAreDropped() {
        ManualScheduler scheduler;
        ORBAppServices s;
        s.makePlayer = [](VideoView*) { return std::make_unique<FakeMediaPlayer>(); };
        s.scheduler = &scheduler;
        s.readTelemetry = inlineTelemetryReader();
        ORBAppDelegate app(std::move(s));
        app.awakeFromNib();
        QVERIFY(!app.mapPage());
        app.telemetryPresenter().update(0.5, 0.5);
    }
};

QTEST_MAIN(MapSideViewTest)
#include "MapSideViewTest.moc"
