// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/UDisks2VolumeService.h"

#include "core/log.h"
#include "platform/VolumeChangeWatcher.h"

#include <QDBusArgument>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QMap>

#include <algorithm>

namespace nura {
namespace {

const QString kService = QStringLiteral("org.freedesktop.UDisks2");
const QString kRootPath = QStringLiteral("/org/freedesktop/UDisks2");
const QString kBlock = QStringLiteral("org.freedesktop.UDisks2.Block");
const QString kFilesystem = QStringLiteral("org.freedesktop.UDisks2.Filesystem");
const QString kPartition = QStringLiteral("org.freedesktop.UDisks2.Partition");
const QString kDrive = QStringLiteral("org.freedesktop.UDisks2.Drive");

using Interfaces = QMap<QString, QVariantMap>;
using ManagedObjects = QMap<QString, Interfaces>; // keyed by object path

bool isDBusArgument(const QVariant& v) {
    return v.metaType() == QMetaType::fromType<QDBusArgument>();
}

// A byte string ("ay") as UDisks2 sends paths: zero-terminated.
std::optional<std::string> byteString(const QVariant& v) {
    QByteArray bytes;
    if (v.metaType() == QMetaType::fromType<QByteArray>()) {
        bytes = v.toByteArray();
    } else if (isDBusArgument(v) && v.value<QDBusArgument>().currentSignature() == QLatin1String("ay")) {
        v.value<QDBusArgument>() >> bytes;
    } else {
        return std::nullopt;
    }
    const auto zero = bytes.indexOf('\0');
    if (zero >= 0) {
        bytes.truncate(zero);
    }
    return bytes.toStdString();
}

std::vector<std::string> byteStringList(const QVariant& v) {
    std::vector<std::string> list;
    if (!isDBusArgument(v)) {
        return list;
    }
    const QDBusArgument arg = v.value<QDBusArgument>();
    if (arg.currentSignature() != QLatin1String("aay")) {
        return list;
    }
    arg.beginArray();
    while (!arg.atEnd()) {
        QByteArray bytes;
        arg >> bytes;
        const auto zero = bytes.indexOf('\0');
        if (zero >= 0) {
            bytes.truncate(zero);
        }
        list.push_back(bytes.toStdString());
    }
    arg.endArray();
    return list;
}

std::optional<std::string> text(const QVariantMap& props, const QString& name) {
    const QVariant v = props.value(name);
    if (v.metaType() != QMetaType::fromType<QString>()) {
        return std::nullopt;
    }
    return v.toString().toStdString();
}

std::optional<bool> flag(const QVariantMap& props, const QString& name) {
    const QVariant v = props.value(name);
    if (v.metaType() != QMetaType::fromType<bool>()) {
        return std::nullopt;
    }
    return v.toBool();
}

std::optional<uint64_t> size(const QVariantMap& props, const QString& name) {
    const QVariant v = props.value(name);
    if (v.metaType() != QMetaType::fromType<qulonglong>()) {
        return std::nullopt;
    }
    return v.toULongLong();
}

std::optional<QString> objectPath(const QVariantMap& props, const QString& name) {
    const QVariant v = props.value(name);
    if (v.metaType() != QMetaType::fromType<QDBusObjectPath>()) {
        return std::nullopt;
    }
    return v.value<QDBusObjectPath>().path();
}

std::optional<ManagedObjects> parseManagedObjects(const QVariant& reply) {
    if (!isDBusArgument(reply)) {
        return std::nullopt;
    }
    const QDBusArgument arg = reply.value<QDBusArgument>();
    if (arg.currentSignature() != QLatin1String("a{oa{sa{sv}}}")) {
        return std::nullopt;
    }
    ManagedObjects objects;
    arg.beginMap();
    while (!arg.atEnd()) {
        QDBusObjectPath path;
        Interfaces interfaces;
        arg.beginMapEntry();
        arg >> path >> interfaces;
        arg.endMapEntry();
        objects.insert(path.path(), interfaces);
    }
    arg.endMap();
    return objects;
}

} // namespace

UDisks2VolumeService::UDisks2VolumeService(QDBusConnection bus) : m_bus(std::move(bus)) {}

std::vector<VolumeDescription> UDisks2VolumeService::describeMountedVolumes() {
    return queryMountedVolumes().value_or(std::vector<VolumeDescription>{});
}

std::optional<ManagedObjects> UDisks2VolumeService::managedObjects() {
    if (!m_bus.isConnected()) {
        logf("UDisks2 unavailable: %s", qPrintable(m_bus.lastError().message()));
        return std::nullopt;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kRootPath,
                                                       QStringLiteral("org.freedesktop.DBus.ObjectManager"),
                                                       QStringLiteral("GetManagedObjects"));
    const QDBusMessage reply = m_bus.call(call, QDBus::Block, kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1) {
        logf("UDisks2 unavailable: %s", qPrintable(reply.errorMessage()));
        return std::nullopt;
    }
    auto objects = parseManagedObjects(reply.arguments().front());
    if (!objects) {
        logf("UDisks2 answered GetManagedObjects with %s", qPrintable(reply.signature()));
    }
    return objects;
}

namespace {

// The file system at `path` as a description; none when it is not a block with a file system, or when
// `mountedOnly` and it is not mounted.
std::optional<VolumeDescription> describeObject(const ManagedObjects& objects, const QString& path,
                                                bool mountedOnly) {
    const Interfaces ifaces = objects.value(path);
    if (!ifaces.contains(kFilesystem) || !ifaces.contains(kBlock)) {
        return std::nullopt;
    }
    const std::vector<std::string> mountPoints =
        byteStringList(ifaces.value(kFilesystem).value("MountPoints"));
    const auto mountPoint =
        std::find_if(mountPoints.begin(), mountPoints.end(), [](const std::string& p) { return !p.empty(); });
    if (mountedOnly && mountPoint == mountPoints.end()) {
        return std::nullopt;
    }
    const QVariantMap block = ifaces.value(kBlock);
    VolumeDescription v;
    v.mountPath = mountPoint == mountPoints.end() ? std::string() : *mountPoint;
    v.volumeName = text(block, "IdLabel");
    v.uuid = text(block, "IdUUID");
    v.deviceName = byteString(block.value("Device"));
    v.mediaSize = size(block, "Size");
    v.deviceNumber = size(block, "DeviceNumber");
    if (const auto readOnly = flag(block, "ReadOnly")) {
        v.writable = !*readOnly;
    }
    // A whole disk is a block that is not a partition: partitioned or a file system on the bare medium.
    v.mediaWhole = !ifaces.contains(kPartition);
    v.key = path.toStdString();

    const auto drivePath = objectPath(block, "Drive");
    if (drivePath && objects.contains(*drivePath) && objects.value(*drivePath).contains(kDrive)) {
        const QVariantMap drive = objects.value(*drivePath).value(kDrive);
        v.removable = flag(drive, "Removable").value_or(false);
        const auto bus = text(drive, "ConnectionBus");
        if (bus && !bus->empty()) {
            v.protocol = QString::fromStdString(*bus).toUpper().toStdString(); // "usb" is USB
        }
        const auto model = text(drive, "Model");
        if (model && !model->empty()) {
            v.deviceModel = model;
        }
        v.driveId = text(drive, "Id");
        v.driveSerial = text(drive, "Serial");
    }
    return v;
}

} // namespace

std::optional<std::vector<VolumeDescription>> UDisks2VolumeService::queryMountedVolumes() {
    const auto objects = managedObjects();
    if (!objects) {
        return std::nullopt;
    }
    std::vector<VolumeDescription> volumes;
    // The objects come keyed by path (block_devices/sdb1, ...), which gives a stable order.
    for (auto it = objects->cbegin(); it != objects->cend(); ++it) {
        if (auto v = describeObject(*objects, it.key(), true)) {
            volumes.push_back(std::move(*v));
        }
    }
    return volumes;
}

std::optional<VolumeDescription> UDisks2VolumeService::describeVolume(const std::string& objectPath) {
    const auto objects = managedObjects();
    if (!objects) {
        return std::nullopt;
    }
    return describeObject(*objects, QString::fromStdString(objectPath), false);
}

QObject* UDisks2VolumeService::watchChanges(QObject* parent) {
    return new VolumeChangeWatcher(m_bus, parent);
}

QString UDisks2VolumeService::renameVolume(const TKUSBDiskEntity& disk, const QString& newName) {
    QDBusMessage call = QDBusMessage::createMethodCall(kService, QString::fromStdString(disk.key()),
                                                       kFilesystem, QStringLiteral("SetLabel"));
    call << newName << QVariantMap{};
    const QDBusMessage reply = m_bus.call(call, QDBus::Block, kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        const QString why = reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage();
        logf("SetLabel %s fail:%s", disk.deviceFilePath().c_str(), qPrintable(why));
        return why.isEmpty() ? QStringLiteral("the disk service did not answer") : why;
    }
    return {};
}

} // namespace nura
