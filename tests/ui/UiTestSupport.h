// SPDX-License-Identifier: GPL-3.0-or-later
// Small helpers the window tests share: files on a test card, its volume, the warnings a window showed,
// screenshots saved for a look, telemetry with one jolt, and the main window over fake players.
#pragma once

#include "core/card/VolumeDescription.h"
#include "core/telemetry/ORBBlackBoxData.h"
#include "platform/FakeMediaPlayer.h"
#include "platform/Scheduler.h"
#include "ui/app/ORBAppDelegate.h"

#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <array>
#include <cstddef>
#include <functional>
#include <memory>

namespace uitest {

// A minute of G-sensor samples at ten a second, still but for one jolt of 2.5 g at `second`.
inline std::shared_ptr<const nura::ORBBlackBoxData> joltAt(int second) {
    auto data = std::make_shared<nura::ORBBlackBoxData>();
    for (int i = 0; i < 600; ++i) {
        const int32_t x = i == second * 10 ? 640 : 0;
        std::array<std::byte, 16> block{};
        block[0] = static_cast<std::byte>(x & 0xff);
        block[1] = static_cast<std::byte>(x >> 8);
        block[9] = std::byte{1}; // z = 256: 1 g
        data->ParseGSensor(block);
    }
    return data;
}

inline void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

inline QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The warnings shown on the window since the last call; they are closed.
inline int takeAlerts(QWidget& window) {
    int shown = 0;
    for (QMessageBox* box : window.findChildren<QMessageBox*>()) {
        shown += box->isVisible() ? 1 : 0;
        box->close();
        delete box;
    }
    return shown;
}

// The last warning shown on the window, or none; and its informative text, empty when there is none.
inline QMessageBox* lastAlert(QWidget& window) {
    const auto alerts = window.findChildren<QMessageBox*>();
    return alerts.isEmpty() ? nullptr : alerts.last();
}
inline QString lastAlertText(QWidget& window) {
    QMessageBox* alert = lastAlert(window);
    return alert ? alert->informativeText() : QString();
}

// A mounted, writable partition in a USB card reader.
inline nura::VolumeDescription usbVolume(const QString& root, const char* label = "NURA",
                                         const char* device = "/dev/sdz1", uint64_t size = 8ull << 30) {
    nura::VolumeDescription v;
    v.mountPath = root.toStdString();
    v.volumeName = label;
    v.removable = true;
    v.protocol = "USB";
    v.deviceName = device;
    v.mediaSize = size;
    v.writable = true;
    v.mediaWhole = false;
    v.key = std::string("/org/freedesktop/UDisks2/block_devices/") + (device + 5);
    return v;
}

// Saved under the build's screenshots folder, at the widget's size (its own size hint when never resized).
inline void screenshot(QWidget& widget, const char* name) {
    if (!widget.testAttribute(Qt::WA_Resized)) {
        widget.adjustSize();
    }
    const QString dir = QStringLiteral(NURA_BINARY_DIR "/screenshots");
    QDir().mkpath(dir);
    QVERIFY(widget.grab().save(dir + "/" + name));
}

// An empty file, its folders made.
inline bool touch(const QString& path) {
    return QDir().mkpath(QFileInfo(path).absolutePath()) && QFile(path).open(QIODevice::WriteOnly);
}

// The main window over fake players, a scheduler moved by hand and a card folder of its own, launched;
// telemetry is read on the spot unless `adjust` gives other services.
struct FakeViewer {
    ManualScheduler scheduler;
    QTemporaryDir card;
    QString chosen; // the open panel's answer
    std::unique_ptr<ORBAppDelegate> app;

    explicit FakeViewer(const std::function<void(ORBAppServices&)>& adjust = {}) {
        ORBAppServices s;
        s.makePlayer = [](VideoView*) { return std::make_unique<FakeMediaPlayer>(); };
        s.scheduler = &scheduler;
        s.readTelemetry = inlineTelemetryReader();
        s.chooseDirectory = [this](QWidget*) { return chosen; };
        if (adjust) {
            adjust(s);
        }
        app = std::make_unique<ORBAppDelegate>(std::move(s));
        app->launch();
    }

    // The folder opened from the open panel; whether its list came.
    bool open(const QString& folder) {
        QSignalSpy reloaded(app.get(), &ORBAppDelegate::mediaListReloaded);
        chosen = folder;
        app->openMediaDirectoryDialog();
        return reloaded.wait(10000);
    }

    // The card with empty files of these names (paths in the card), opened.
    bool openCard(std::initializer_list<const char*> names) {
        for (const char* name : names) {
            if (!touch(card.filePath(QLatin1String(name)))) {
                return false;
            }
        }
        return open(card.path());
    }

    FakeMediaPlayer& p(int n) const {
        return *static_cast<FakeMediaPlayer*>(n == 1 ? app->player1() : app->player2());
    }
};

} // namespace uitest
