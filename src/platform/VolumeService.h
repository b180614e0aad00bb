// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The mounted volumes and their disks, from the system's disk service. The service only describes what is
// mounted; every rule (removable, USB, which volume is the camera's card) is the core's. Nothing is kept
// between calls: each lookup enumerates anew, so call them on user actions, not per frame.

#include "core/card/TKUSBDiskEntity.h"
#include "core/card/VolumeDescription.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

#include <memory>
#include <optional>
#include <vector>

namespace nura {

class VolumeService {
public:
    virtual ~VolumeService() = default;

    // Every mounted volume as the service describes it; empty when the service is not there.
    virtual std::vector<VolumeDescription> describeMountedVolumes() = 0;
    // The same, but none when the service is not there or does not answer, for a caller that must tell
    // "nothing mounted" from "no one to ask".
    virtual std::optional<std::vector<VolumeDescription>> queryMountedVolumes() {
        return describeMountedVolumes();
    }
    // The volume at this object path as it is now, mounted or not; none when it is gone. The format asks
    // this again just before it unmounts and just before it erases.
    virtual std::optional<VolumeDescription> describeVolume(const std::string& objectPath);
    // Something that says volumesChanged() when disks come, go, mount or unmount; null when the service
    // cannot tell. Owned by the caller, made for `parent`.
    virtual QObject* watchChanges(QObject* parent) {
        (void)parent;
        return nullptr;
    }
    // Gives the disk's file system a new label. Empty on success, otherwise why not.
    virtual QString renameVolume(const TKUSBDiskEntity& disk, const QString& newName) = 0;

    QList<QUrl> mountedRemovableVolumeURLs();
    QList<QUrl> mountedUSBVolumeURLs();
    std::vector<TKUSBDiskEntity> mountedUSBDisks();
    // The first USB volume whose root holds an item of that name.
    std::optional<QUrl> findUSBVolumeContainingFile(const QString& name);
    // The USB volume most likely to be the camera's card, from one enumeration.
    std::optional<TKUSBDiskEntity> findCameraCardDisk();
};

// The service of this system: UDisks2 on the system bus.
std::unique_ptr<VolumeService> createVolumeService();

} // namespace nura
