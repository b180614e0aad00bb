#include "core/settings/FileDataRules.h"
#include "ui/settings/ORBCarNumberTextField.h"
#include "ui/settings/ORBSettingForAudioViewController.h"
#include "ui/settings/ORBSettingForBasicViewController.h"
#include "ui/settings/ORBSettingForMotionViewController.h"
#include "ui/settings/ORBSettingForVideoViewController.h"
#include "ui/settings/TKRadioMatrix.h"
#include "ui/settings/TKSegmentedControl.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>
#include <QtTest>

#include <cstring>
#include <random>

using namespace nura;

namespace {

_FILEDATA defaults() {
    _FILEDATA d{};
    SetDefaultFileData(d);
    return d;
}

// The warnings shown on the pane's window since the last call; they are closed.
int takeAlerts(QWidget& window) {
    int shown = 0;
    for (QMessageBox* box : window.findChildren<QMessageBox*>()) {
        if (box->isVisible()) {
            ++shown;
        }
        box->close();
        delete box;
    }
    return shown;
}

void clickSegment(TKSegmentedControl& control, int segment) {
    control.findChildren<QAbstractButton*>().at(segment)->click();
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
        const std::pair<int, uint32_t> zones[] = {{0, 256}, {8, 1}, {4, 16}};
        for (const auto& [zone, mask] : zones) {
            for (QCheckBox* box : pane.frontMotionBlockChk) {
                box->setChecked(true);
            }
            pane.frontMotionBlockChk[static_cast<std::size_t>(zone)]->setChecked(false);
            QVERIFY(pane.populate());
            QCOMPARE(d.motionBlock, mask);
            QCOMPARE(d.motionBlock_Rear, 0xFFFu);
        }
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
    void randomRecordsRoundTripUnchanged() {
        std::mt19937 random(20261206);
        auto pick = [&random](uint32_t count) { return static_cast<uint32_t>(random() % count); };
        for (int n = 0; n < 1000; ++n) {
            _FILEDATA d;
            auto* bytes = reinterpret_cast<unsigned char*>(&d);
            for (std::size_t i = 0; i < sizeof d; ++i) {
                bytes[i] = static_cast<unsigned char>(random());
            }
            const uint32_t timeouts[] = {0, 10, 30, 60, 120, 180, 300, 420, 600};
            d.always_mode_timeout = timeouts[pick(9)];
            d.g_sensor_enable = pick(2);
            for (int32_t* t : {&d.gsen_x_threshold, &d.gsen_y_threshold, &d.gsen_z_threshold,
                               &d.parkmode_x_threshold, &d.parkmode_y_threshold, &d.parkmode_z_threshold}) {
                *t = static_cast<int32_t>(5 + pick(146));
            }
            d.ledoff = pick(2);
            d.recordChannel = pick(2);
            d.ledoff_rear = d.recordChannel == 1 ? 0 : pick(2);
            std::memset(d.szPlateNumber, 0, sizeof d.szPlateNumber);
            const char alnum[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
            for (uint32_t i = 0, len = pick(9); i < len; ++i) {
                d.szPlateNumber[i] = alnum[pick(62)];
            }
            const uint32_t volts[] = {0,     1,     10000, 11500, 11600, 11700, 11800,
                                      11900, 12000, 12100, 12200, 12300, 12400};
            d.sd_mem_always_reserved = volts[pick(13)];
            const uint32_t hours[] = {0, 3, 6, 9, 12, 24, 36, 48};
            d.sd_mem_motion_reserved = hours[pick(8)];
            d.sd_mem_event_reserved = pick(2);
            d.CableVoltCorr = 1 + pick(7);
            d.vid_enc_bitrate = pick(3);
            d.vid_enc_bitrate_R = pick(3);
            d.vid_brightness = pick(5);
            d.vid_brightness_R = pick(5);
            d.flip_video = pick(2);
            d.rear_fps = pick(2);
            d.front_cpl_use = pick(4);
            d.rear_cpl_use = pick(3);
            d.En_SuperNightVision = pick(2);
            d.viewAngle = pick(2);
            d.motion720pCValue = pick(6);
            d.motion1080pCValue = pick(6);
            d.motionBlock = pick(0x1000);
            d.motionBlock_Rear = pick(0x1000);
            d.ParkingMode = pick(2);
            d.aud_input_vol = pick(4);
            d.aud_output_vol = pick(4);
            d.alarm_ontime_flag = pick(2);
            d.Brightness1 = pick(21);
            SealFileData(d);
            const _FILEDATA before = d;

            ORBSettingForVideoViewController video;
            ORBSettingForBasicViewController basic;
            ORBSettingForMotionViewController motion;
            ORBSettingForAudioViewController audio;
            ORBSettingControllerDelegate* panes[] = {&video, &basic, &motion, &audio};
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
