// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Video pane: front and rear quality and brightness, rear reversal and frame rate, tinting, night
// vision, view angle and the recording channels.

#include "ui/settings/ORBSettingControllerDelegate.h"

#include <QWidget>

#include <optional>
#include <utility>

namespace nura {

class TKSegmentedControl;

class ORBSettingForVideoViewController : public QWidget, public ORBSettingControllerDelegate {
    Q_OBJECT

public:
    explicit ORBSettingForVideoViewController(QWidget* parent = nullptr);

    void setFileData(_FILEDATA* record) override;
    bool populate() override;
    void displayFileData();

    TKSegmentedControl* videoEncodingBitrate;
    TKSegmentedControl* videoBrightness;
    TKSegmentedControl* videoEncodingBitrateRear;
    TKSegmentedControl* videoBrightnessRear;
    TKSegmentedControl* flipVideoRealSeg;
    TKSegmentedControl* rearfpsSeg;
    TKSegmentedControl* frontTinting;
    TKSegmentedControl* rearTinting;
    TKSegmentedControl* wdr;
    TKSegmentedControl* viewAngle;
    TKSegmentedControl* recordChannel;

private:
    _FILEDATA* m_fileData = nullptr;
    // The qualities the record had when shown: a change is warned about once, when it is written.
    uint32_t m_frontVideoQuality = 0;
    uint32_t m_rearVideoQuality = 0;
    std::optional<std::pair<uint32_t, uint32_t>> m_warnedQuality;
};

} // namespace nura
