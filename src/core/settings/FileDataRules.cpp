// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/settings/FileDataRules.h"

#include <cstring>

namespace nura {

void SetDefaultFileData(_FILEDATA& r) {
    r.cfg_ver = 22310; // 0x5726
    r.disp_segment_mode = 1;
    r.sd_mem_always_ratio = 70;
    r.sd_mem_event_ratio = 10;
    r.sd_mem_motion_ratio = 20;
    r.sd_mem_always_reserved = 12100;
    r.sd_mem_event_reserved = 0;
    r.sd_mem_motion_reserved = 0;
    r.aud_enable = 3;
    r.aud_codec_type = 0;
    r.aud_sampling_freq = 1;
    r.aud_bitrate = 1;
    r.aud_input_vol = 3;
    r.aud_output_vol = 2;
    r.vid_enc_res = 0;
    r.vid_enc_bitrate = 1;
    r.vid_framerate = 0;
    r.vid_brightness = 2;
    r.vid_contrast = 2;
    r.vid_saturation = 128;
    r.vid_sharpness = 2;
    r.vid_hue = 2;
    r.gsen_x_threshold = 45;
    r.gsen_y_threshold = 45;
    r.gsen_z_threshold = 45;
    r.always_mode_timeout = 10;
    r.parkmode_x_threshold = 8;
    r.parkmode_y_threshold = 8;
    r.parkmode_z_threshold = 8;
    r.motion1080pCValue = 3;
    r.motion720pCValue = 3;
    r.motionBlock = 96;
    r.high_temp_threshold = 97;
    r.high_temp_duration = 3600;
    r.safe_temp_threshold = 92;
    r.safe_temp_duration = 60;
    r.composite_mode = 0;
    r.osd_option = 0;
    r.osd_speed_flag = 1;
    r.osd_plate_flag = 0;
    r.plate_number = 0;
    r.speed_disp_unit = 1;
    r.nodriving_day = 0;
    r.auto_drive_in_mode_on = 1;
    r.auto_park_in_mode_on = 1;
    r.motion_detect_mode_on = 1;
    r.event_only_mode_on = 0;
    r.g_sensor_enable = 1;
    r.audio_mux_enable = 1;
    r.safe_temp_mode_on = 1;
    r.alarm_ontime_flag = 1;
    r.voiceEnable = 1;
    r.drivingSecurity = 60;
    r.parkingSecurity = 20;
    r.SaveDuration = 1;
    r.MemConfig = 176;
    r.BrightnessFixed = 3000;
    r.DayTime = 1;
    r.NightTime = 0;
    r.ledoff = 0;
    r.Gamma = 0;
    std::memset(r.szPlateNumber, 0, sizeof r.szPlateNumber);
    std::memcpy(r.szPlateNumber, "Nura", 4);
    r.vid_enc_bitrate_R = 1;
    r.vid_brightness_R = 2;
    r.vid_sharpness_R = 2;
    r.lcd_autopoweroff = 2;
    r.lcd_brightness = 2;
    r.lcd_screensaver = 0;
    r.parking_rear_off = 0;
    r.sd2_mem_always_ratio = 1;
    r.sd2_mem_event_ratio = 98;
    r.sd2_mem_motion_ratio = 1;
    r.flip_video = 0;
    r.parking_alarm = 1;
    r.rear_fps = 0;
    r.motion_zone = 0;
    r.motionBlock_Rear = 96;
    r.ledoff_rear = 0;
    r.always_mode_recording_time = 1;
    r.pip_position = 0;
    r.always_motion = 0;
    r.lcd_brightness_night = 1;
    r.size_rear = 0;
    r.front_cpl_use = 0;
    r.rear_cpl_use = 0;
    std::memset(r.wifi_ssid, 0, sizeof r.wifi_ssid);
    std::memcpy(r.wifi_ssid, "NuraA", 5);
    std::memset(r.wifi_password, 0, sizeof r.wifi_password);
    std::memcpy(r.wifi_password, "58205820", 8);
    r.CableVoltCorr = 4;
    r.autoFormatAlarm = 2;
    r.ADAS_Car = 0;
    r.ADAS_Ldws_Speed = 30;
    r.ADAS_FCWS_Speed = 30;
    r.ADAS_FCMD_Enable = 1;
    r.ADAS_LDWS_Sens = 2;
    r.ADAS_FCWS_Sens = 2;
    r.ADAS_FCMD_Sens = 2;
    r.vide_wdr_enable = 1;
    r.ParkingMode = 0;
    r.En_SuperNightVision = 0;
    r.wifi_channel = 0;
    r.vibrator = 1;
    r.viewAngle = 0;
    r.recordChannel = 0;
    r.LDW_width_L = 1.0f;
    r.LDW_width_R = 1.0f;
    r.LaneWidth = 4;
    r.ADAS_uFCWS_Sense = 4;
    r.ADAS_HeadwaySensitivity = 1.5f;
    r.ADAS_SafeDistance = 1.25f;
    r.ADAS_cameraHeight = 1.35f;
    r.wifiStartMode = 0;
    std::memset(r.dummy00, 0, sizeof r.dummy00);
    r.debug_mode = 1;
}

uint16_t FileDataChecksum(const _FILEDATA& record) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(&record);
    uint16_t x = 0;
    for (std::size_t offset = 4; offset < kFileDataSize; offset += 4) {
        x ^= static_cast<uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
    }
    return x;
}

void SealFileData(_FILEDATA& record) {
    record.osd_plate_flag = record.szPlateNumber[0] != 0 ? 1 : 0;
    record.checksum = 0;
    record.checksum = FileDataChecksum(record);
}

bool FileDataChecksumMatches(const _FILEDATA& record) {
    return record.checksum == FileDataChecksum(record);
}

} // namespace nura
