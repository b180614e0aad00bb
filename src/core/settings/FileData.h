// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// _FILEDATA: the camera's settings record, the whole of config.bin in the card's root.
// 500 bytes, little-endian, fields in the camera's own names and order.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>

namespace nura {

static_assert(std::endian::native == std::endian::little,
              "the record is read and written as it lies in memory");

// Every field sits on its natural alignment, so the layout has no padding without a packing attribute;
// the checks below hold the size and each offset to the camera's layout.
struct _FILEDATA {
    uint16_t cfg_ver;
    uint16_t checksum;
    uint32_t disp_segment_mode;
    uint32_t sd_mem_always_ratio;
    uint32_t sd_mem_event_ratio;
    uint32_t sd_mem_motion_ratio;
    uint32_t sd_mem_always_reserved; // power cut-off voltage in mV, or 0 / 1 for the special choices
    uint32_t sd_mem_event_reserved;  // 1 = external power source, cut-off disabled
    uint32_t sd_mem_motion_reserved; // power cut-off timer in hours, 0 = not used
    uint32_t aud_enable;
    uint32_t aud_codec_type;
    uint32_t aud_sampling_freq;
    uint32_t aud_bitrate;
    uint32_t aud_input_vol;
    uint32_t aud_output_vol;
    uint32_t vid_enc_res;
    uint32_t vid_enc_bitrate;
    uint32_t vid_framerate;
    uint32_t vid_brightness;
    uint32_t vid_contrast;
    uint32_t vid_saturation;
    uint32_t vid_sharpness;
    uint32_t vid_hue;
    int32_t gsen_x_threshold;
    int32_t gsen_y_threshold;
    int32_t gsen_z_threshold;
    uint32_t always_mode_timeout;
    int32_t parkmode_x_threshold;
    int32_t parkmode_y_threshold;
    int32_t parkmode_z_threshold;
    uint32_t motion1080pCValue; // rear motion sensitivity
    uint32_t motion720pCValue;  // front motion sensitivity
    uint32_t motionBlock;
    int32_t high_temp_threshold;
    uint32_t high_temp_duration;
    int32_t safe_temp_threshold;
    uint32_t safe_temp_duration;
    uint32_t composite_mode;
    uint32_t osd_option;
    int32_t osd_speed_flag;
    int32_t osd_plate_flag;
    uint32_t plate_number;
    uint32_t speed_disp_unit;
    int32_t time_gmt; // index into TimeZoneOffsetTable, -1 = unknown
    uint32_t summer_time;
    uint32_t nodriving_day;
    uint32_t auto_drive_in_mode_on;
    uint32_t auto_park_in_mode_on;
    uint32_t motion_detect_mode_on;
    uint32_t event_only_mode_on;
    uint32_t g_sensor_enable;
    uint32_t audio_mux_enable;
    uint32_t safe_temp_mode_on;
    uint32_t alarm_ontime_flag;
    uint32_t voiceEnable;
    uint32_t drivingSecurity;
    uint32_t parkingSecurity;
    uint32_t SaveDuration;
    uint32_t MemConfig;
    uint32_t BrightnessFixed;
    uint32_t DayTime;     // exposure by vehicle type
    uint32_t NightTime;   // GPS in parking mode
    uint32_t Brightness1; // voice guidance language
    uint32_t ledoff;
    uint32_t Gamma; // mains frequency: 0 = 60 Hz, 1 = 50 Hz
    char szPlateNumber[8];
    uint32_t vid_enc_bitrate_R;
    uint32_t vid_brightness_R;
    uint32_t vid_sharpness_R;
    uint32_t lcd_autopoweroff;
    uint32_t lcd_brightness;
    uint32_t lcd_screensaver;
    uint32_t parking_rear_off;
    uint32_t sd2_mem_always_ratio;
    uint32_t sd2_mem_event_ratio;
    uint32_t sd2_mem_motion_ratio;
    uint32_t flip_video;
    uint32_t parking_alarm;
    uint32_t rear_fps;
    uint32_t motion_zone;
    uint32_t motionBlock_Rear;
    uint32_t ledoff_rear;
    uint32_t always_mode_recording_time;
    uint32_t pip_position;
    uint32_t always_motion;
    uint32_t lcd_brightness_night;
    uint32_t size_rear;
    uint32_t front_cpl_use;
    uint32_t rear_cpl_use;
    char wifi_ssid[16];
    char wifi_password[16];
    uint32_t CableVoltCorr;
    uint32_t autoFormatAlarm;
    uint8_t ADAS_Car;
    uint8_t ADAS_Ldws_Speed;
    uint8_t ADAS_FCWS_Speed;
    uint8_t ADAS_FCMD_Enable;
    uint8_t ADAS_LDWS_Sens;
    uint8_t ADAS_FCWS_Sens;
    uint8_t ADAS_FCMD_Sens;
    uint8_t dummy1;
    uint32_t vide_wdr_enable;
    uint32_t ParkingMode;
    uint32_t En_SuperNightVision;
    uint32_t wifi_channel;
    uint32_t vibrator;
    uint32_t viewAngle;
    uint32_t recordChannel;
    float LDW_width_L;
    float LDW_width_R;
    uint32_t LaneWidth;
    uint32_t ADAS_uFCWS_Sense;
    float ADAS_HeadwaySensitivity;
    float ADAS_SafeDistance;
    float ADAS_cameraHeight;
    uint32_t wifiStartMode;
    uint32_t dummy00[8];
    uint32_t debug_mode;
};

inline constexpr std::size_t kFileDataSize = 500;
static_assert(sizeof(_FILEDATA) == kFileDataSize);
static_assert(sizeof(float) == 4 && std::numeric_limits<float>::is_iec559);

} // namespace nura
