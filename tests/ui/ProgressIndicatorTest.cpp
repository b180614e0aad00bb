// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/LauncherEntryProgress.h"
#include "platform/TaskbarProgress.h"
#include "ui/app/Resources.h"
#include "ui/views/PMProgressIndicator.h"
#include "ui/views/PMProgressIndicatorController.h"

#include <QApplication>
#include <QDBusConnection>
#include <QLabel>
#include <QtTest>

namespace {

// A bar with a text line and a clock that moves only when told.
struct TimedBar {
    TimedBar() {
        bar.setRange(0, 100);
        bar.setDrawDockProgress(false);
        bar.setProgressText(&text);
        bar.setClock([this] { return now; });
    }
    void at(double seconds, double value) {
        now = seconds;
        bar.setDoubleValue(value);
    }
    PMProgressIndicator bar;
    QLabel text;
    double now = 0;
};

bool isBlue(QRgb p) {
    return qBlue(p) > qRed(p) + 60;
}
bool isWhite(QRgb p) {
    return qRed(p) == 255 && qGreen(p) == 255 && qBlue(p) == 255;
}

} // namespace

// Catches the launcher-entry signal on a bus.
class LauncherListener : public QObject {
    Q_OBJECT
public slots:
    void update(const QString& appUri, const QVariantMap& properties) {
        calls << std::pair(appUri, properties);
    }

public:
    QList<std::pair<QString, QVariantMap>> calls;
};

class ProgressIndicatorTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initNuraResources(); }

    void movesInWholeUnits() {
        PMProgressIndicator bar;
        bar.setDrawDockProgress(false);
        bar.setRange(0, 100);
        QSignalSpy changes(&bar, &QProgressBar::valueChanged);
        for (double v : {10.2, 10.7, 10.9}) {
            bar.setDoubleValue(v);
        }
        QCOMPARE(changes.count(), 1);
        QCOMPARE(bar.value(), 10);
    }

    void estimatesTheTimeRemaining() {
        {
            // Half way after ten seconds: r = 10, not above 10.
            TimedBar t;
            t.bar.updateProgressText();
            t.at(10, 50);
            QCOMPARE(t.text.text(), QStringLiteral("About ten seconds remaining"));
            // No progress for ten more seconds: no estimate rather than a stale or endless one.
            t.now = 20;
            t.bar.updateProgressText();
            QCOMPARE(t.text.text(), QString());
        }
        {
            TimedBar t;
            t.bar.setDisplayPercentage(true);
            t.bar.updateProgressText();
            QCOMPARE(t.text.text(), QStringLiteral("0 % completed"));
            t.at(0.4, 30); // too early for an estimate
            QCOMPARE(t.text.text(), QStringLiteral("30 % completed"));
            t.at(10, 50);
            QCOMPARE(t.text.text(), QStringLiteral("50 % completed - About ten seconds remaining"));
        }
        {
            TimedBar t;
            t.bar.setRange(0, 0);
            t.text.setText(QStringLiteral("earlier"));
            t.at(5, 3);
            QCOMPARE(t.text.text(), QString());
        }
    }

    void picksTheTextOfEachRange() {
        const std::pair<double, const char*> rows[] = {
            {615.5, "About 11 minutes remaining"}, {615, "About ten minutes remaining"},
            {555, "About nine minutes remaining"}, {76, "About two minutes remaining"},
            {75, "About one minute remaining"},    {10.5, "Less than a minute remaining"},
            {5.5, "About ten seconds remaining"},  {5, "About five seconds remaining"}};
        for (const auto& [seconds, text] : rows) {
            QCOMPARE(PMProgressIndicator::timeRemainingText(seconds), QLatin1String(text));
        }
        QCOMPARE(PMProgressIndicator::timeRemainingText(qInf()), QString());
    }

    void paintsBarsOverTheIconAndRestoresIt() {
        QPixmap plain(128, 128);
        plain.fill(Qt::white);
        auto* taskbar = new RecordingTaskbarProgress;
        PMProgressIndicatorController dock(plain, std::unique_ptr<TaskbarProgress>(taskbar));
        PMProgressIndicator half;
        PMProgressIndicator quarter;
        for (auto* bar : {&half, &quarter}) {
            bar->setDrawDockProgress(false); // kept off the application's own display
            bar->setRange(0, 100);
        }
        half.setDoubleValue(50);
        quarter.setDoubleValue(25);
        dock.addProgressIndicator(&half);
        dock.addProgressIndicator(&quarter);

        // With the bar pictures, then with the drawn bars that stand in when they are missing.
        for (bool pictures : {true, false}) {
            if (!pictures) {
                dock.setBarImages({}, {}, {});
            }
            dock.drawProgressIndicators();
            const QImage icon = QApplication::windowIcon().pixmap(128, 128).toImage();
            // The first bar along the bottom band, the second one band (16 pixels) above it.
            QVERIFY(isBlue(icon.pixel(20, 120)));
            QVERIFY(isBlue(icon.pixel(60, 120)));
            QVERIFY(!isBlue(icon.pixel(70, 120)) && !isWhite(icon.pixel(70, 120)));
            QVERIFY(isBlue(icon.pixel(20, 104)));
            QVERIFY(!isBlue(icon.pixel(40, 104)) && !isWhite(icon.pixel(40, 104)));
            QVERIFY(isWhite(icon.pixel(20, 90)));
        }
        QCOMPARE(taskbar->calls.value(0), std::pair(0.5, true));

        dock.removeProgressIndicator(&half);
        dock.removeProgressIndicator(&quarter);
        dock.drawProgressIndicators();
        QCOMPARE(QApplication::windowIcon().pixmap(128, 128).toImage(), plain.toImage());
        QCOMPARE(taskbar->calls.last(), std::pair(0.0, false));
    }

    void barLeavesTheIconAtItsEnds() {
        PMProgressIndicator bar;
        bar.setRange(0, 100);
        auto& dock = PMProgressIndicatorController::sharedInstance();
        bar.setDoubleValue(40);
        QVERIFY(dock.hasProgressIndicator(&bar));
        bar.setDoubleValue(100);
        QVERIFY(!dock.hasProgressIndicator(&bar));
        bar.setDoubleValue(0);
        QVERIFY(!dock.hasProgressIndicator(&bar));
    }

    // On the private session bus the test runs on.
    void sendsTheLauncherEntrySignal() {
        {
            QDBusConnection sender =
                QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("progress-sender"));
            QDBusConnection listening = QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                                                      QStringLiteral("progress-listener"));
            QVERIFY(sender.isConnected() && listening.isConnected());
            LauncherListener listener;
            QVERIFY(
                listening.connect(QString(), QString(), QStringLiteral("com.canonical.Unity.LauncherEntry"),
                                  QStringLiteral("Update"), &listener, SLOT(update(QString, QVariantMap))));
            LauncherEntryProgress entry(sender);
            entry.setProgress(0.25, true);
            QTRY_COMPARE(listener.calls.size(), 1);
            QCOMPARE(listener.calls[0].first, QStringLiteral("application://nura-viewer.desktop"));
            QCOMPARE(listener.calls[0].second.value(QStringLiteral("progress")), QVariant(0.25));
            QCOMPARE(listener.calls[0].second.value(QStringLiteral("progress-visible")), QVariant(true));
        }
        QDBusConnection::disconnectFromBus(QStringLiteral("progress-sender"));
        QDBusConnection::disconnectFromBus(QStringLiteral("progress-listener"));

        // No bus: nothing is sent and nothing fails.
        LauncherEntryProgress(QDBusConnection(QStringLiteral("no-such-bus"))).setProgress(0.5, true);
    }
};

QTEST_MAIN(ProgressIndicatorTest)
#include "ProgressIndicatorTest.moc"
