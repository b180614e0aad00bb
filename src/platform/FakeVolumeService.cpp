// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/FakeVolumeService.h"

#include "platform/VolumeChangeWatcher.h"

#include <QDBusConnection>

namespace nura {

void FakeVolumeService::setVolumes(std::vector<VolumeDescription> volumes) {
    QMutexLocker lock(&m_mutex);
    m_volumes = std::move(volumes);
}

void FakeVolumeService::setRenameError(const QString& error) {
    QMutexLocker lock(&m_mutex);
    m_renameError = error;
}

QList<QPair<QString, QString>> FakeVolumeService::renames() const {
    QMutexLocker lock(&m_mutex);
    return m_renames;
}

std::vector<VolumeDescription> FakeVolumeService::describeMountedVolumes() {
    QMutexLocker lock(&m_mutex);
    return m_volumes;
}

QObject* FakeVolumeService::watchChanges(QObject* parent) {
    // A watcher on no bus: it only speaks when announceChange() makes it.
    auto* watcher = new VolumeChangeWatcher(QDBusConnection(QStringLiteral("no-bus")), parent);
    QMutexLocker lock(&m_mutex);
    m_watchers.append(watcher);
    return watcher;
}

void FakeVolumeService::announceChange() {
    QList<QPointer<QObject>> watchers;
    {
        QMutexLocker lock(&m_mutex);
        watchers = m_watchers;
    }
    for (const auto& w : watchers) {
        if (w) {
            QMetaObject::invokeMethod(w, "volumesChanged", Qt::QueuedConnection);
        }
    }
}

QString FakeVolumeService::renameVolume(const TKUSBDiskEntity& disk, const QString& newName) {
    QMutexLocker lock(&m_mutex);
    m_renames.append({QString::fromStdString(disk.deviceFilePath()), newName});
    if (m_renameError.isEmpty()) {
        for (auto& v : m_volumes) {
            if (v.deviceName == disk.deviceFilePath()) {
                v.volumeName = newName.toStdString();
            }
        }
    }
    return m_renameError;
}

} // namespace nura
