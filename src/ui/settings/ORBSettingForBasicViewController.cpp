// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/settings/ORBSettingForBasicViewController.h"

#include "core/settings/SettingChoices.h"
#include "ui/settings/ChoiceControls.h"
#include "ui/settings/ORBCarNumberTextField.h"
#include "ui/settings/TKSegmentedControl.h"
#include "ui/strings/InfoPlist.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleValidator>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QVBoxLayout>

namespace nura {

namespace {

QStringList presetLabels() {
    return {labelWith("1(%@)", "insensitive"),
            QStringLiteral("2"),
            QStringLiteral("3"),
            QStringLiteral("4"),
            labelWith("5(%@)", "sensitive"),
            L("setting.basic.customize")};
}

QLineEdit* thresholdField(QWidget* parent, const QString& name) {
    auto* field = new QLineEdit(parent);
    field->setObjectName(name);
    field->setMaximumWidth(70);
    return field;
}

} // namespace

ORBSettingForBasicViewController::ORBSettingForBasicViewController(QWidget* parent) : QWidget(parent) {
    setWindowTitle(L("setting.basic"));
    auto* layout = new QVBoxLayout(this);

    auto* waiting = makeGroup("setting.basic.auto_parking_waiting_time", this);
    alwaysModeTimeoutSeg = makeSegments(
        {L("unuse"), InfoPlist::localizedCount("nSecond_fmt", 10),
         InfoPlist::localizedCount("nSecond_fmt", 30), InfoPlist::localizedCount("nMinute_fmt", 1),
         InfoPlist::localizedCount("nMinute_fmt", 2), InfoPlist::localizedCount("nMinute_fmt", 3),
         InfoPlist::localizedCount("nMinute_fmt", 5), InfoPlist::localizedCount("nMinute_fmt", 7),
         InfoPlist::localizedCount("nMinute_fmt", 10)},
        waiting);
    (new QVBoxLayout(waiting))->addWidget(alwaysModeTimeoutSeg);
    layout->addWidget(waiting);

    gsensorEnableChk = new QCheckBox(L("setting.basic.enable_gsensor"), this);
    layout->addWidget(gsensorEnableChk);
    auto thresholdGroup = [this, layout](const char* key, TKSegmentedControl*& seg,
                                         std::array<QLineEdit*, 3>& fields, const QString& prefix) {
        auto* box = makeGroup(key, this);
        auto* grid = new QGridLayout(box);
        seg = makeSegments(presetLabels(), box);
        grid->addWidget(seg, 0, 0, 1, 6);
        const char* axes[] = {"X", "Y", "Z"};
        for (int i = 0; i < 3; ++i) {
            grid->addWidget(new QLabel(QString::fromLatin1(axes[i]), box), 1, 2 * i, Qt::AlignRight);
            fields[static_cast<std::size_t>(i)] = thresholdField(box, prefix + QString::fromLatin1(axes[i]));
            grid->addWidget(fields[static_cast<std::size_t>(i)], 1, 2 * i + 1);
        }
        layout->addWidget(box);
    };
    thresholdGroup("setting.basic.driving_impact_sensitivity", gsensorSensitivityDrivingSeg, drivingFields,
                   QStringLiteral("driving"));
    thresholdGroup("setting.basic.parking_impact_sensitivity", gsensorSensitivityParkingSeg, parkingFields,
                   QStringLiteral("parking"));

    auto* row = new QHBoxLayout;
    const QStringList ledLabels = {L("setting.basic.LED_use"), L("setting.basic.LED_notuse")};
    auto* front = makeGroup("setting.basic.front_LED_settings", this);
    frontLEDSeg = makeSegments(ledLabels, front);
    (new QVBoxLayout(front))->addWidget(frontLEDSeg);
    auto* rear = makeGroup("setting.basic.rear_LED_settings", this);
    rearLEDSeg = makeSegments(ledLabels, rear);
    (new QVBoxLayout(rear))->addWidget(rearLEDSeg);
    auto* plate = makeGroup("setting.basic.car_number_input", this);
    carNumberField = new ORBCarNumberTextField(plate);
    (new QVBoxLayout(plate))->addWidget(carNumberField);
    row->addWidget(front);
    row->addWidget(rear);
    row->addWidget(plate);
    layout->addLayout(row);

    auto* power = makeGroup("setting.basic.cutoff_voltage_setting", this);
    auto* powerGrid = new QGridLayout(power);
    powerVoltageCombo = new QComboBox(power);
    QStringList voltages = {L("unuse"), L("auto"), L("externpower")};
    for (int mv = 11500; mv <= 12400; mv += 100) {
        voltages << QStringLiteral("%1v / %2v").arg(mv / 1000.0, 0, 'f', 1).arg(mv / 500.0, 0, 'f', 1);
    }
    FillComboBox(*powerVoltageCombo, voltages);
    powerTimeCombo = new QComboBox(power);
    QStringList hours = {L("unuse")};
    for (int h : {3, 6, 9, 12, 24, 36, 48}) {
        hours << InfoPlist::localizedCount("nHour_fmt", h);
    }
    FillComboBox(*powerTimeCombo, hours);
    useExternalPowerChk = new QCheckBox(L("setting.basic.use_external_power"), power);
    auto* guide = new QLabel(L("setting.basic.power_guide"), power);
    guide->setWordWrap(true);
    powerGrid->addWidget(new QLabel(L("setting.basic.set_voltage"), power), 0, 0);
    powerGrid->addWidget(powerVoltageCombo, 0, 1);
    powerGrid->addWidget(new QLabel(L("setting.basic.set_timer"), power), 0, 2);
    powerGrid->addWidget(powerTimeCombo, 0, 3);
    powerGrid->addWidget(useExternalPowerChk, 1, 0, 1, 4);
    powerGrid->addWidget(guide, 2, 0, 1, 4);
    layout->addWidget(power);

    auto* loss = makeGroup("setting.basic.cable_voltage_loss", this);
    cableVoltageLossSeg =
        makeSegments({L("none"), QStringLiteral("0.1v"), QStringLiteral("0.2v"), QStringLiteral("0.3v"),
                      QStringLiteral("0.4v"), QStringLiteral("0.5v"), QStringLiteral("0.6v")},
                     loss);
    (new QVBoxLayout(loss))->addWidget(cableVoltageLossSeg);
    layout->addWidget(loss);
    layout->addStretch(1);

    connect(gsensorEnableChk, &QCheckBox::clicked, this, [this] { changeGsensorEnable(); });
    connect(gsensorSensitivityDrivingSeg, &TKSegmentedControl::activated, this,
            [this] { updateGsensorThreshold(); });
    connect(gsensorSensitivityParkingSeg, &TKSegmentedControl::activated, this,
            [this] { updateGsensorThreshold(); });
    connect(useExternalPowerChk, &QCheckBox::clicked, this, [this] { clickUseExternalPowerChk(); });
    // activated: only a user's choice warns, never a record being shown.
    connect(powerVoltageCombo, &QComboBox::activated, this,
            [this](int index) { powerVoltageSelected(index); });
}

void ORBSettingForBasicViewController::setFileData(_FILEDATA* record) {
    m_fileData = record;
    displayFileData();
}

void ORBSettingForBasicViewController::displayFileData() {
    _FILEDATA* d = m_fileData;
    if (!d) {
        return;
    }
    alwaysModeTimeoutSeg->setSelectedSegment(alwaysModeTimeoutChoices().indexOf(d->always_mode_timeout));
    gsensorEnableChk->setChecked(d->g_sensor_enable != 0);
    changeGsensorEnable();
    const int32_t driving[3] = {d->gsen_x_threshold, d->gsen_y_threshold, d->gsen_z_threshold};
    const int32_t parking[3] = {d->parkmode_x_threshold, d->parkmode_y_threshold, d->parkmode_z_threshold};
    gsensorSensitivityDrivingSeg->setSelectedSegment(
        thresholdPresetIndex(drivingThresholdPresets(), driving[0], driving[1], driving[2]));
    gsensorSensitivityParkingSeg->setSelectedSegment(
        thresholdPresetIndex(parkingThresholdPresets(), parking[0], parking[1], parking[2]));
    // An empty field stores 0, so a stored 0 shows as an empty field: shown as "0.00" it would be refused,
    // and the window could not save what it had saved itself.
    auto shown = [](int32_t hundredths) {
        return hundredths == 0 ? QString() : QString::fromStdString(thresholdText(hundredths));
    };
    for (std::size_t i = 0; i < 3; ++i) {
        drivingFields[i]->setText(shown(driving[i]));
        parkingFields[i]->setText(shown(parking[i]));
    }
    updateGsensorThreshold();
    selectSegmentFor(*frontLEDSeg, d->ledoff);
    if (d->recordChannel == 1) {
        d->ledoff_rear = 0;
        rearLEDSeg->setEnabled(false);
    } else {
        rearLEDSeg->setEnabled(true);
    }
    selectSegmentFor(*rearLEDSeg, d->ledoff_rear);
    m_shownPlate = QString::fromUtf8(readZeroPaddedText(d->szPlateNumber, sizeof d->szPlateNumber));
    carNumberField->setText(m_shownPlate);
    powerVoltageCombo->setCurrentIndex(powerVoltageChoices().indexOf(d->sd_mem_always_reserved));
    powerTimeCombo->setCurrentIndex(powerTimeChoices().indexOf(d->sd_mem_motion_reserved));
    updatePowerUI();
    if (d->CableVoltCorr == 0) {
        d->CableVoltCorr = 4;
    }
    selectSegmentFor(*cableVoltageLossSeg, d->CableVoltCorr - 1);
}

void ORBSettingForBasicViewController::changeGsensorEnable() {
    const bool on = gsensorEnableChk->isChecked();
    gsensorSensitivityDrivingSeg->setEnabled(on);
    gsensorSensitivityParkingSeg->setEnabled(on);
    for (std::size_t i = 0; i < 3; ++i) {
        drivingFields[i]->setEnabled(on);
        parkingFields[i]->setEnabled(on);
    }
}

void ORBSettingForBasicViewController::showThresholds(const std::array<QLineEdit*, 3>& fields,
                                                      const ValueChoiceTable& presets, int segment) {
    if (segment >= 0 && segment < kCustomThresholdIndex) {
        for (QLineEdit* field : fields) {
            field->setText(QString::fromStdString(thresholdText(presets.valueAt(segment))));
        }
    }
    for (QLineEdit* field : fields) {
        field->setEnabled(segment == kCustomThresholdIndex);
    }
}

void ORBSettingForBasicViewController::updateGsensorThreshold() {
    showThresholds(drivingFields, drivingThresholdPresets(), gsensorSensitivityDrivingSeg->selectedSegment());
    showThresholds(parkingFields, parkingThresholdPresets(), gsensorSensitivityParkingSeg->selectedSegment());
}

void ORBSettingForBasicViewController::updatePowerUI() {
    const bool external = m_fileData && m_fileData->sd_mem_event_reserved == 1;
    powerVoltageCombo->setEnabled(!external);
    powerTimeCombo->setEnabled(!external);
    useExternalPowerChk->setChecked(external);
}

void ORBSettingForBasicViewController::clickUseExternalPowerChk() {
    if (m_fileData) {
        m_fileData->sd_mem_event_reserved = useExternalPowerChk->isChecked() ? 1 : 0;
    }
    updatePowerUI();
}

void ORBSettingForBasicViewController::powerVoltageSelected(int index) {
    if (index == kExternalPowerVoltageIndex) {
        ShowAlertSheet(window(), QStringLiteral("Warning"), L("msg.use_external_power_10v"));
    }
}

void ORBSettingForBasicViewController::focus(QWidget* control) {
    QTimer::singleShot(0, control, [control] { control->setFocus(Qt::OtherFocusReason); });
    control->setFocus(Qt::OtherFocusReason);
}

QString ORBSettingForBasicViewController::validateUserInput() {
    const std::pair<TKSegmentedControl*, const std::array<QLineEdit*, 3>*> groups[] = {
        {gsensorSensitivityDrivingSeg, &drivingFields}, {gsensorSensitivityParkingSeg, &parkingFields}};
    for (const auto& [seg, fields] : groups) {
        if (seg->selectedSegment() != kCustomThresholdIndex) {
            continue;
        }
        for (QLineEdit* field : *fields) {
            if (auto message = ORBValidator::validateGsensorThreshold(field->text().toStdString())) {
                focus(field);
                return validationText(*message);
            }
        }
    }
    return {};
}

bool ORBSettingForBasicViewController::populate() {
    _FILEDATA* d = m_fileData;
    if (!d || !validateUserInput().isEmpty()) {
        return false;
    }
    d->always_mode_timeout =
        static_cast<uint32_t>(alwaysModeTimeoutChoices().valueAt(alwaysModeTimeoutSeg->selectedSegment()));
    d->g_sensor_enable = gsensorEnableChk->isChecked() ? 1 : 0;
    // A field that holds no number keeps the stored value (only a group on a preset can hold one, since a
    // custom group is validated).
    auto threshold = [](QLineEdit* field, int32_t stored) {
        return thresholdFromText(field->text().toStdString()).value_or(stored);
    };
    d->gsen_x_threshold = threshold(drivingFields[0], d->gsen_x_threshold);
    d->gsen_y_threshold = threshold(drivingFields[1], d->gsen_y_threshold);
    d->gsen_z_threshold = threshold(drivingFields[2], d->gsen_z_threshold);
    d->parkmode_x_threshold = threshold(parkingFields[0], d->parkmode_x_threshold);
    d->parkmode_y_threshold = threshold(parkingFields[1], d->parkmode_y_threshold);
    d->parkmode_z_threshold = threshold(parkingFields[2], d->parkmode_z_threshold);
    d->ledoff = segmentValue(*frontLEDSeg, d->ledoff);
    d->ledoff_rear = segmentValue(*rearLEDSeg, d->ledoff_rear);
    // An untouched field keeps the stored bytes as they are, even ones that are not UTF-8 text.
    if (carNumberField->text() != m_shownPlate) {
        writeZeroPaddedText(d->szPlateNumber, sizeof d->szPlateNumber, carNumberField->text().toStdString());
    }
    d->sd_mem_always_reserved =
        static_cast<uint32_t>(powerVoltageChoices().valueAt(powerVoltageCombo->currentIndex()));
    d->sd_mem_motion_reserved =
        static_cast<uint32_t>(powerTimeChoices().valueAt(powerTimeCombo->currentIndex()));
    d->sd_mem_event_reserved = useExternalPowerChk->isChecked() ? 1 : 0;
    if (cableVoltageLossSeg->selectedSegment() >= 0) {
        d->CableVoltCorr = static_cast<uint32_t>(cableVoltageLossSeg->selectedSegment()) + 1;
    }
    return true;
}

} // namespace nura
