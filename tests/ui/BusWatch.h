// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The media-player service's signals as another client of the session bus receives them: each property
// change as it was sent, a seek as {"Seeked": position}. For the tests that run on a private bus.

#include "platform/MprisService.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QObject>
#include <QTest>
#include <QVariantMap>

#include <utility>

class BusWatch : public QObject {
    Q_OBJECT
public:
    BusWatch() : m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("watch"))) {
        m_bus.connect(QString(), QLatin1String(MprisService::kObjectPath),
                      QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("PropertiesChanged"),
                      this, SLOT(changed(QString, QVariantMap, QStringList)));
        m_bus.connect(QString(), QLatin1String(MprisService::kObjectPath),
                      QStringLiteral("org.mpris.MediaPlayer2.Player"), QStringLiteral("Seeked"), this,
                      SLOT(seeked(qlonglong)));
    }
    ~BusWatch() override { QDBusConnection::disconnectFromBus(QStringLiteral("watch")); }

    // The signals sent so far: they arrive before the answer to a question asked after them.
    QList<QVariantMap> take() {
        QCoreApplication::processEvents(); // announcements wait for the call that made them to end
        QDBusMessage get = QDBusMessage::createMethodCall(
            QLatin1String(MprisService::kServiceName), QLatin1String(MprisService::kObjectPath),
            QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
        get << QStringLiteral("org.mpris.MediaPlayer2.Player") << QStringLiteral("Position");
        QDBusPendingCallWatcher answer(m_bus.asyncCall(get));
        (void)QTest::qWaitFor([&] { return answer.isFinished(); });
        QCoreApplication::processEvents(); // the answer may be in before the signals ahead of it are handed
                                           // on
        return std::exchange(m_signals, {});
    }
    // The value of the last Metadata that held `key` (a track id as its path).
    static QVariant last(const QList<QVariantMap>& changes, const QString& key) {
        QVariant value;
        for (const auto& change : changes) {
            const auto metadata = qdbus_cast<QVariantMap>(change.value(QStringLiteral("Metadata")));
            if (metadata.contains(key)) {
                value = metadata.value(key);
            }
        }
        return value.canConvert<QDBusObjectPath>() ? QVariant(value.value<QDBusObjectPath>().path()) : value;
    }

private slots:
    void changed(const QString&, const QVariantMap& change, const QStringList&) { m_signals << change; }
    void seeked(qlonglong positionUs) { m_signals << QVariantMap{{QStringLiteral("Seeked"), positionUs}}; }

private:
    QDBusConnection m_bus;
    QList<QVariantMap> m_signals;
};
