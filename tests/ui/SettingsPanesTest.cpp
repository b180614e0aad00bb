// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/settings/FileDataRules.h"
#include "ui/settings/ORBCarNumberTextField.h"
#include "ui/settings/ORBSettingForAdasViewController.h"
#include "ui/settings/ORBSettingForAudioViewController.h"
#include "ui/settings/ORBSettingForAuxViewController.h"
#include "ui/settings/ORBSettingForBasicViewController.h"
#include "ui/settings/ORBSettingForGpsViewController.h"
#include "ui/settings/ORBSettingForMotionViewController.h"
#include "ui/settings/ORBSettingForVideoViewController.h"
#include "ui/settings/TKRadioMatrix.h"
#include "ui/settings/TKSegmentedControl.h"
#include "ui/views/SMDoubleSlider.h"

#include "UiTestSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QtTest>

#include <cstring>
#include <random>

using namespace nura;

using uitest::takeAlerts;

// The choice tables, threshold text, motion bit order, time-zone labels and the validator's rules are pinned
// by the core tests; these show each pane wired to them.

namespace {

_FILEDATA defaults() {
    _FILEDATA d{};
    SetDefaultFileData(d);
    return d;
}

void clickSegment(TKSegmentedControl& control, int segment) {
    control.findChildren<QAbstractButton*>().at(segment)->click();
}

// Saved for a look at the pane, at the settings window's pane size.
void screenshot(QWidget& pane, const char* name) {
    pane.resize(760, 560);
    uitest::screenshot(pane, name);
}

} // namespace

class SettingsPanesTest : public QObject {
    Q_OBJECT

private slots:
    void basicPresetsCustomValuesAndMending() {
        _FILEDATA d = defaults();
        d.parkmode_z_threshold = 44;
        d.CableVoltCorr = 0;
        d.recordChannel = 1; // front only: the rear light cannot be off
        d.ledoff_rear = 1;
        d.always_mode_timeout = 45; // not a choice: shown as 30 s
        ORBSettingForBasicViewController pane;
        pane.setFileData(&d);
        QCOMPARE(pane.gsensorSensitivityParkingSeg->selectedSegment(), 5);
        QVERIFY(pane.parkingFields[2]->isEnabled());
        QCOMPARE(d.CableVoltCorr, 4u);
        QCOMPARE(d.ledoff_rear, 0u);

        clickSegment(*pane.gsensorSensitivityDrivingSeg, 0);
        QCOMPARE(pane.drivingFields[1]->text(), QString("0.65"));
        pane.parkingFields[0]->setText("0.29");
        pane.parkingFields[2]->setText("");
        QVERIFY(pane.populate());
        QCOMPARE(d.gsen_z_threshold, 65);
        QCOMPARE(d.parkmode_x_threshold, 29);
        QCOMPARE(d.parkmode_z_threshold, 0);
        QCOMPARE(d.always_mode_timeout, 30u);
        // What an empty field stored shows as empty again, and passes again.
        pane.setFileData(&d);
        QCOMPARE(pane.parkingFields[2]->text(), QString());
        QVERIFY(pane.populate());

        const int32_t stored = d.parkmode_y_threshold;
        pane.parkingFields[1]->setText("1.51");
        QVERIFY(!pane.populate());
        QCOMPARE(d.parkmode_y_threshold, stored);
    }

    void basicWarnsOnEachChoiceOfExternalPower() {
        _FILEDATA d = defaults();
        d.sd_mem_always_reserved = 10000;
        ORBSettingForBasicViewController pane;
        pane.setFileData(&d);
        QCOMPARE(takeAlerts(pane), 0); // showing a record never warns
        emit pane.powerVoltageCombo->activated(2);
        QCOMPARE(takeAlerts(pane), 1);
        emit pane.powerVoltageCombo->activated(5);
        emit pane.powerVoltageCombo->activated(2);
        QCOMPARE(takeAlerts(pane), 1);

        // The external-power box writes at once and locks the cut-off choices.
        pane.useExternalPowerChk->click();
        QCOMPARE(d.sd_mem_event_reserved, 1u);
        QVERIFY(!pane.powerVoltageCombo->isEnabled());
    }

