// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The record's layout as data: one descriptor per field (name, offset, type, length in bytes).
// The reader, writer, dump and the command line all go through this one table.

#include "core/settings/FileData.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace nura {

enum class FieldType : uint8_t {
    U8,
    U16,
    U32,
    I32,
    F32,
    Text,     // char[n]: text padded with zero bytes, not terminated when all n bytes are used
    U32Array, // reserved words
};

struct FieldDescriptor {
    std::string_view name;
    uint16_t offset;
    FieldType type;
    uint16_t length; // bytes
};

// X(offset, name, type) for every field, in record order.
// clang-format off
#define NURA_FILEDATA_FIELDS(X) \
    X(0, cfg_ver, U16) \
    X(2, checksum, U16) \
    X(4, disp_segment_mode, U32) \
    X(8, sd_mem_always_ratio, U32) \
    X(12, sd_mem_event_ratio, U32) \
    X(16, sd_mem_motion_ratio, U32) \
    X(20, sd_mem_always_reserved, U32) \
    X(24, sd_mem_event_reserved, U32) \
    X(28, sd_mem_motion_reserved, U32) \
    X(32, aud_enable, U32) \
    X(36, aud_codec_type, U32) \
    X(40, aud_sampling_freq, U32) \
    X(44, aud_bitrate, U32) \
    X(48, aud_input_vol, U32) \
    X(52, aud_output_vol, U32) \
    X(56, vid_enc_res, U32) \
    X(60, vid_enc_bitrate, U32) \
    X(64, vid_framerate, U32) \
    X(68, vid_brightness, U32) \
    X(72, vid_contrast, U32) \
    X(76, vid_saturation, U32) \
    X(80, vid_sharpness, U32) \
    X(84, vid_hue, U32) \
    X(88, gsen_x_threshold, I32) \
    X(92, gsen_y_threshold, I32) \
    X(96, gsen_z_threshold, I32) \
    X(100, always_mode_timeout, U32) \
    X(104, parkmode_x_threshold, I32) \
    X(108, parkmode_y_threshold, I32) \
    X(112, parkmode_z_threshold, I32) \
    X(116, motion1080pCValue, U32) \
    X(120, motion720pCValue, U32) \
    X(124, motionBlock, U32) \
    X(128, high_temp_threshold, I32) \
    X(132, high_temp_duration, U32) \
    X(136, safe_temp_threshold, I32) \
    X(140, safe_temp_duration, U32) \
    X(144, composite_mode, U32) \
    X(148, osd_option, U32) \
    X(152, osd_speed_flag, I32) \
    X(156, osd_plate_flag, I32) \
    X(160, plate_number, U32) \
    X(164, speed_disp_unit, U32) \
    X(168, time_gmt, I32) \
    X(172, summer_time, U32) \
    X(176, nodriving_day, U32) \
    X(180, auto_drive_in_mode_on, U32) \
    X(184, auto_park_in_mode_on, U32) \
    X(188, motion_detect_mode_on, U32) \
    X(192, event_only_mode_on, U32) \
    X(196, g_sensor_enable, U32) \
    X(200, audio_mux_enable, U32) \
    X(204, safe_temp_mode_on, U32) \
    X(208, alarm_ontime_flag, U32) \
    X(212, voiceEnable, U32) \
    X(216, drivingSecurity, U32) \
    X(220, parkingSecurity, U32) \
    X(224, SaveDuration, U32) \
    X(228, MemConfig, U32) \
    X(232, BrightnessFixed, U32) \
    X(236, DayTime, U32) \
    X(240, NightTime, U32) \
    X(244, Brightness1, U32) \
    X(248, ledoff, U32) \
    X(252, Gamma, U32) \
    X(256, szPlateNumber, Text) \
    X(264, vid_enc_bitrate_R, U32) \
    X(268, vid_brightness_R, U32) \
    X(272, vid_sharpness_R, U32) \
    X(276, lcd_autopoweroff, U32) \
    X(280, lcd_brightness, U32) \
    X(284, lcd_screensaver, U32) \
    X(288, parking_rear_off, U32) \
    X(292, sd2_mem_always_ratio, U32) \
    X(296, sd2_mem_event_ratio, U32) \
    X(300, sd2_mem_motion_ratio, U32) \
    X(304, flip_video, U32) \
    X(308, parking_alarm, U32) \
    X(312, rear_fps, U32) \
    X(316, motion_zone, U32) \
    X(320, motionBlock_Rear, U32) \
    X(324, ledoff_rear, U32) \
    X(328, always_mode_recording_time, U32) \
    X(332, pip_position, U32) \
    X(336, always_motion, U32) \
    X(340, lcd_brightness_night, U32) \
    X(344, size_rear, U32) \
    X(348, front_cpl_use, U32) \
    X(352, rear_cpl_use, U32) \
    X(356, wifi_ssid, Text) \
    X(372, wifi_password, Text) \
    X(388, CableVoltCorr, U32) \
    X(392, autoFormatAlarm, U32) \
    X(396, ADAS_Car, U8) \
    X(397, ADAS_Ldws_Speed, U8) \
    X(398, ADAS_FCWS_Speed, U8) \
    X(399, ADAS_FCMD_Enable, U8) \
    X(400, ADAS_LDWS_Sens, U8) \
    X(401, ADAS_FCWS_Sens, U8) \
    X(402, ADAS_FCMD_Sens, U8) \
    X(403, dummy1, U8) \
    X(404, vide_wdr_enable, U32) \
    X(408, ParkingMode, U32) \
    X(412, En_SuperNightVision, U32) \
    X(416, wifi_channel, U32) \
    X(420, vibrator, U32) \
    X(424, viewAngle, U32) \
    X(428, recordChannel, U32) \
    X(432, LDW_width_L, F32) \
    X(436, LDW_width_R, F32) \
    X(440, LaneWidth, U32) \
    X(444, ADAS_uFCWS_Sense, U32) \
    X(448, ADAS_HeadwaySensitivity, F32) \
    X(452, ADAS_SafeDistance, F32) \
    X(456, ADAS_cameraHeight, F32) \
    X(460, wifiStartMode, U32) \
    X(464, dummy00, U32Array) \
    X(496, debug_mode, U32)
