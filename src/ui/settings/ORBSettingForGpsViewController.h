// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The GPS pane: the weekly alarm's weekday, the speed unit, the time zone and summer time, the speed in the
// video overlay, how often the route is saved, and GPS in parking mode.

#include "ui/settings/ORBSettingControllerDelegate.h"

#include <QWidget>

class QCheckBox;
class QComboBox;

namespace nura {

class TKSegmentedControl;

class ORBSettingForGpsViewController : public QWidget, public ORBSettingControllerDelegate {
    Q_OBJECT

public:
    explicit ORBSettingForGpsViewController(QWidget* parent = nullptr);

    void setFileData(_FILEDATA* record) override;
    bool populate() override;
    void displayFileData();

    TKSegmentedControl* drivingDaySeg;
    TKSegmentedControl* speedDisplayUnitSeg;
    QComboBox* timeGmtCombo;
    QCheckBox* summerTimeChk;
    TKSegmentedControl* osdSpeedDisplaySeg;
    TKSegmentedControl* saveDurationSeg;
    TKSegmentedControl* nightTimeSeg;

private:
    _FILEDATA* m_fileData = nullptr;
};

} // namespace nura
