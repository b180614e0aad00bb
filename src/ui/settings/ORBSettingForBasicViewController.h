// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Basic pane: parking waiting time, impact detection and its thresholds, the LEDs, the car number, the
// power cut-off and the power cable's voltage loss.

#include "ui/settings/ORBSettingControllerDelegate.h"

#include <QWidget>

#include <array>

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace nura {

class ORBCarNumberTextField;
class TKSegmentedControl;
class ValueChoiceTable;

class ORBSettingForBasicViewController : public QWidget, public ORBSettingControllerDelegate {
    Q_OBJECT

public:
    explicit ORBSettingForBasicViewController(QWidget* parent = nullptr);

    void setFileData(_FILEDATA* record) override;
    bool populate() override;
    QString validateUserInput() override;

    void displayFileData();
    void changeGsensorEnable();
    void updateGsensorThreshold();
    void updatePowerUI();

    TKSegmentedControl* alwaysModeTimeoutSeg;
    QCheckBox* gsensorEnableChk;
    TKSegmentedControl* gsensorSensitivityDrivingSeg;
    TKSegmentedControl* gsensorSensitivityParkingSeg;
    std::array<QLineEdit*, 3> drivingFields; // X, Y, Z
    std::array<QLineEdit*, 3> parkingFields; // X, Y, Z
    TKSegmentedControl* frontLEDSeg;
    TKSegmentedControl* rearLEDSeg;
    ORBCarNumberTextField* carNumberField;
    QComboBox* powerVoltageCombo;
    QComboBox* powerTimeCombo;
    QCheckBox* useExternalPowerChk;
    TKSegmentedControl* cableVoltageLossSeg;

private:
    void clickUseExternalPowerChk();
    void powerVoltageSelected(int index);
    void focus(QWidget* control);
    static void showThresholds(const std::array<QLineEdit*, 3>& fields, const ValueChoiceTable& presets,
                               int segment);

    _FILEDATA* m_fileData = nullptr;
    QString m_shownPlate;
};

} // namespace nura
