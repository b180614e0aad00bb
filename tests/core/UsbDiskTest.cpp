#include "core/card/VolumeDescription.h"

#include <gtest/gtest.h>

using namespace nura;

namespace {

VolumeDescription usbStick() {
    VolumeDescription v;
    v.mountPath = "/media/STICK";
    v.volumeName = "STICK";
    v.removable = true;
    v.protocol = "USB";
    v.deviceName = "/dev/sdb1";
    v.deviceModel = "Flash";
    v.mediaSize = 1000;
    v.writable = true;
    v.mediaWhole = false;
    v.key = "/org/freedesktop/UDisks2/block_devices/sdb1";
    return v;
}

} // namespace

TEST(UsbDisks, OnlyRemovableUsbVolumesWithADeviceName) {
    VolumeDescription internal = usbStick();
    internal.mountPath = "/";
    internal.removable = false;
    internal.protocol = "ATA";
    VolumeDescription sdio = usbStick();
    sdio.mountPath = "/media/SDIO";
    sdio.protocol = "SDIO";
    VolumeDescription lowerCase = usbStick();
    lowerCase.mountPath = "/media/lower";
    lowerCase.protocol = "usb"; // the protocol test is exact
    VolumeDescription noDevice = usbStick();
    noDevice.mountPath = "/media/NODEV";
    noDevice.deviceName.reset();
    VolumeDescription bare; // everything missing but the mount point and the flags
    bare.mountPath = "/media/BARE";
    bare.removable = true;
    bare.protocol = "USB";
    bare.deviceName = "/dev/sdz";

    const std::vector<VolumeDescription> all = {internal, sdio, usbStick(), lowerCase, noDevice, bare};
    EXPECT_EQ(removableVolumePaths(all),
              (std::vector<std::string>{"/media/SDIO", "/media/STICK", "/media/lower", "/media/NODEV",
                                        "/media/BARE"}));
    EXPECT_EQ(usbVolumePaths(all), (std::vector<std::string>{"/media/STICK", "/media/NODEV", "/media/BARE"}));

    const auto disks = usbDiskEntities(all);
    ASSERT_EQ(disks.size(), 2u);
    EXPECT_EQ(disks[0], TKUSBDiskEntity("STICK", "/media/STICK", "/dev/sdb1", "Flash", 1000, true, false,
                                        "/org/freedesktop/UDisks2/block_devices/sdb1"));
    // Unknown write protection is not taken for writable; no label, model or size shows as such.
    EXPECT_EQ(disks[1], TKUSBDiskEntity("", "/media/BARE", "/dev/sdz", std::nullopt, 0, false, false, ""));
    EXPECT_EQ(disks[1].displayString(), "[0 B] NO NAME ");
    EXPECT_TRUE(usbDiskEntities({}).empty());
}