    void videoQualityWarnsOnceAndRearChannelLightsTheLed() {
        _FILEDATA d = defaults();
        d.Gamma = 1;
        ORBSettingForVideoViewController pane;
        pane.setFileData(&d);
        clickSegment(*pane.videoEncodingBitrate, 2);
        QVERIFY(pane.populate());
        QCOMPARE(d.vid_enc_bitrate, 2u);
        QCOMPARE(takeAlerts(pane), 1);
        QVERIFY(pane.populate()); // the same change again: already warned
        QCOMPARE(takeAlerts(pane), 0);

        clickSegment(*pane.recordChannel, 1);
        d.ledoff_rear = 1;
        QVERIFY(pane.populate());
        QCOMPARE(d.recordChannel, 1u);
        QCOMPARE(d.ledoff_rear, 0u);
    }

    void motionZonesReachTheRecord() {
        _FILEDATA d = defaults();
        d.motionBlock = 0;
        ORBSettingForMotionViewController pane;
        pane.setFileData(&d);
        pane.frontMotionBlockChk[8]->setChecked(false);
        QVERIFY(pane.populate());
        QCOMPARE(d.motionBlock, 1u);
        // Detection off leaves nothing to choose in that camera's zones.
        clickSegment(*pane.rearSensitivitySeg, 0);
        QVERIFY(!pane.rearMotionBlockChk[0]->isEnabled());
        QVERIFY(pane.frontMotionBlockChk[0]->isEnabled());
    }

    void audioMalaysiaAndTheMatrix() {
        _FILEDATA d = defaults();
        d.Brightness1 = 20;
        ORBSettingForAudioViewController pane;
        pane.setFileData(&d);
        QVERIFY(pane.malaysiaRadio->isChecked());
        QCOMPARE(pane.voiceLangRadio->selectedCell(), -1);

        pane.voiceLangRadio->cell(13)->click();
        QCOMPARE(d.Brightness1, 13u); // written at once
        QVERIFY(!pane.malaysiaRadio->isChecked());
        pane.malaysiaRadio->click();
        QCOMPARE(d.Brightness1, 20u);
        QCOMPARE(pane.voiceLangRadio->selectedCell(), -1);
        pane.malaysiaRadio->click(); // clicking it again keeps it chosen
        QVERIFY(pane.malaysiaRadio->isChecked());
    }

    // The slider's knobs give the three shares, and shares the camera refuses are not stored.
    void auxCardShares() {
        _FILEDATA d = defaults();
        ORBSettingForAuxViewController pane;
        pane.setFileData(&d);
        pane.setRatioLoValue(70);
        pane.setRatioHiValue(90);
        QVERIFY(pane.populate());
        QCOMPARE(d.sd_mem_always_ratio, 70u);
        QCOMPARE(d.sd_mem_motion_ratio, 20u);
        QCOMPARE(d.sd_mem_event_ratio, 10u);
        screenshot(pane, "settings-aux.png");
        pane.setRatioHiValue(91); // an event share of 9 %, below the least
        QVERIFY(!pane.populate());
        QCOMPARE(d.sd_mem_event_ratio, 10u);

        // Shares that do not fit the card are brought onto the slider rather than wrapping around.
        d.sd_mem_always_ratio = 4000000000u;
        pane.setFileData(&d);
        QCOMPARE(pane.sdRatioSlider->integerLoValue(), 100);
    }

    void auxWifiAndMappedChoices() {
        _FILEDATA d = defaults();
        d.pip_position = 7;
        ORBSettingForAuxViewController pane;
        pane.setFileData(&d);
        QCOMPARE(pane.pipPositionRadio->selectedCell(), 3);
        pane.ssidLabel->setText("abcd");
        QVERIFY(!pane.populate());
        QCOMPARE(takeAlerts(pane), 1);

        pane.ssidLabel->setText("ABCDEFGHIJKLMNOPQRST");
        pane.wifiChannelCombo->setCurrentIndex(13);
        pane.pipPositionRadio->cell(0)->click();
        QVERIFY(pane.populate());
        QCOMPARE(QByteArray(d.wifi_ssid, 16), QByteArray("ABCDEFGHIJKLMNOP"));
        QCOMPARE(d.wifi_channel, 13u);
        QCOMPARE(d.pip_position, 2u);

        // A stored choice the camera may know and this pane does not is left as it is.
        d.lcd_screensaver = 5;
        pane.setFileData(&d);
        QCOMPARE(pane.lcdScreenSaverSeg->selectedSegment(), -1);
        QVERIFY(pane.populate());
        QCOMPARE(d.lcd_screensaver, 5u);
    }

