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
#include "ui/strings/InfoPlist.h"
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
    void basicShowsPresetsAndCustomValues() {
        _FILEDATA d = defaults();
        d.parkmode_x_threshold = 45;
        d.parkmode_y_threshold = 45;
        d.parkmode_z_threshold = 44;
        ORBSettingForBasicViewController pane;
        pane.setFileData(&d);
        QCOMPARE(pane.gsensorSensitivityDrivingSeg->selectedSegment(), 2);
        QCOMPARE(pane.drivingFields[0]->text(), QString("0.45"));
        QVERIFY(!pane.drivingFields[0]->isEnabled());
        QCOMPARE(pane.gsensorSensitivityParkingSeg->selectedSegment(), 5);
        QCOMPARE(pane.parkingFields[2]->text(), QString("0.44"));
        QVERIFY(pane.parkingFields[2]->isEnabled());

        // Choosing a preset shows its values; the typed custom ones are stored to the nearest hundredth,
        // read as validation reads them.
        clickSegment(*pane.gsensorSensitivityDrivingSeg, 0);
        QCOMPARE(pane.drivingFields[1]->text(), QString("0.65"));
        pane.parkingFields[0]->setText("0.29");
        pane.parkingFields[1]->setText("0.5x");
        pane.parkingFields[2]->setText("");
        QCOMPARE(pane.validateUserInput(), QString());
        QVERIFY(pane.populate());
        QCOMPARE(d.gsen_x_threshold, 65);
        QCOMPARE(d.gsen_z_threshold, 65);
        QCOMPARE(d.parkmode_x_threshold, 29);
        QCOMPARE(d.parkmode_y_threshold, 50);
        QCOMPARE(d.parkmode_z_threshold, 0);
        // What an empty field stored shows as empty again, and passes again.
        pane.setFileData(&d);
        QCOMPARE(pane.parkingFields[2]->text(), QString());
        QCOMPARE(pane.validateUserInput(), QString());

        pane.parkingFields[1]->setText("1.51");
        QVERIFY(pane.validateUserInput().contains("1.50"));
        QVERIFY(!pane.populate());
        QCOMPARE(d.parkmode_y_threshold, 50);
    }

    void basicMendsTheRecordAsShown() {
        _FILEDATA d = defaults();
        d.CableVoltCorr = 0;
        d.recordChannel = 1;
        d.ledoff_rear = 1;
        d.always_mode_timeout = 45;    // not a choice: shown as 30 s
        d.sd_mem_always_reserved = 10; // not a choice: shown as 12.0 V
        ORBSettingForBasicViewController pane;
        pane.setFileData(&d);
        QCOMPARE(d.CableVoltCorr, 4u);
        QCOMPARE(pane.cableVoltageLossSeg->selectedSegment(), 3);
        QCOMPARE(d.ledoff_rear, 0u);
        QVERIFY(!pane.rearLEDSeg->isEnabled());
        QVERIFY(pane.populate());
        QCOMPARE(d.always_mode_timeout, 30u);
        QCOMPARE(d.sd_mem_always_reserved, 12000u);
    }

    void basicWarnsOnEachChoiceOfExternalPower() {
        _FILEDATA d = defaults();
        d.sd_mem_always_reserved = 10000;
        ORBSettingForBasicViewController pane;
        pane.setFileData(&d);
        pane.setFileData(&d);
        QCOMPARE(pane.powerVoltageCombo->currentIndex(), 2);
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

    void basicCarNumberKeepsEightBytes() {
        _FILEDATA d = defaults();
        ORBSettingForBasicViewController pane;
        pane.setFileData(&d);
        QCOMPARE(pane.carNumberField->text(), QString("Nura"));
        pane.carNumberField->setText("ABCDEFGHIJ");
        QVERIFY(pane.populate());
        QCOMPARE(QByteArray(d.szPlateNumber, 8), QByteArray("ABCDEFGH"));
        pane.carNumberField->setText("");
        QVERIFY(pane.populate());
        QCOMPARE(QByteArray(d.szPlateNumber, 8), QByteArray(8, '\0'));
    }

    void videoLabelsAndQualityWarning() {
        _FILEDATA d = defaults();
        d.Gamma = 1;
        d.flip_video = 2;
        ORBSettingForVideoViewController pane;
        pane.setFileData(&d);
        QCOMPARE(pane.rearfpsSeg->label(0), QString("25fps"));
        QCOMPARE(pane.rearfpsSeg->label(1), QString("15fps"));
        QCOMPARE(pane.flipVideoRealSeg->selectedSegment(), 0);
        d.Gamma = 0;
        pane.setFileData(&d);
        QCOMPARE(pane.rearfpsSeg->label(0), QString("30fps"));

        QVERIFY(pane.populate());
        QCOMPARE(d.flip_video, 0u);
        QCOMPARE(takeAlerts(pane), 0);
        clickSegment(*pane.videoEncodingBitrate, 2);
        QVERIFY(pane.populate());
        QCOMPARE(d.vid_enc_bitrate, 2u);
        QCOMPARE(takeAlerts(pane), 1);
        QVERIFY(pane.populate()); // the same change again: already warned
        QCOMPARE(takeAlerts(pane), 0);
        clickSegment(*pane.videoEncodingBitrate, 1); // back to the quality read: nothing to warn about
        QVERIFY(pane.populate());
        QCOMPARE(takeAlerts(pane), 0);

        clickSegment(*pane.recordChannel, 1);
        d.ledoff_rear = 1;
        QVERIFY(pane.populate());
        QCOMPARE(d.recordChannel, 1u);
        QCOMPARE(d.ledoff_rear, 0u);
    }

    void motionZoneBits() {
        _FILEDATA d = defaults();
        d.motionBlock = 0;
        d.motionBlock_Rear = 0xFFFF;
        ORBSettingForMotionViewController pane;
        pane.setFileData(&d);
        for (int i = 0; i < kMotionZoneCount; ++i) {
            QVERIFY(pane.frontMotionBlockChk[static_cast<std::size_t>(i)]->isChecked());
            QVERIFY(!pane.rearMotionBlockChk[static_cast<std::size_t>(i)]->isChecked());
        }
        // The zone-to-bit order itself is pinned by the core tests; here the boxes reach the record.
        pane.frontMotionBlockChk[8]->setChecked(false);
        QVERIFY(pane.populate());
        QCOMPARE(d.motionBlock, 1u);
        QCOMPARE(d.motionBlock_Rear, 0xFFFu);
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
        QVERIFY(pane.populate());
        QCOMPARE(d.Brightness1, 20u);

        pane.voiceLangRadio->cell(13)->click();
        QCOMPARE(d.Brightness1, 13u); // written at once
        QVERIFY(!pane.malaysiaRadio->isChecked());
        pane.malaysiaRadio->click();
        QCOMPARE(d.Brightness1, 20u);
        QCOMPARE(pane.voiceLangRadio->selectedCell(), -1);
        pane.malaysiaRadio->click(); // clicking it again keeps it chosen
        QVERIFY(pane.malaysiaRadio->isChecked());

        d.Brightness1 = 19;
        pane.setFileData(&d);
        QCOMPARE(pane.voiceLangRadio->selectedCell(), 19);
        QVERIFY(!pane.malaysiaRadio->isChecked());
    }

    // Every pane shown and written back without an edit leaves the record's bytes as they were, for
    // records holding any of the panes' choices.

    // The slider's knobs give the three shares; each needs 10 % of the card, the continuous one first.
    void auxCardShares() {
        _FILEDATA d = defaults();
        ORBSettingForAuxViewController pane;
        pane.setFileData(&d);
        pane.setRatioLoValue(70);
        pane.setRatioHiValue(90);
        QCOMPARE(pane.alwaysField->text(), QString("70%"));
        QCOMPARE(pane.motionField->text(), QString("20%"));
        QCOMPARE(pane.eventField->text(), QString("10%"));
        QCOMPARE(pane.validateUserInput(), QString());
        QVERIFY(pane.populate());
        QCOMPARE(d.sd_mem_always_ratio, 70u);
        QCOMPARE(d.sd_mem_motion_ratio, 20u);
        QCOMPARE(d.sd_mem_event_ratio, 10u);
        screenshot(pane, "settings-aux.png");

        // The user's keys move the bound knob and the shares follow at once.
        pane.sdRatioSlider->setTrackingLoKnob(false);
        QTest::keyClick(pane.sdRatioSlider, Qt::Key_Right);
        QCOMPARE(pane.ratioHiValue(), 91);
        QCOMPARE(pane.eventField->text(), QString("9%"));
        QCOMPARE(pane.validateUserInput(), L("msg.sdcard_ratio_too_low"));
        QVERIFY(!pane.populate());
        QCOMPARE(d.sd_mem_event_ratio, 10u);

        pane.setRatioHiValue(50);
        pane.setRatioLoValue(9);
        QCOMPARE(pane.validateUserInput(), L("msg.sdcard_ratio_too_low"));
        QVERIFY(!L("msg.sdcard_ratio_too_low").isEmpty());

        // Shares that do not fit the card are brought onto the slider rather than wrapping around.
        d.sd_mem_always_ratio = 4000000000u;
        d.sd_mem_motion_ratio = 30;
        pane.setFileData(&d);
        QCOMPARE(pane.sdRatioSlider->integerLoValue(), 100);
        QCOMPARE(pane.sdRatioSlider->integerHiValue(), 100);
    }

    void auxWifiChecks() {
        _FILEDATA d = defaults();
        ORBSettingForAuxViewController pane;
        pane.setFileData(&d);
        QVERIFY(pane.populate()); // the factory name and password pass
        QCOMPARE(takeAlerts(pane), 0);

        pane.ssidLabel->setText("abcde");
        pane.passwordLabel->setText("12345678");
        QVERIFY(pane.populate());
        QCOMPARE(QByteArray(d.wifi_ssid, 16), QByteArray("abcde\0\0\0\0\0\0\0\0\0\0\0", 16));

        // Each rule is pinned by the validator's tests; here a short name and a password that is long
        // enough in characters but not ASCII both stop the save with a warning.
        const std::pair<QString, QString> refused[] = {{"abcd", "12345678"}, {"abcde", "1234\u00e95678"}};
        for (const auto& [name, password] : refused) {
            pane.ssidLabel->setText(name);
            pane.passwordLabel->setText(password);
            QVERIFY(!pane.populate());
            QCOMPARE(takeAlerts(pane), 1);
        }
        QCOMPARE(QByteArray(d.wifi_ssid, 5), QByteArray("abcde"));

        // A long name keeps its first 16 bytes, without a terminating zero.
        pane.ssidLabel->setText("ABCDEFGHIJKLMNOPQRST");
        pane.passwordLabel->setText("12345678");
        pane.wifiChannelCombo->setCurrentIndex(13);
        clickSegment(*pane.wifiStartModeSeg, 1);
        QVERIFY(pane.populate());
        QCOMPARE(QByteArray(d.wifi_ssid, 16), QByteArray("ABCDEFGHIJKLMNOP"));
        QCOMPARE(d.wifi_channel, 13u);
        QCOMPARE(d.wifiStartMode, 1u);
        pane.setFileData(&d);
        QCOMPARE(pane.ssidLabel->text(), QString("ABCDEFGHIJKLMNOP"));
        QCOMPARE(pane.wifiChannelCombo->currentText(), QString("  13"));
    }

    void auxMappedChoices() {
        _FILEDATA d = defaults();
        d.lcd_screensaver = 0;
        d.pip_position = 7;
        d.parking_rear_off = 1;
        d.Gamma = 1;
        ORBSettingForAuxViewController pane;
        pane.setFileData(&d);
        QCOMPARE(pane.lcdScreenSaverSeg->selectedSegment(), 1);
        QCOMPARE(pane.pipPositionRadio->selectedCell(), 3);
        QCOMPARE(pane.parkingRearOffSeg->selectedSegment(), 0);
        QCOMPARE(pane.gammaSeg->label(1), QString("50Hz"));
        QVERIFY(pane.populate());
        QCOMPARE(d.lcd_screensaver, 0u);
        QCOMPARE(d.pip_position, 0u);
        QCOMPARE(d.parking_rear_off, 1u);

        clickSegment(*pane.lcdScreenSaverSeg, 0);
        clickSegment(*pane.parkingRearOffSeg, 1);
        pane.pipPositionRadio->cell(0)->click();
        QVERIFY(pane.populate());
        QCOMPARE(d.lcd_screensaver, 1u);
        QCOMPARE(d.parking_rear_off, 0u);
        QCOMPARE(d.pip_position, 2u);

        // A stored choice the camera may know and this pane does not is left as it is.
        d.lcd_screensaver = 5;
        pane.setFileData(&d);
        QCOMPARE(pane.lcdScreenSaverSeg->selectedSegment(), -1);
        QVERIFY(pane.populate());
        QCOMPARE(d.lcd_screensaver, 5u);
    }

    void adasSpeedsInTheRecordsUnit() {
        _FILEDATA d = defaults();
        ORBSettingForAdasViewController pane;
        pane.setFileData(&d);
        QCOMPARE(pane.adasLdwsSpeedCombo->currentIndex(), 4);
        QCOMPARE(pane.adasLdwsSpeedCombo->currentText(), QString("30Mi/h"));
        screenshot(pane, "settings-adas.png");

        d.speed_disp_unit = 0;
        d.ADAS_Ldws_Speed = 60;
        d.ADAS_FCWS_Speed = 40;
        pane.setFileData(&d);
        QCOMPARE(pane.adasLdwsSpeedCombo->currentIndex(), 5);
        QCOMPARE(pane.adasLdwsSpeedCombo->currentText(), QString("60Km/h"));
        QCOMPARE(pane.adasFcwsSpeedSeg->selectedSegment(), 2);
        QCOMPARE(pane.adasFcwsSpeedSeg->label(2), QString("30Km/h"));
        pane.adasLdwsSpeedCombo->setCurrentIndex(0);
        clickSegment(*pane.adasVibratorSeg, 3);
        QVERIFY(pane.populate());
        QCOMPARE(d.ADAS_Ldws_Speed, uint8_t(0));
        QCOMPARE(d.ADAS_FCWS_Speed, uint8_t(30));
        QCOMPARE(d.vibrator, 3u);
    }

    void gpsTimeZoneAndUnitReachTheAdasPane() {
        _FILEDATA d = defaults();
        d.time_gmt = 14;
        d.summer_time = 5;
        d.SaveDuration = 4;
        d.nodriving_day = 7;
        d.speed_disp_unit = 0;
        d.ADAS_Ldws_Speed = 50; // 50 km/h
        d.ADAS_FCWS_Speed = 70; // 70 km/h
        ORBSettingForGpsViewController gps;
        gps.setFileData(&d);
        QCOMPARE(gps.timeGmtCombo->currentText(), QString("00:00"));
        QCOMPARE(gps.saveDurationSeg->label(gps.saveDurationSeg->selectedSegment()),
                 InfoPlist::localizedCount("nSecond_fmt", 10));
        QCOMPARE(gps.drivingDaySeg->label(gps.drivingDaySeg->selectedSegment()), L("sun"));
        QVERIFY(gps.summerTimeChk->isChecked());
        screenshot(gps, "settings-gps.png");

        gps.timeGmtCombo->setCurrentIndex(8);
        QCOMPARE(gps.timeGmtCombo->currentText(), QString("-04:30"));
        gps.summerTimeChk->setChecked(false);
        clickSegment(*gps.speedDisplayUnitSeg, 1);
        QVERIFY(gps.populate());
        QCOMPARE(d.time_gmt, 8);
        QCOMPARE(d.summer_time, 0u);
        QCOMPARE(d.speed_disp_unit, 1u);

        // The stored speed numbers stay; the ADAS pane now reads them in mi/h.
        ORBSettingForAdasViewController adas;
        adas.setFileData(&d);
        QCOMPARE(adas.adasLdwsSpeedCombo->currentText(), QString("50Mi/h"));
        QCOMPARE(adas.adasFcwsSpeedSeg->selectedSegment(), 2); // 70 is no mi/h choice
        QCOMPARE(adas.adasFcwsSpeedSeg->label(5), QString("55Mi/h"));

        // A zone outside the table selects nothing and is written back as it was.
        d.time_gmt = 40;
        gps.setFileData(&d);
        QCOMPARE(gps.timeGmtCombo->currentIndex(), -1);
        QVERIFY(gps.populate());
        QCOMPARE(d.time_gmt, 40);
    }

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
