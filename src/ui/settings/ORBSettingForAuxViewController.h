// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Auxiliary pane: how the card is shared between continuous, motion and event recordings, the screen,
// the mains frequency, parking, recording length, picture-in-picture, the format reminder and the Wi-Fi.

#include "ui/settings/ORBSettingControllerDelegate.h"

#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;

namespace nura {

class EcoSliderAxisView;
class SMDoubleSlider;
class TKRadioMatrix;
class TKSegmentedControl;

class ORBSettingForAuxViewController : public QWidget, public ORBSettingControllerDelegate {
    Q_OBJECT
    // The card-share slider's two knobs, in percent: continuous below the low knob, event above the high.
    Q_PROPERTY(int ratioLoValue READ ratioLoValue WRITE setRatioLoValue NOTIFY ratioLoValueChanged)
    Q_PROPERTY(int ratioHiValue READ ratioHiValue WRITE setRatioHiValue NOTIFY ratioHiValueChanged)

public:
    explicit ORBSettingForAuxViewController(QWidget* parent = nullptr);

    void setFileData(_FILEDATA* record) override;
    bool populate() override;
    QString validateUserInput() override;
    void displayFileData();

    int ratioLoValue() const { return m_ratioLo; }
    int ratioHiValue() const { return m_ratioHi; }
    void setRatioLoValue(int value);
    void setRatioHiValue(int value);

    SMDoubleSlider* sdRatioSlider;
    EcoSliderAxisView* sdRatioSliderAxisView;
    QLabel* alwaysField;
    QLabel* motionField;
    QLabel* eventField;
    TKSegmentedControl* dayTimeAESeg;
    TKSegmentedControl* lcdAutoPowerOffSeg;
    TKSegmentedControl* gammaSeg;
    TKSegmentedControl* lcdBrightnessSeg;
    TKSegmentedControl* lcdNightBrightnessSeg;
    TKSegmentedControl* parkingRearOffSeg;
    TKSegmentedControl* lcdScreenSaverSeg;
    TKSegmentedControl* parkingAlarmSeg;
    TKSegmentedControl* recordingLengthSeg;
    TKSegmentedControl* autoFormatAlarmSeg;
    TKSegmentedControl* wifiStartModeSeg;
    QComboBox* wifiChannelCombo;
    TKRadioMatrix* pipPositionRadio;
    QLineEdit* ssidLabel;
    QLineEdit* passwordLabel;

signals:
    void ratioLoValueChanged(int value);
    void ratioHiValueChanged(int value);

private:
    void updateRatio();
    int continuousShare() const;
    int motionShare() const;
    int eventShare() const;

    _FILEDATA* m_fileData = nullptr;
    int m_ratioLo = 0;
    int m_ratioHi = 0;
};

} // namespace nura