    void gpsZoneAndUnitReachTheAdasPane() {
        _FILEDATA d = defaults();
        d.time_gmt = 14;
        d.speed_disp_unit = 0;
        d.ADAS_Ldws_Speed = 50; // 50 km/h
        d.ADAS_FCWS_Speed = 70; // 70 km/h
        ORBSettingForGpsViewController gps;
        gps.setFileData(&d);
        QCOMPARE(gps.timeGmtCombo->currentText(), QString("00:00"));
        screenshot(gps, "settings-gps.png");
        gps.timeGmtCombo->setCurrentIndex(8);
        clickSegment(*gps.speedDisplayUnitSeg, 1);
        QVERIFY(gps.populate());
        QCOMPARE(d.time_gmt, 8);
        QCOMPARE(d.speed_disp_unit, 1u);

        // The stored speed numbers stay; the ADAS pane now reads them in mi/h.
        ORBSettingForAdasViewController adas;
        adas.setFileData(&d);
        screenshot(adas, "settings-adas.png");
        QCOMPARE(adas.adasLdwsSpeedCombo->currentText(), QString("50Mi/h"));
        QCOMPARE(adas.adasFcwsSpeedSeg->selectedSegment(), 2); // 70 is no mi/h choice
        adas.adasLdwsSpeedCombo->setCurrentIndex(0);
        QVERIFY(adas.populate());
        QCOMPARE(d.ADAS_Ldws_Speed, uint8_t(0));
        QCOMPARE(d.ADAS_FCWS_Speed, uint8_t(20));

        // A zone outside the table selects nothing and is written back as it was.
        d.time_gmt = 40;
        gps.setFileData(&d);
        QCOMPARE(gps.timeGmtCombo->currentIndex(), -1);
        QVERIFY(gps.populate());
        QCOMPARE(d.time_gmt, 40);
    }

