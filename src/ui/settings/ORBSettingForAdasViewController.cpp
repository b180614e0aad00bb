// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/settings/ORBSettingForAdasViewController.h"

#include "core/settings/SettingChoices.h"
#include "ui/settings/ChoiceControls.h"
#include "ui/settings/TKSegmentedControl.h"
#include "ui/strings/InfoPlist.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QVBoxLayout>

namespace nura {

namespace {

// Choice 0 turns the warning off; the others are the speed number with its unit.
QStringList speedLabels(const ValueChoiceTable& table, uint32_t speedUnit) {
    const QString unit = speedUnit == kSpeedUnitMile ? QStringLiteral("Mi/h") : QStringLiteral("Km/h");
    QStringList labels = {L("setting.aux.auto_format_notuse")};
    for (int i = 1; i < table.size(); ++i) {
        labels << QString::number(table.valueAt(i)) + unit;
    }
    return labels;
}

uint8_t segmentByte(const TKSegmentedControl& control, uint8_t stored) {
    return static_cast<uint8_t>(segmentValue(control, stored));
}

} // namespace

ORBSettingForAdasViewController::ORBSettingForAdasViewController(QWidget* parent) : QWidget(parent) {
    setWindowTitle(L("setting.adas"));
    auto* grid = new QGridLayout(this);
    const QStringList sensitivity = {labelWith("0(%@)", "insensitive"), QStringLiteral("1"),
                                     labelWith("2(%@)", "sensitive")};
    adasCarSeg = makeSegments(
        {L("setting.adas.vehicle_sedan"), L("setting.adas.vehicle_suv"), L("setting.adas.vehicle_truck")},
        this);
    adasLdwsSensSeg = makeSegments(sensitivity, this);
    adasLdwsSpeedCombo = new QComboBox(this);
    adasFcwsSensSeg = makeSegments(sensitivity, this);
    adasFcwsSpeedSeg = new TKSegmentedControl(this);
    adasFcmdEnableSeg = makeSegments({L("setting.aux.auto_format_notuse"), L("use")}, this);
    adasFcmdSensSeg = makeSegments(sensitivity, this);
    adasVibratorSeg = makeSegments({L("setting.adas.vibrator.notuse"), L("setting.adas.vibrator.all"),
                                    L("setting.adas.vibrator.level"), L("setting.adas.vibrator.speed")},
                                   this);
    changeSpeed(0);

    const std::pair<const char*, QWidget*> boxes[] = {
        {"setting.adas.vehicle", adasCarSeg},
        {"setting.adas.vibrator", adasVibratorSeg},
        {"setting.adas.ldws_sensitivity", adasLdwsSensSeg},
        {"setting.adas.ldws_speed", adasLdwsSpeedCombo},
        {"setting.adas.fcws_sensitivity", adasFcwsSensSeg},
        {"setting.adas.fcws_speed", adasFcwsSpeedSeg},
        {"setting.adas.fcmd_enable", adasFcmdEnableSeg},
        {"setting.adas.fcmd_enable_sensitivity", adasFcmdSensSeg},
    };
    int cell = 0;
    for (const auto& [key, control] : boxes) {
        auto* box = makeGroup(key, this);
        control->setParent(box);
        (new QVBoxLayout(box))->addWidget(control);
        grid->addWidget(box, cell / 2, cell % 2);
        ++cell;
    }
    grid->setRowStretch(grid->rowCount(), 1);
}

void ORBSettingForAdasViewController::changeSpeed(uint32_t speedUnit) {
    FillComboBox(*adasLdwsSpeedCombo, speedLabels(ldwsSpeedChoices(speedUnit), speedUnit));
    FillSegments(*adasFcwsSpeedSeg, speedLabels(fcwsSpeedChoices(speedUnit), speedUnit));
}

void ORBSettingForAdasViewController::setFileData(_FILEDATA* record) {
    m_fileData = record;
    if (record) {
        changeSpeed(record->speed_disp_unit);
    }
    displayFileData();
}

void ORBSettingForAdasViewController::displayFileData() {
    const _FILEDATA* d = m_fileData;
    if (!d) {
        return;
    }
    selectSegmentFor(*adasCarSeg, d->ADAS_Car);
    selectSegmentFor(*adasLdwsSensSeg, d->ADAS_LDWS_Sens);
    selectSegmentFor(*adasFcwsSensSeg, d->ADAS_FCWS_Sens);
    selectSegmentFor(*adasFcmdEnableSeg, d->ADAS_FCMD_Enable);
    selectSegmentFor(*adasFcmdSensSeg, d->ADAS_FCMD_Sens);
    selectSegmentFor(*adasVibratorSeg, d->vibrator);
    adasLdwsSpeedCombo->setCurrentIndex(ldwsSpeedChoices(d->speed_disp_unit).indexOf(d->ADAS_Ldws_Speed));
    adasFcwsSpeedSeg->setSelectedSegment(fcwsSpeedChoices(d->speed_disp_unit).indexOf(d->ADAS_FCWS_Speed));
}

bool ORBSettingForAdasViewController::populate() {
    _FILEDATA* d = m_fileData;
    if (!d) {
        return false;
    }
    d->ADAS_Car = segmentByte(*adasCarSeg, d->ADAS_Car);
    d->ADAS_LDWS_Sens = segmentByte(*adasLdwsSensSeg, d->ADAS_LDWS_Sens);
    d->ADAS_FCWS_Sens = segmentByte(*adasFcwsSensSeg, d->ADAS_FCWS_Sens);
    d->ADAS_FCMD_Enable = segmentByte(*adasFcmdEnableSeg, d->ADAS_FCMD_Enable);
    d->ADAS_FCMD_Sens = segmentByte(*adasFcmdSensSeg, d->ADAS_FCMD_Sens);
    d->vibrator = segmentValue(*adasVibratorSeg, d->vibrator);
    if (adasLdwsSpeedCombo->currentIndex() >= 0) {
        d->ADAS_Ldws_Speed = static_cast<uint8_t>(
            ldwsSpeedChoices(d->speed_disp_unit).valueAt(adasLdwsSpeedCombo->currentIndex()));
    }
    if (adasFcwsSpeedSeg->selectedSegment() >= 0) {
        d->ADAS_FCWS_Speed = static_cast<uint8_t>(
            fcwsSpeedChoices(d->speed_disp_unit).valueAt(adasFcwsSpeedSeg->selectedSegment()));
    }
    return true;
}

} // namespace nura
