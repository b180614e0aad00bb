#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""A UDisks2 stand-in on a private D-Bus, for the volume tests.

usage: /usr/bin/python3 udisks2_mock.py BASEDIR [all|no-usb|no-service|card]

Starts a private bus and a python-dbusmock object manager named org.freedesktop.UDisks2 on it, adds the
drives and blocks below (their mount points lie under BASEDIR), prints "address=<bus address>" and "ready",
and runs until its standard input closes. It makes no folders: the test does. "no-usb" adds only the
volumes that are not on USB; "no-service" starts the bus alone, with no UDisks2 on it; "card" adds only the
USB card reader and stick, with no media: the test plugs them in.

The root object also answers the methods of SCENE, so that a test can change the disks as a user would:
Plug(dev, drive, label, size, uuid, mount point) adds a block with a FAT file system and announces it
(InterfacesAdded), Unplug(dev) announces its removal and removes it, SetMountPoint(dev, point) mounts it
there or, with "", unmounts it (PropertiesChanged of the file system), and SetUuid(dev, uuid) gives it
another volume serial, as another medium in the same reader would have.
"""
import os
import subprocess
import sys
import time

import dbus
import dbusmock

UD = "org.freedesktop.UDisks2"
ROOT = "/org/freedesktop/UDisks2"
BLOCK = UD + ".Block"
FS = UD + ".Filesystem"
PART = UD + ".Partition"
DRIVE = UD + ".Drive"

base = sys.argv[1]
mode = sys.argv[2] if len(sys.argv) > 2 else "all"
if mode not in ("all", "no-usb", "no-service", "card"):
    sys.exit(f"udisks2_mock.py: unknown mode {mode}")


def path_bytes(text):
    return dbus.Array([dbus.Byte(b) for b in text.encode() + b"\0"], signature="y")


def mounts(*points):
    return dbus.Array([path_bytes(p) for p in points], signature="ay")


def drive(name, bus, removable, model):
    return (f"{ROOT}/drives/{name}", {
        "ConnectionBus": dbus.String(bus),
        "Removable": dbus.Boolean(removable),
        "MediaRemovable": dbus.Boolean(removable),
        "Model": dbus.String(model),
        "Vendor": dbus.String(""),
        "Id": dbus.String(f"{name}-0815"),
        "Serial": dbus.String(f"SER{len(name):04d}"),
    })


def device_number(dev):
    """A dev_t of its own for each device name (major 8 as SCSI disks have), as udev would give."""
    return (8 << 8) | (sum(dev.encode()) & 0xFF)


def block(dev, drive_name, label, size, read_only, mount_points, partition=True, omit=()):
    props = {
        "Device": path_bytes(f"/dev/{dev}"),
        "IdLabel": dbus.String(label),
        "IdType": dbus.String("vfat"),
        # the FAT volume serial, one per medium
        "IdUUID": dbus.String("%04X-%04X" % (sum(dev.encode()) & 0xFFFF, len(dev) * 257)),
        "Size": dbus.UInt64(size),
        "DeviceNumber": dbus.UInt64(device_number(dev)),
        "ReadOnly": dbus.Boolean(read_only),
        "Drive": dbus.ObjectPath(f"{ROOT}/drives/{drive_name}" if drive_name else "/"),
    }
    for name in omit:
        del props[name]
    return dev, props, mount_points, partition


DRIVES = [
    drive("Flash_Drive", "usb", True, "Flash Drive"),
    drive("SD_Reader", "sdio", True, "SD Reader"),
    drive("Card_Reader", "usb", True, "Card Reader"),
    drive("Mass_Storage", "usb", True, ""),
    drive("Whole_Reader", "usb", True, "Whole Reader"),
    drive("Internal_SSD", "", False, "Internal SSD"),
]

BLOCKS = [
    # a USB stick, writable, with another label
    block("sdb1", "Flash_Drive", "STICK", 16_013_852_672, False, mounts(f"{base}/STICK")),
    # a removable card in a built-in reader: removable, not USB
    block("mmcblk0p1", "SD_Reader", "NURA", 31_914_983_424, False, mounts(f"{base}/SDIO")),
    # a write-protected card labelled NURA in a USB reader
    block("sdc1", "Card_Reader", "NURA", 7_948_206_080, True, mounts(f"{base}/NURA_RO")),
    # a USB disk without a label or a model
    block("sdd1", "Mass_Storage", "", 1_048_575, False, mounts(f"{base}/nolabel")),
    # a file system on the whole medium, no partition table
    block("sde", "Whole_Reader", "NURA", 3_965_190_144, False, mounts(f"{base}/WHOLE"), partition=False),
    # the internal disk
    block("nvme0n1p2", "Internal_SSD", "root", 500_000_000_000, False, mounts(f"{base}/internal")),
    # a USB partition that is not mounted
    block("sdb2", "Flash_Drive", "SPARE", 1_000_000, False, mounts()),
    # a mounted USB volume whose description lacks its device, size and write state
    block("sdf1", "Flash_Drive", "NODEV", 0, False, mounts(f"{base}/NODEV"), omit=("Device", "Size", "ReadOnly")),
    # a block whose drive object does not exist
    block("sdg1", "Gone_Drive", "ORPHAN", 1, False, mounts(f"{base}/ORPHAN")),
]

SCENE = "org.freedesktop.UDisks2.Mock.Scene"
MOUNTS = ("mounts = dbus.Array([dbus.Array([dbus.Byte(b) for b in point.encode() + b'\\0'], signature='y')] "
          "if point else [], signature='ay')\n")
SCENE_METHODS = [
    ("Plug", "ssstss", "",
     "dev, drive, label, size, uuid, point = args\n" + MOUNTS +
     "path = '/org/freedesktop/UDisks2/block_devices/' + dev\n"
     "self.AddObject(path, 'org.freedesktop.UDisks2.Block', {\n"
     "    'Device': dbus.Array([dbus.Byte(b) for b in ('/dev/' + dev).encode() + b'\\0'], signature='y'),\n"
     "    'IdLabel': dbus.String(label), 'IdType': dbus.String('vfat'), 'IdUUID': dbus.String(uuid),\n"
     "    'Size': dbus.UInt64(size), 'ReadOnly': dbus.Boolean(False),\n"
     "    'DeviceNumber': dbus.UInt64((8 << 8) | (sum(dev.encode()) & 0xFF)),\n"
     "    'Drive': dbus.ObjectPath('/org/freedesktop/UDisks2/drives/' + drive)}, [])\n"
     "objects[path].AddProperties('org.freedesktop.UDisks2.Filesystem', {'MountPoints': mounts})\n"
     "objects[path].AddProperties('org.freedesktop.UDisks2.Partition', {'Number': dbus.UInt32(1)})\n"
     "self.object_manager_emit_added(path)\n"),
    ("Unplug", "s", "",
     "path = '/org/freedesktop/UDisks2/block_devices/' + args[0]\n"
     "self.object_manager_emit_removed(path)\n"
     "self.RemoveObject(path)\n"),
    ("SetMountPoint", "ss", "",
     "point = args[1]\n" + MOUNTS +
     "objects['/org/freedesktop/UDisks2/block_devices/' + args[0]].UpdateProperties(\n"
     "    'org.freedesktop.UDisks2.Filesystem', {'MountPoints': mounts})\n"),
    ("SetUuid", "ss", "",
     "objects['/org/freedesktop/UDisks2/block_devices/' + args[0]].UpdateProperties(\n"
     "    'org.freedesktop.UDisks2.Block', {'IdUUID': dbus.String(args[1])})\n"),
]

SET_LABEL = (
    "if len(args[0]) > 11: raise dbus.exceptions.DBusException('label too long', "
    "name='org.freedesktop.UDisks2.Error.Failed')\n"
    "self.UpdateProperties('org.freedesktop.UDisks2.Block', {'IdLabel': dbus.String(args[0])})"
)


def main():
    dbus_pid, address = dbusmock.DBusTestCase.start_dbus()
    if mode == "no-service":
        try:
            print(f"address={address}", flush=True)
            print("ready", flush=True)
            sys.stdin.read()
        finally:
            dbusmock.DBusTestCase.stop_dbus(dbus_pid)
        return
    env = dict(os.environ, DBUS_SESSION_BUS_ADDRESS=address)
    server = subprocess.Popen(
        [sys.executable, "-m", "dbusmock", "--session", "-m", UD, ROOT, UD + ".Manager"],
        env=env, stdout=subprocess.DEVNULL)
    try:
        bus = dbus.bus.BusConnection(address)
        for _ in range(200):
            if bus.name_has_owner(UD):
                break
            time.sleep(0.05)
        mock = dbus.Interface(bus.get_object(UD, ROOT), dbusmock.MOCK_IFACE)
        mock.AddMethods(SCENE, SCENE_METHODS)
        drives = DRIVES
        blocks = BLOCKS
        if mode == "card":
            drives = [d for d in DRIVES if d[0].endswith(("/Card_Reader", "/Flash_Drive"))]
            blocks = []
        if mode == "no-usb":
            drives = [d for d in DRIVES if d[1]["ConnectionBus"] != "usb"]
            kept = {path for path, _ in drives}
            blocks = [b for b in BLOCKS if str(b[1]["Drive"]) in kept]
        for path, props in drives:
            mock.AddObject(path, DRIVE, props, [])
        for dev, props, mount_points, partition in blocks:
            path = f"{ROOT}/block_devices/{dev}"
            mock.AddObject(path, BLOCK, props, [])
            obj = dbus.Interface(bus.get_object(UD, path), dbusmock.MOCK_IFACE)
            obj.AddProperties(FS, {"MountPoints": mount_points})
            obj.AddMethod(FS, "SetLabel", "sa{sv}", "", SET_LABEL)
            if partition:
                obj.AddProperties(PART, {"Number": dbus.UInt32(1)})
        print(f"address={address}", flush=True)
        print("ready", flush=True)
        sys.stdin.read()
    finally:
        server.terminate()
        server.wait()
        dbusmock.DBusTestCase.stop_dbus(dbus_pid)


if __name__ == "__main__":
    main()