    // Every pane shown and written back without an edit leaves the record's bytes as they were, for records
    // holding any of the panes' choices.
    void randomRecordsRoundTripUnchanged() {
        std::mt19937 random(20261206);
        auto pick = [&random](uint32_t count) { return static_cast<uint32_t>(random() % count); };
        for (int n = 0; n < 1000; ++n) {
            _FILEDATA d;
            auto* bytes = reinterpret_cast<unsigned char*>(&d);
            for (std::size_t i = 0; i < sizeof d; ++i) {
                bytes[i] = static_cast<unsigned char>(random());
            }
            // Every field a pane shows holds one of its choices.
            using F = _FILEDATA;
            const std::pair<uint32_t F::*, uint32_t> choices[] = {
                {&F::g_sensor_enable, 2},     {&F::ledoff, 2},
                {&F::recordChannel, 2},       {&F::sd_mem_event_reserved, 2},
                {&F::vid_enc_bitrate, 3},     {&F::vid_enc_bitrate_R, 3},
                {&F::vid_brightness, 5},      {&F::vid_brightness_R, 5},
                {&F::flip_video, 2},          {&F::rear_fps, 2},
                {&F::front_cpl_use, 4},       {&F::rear_cpl_use, 3},
                {&F::En_SuperNightVision, 2}, {&F::viewAngle, 2},
                {&F::motion720pCValue, 6},    {&F::motion1080pCValue, 6},
                {&F::motionBlock, 0x1000},    {&F::motionBlock_Rear, 0x1000},
                {&F::ParkingMode, 2},         {&F::aud_input_vol, 4},
                {&F::aud_output_vol, 4},      {&F::alarm_ontime_flag, 2},
                {&F::Brightness1, 21},        {&F::DayTime, 3},
                {&F::lcd_autopoweroff, 4},    {&F::Gamma, 2},
                {&F::lcd_brightness, 3},      {&F::lcd_brightness_night, 2},
                {&F::parking_rear_off, 2},    {&F::lcd_screensaver, 3},
                {&F::parking_alarm, 2},       {&F::always_mode_recording_time, 2},
                {&F::pip_position, 4},        {&F::autoFormatAlarm, 5},
                {&F::wifiStartMode, 2},       {&F::wifi_channel, 14},
                {&F::nodriving_day, 8},       {&F::speed_disp_unit, 2},
                {&F::summer_time, 2},         {&F::SaveDuration, 8},
                {&F::NightTime, 2},           {&F::vibrator, 4}};
            for (const auto& [field, count] : choices) {
                d.*field = pick(count);
            }
            for (uint8_t* adas : {&d.ADAS_Car, &d.ADAS_LDWS_Sens, &d.ADAS_FCWS_Sens, &d.ADAS_FCMD_Sens}) {
                *adas = static_cast<uint8_t>(pick(3));
            }
            d.ADAS_FCMD_Enable = static_cast<uint8_t>(pick(2));
            d.time_gmt = static_cast<int32_t>(pick(34));
            d.osd_speed_flag = static_cast<int32_t>(pick(2));
            d.CableVoltCorr = 1 + pick(7);
            const uint32_t timeouts[] = {0, 10, 30, 60, 120, 180, 300, 420, 600};
            d.always_mode_timeout = timeouts[pick(9)];
            const uint32_t volts[] = {0,     1,     10000, 11500, 11600, 11700, 11800,
                                      11900, 12000, 12100, 12200, 12300, 12400};
            d.sd_mem_always_reserved = volts[pick(13)];
            const uint32_t hours[] = {0, 3, 6, 9, 12, 24, 36, 48};
            d.sd_mem_motion_reserved = hours[pick(8)];
            for (int32_t* t : {&d.gsen_x_threshold, &d.gsen_y_threshold, &d.gsen_z_threshold,
                               &d.parkmode_x_threshold, &d.parkmode_y_threshold, &d.parkmode_z_threshold}) {
                *t = static_cast<int32_t>(5 + pick(146));
            }
            d.ledoff_rear = d.recordChannel == 1 ? 0 : pick(2);
            std::memset(d.szPlateNumber, 0, sizeof d.szPlateNumber);
            const char alnum[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
            for (uint32_t i = 0, len = pick(9); i < len; ++i) {
                d.szPlateNumber[i] = alnum[pick(62)];
            }
            d.sd_mem_always_ratio = 10 + pick(71);
            d.sd_mem_motion_ratio = 10 + pick(81 - d.sd_mem_always_ratio);
            d.sd_mem_event_ratio = 100 - d.sd_mem_always_ratio - d.sd_mem_motion_ratio;
            for (auto [field, least] : {std::pair{d.wifi_ssid, 5u}, std::pair{d.wifi_password, 8u}}) {
                std::memset(field, 0, 16);
                for (uint32_t i = 0, len = least + pick(17 - least); i < len; ++i) {
                    field[i] = static_cast<char>('!' + pick(94));
                }
            }
            const uint8_t ldws[2][10] = {{0, 10, 30, 40, 50, 60, 70, 80, 90, 100},
                                         {0, 10, 20, 25, 30, 40, 45, 50, 55, 60}};
            const uint8_t fcws[2][6] = {{0, 10, 30, 50, 70, 90}, {0, 10, 20, 30, 45, 55}};
            d.ADAS_Ldws_Speed = ldws[d.speed_disp_unit][pick(10)];
            d.ADAS_FCWS_Speed = fcws[d.speed_disp_unit][pick(6)];
            SealFileData(d);
            const _FILEDATA before = d;

            ORBSettingForVideoViewController video;
            ORBSettingForBasicViewController basic;
            ORBSettingForMotionViewController motion;
            ORBSettingForAudioViewController audio;
            ORBSettingForGpsViewController gps;
            ORBSettingForAuxViewController aux;
            ORBSettingForAdasViewController adas;
            ORBSettingControllerDelegate* panes[] = {&video, &basic, &gps, &aux, &motion, &adas, &audio};
            for (ORBSettingControllerDelegate* pane : panes) {
                pane->setFileData(&d);
                QVERIFY(pane->populate());
            }
            SealFileData(d);
            QVERIFY2(std::memcmp(&before, &d, sizeof d) == 0, qPrintable(QString("record %1").arg(n)));
        }
    }
};

QTEST_MAIN(SettingsPanesTest)
#include "SettingsPanesTest.moc"
