#pragma once
// A volume service for tests: serves the descriptions it is given and records renames.

#include "platform/VolumeService.h"

#include <QMutex>

namespace nura {

class FakeVolumeService : public VolumeService {
public:
    void setVolumes(std::vector<VolumeDescription> volumes);
    // The answer to the next renames; empty means success.
    void setRenameError(const QString& error);
    QList<QPair<QString, QString>> renames() const; // (device, new name)

    std::vector<VolumeDescription> describeMountedVolumes() override;
    QString renameVolume(const TKUSBDiskEntity& disk, const QString& newName) override;

private:
    mutable QMutex m_mutex;
    std::vector<VolumeDescription> m_volumes;
    QString m_renameError;
    QList<QPair<QString, QString>> m_renames;
};

} // namespace nura