// clang-format on

#define NURA_DESCRIBE_FIELD(off, field, kind)                                                                \
    FieldDescriptor{#field, off, FieldType::kind, static_cast<uint16_t>(sizeof(_FILEDATA::field))},
inline constexpr FieldDescriptor kFileDataFields[] = {NURA_FILEDATA_FIELDS(NURA_DESCRIBE_FIELD)};
#undef NURA_DESCRIBE_FIELD

#define NURA_CHECK_OFFSET(off, field, kind) static_assert(offsetof(_FILEDATA, field) == (off), #field);
NURA_FILEDATA_FIELDS(NURA_CHECK_OFFSET)
#undef NURA_CHECK_OFFSET

namespace detail {
constexpr bool fieldsTileTheRecord() {
    std::size_t next = 0;
    for (const auto& f : kFileDataFields) {
        if (f.offset != next) {
            return false;
        }
        next += f.length;
    }
    return next == kFileDataSize;
}
} // namespace detail
static_assert(std::size(kFileDataFields) == 118);
static_assert(detail::fieldsTileTheRecord(), "fields must follow each other without gaps up to byte 500");

std::span<const FieldDescriptor> fileDataFields();
const FieldDescriptor* findFileDataField(std::string_view name);

// "u32", "i32", "f32", "char[16]", "u32[8]".
std::string fieldTypeName(const FieldDescriptor& field);

// Raw values through the record's bytes. `element` picks a word of a u32 array.
int64_t fieldInteger(const _FILEDATA& record, const FieldDescriptor& field, std::size_t element = 0);
float fieldFloat(const _FILEDATA& record, const FieldDescriptor& field);
// A text field up to its first zero byte (all of it when no zero byte is there).
std::string fieldText(const _FILEDATA& record, const FieldDescriptor& field);

// The value as one line of text: numbers in decimal, floats shortest, texts quoted, arrays comma-separated.
std::string formatFieldValue(const _FILEDATA& record, const FieldDescriptor& field);

// Parses `text` for the field's type and range and stores it. Returns why it was refused, or an empty
// text when the value was stored; a refused value leaves the record as it was. A text given in double
// quotes is read as formatFieldValue writes it (\" \\ \xNN), so that a listing can be fed back; an array
// takes exactly its count of numbers, with no comma after the last.
std::string setFieldFromText(_FILEDATA& record, const FieldDescriptor& field, std::string_view text);

} // namespace nura
