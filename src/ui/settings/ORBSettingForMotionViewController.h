// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Motion and parking pane: motion sensitivity of each camera, the twelve detection zones of each
// picture, the parking recording mode and night vision.

#include "core/settings/SettingChoices.h"
#include "ui/settings/ORBSettingControllerDelegate.h"

#include <QWidget>

#include <array>

class QCheckBox;

namespace nura {

class TKSegmentedControl;

class ORBSettingForMotionViewController : public QWidget, public ORBSettingControllerDelegate {
    Q_OBJECT

public:
    explicit ORBSettingForMotionViewController(QWidget* parent = nullptr);

    void setFileData(_FILEDATA* record) override;
    bool populate() override;
    void displayFileData();
    void updateFrontMotionBlock();
    void updateRearMotionBlock();

    TKSegmentedControl* frontSensitivitySeg;
    TKSegmentedControl* rearSensitivitySeg;
    std::array<QCheckBox*, kMotionZoneCount> frontMotionBlockChk; // zones 01 to 12
    std::array<QCheckBox*, kMotionZoneCount> rearMotionBlockChk;
    TKSegmentedControl* parkingModeSeg;
    TKSegmentedControl* nightVisionSeg;

private:
    _FILEDATA* m_fileData = nullptr;
};

} // namespace nura
