// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/settings/ORBSettingForMotionViewController.h"

#include "ui/settings/TKSegmentedControl.h"
#include "ui/strings/InfoPlist.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

namespace nura {

namespace {

// The zones lie as the picture does: four across, three rows, zone 01 top left.
QGroupBox* zoneGrid(const char* key, std::array<QCheckBox*, kMotionZoneCount>& boxes, QWidget* parent) {
    auto* box = makeGroup(key, parent);
    auto* grid = new QGridLayout(box);
    for (int i = 0; i < kMotionZoneCount; ++i) {
        auto* check = new QCheckBox(QStringLiteral("%1").arg(i + 1, 2, 10, QLatin1Char('0')), box);
        boxes[static_cast<std::size_t>(i)] = check;
        grid->addWidget(check, i / 4, i % 4);
    }
    return box;
}

void showZones(std::array<QCheckBox*, kMotionZoneCount>& boxes, uint32_t mask) {
    const auto zones = motionZonesFromMask(mask);
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        boxes[i]->setChecked(zones[i]);
    }
}

uint32_t zonesMask(const std::array<QCheckBox*, kMotionZoneCount>& boxes) {
    std::array<bool, kMotionZoneCount> zones{};
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        zones[i] = boxes[i]->isChecked();
    }
    return motionMaskFromZones(zones);
}

} // namespace

ORBSettingForMotionViewController::ORBSettingForMotionViewController(QWidget* parent) : QWidget(parent) {
    setWindowTitle(L("setting.motion"));
    auto* layout = new QVBoxLayout(this);
    const QStringList sensitivity = {L("unuse"),          labelWith("1(%@)", "insensitive"),
                                     QStringLiteral("2"), QStringLiteral("3"),
                                     QStringLiteral("4"), labelWith("5(%@)", "sensitive")};
    auto* motion = makeGroup("setting.motion.sensitivity", this);
    auto* motionGrid = new QGridLayout(motion);
    frontSensitivitySeg = makeSegments(sensitivity, motion);
    rearSensitivitySeg = makeSegments(sensitivity, motion);
    motionGrid->addWidget(new QLabel(L("setting.aux.front_sensitivity"), motion), 0, 0);
    motionGrid->addWidget(frontSensitivitySeg, 0, 1);
    motionGrid->addWidget(new QLabel(L("setting.aux.rear_sensitivity"), motion), 1, 0);
    motionGrid->addWidget(rearSensitivitySeg, 1, 1);
    motionGrid->setColumnStretch(1, 1);
    layout->addWidget(motion);

    auto* block = makeGroup("setting.motion.block", this);
    auto* blockRow = new QHBoxLayout(block);
    blockRow->addWidget(zoneGrid("setting.motion.block_front", frontMotionBlockChk, block));
    blockRow->addWidget(zoneGrid("setting.motion.block_rear", rearMotionBlockChk, block));
    layout->addWidget(block);

    auto* row = new QHBoxLayout;
    auto* parking = makeGroup("setting.motion.paking_mode", this);
    parkingModeSeg = makeSegments(
        {L("setting.motion.paking_mode_motion"), L("setting.motion.paking_mode_timelapse")}, parking);
    (new QVBoxLayout(parking))->addWidget(parkingModeSeg);
    auto* night = makeGroup("setting.motion.night_vision", this);
    nightVisionSeg =
        makeSegments({L("setting.motion.night_vision_notuse"), L("setting.motion.night_vision_use")}, night);
    (new QVBoxLayout(night))->addWidget(nightVisionSeg);
    row->addWidget(parking);
    row->addWidget(night);
    layout->addLayout(row);
    layout->addStretch(1);

    // A camera whose detection is off has no zones to choose.
    connect(frontSensitivitySeg, &TKSegmentedControl::activated, this, [this] { updateFrontMotionBlock(); });
    connect(rearSensitivitySeg, &TKSegmentedControl::activated, this, [this] { updateRearMotionBlock(); });
}

void ORBSettingForMotionViewController::setFileData(_FILEDATA* record) {
    m_fileData = record;
    displayFileData();
}

void ORBSettingForMotionViewController::displayFileData() {
    const _FILEDATA* d = m_fileData;
    if (!d) {
        return;
    }
    selectSegmentFor(*frontSensitivitySeg, d->motion720pCValue);
    selectSegmentFor(*rearSensitivitySeg, d->motion1080pCValue);
    showZones(frontMotionBlockChk, d->motionBlock);
    showZones(rearMotionBlockChk, d->motionBlock_Rear);
    selectSegmentFor(*parkingModeSeg, d->ParkingMode);
    selectSegmentFor(*nightVisionSeg, d->En_SuperNightVision);
    updateFrontMotionBlock();
    updateRearMotionBlock();
}

void ORBSettingForMotionViewController::updateFrontMotionBlock() {
    for (QCheckBox* check : frontMotionBlockChk) {
        check->setEnabled(frontSensitivitySeg->selectedSegment() != 0);
    }
}

void ORBSettingForMotionViewController::updateRearMotionBlock() {
    for (QCheckBox* check : rearMotionBlockChk) {
        check->setEnabled(rearSensitivitySeg->selectedSegment() != 0);
    }
}

bool ORBSettingForMotionViewController::populate() {
    _FILEDATA* d = m_fileData;
    if (!d) {
        return false;
    }
    d->motion720pCValue = segmentValue(*frontSensitivitySeg, d->motion720pCValue);
    d->motion1080pCValue = segmentValue(*rearSensitivitySeg, d->motion1080pCValue);
    d->motionBlock = zonesMask(frontMotionBlockChk);
    d->motionBlock_Rear = zonesMask(rearMotionBlockChk);
    d->ParkingMode = segmentValue(*parkingModeSeg, d->ParkingMode);
    d->En_SuperNightVision = segmentValue(*nightVisionSeg, d->En_SuperNightVision);
    return true;
}

} // namespace nura
