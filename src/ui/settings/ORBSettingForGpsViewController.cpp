// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/settings/ORBSettingForGpsViewController.h"

#include "core/settings/TimeZone.h"
#include "ui/settings/ChoiceControls.h"
#include "ui/settings/TKSegmentedControl.h"
#include "ui/strings/InfoPlist.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

#include <cstdlib>

namespace nura {

namespace {

// "+05:45" for an offset stored as hours x 100 + minutes.
QString offsetLabel(int32_t offset) {
    const int magnitude = std::abs(offset);
    return QStringLiteral("%1%2:%3")
        .arg(offset < 0 ? QStringLiteral("-") : (offset == 0 ? QString() : QStringLiteral("+")))
        .arg(magnitude / 100, 2, 10, QLatin1Char('0'))
        .arg(magnitude % 100, 2, 10, QLatin1Char('0'));
}

QLabel* guide(const char* key, QWidget* parent) {
    auto* label = new QLabel(L(key), parent);
    label->setObjectName(QString::fromLatin1(key));
    label->setWordWrap(true);
    return label;
}

} // namespace

ORBSettingForGpsViewController::ORBSettingForGpsViewController(QWidget* parent) : QWidget(parent) {
    setWindowTitle(L("setting.gps"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(guide("setting.gps.gps_guide1", this));

    auto* day = makeGroup("setting.gps.weekly_alarm", this);
    QStringList days;
    for (const char* key : {"none", "mon", "tue", "wed", "thu", "fri", "sat", "sun"}) {
        days << L(key);
    }
    drivingDaySeg = makeSegments(days, day);
    (new QVBoxLayout(day))->addWidget(drivingDaySeg);
    layout->addWidget(day);

    auto* unit = makeGroup("setting.gps.speed_display", this);
    speedDisplayUnitSeg = makeSegments({QStringLiteral("Km/h"), QStringLiteral("Mi/h")}, unit);
    auto* unitLayout = new QVBoxLayout(unit);
    unitLayout->addWidget(speedDisplayUnitSeg);
    unitLayout->addWidget(guide("setting.gps.gps_speed_guide1", unit));

    const QStringList offOn = {L("off"), L("on")};
    auto* osd = makeGroup("setting.gps.osd_speed_display", this);
    osdSpeedDisplaySeg = makeSegments(offOn, osd);
    (new QVBoxLayout(osd))->addWidget(osdSpeedDisplaySeg);
    auto* row = new QHBoxLayout;
    row->addWidget(unit);
    row->addWidget(osd);
    layout->addLayout(row);

    auto* time = makeGroup("setting.gps.timezone_setting", this);
    auto* timeLayout = new QGridLayout(time);
    timeGmtCombo = new QComboBox(time);
    QStringList offsets;
    for (const int32_t offset : TimeZoneOffsetTable) {
        offsets << offsetLabel(offset);
    }
    FillComboBox(*timeGmtCombo, offsets);
    summerTimeChk = new QCheckBox(L("summerTime"), time);
    timeLayout->addWidget(timeGmtCombo, 0, 0);
    timeLayout->addWidget(summerTimeChk, 0, 1);
    timeLayout->setColumnStretch(2, 1);
    timeLayout->addWidget(guide("setting.gps.gps_time_guide1", time), 1, 0, 1, 3);
    layout->addWidget(time);

    auto* save = makeGroup("setting.gps.driving_route_info_saving_interval", this);
    QStringList durations = {L("none")};
    for (const int seconds : {1, 3, 5, 10, 15, 30, 60}) {
        durations << InfoPlist::localizedCount("nSecond_fmt", seconds);
    }
    saveDurationSeg = makeSegments(durations, save);
    (new QVBoxLayout(save))->addWidget(saveDurationSeg);
    layout->addWidget(save);

    auto* night = makeGroup("setting.gps.gps_on_parking_mode", this);
    nightTimeSeg = makeSegments(offOn, night);
    auto* nightLayout = new QVBoxLayout(night);
    nightLayout->addWidget(nightTimeSeg);
    nightLayout->addWidget(guide("setting.gps.gps_guide2", night));
    layout->addWidget(night);
    layout->addStretch(1);
}

void ORBSettingForGpsViewController::setFileData(_FILEDATA* record) {
    m_fileData = record;
    displayFileData();
}

void ORBSettingForGpsViewController::displayFileData() {
    const _FILEDATA* d = m_fileData;
    if (!d) {
        return;
    }
    selectSegmentFor(*drivingDaySeg, d->nodriving_day);
    selectSegmentFor(*speedDisplayUnitSeg, d->speed_disp_unit);
    // An index outside the table (-1 is "unknown") selects nothing and is kept.
    timeGmtCombo->setCurrentIndex(d->time_gmt >= 0 && d->time_gmt < timeGmtCombo->count() ? d->time_gmt : -1);
    summerTimeChk->setChecked(d->summer_time != 0);
    selectSegmentFor(*osdSpeedDisplaySeg, static_cast<uint32_t>(d->osd_speed_flag));
    selectSegmentFor(*saveDurationSeg, d->SaveDuration);
    selectSegmentFor(*nightTimeSeg, d->NightTime);
}

bool ORBSettingForGpsViewController::populate() {
    _FILEDATA* d = m_fileData;
    if (!d) {
        return false;
    }
    d->nodriving_day = segmentValue(*drivingDaySeg, d->nodriving_day);
    d->speed_disp_unit = segmentValue(*speedDisplayUnitSeg, d->speed_disp_unit);
    d->osd_speed_flag =
        static_cast<int32_t>(segmentValue(*osdSpeedDisplaySeg, static_cast<uint32_t>(d->osd_speed_flag)));
    d->SaveDuration = segmentValue(*saveDurationSeg, d->SaveDuration);
    d->NightTime = segmentValue(*nightTimeSeg, d->NightTime);
    if (timeGmtCombo->currentIndex() >= 0) {
        d->time_gmt = timeGmtCombo->currentIndex();
    }
    d->summer_time = summerTimeChk->isChecked() ? 1 : 0;
    return true;
}

} // namespace nura
