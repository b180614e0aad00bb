// SPDX-License-Identifier: GPL-3.0-or-later
// Small helpers the window tests share: files on a test card, its volume, the warnings a window showed,
// screenshots saved for a look, and telemetry with one jolt.
#pragma once

#include "core/card/VolumeDescription.h"
#include "core/telemetry/ORBBlackBoxData.h"

#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QtTest>

#include <array>
#include <cstddef>
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

} // namespace uitest
