// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/settings/ORBSettingForVideoViewController.h"

#include "ui/settings/ChoiceControls.h"
#include "ui/settings/TKSegmentedControl.h"
#include "ui/strings/InfoPlist.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

namespace nura {

ORBSettingForVideoViewController::ORBSettingForVideoViewController(QWidget* parent) : QWidget(parent) {
    setWindowTitle(L("setting.video"));
    auto* grid = new QGridLayout(this);
    const QStringList quality = {L("setting.video.quality_normal"), L("setting.video.quality_high"),
                                 L("setting.video.quality_highest")};
    const QStringList brightness = {QStringLiteral("1"), QStringLiteral("2"), labelWith("3(%@)", "default"),
                                    QStringLiteral("4"), QStringLiteral("5")};
    int row = 0;
    auto add = [this, grid, &row](const char* key, TKSegmentedControl*& control, const QStringList& labels,
                                  int column, const char* labelKey = nullptr) {
        auto* box = makeGroup(key, this);
        auto* inner = new QHBoxLayout(box);
        if (labelKey) {
            inner->addWidget(new QLabel(L(labelKey), box));
        }
        control = makeSegments(labels, box);
        inner->addWidget(control, 1);
        grid->addWidget(box, row, column);
        if (column == 1) {
            ++row;
        }
    };
    add("setting.video.front_quality", videoEncodingBitrate, quality, 0);
    add("setting.video.rear_quality", videoEncodingBitrateRear, quality, 1);
    add("setting.video.front_setting", videoBrightness, brightness, 0, "brightness");
    add("setting.video.rear_setting", videoBrightnessRear, brightness, 1, "brightness");
    add("setting.video.rear_reversal", flipVideoRealSeg, {L("unuse"), L("use")}, 0);
    add("setting.video.rear_fps", rearfpsSeg, {QStringLiteral("30fps"), QStringLiteral("15fps")}, 1);
    add("setting.video.front_tinting", frontTinting,
        {L("cpl_unuse"), L("cpl_use"), L("light_tinting"), L("dark_tinting")}, 0);
    add("setting.video.rear_tinting", rearTinting, {L("unuse"), L("light_tinting"), L("dark_tinting")}, 1);
    add("setting.motion.night_vision", wdr,
        {L("setting.motion.night_vision_notuse"), L("setting.motion.night_vision_use")}, 0);
    add("setting.video.viewangle", viewAngle,
        {L("setting.video.viewangle_standard"), L("setting.video.viewangle_adas")}, 1);
    add("setting.video.channel", recordChannel, {L("setting.video.channel_2"), L("setting.video.channel_1")},
        0);
    auto* guide = new QLabel(L("setting.video.cpl_filter_use"), this);
    guide->setWordWrap(true);
    grid->addWidget(guide, row, 1);
    grid->setRowStretch(row + 1, 1);
}

void ORBSettingForVideoViewController::setFileData(_FILEDATA* record) {
    m_fileData = record;
    displayFileData();
}

void ORBSettingForVideoViewController::displayFileData() {
    const _FILEDATA* d = m_fileData;
    if (!d) {
        return;
    }
    selectSegmentFor(*videoEncodingBitrate, d->vid_enc_bitrate);
    selectSegmentFor(*videoBrightness, d->vid_brightness);
    selectSegmentFor(*videoEncodingBitrateRear, d->vid_enc_bitrate_R);
    selectSegmentFor(*videoBrightnessRear, d->vid_brightness_R);
    flipVideoRealSeg->setSelectedSegment(d->flip_video == 1 ? 1 : 0);
    // The full rate follows the mains frequency the camera is set to.
    rearfpsSeg->setLabel(0, d->Gamma == 0 ? QStringLiteral("30fps") : QStringLiteral("25fps"));
    rearfpsSeg->setSelectedSegment(d->rear_fps == 1 ? 1 : 0);
    selectSegmentFor(*frontTinting, d->front_cpl_use);
    selectSegmentFor(*rearTinting, d->rear_cpl_use);
    selectSegmentFor(*wdr, d->En_SuperNightVision);
    selectSegmentFor(*viewAngle, d->viewAngle);
    selectSegmentFor(*recordChannel, d->recordChannel);
    m_frontVideoQuality = d->vid_enc_bitrate;
    m_rearVideoQuality = d->vid_enc_bitrate_R;
    m_warnedQuality.reset();
}

bool ORBSettingForVideoViewController::populate() {
    _FILEDATA* d = m_fileData;
    if (!d) {
        return false;
    }
    d->vid_enc_bitrate = segmentValue(*videoEncodingBitrate, d->vid_enc_bitrate);
    d->vid_brightness = segmentValue(*videoBrightness, d->vid_brightness);
    d->vid_enc_bitrate_R = segmentValue(*videoEncodingBitrateRear, d->vid_enc_bitrate_R);
    d->vid_brightness_R = segmentValue(*videoBrightnessRear, d->vid_brightness_R);
    d->flip_video = flipVideoRealSeg->selectedSegment() == 1 ? 1 : 0;
    d->rear_fps = rearfpsSeg->selectedSegment() == 1 ? 1 : 0;
    d->front_cpl_use = segmentValue(*frontTinting, d->front_cpl_use);
    d->rear_cpl_use = segmentValue(*rearTinting, d->rear_cpl_use);
    d->En_SuperNightVision = segmentValue(*wdr, d->En_SuperNightVision);
    d->viewAngle = segmentValue(*viewAngle, d->viewAngle);
    d->recordChannel = segmentValue(*recordChannel, d->recordChannel);
    const std::pair<uint32_t, uint32_t> quality{d->vid_enc_bitrate, d->vid_enc_bitrate_R};
    // Warned once per change: writing the same choice again (a save after a failed one) says nothing more.
    if (quality != std::pair{m_frontVideoQuality, m_rearVideoQuality} && quality != m_warnedQuality) {
        ShowAlertSheet(window(), QStringLiteral("Warning"), L("msg.video_quality_warning"));
        m_warnedQuality = quality;
    }
    if (d->recordChannel == 1) {
        d->ledoff_rear = 0;
    }
    return true;
}

} // namespace nura
