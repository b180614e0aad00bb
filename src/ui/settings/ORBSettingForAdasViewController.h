// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The ADAS pane: vehicle type, lane-departure and forward-collision warnings with their lowest speeds, the
// front-car departure alert and the vibrator. Speeds are listed in the unit the record shows speeds in.

#include "ui/settings/ORBSettingControllerDelegate.h"

#include <QWidget>

class QComboBox;

namespace nura {

class TKSegmentedControl;

class ORBSettingForAdasViewController : public QWidget, public ORBSettingControllerDelegate {
    Q_OBJECT

public:
    explicit ORBSettingForAdasViewController(QWidget* parent = nullptr);

    void setFileData(_FILEDATA* record) override;
    bool populate() override;
    void displayFileData();
    // Lists the speeds of a unit: mi/h for 1, km/h for any other value.
    void changeSpeed(uint32_t speedUnit);

    TKSegmentedControl* adasCarSeg;
    TKSegmentedControl* adasLdwsSensSeg;
    QComboBox* adasLdwsSpeedCombo;
    TKSegmentedControl* adasFcwsSensSeg;
    TKSegmentedControl* adasFcwsSpeedSeg;
    TKSegmentedControl* adasFcmdEnableSeg;
    TKSegmentedControl* adasFcmdSensSeg;
    TKSegmentedControl* adasVibratorSeg;

private:
    _FILEDATA* m_fileData = nullptr;
};

} // namespace nura
