// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/settings/ORBSettingForAuxViewController.h"

#include "core/settings/SettingChoices.h"
#include "ui/settings/ChoiceControls.h"
#include "ui/settings/TKRadioMatrix.h"
#include "ui/settings/TKSegmentedControl.h"
#include "ui/strings/InfoPlist.h"
#include "ui/views/EcoSliderAxisView.h"
#include "ui/views/SMDoubleSlider.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdint>

namespace nura {

namespace {

constexpr int kWifiChannelCount = 14;

QString percent(int share) {
    return QStringLiteral("%1%").arg(share);
}

// A group box holding one control.
QGroupBox* boxWith(const char* titleKey, QWidget* control, QWidget* parent) {
    auto* box = makeGroup(titleKey, parent);
    auto* layout = new QVBoxLayout(box);
    control->setParent(box);
    layout->addWidget(control);
    return box;
}

QStringList keys(std::initializer_list<const char*> keyList) {
    QStringList labels;
    for (const char* key : keyList) {
        labels << L(key);
    }
    return labels;
}

} // namespace

ORBSettingForAuxViewController::ORBSettingForAuxViewController(QWidget* parent) : QWidget(parent) {
    setWindowTitle(L("setting.aux"));
    auto* grid = new QGridLayout(this);
    grid->setVerticalSpacing(4);

    // Card shares: the slider with its scale, the three shares under it.
    auto* shares = makeGroup("setting.aux.sdcard_capacity", this);
    auto* sharesLayout = new QVBoxLayout(shares);
    sharesLayout->setSpacing(0);
    sdRatioSlider = new SMDoubleSlider(Qt::Horizontal, shares);
    sdRatioSlider->setObjectName(QStringLiteral("sdRatioSlider"));
    sdRatioSlider->setTrackingLoKnob(true);
    sdRatioSlider->setMinValue(0);
    sdRatioSlider->setMaxValue(100);
    sdRatioSlider->setAltIncrementValue(1);
    sdRatioSlider->setAccessibleName(L("setting.aux.sdcard_capacity"));
    sdRatioSliderAxisView = new EcoSliderAxisView(shares);
    sharesLayout->addWidget(sdRatioSlider);
    sharesLayout->addWidget(sdRatioSliderAxisView);
    auto* fields = new QHBoxLayout;
    fields->setSpacing(6);
    alwaysField = new QLabel(shares);
    motionField = new QLabel(shares);
    eventField = new QLabel(shares);
    const std::pair<const char*, QLabel*> shareFields[] = {{"setting.aux.always", alwaysField},
                                                           {"setting.aux.motion", motionField},
                                                           {"setting.aux.event", eventField}};
    for (const auto& [key, field] : shareFields) {
        auto* label = new QLabel(L(key), shares);
        label->setObjectName(QString::fromLatin1(key));
        fields->addWidget(label);
        fields->addWidget(field);
        fields->addStretch(1);
    }
    sharesLayout->addLayout(fields);
    grid->addWidget(shares, 0, 0, 1, 2);

    const QStringList offOn = keys({"unuse", "use"});
    dayTimeAESeg =
        makeSegments(keys({"setting.aux.low", "setting.aux.medium_sedan", "setting.aux.high_suv"}), this);
    lcdAutoPowerOffSeg = makeSegments({L("none"), InfoPlist::localizedCount("nSecond_fmt", 15),
                                       InfoPlist::localizedCount("nSecond_fmt", 30),
                                       InfoPlist::localizedCount("nSecond_fmt", 60)},
                                      this);
    gammaSeg = makeSegments({QStringLiteral("60Hz"), QStringLiteral("50Hz")}, this);
    lcdBrightnessSeg = makeSegments({QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")}, this);
    lcdNightBrightnessSeg = makeSegments(offOn, this);
    parkingRearOffSeg = makeSegments(offOn, this);
    lcdScreenSaverSeg = makeSegments(keys({"unuse", "default", "time"}), this);
    parkingAlarmSeg = makeSegments(offOn, this);
    recordingLengthSeg = makeSegments(keys({"5min", "3min"}), this);
    autoFormatAlarmSeg = makeSegments(keys({"setting.aux.auto_format_notuse", "setting.aux.auto_format_4week",
                                            "setting.aux.auto_format_8week", "setting.aux.auto_format_16week",
                                            "setting.aux.auto_format_32week"}),
                                      this);
    wifiStartModeSeg = makeSegments(keys({"setting.aux.wifi_start_off", "setting.aux.wifi_start_on"}), this);
    pipPositionRadio = new TKRadioMatrix(2, 2, this);
    FillMatrixTitles(*pipPositionRadio,
                     keys({"setting.aux.pip_top_left", "setting.aux.pip_top_right",
                           "setting.aux.pip_bottom_left", "setting.aux.pip_bottom_right"}));

    const std::pair<const char*, QWidget*> boxes[] = {
        {"setting.aux.night_ae_setting", dayTimeAESeg},
        {"setting.aux.lcd_auto_off", lcdAutoPowerOffSeg},
        {"setting.aux.country_ac_power_setting", gammaSeg},
        {"setting.aux.lcd_brightness", lcdBrightnessSeg},
        {"setting.aux.lcd_brightness_night", lcdNightBrightnessSeg},
        {"setting.aux.parking_rear_setting", parkingRearOffSeg},
        {"setting.aux.lcd_screensaver", lcdScreenSaverSeg},
        {"setting.aux.parking_monitor_notice", parkingAlarmSeg},
        {"setting.aux.recording_length", recordingLengthSeg},
        {"setting.aux.auto_format_alarm", autoFormatAlarmSeg},
        {"setting.aux.pip_position", pipPositionRadio},
    };
    int cell = 2;
    for (const auto& [key, control] : boxes) {
        grid->addWidget(boxWith(key, control, this), cell / 2, cell % 2);
        ++cell;
    }

    auto* wifi = makeGroup("setting.aux.wifi", this);
    auto* wifiForm = new QFormLayout(wifi);
    ssidLabel = new QLineEdit(wifi);
    passwordLabel = new QLineEdit(wifi);
    wifiChannelCombo = new QComboBox(wifi);
    QStringList channels;
    channels << QStringLiteral("   0(Auto)");
    for (int channel = 1; channel < kWifiChannelCount; ++channel) {
        channels << QStringLiteral("%1").arg(channel, 4);
    }
    FillComboBox(*wifiChannelCombo, channels);
    wifiForm->addRow(L("setting.aux.wifi_ssid"), ssidLabel);
    wifiForm->addRow(L("setting.aux.wifi_password"), passwordLabel);
    wifiForm->addRow(L("setting.aux.wifi_channel"), wifiChannelCombo);
    wifiStartModeSeg->setParent(wifi);
    wifiForm->addRow(L("setting.aux.wifi_start"), wifiStartModeSeg);
    // Beside the last box, so that the pane fits the window without scrolling.
    grid->addWidget(wifi, cell / 2, cell % 2);
    grid->setRowStretch(grid->rowCount(), 1);

    auto* warning = new QLabel(L("msg.memconfig_warning"), this);
    warning->setObjectName(QStringLiteral("sdcardCapacityWarningLabel"));
    warning->hide();

    sdRatioSlider->bind(QStringLiteral("objectLoValue"), this, "ratioLoValue");
    sdRatioSlider->bind(QStringLiteral("objectHiValue"), this, "ratioHiValue");
    updateRatio();
}

void ORBSettingForAuxViewController::setRatioLoValue(int value) {
    if (value == m_ratioLo) {
        return;
    }
    m_ratioLo = value;
    emit ratioLoValueChanged(value);
    updateRatio();
}

void ORBSettingForAuxViewController::setRatioHiValue(int value) {
    if (value == m_ratioHi) {
        return;
    }
    m_ratioHi = value;
    emit ratioHiValueChanged(value);
    updateRatio();
}

int ORBSettingForAuxViewController::continuousShare() const {
    return sdRatioSlider->integerLoValue();
}

int ORBSettingForAuxViewController::motionShare() const {
    return sdRatioSlider->integerHiValue() - sdRatioSlider->integerLoValue();
}

int ORBSettingForAuxViewController::eventShare() const {
    return static_cast<int>(sdRatioSlider->maxValue()) - continuousShare() - motionShare();
}

void ORBSettingForAuxViewController::updateRatio() {
    sdRatioSlider->setIntegerHiValue(m_ratioHi);
    sdRatioSlider->setIntegerLoValue(m_ratioLo);
    alwaysField->setText(percent(continuousShare()));
    motionField->setText(percent(motionShare()));
    eventField->setText(percent(eventShare()));
}

void ORBSettingForAuxViewController::setFileData(_FILEDATA* record) {
    m_fileData = record;
    displayFileData();
}

void ORBSettingForAuxViewController::displayFileData() {
    const _FILEDATA* d = m_fileData;
    if (!d) {
        return;
    }
    // The slider keeps both knobs within 0 to 100 and in order, whatever the file holds.
    const auto clampShare = [](int64_t share) {
        return static_cast<int>(std::clamp<int64_t>(share, 0, 100));
    };
    setRatioLoValue(clampShare(d->sd_mem_always_ratio));
    setRatioHiValue(clampShare(int64_t{d->sd_mem_always_ratio} + d->sd_mem_motion_ratio));
    updateRatio();

    selectSegmentFor(*dayTimeAESeg, d->DayTime);
    selectSegmentFor(*lcdAutoPowerOffSeg, d->lcd_autopoweroff);
    selectSegmentFor(*gammaSeg, d->Gamma);
    selectSegmentFor(*lcdBrightnessSeg, d->lcd_brightness);
    selectSegmentFor(*lcdNightBrightnessSeg, d->lcd_brightness_night);
    // Stored the other way round: 1 turns the rear camera off in parking mode.
    parkingRearOffSeg->setSelectedSegment(d->parking_rear_off != 0 ? 0 : 1);
    lcdScreenSaverSeg->setSelectedSegment(lcdScreenSaverChoices().find(d->lcd_screensaver).value_or(-1));
    selectSegmentFor(*parkingAlarmSeg, d->parking_alarm);
    selectSegmentFor(*recordingLengthSeg, d->always_mode_recording_time);
    selectSegmentFor(*autoFormatAlarmSeg, d->autoFormatAlarm);
    selectSegmentFor(*wifiStartModeSeg, d->wifiStartMode);
    pipPositionRadio->setSelectedCell(pipPositionChoices().indexOf(d->pip_position));
    ssidLabel->setText(QString::fromStdString(readZeroPaddedText(d->wifi_ssid, sizeof d->wifi_ssid)));
    passwordLabel->setText(
        QString::fromStdString(readZeroPaddedText(d->wifi_password, sizeof d->wifi_password)));
    wifiChannelCombo->setCurrentIndex(d->wifi_channel < kWifiChannelCount ? static_cast<int>(d->wifi_channel)
                                                                          : -1);
}

QString ORBSettingForAuxViewController::validateUserInput() {
    for (const int share : {continuousShare(), motionShare(), eventShare()}) {
        if (const auto message = ORBValidator::validateSDCardSizeRatio(share)) {
            return validationText(*message);
        }
    }
    return {};
}

bool ORBSettingForAuxViewController::populate() {
    _FILEDATA* d = m_fileData;
    if (!d || !validateUserInput().isEmpty()) {
        return false;
    }
    d->sd_mem_always_ratio = static_cast<uint32_t>(continuousShare());
    d->sd_mem_motion_ratio = static_cast<uint32_t>(motionShare());
    d->sd_mem_event_ratio = static_cast<uint32_t>(eventShare());
    d->DayTime = segmentValue(*dayTimeAESeg, d->DayTime);
    d->lcd_autopoweroff = segmentValue(*lcdAutoPowerOffSeg, d->lcd_autopoweroff);
    d->Gamma = segmentValue(*gammaSeg, d->Gamma);
    d->lcd_brightness = segmentValue(*lcdBrightnessSeg, d->lcd_brightness);
    d->lcd_brightness_night = segmentValue(*lcdNightBrightnessSeg, d->lcd_brightness_night);
    if (parkingRearOffSeg->selectedSegment() >= 0) {
        d->parking_rear_off = parkingRearOffSeg->selectedSegment() == 0 ? 1 : 0;
    }
    if (lcdScreenSaverSeg->selectedSegment() >= 0) {
        d->lcd_screensaver =
            static_cast<uint32_t>(lcdScreenSaverChoices().valueAt(lcdScreenSaverSeg->selectedSegment()));
    }
    d->parking_alarm = segmentValue(*parkingAlarmSeg, d->parking_alarm);
    d->always_mode_recording_time = segmentValue(*recordingLengthSeg, d->always_mode_recording_time);
    d->pip_position = static_cast<uint32_t>(pipPositionChoices().valueAt(pipPositionRadio->selectedCell()));
    d->autoFormatAlarm = segmentValue(*autoFormatAlarmSeg, d->autoFormatAlarm);

    const std::string name = ssidLabel->text().toStdString();
    const std::string password = passwordLabel->text().toStdString();
    auto message = ORBValidator::validateWifiName(name);
    if (!message) {
        message = ORBValidator::validateWifiPassword(password);
    }
    if (message) {
        ShowAlertSheet(window(), QStringLiteral("Warning"), validationText(*message));
        return false;
    }
    writeZeroPaddedText(d->wifi_ssid, sizeof d->wifi_ssid, name);
    writeZeroPaddedText(d->wifi_password, sizeof d->wifi_password, password);
    if (wifiChannelCombo->currentIndex() >= 0) {
        d->wifi_channel = static_cast<uint32_t>(wifiChannelCombo->currentIndex());
    }
    d->wifiStartMode = segmentValue(*wifiStartModeSeg, d->wifiStartMode);
    return true;
}

} // namespace nura
