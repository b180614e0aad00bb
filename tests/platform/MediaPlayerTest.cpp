// What every player shares: time texts.

#include "platform/MediaPlayer.h"

#include <QtTest>

#include <limits>

class MediaPlayerTest : public QObject {
    Q_OBJECT

private slots:
    void timeStringTruncatesToWholeSeconds_data() {
        QTest::addColumn<qint64>("ms");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << qint64(0) << "00:00";
        QTest::newRow("last partial second") << qint64(999) << "00:00";
        QTest::newRow("one second") << qint64(1000) << "00:01";
        QTest::newRow("minute") << qint64(61'500) << "01:01";
        QTest::newRow("under an hour") << qint64(3'599'999) << "59:59";
        QTest::newRow("an hour") << qint64(3'600'000) << "1:00:00";
        QTest::newRow("hours") << qint64(36'610'000) << "10:10:10";
        QTest::newRow("remaining under a second") << qint64(-999) << "00:00";
        QTest::newRow("remaining second") << qint64(-1000) << "-00:01";
        QTest::newRow("remaining hour") << qint64(-3'661'000) << "-1:01:01";
    }
    void timeStringTruncatesToWholeSeconds() {
        QFETCH(qint64, ms);
        QFETCH(QString, text);
        QCOMPARE(MediaPlayer::timeString(ms), text);
    }

    void timeStringSurvivesExtremes() {
        QCOMPARE(MediaPlayer::timeString(std::numeric_limits<int64_t>::min()), "-2562047788015:12:55");
        QCOMPARE(MediaPlayer::timeString(std::numeric_limits<int64_t>::max()), "2562047788015:12:55");
    }
};

QTEST_MAIN(MediaPlayerTest)
#include "MediaPlayerTest.moc"
