// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A volume service for tests: serves the descriptions it is given and records renames.

#include "platform/VolumeService.h"

#include <QMutex>
#include <QPointer>

namespace nura {

class FakeVolumeService : public VolumeService {
public:
    void setVolumes(std::vector<VolumeDescription> volumes);
    // The answer to the next renames; empty means success.
    void setRenameError(const QString& error);
    QList<QPair<QString, QString>> renames() const; // (device, new name)

    // Tells every watcher that the volumes changed, as the disk service would on a plug or mount.
    void announceChange();

    std::vector<VolumeDescription> describeMountedVolumes() override;
    QObject* watchChanges(QObject* parent) override;
    QString renameVolume(const TKUSBDiskEntity& disk, const QString& newName) override;

private:
    mutable QMutex m_mutex;
    std::vector<VolumeDescription> m_volumes;
    QString m_renameError;
    QList<QPair<QString, QString>> m_renames;
    QList<QPointer<QObject>> m_watchers;
};

} // namespace nura
