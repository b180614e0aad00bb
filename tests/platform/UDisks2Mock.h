// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The UDisks2 stand-in (udisks2_mock.py) on a private bus, started and stopped by a test.

#include <QByteArray>
#include <QElapsedTimer>
#include <QProcess>
#include <QString>

class UDisks2Mock {
public:
    // Starts the stand-in over the volume folders below `base` with the disks of `mode` (see the script)
    // and waits until it serves; empty on success, else why it did not start.
    QString start(const QString& base, const QString& mode = QStringLiteral("all")) {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral("/usr/bin/python3"),
                        {QStringLiteral(NURA_SOURCE_DIR "/tests/platform/udisks2_mock.py"), base, mode});
        if (!m_process.waitForStarted()) {
            return m_process.errorString();
        }
        QElapsedTimer timer;
        timer.start();
        QByteArray line;
        while (line != "ready" && timer.elapsed() < 30000) {
            if (!m_process.canReadLine() && !m_process.waitForReadyRead(1000)) {
                if (m_process.state() != QProcess::Running) {
                    return QStringLiteral("the UDisks2 stand-in ended early");
                }
                continue;
            }
            line = m_process.readLine().trimmed();
            if (line.startsWith("address=")) {
                m_address = QString::fromUtf8(line.mid(8));
            }
        }
        return line == "ready" ? QString() : QStringLiteral("the UDisks2 stand-in never said it was ready");
    }

    void stop() {
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(10000)) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }

    // The private bus's address.
    QString address() const { return m_address; }

private:
    QProcess m_process;
    QString m_address;
};
