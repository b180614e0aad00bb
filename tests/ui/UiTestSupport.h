// SPDX-License-Identifier: GPL-3.0-or-later
// Small helpers the window tests share: files on a test card, the warnings a window showed, and
// screenshots saved for a look.
#pragma once

#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QtTest>

namespace uitest {

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
