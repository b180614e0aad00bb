// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/settings/FileDataChecks.h"

#include "core/settings/FileDataFields.h"
#include "core/settings/SettingChoices.h"
#include "core/validation/CarNumber.h"
#include "core/validation/ORBValidator.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

namespace nura {
namespace {

template <typename T> bool changed(const T& a, const T& b) {
    return std::memcmp(&a, &b, sizeof a) != 0;
}

// A text field up to its first zero byte, all of it when every byte is used.
template <std::size_t N> std::string_view textOf(const char (&field)[N]) {
    return std::string_view(field, ::strnlen(field, N));
}

std::optional<FileDataRefusal> checkWifi(const char* field, std::string_view text, bool password) {
    const auto message =
        password ? ORBValidator::validateWifiPassword(text) : ORBValidator::validateWifiName(text);
    if (!message) {
        return std::nullopt;
    }
    const std::size_t minLength =
        password ? ORBValidator::kWifiPasswordMinLength : ORBValidator::kWifiNameMinLength;
    if (message->key.ends_with("_length")) {
        return FileDataRefusal{field, std::string(field) + " needs " + std::to_string(minLength) +
                                          " or more characters"};
    }
    return FileDataRefusal{field, std::string(field) +
                                      " takes only the printable ASCII characters ! to ~ (no spaces)"};
}

// The values a pane's choice control (segments, list, radio cells, check box) can store in a field.
struct ChoiceField {
    const char* name;
    int64_t first; // a plain range first..last, when `table` is null
    int64_t last;
    const ValueChoiceTable* (*table)(const _FILEDATA& edited);
};

const ValueChoiceTable* noTable(const _FILEDATA&) {
    return nullptr;
}

const ChoiceField kChoiceFields[] = {
    // Video
    {"vid_enc_bitrate", 0, 2, noTable},
    {"vid_enc_bitrate_R", 0, 2, noTable},
    {"vid_brightness", 0, 4, noTable},
    {"vid_brightness_R", 0, 4, noTable},
    {"flip_video", 0, 1, noTable},
    {"rear_fps", 0, 1, noTable},
    {"front_cpl_use", 0, 3, noTable},
    {"rear_cpl_use", 0, 2, noTable},
    {"En_SuperNightVision", 0, 1, noTable},
    {"viewAngle", 0, 1, noTable},
    {"recordChannel", 0, 1, noTable},
    // Basic
    {"always_mode_timeout", 0, 0, [](const _FILEDATA&) { return &alwaysModeTimeoutChoices(); }},
    {"sd_mem_always_reserved", 0, 0, [](const _FILEDATA&) { return &powerVoltageChoices(); }},
    {"sd_mem_motion_reserved", 0, 0, [](const _FILEDATA&) { return &powerTimeChoices(); }},
    {"sd_mem_event_reserved", 0, 1, noTable},
    {"g_sensor_enable", 0, 1, noTable},
    {"ledoff", 0, 1, noTable},
    {"ledoff_rear", 0, 1, noTable},
    {"CableVoltCorr", 1, 7, noTable},
    // GPS
    {"nodriving_day", 0, 7, noTable},
    {"speed_disp_unit", 0, 1, noTable},
    {"time_gmt", -1, 33, noTable}, // -1: the zone is not known
    {"summer_time", 0, 1, noTable},
    {"osd_speed_flag", 0, 1, noTable},
    {"SaveDuration", 0, 7, noTable},
    {"NightTime", 0, 1, noTable},
    // Auxiliary
    {"DayTime", 0, 2, noTable},
    {"lcd_autopoweroff", 0, 3, noTable},
    {"Gamma", 0, 1, noTable},
    {"lcd_brightness", 0, 2, noTable},
    {"lcd_brightness_night", 0, 1, noTable},
    {"parking_rear_off", 0, 1, noTable},
    {"lcd_screensaver", 0, 0, [](const _FILEDATA&) { return &lcdScreenSaverChoices(); }},
    {"parking_alarm", 0, 1, noTable},
    {"always_mode_recording_time", 0, 1, noTable},
    {"autoFormatAlarm", 0, 4, noTable},
    {"wifiStartMode", 0, 1, noTable},
    {"pip_position", 0, 0, [](const _FILEDATA&) { return &pipPositionChoices(); }},
    {"wifi_channel", 0, 13, noTable},
    // Motion and parking
    {"motion720pCValue", 0, 5, noTable},
    {"motion1080pCValue", 0, 5, noTable},
    {"ParkingMode", 0, 1, noTable},
    // Audio: the twenty languages of the matrix and the separate Malaysian one (20)
    {"aud_input_vol", 0, 3, noTable},
    {"aud_output_vol", 0, 3, noTable},
    {"alarm_ontime_flag", 0, 1, noTable},
    {"Brightness1", 0, 20, noTable},
    // ADAS: the speeds in the record's unit
    {"ADAS_Car", 0, 2, noTable},
    {"ADAS_LDWS_Sens", 0, 2, noTable},
    {"ADAS_FCWS_Sens", 0, 2, noTable},
    {"ADAS_FCMD_Enable", 0, 1, noTable},
    {"ADAS_FCMD_Sens", 0, 2, noTable},
    {"vibrator", 0, 3, noTable},
    {"ADAS_Ldws_Speed", 0, 0, [](const _FILEDATA& d) { return &ldwsSpeedChoices(d.speed_disp_unit); }},
    {"ADAS_FCWS_Speed", 0, 0, [](const _FILEDATA& d) { return &fcwsSpeedChoices(d.speed_disp_unit); }},
};

std::optional<FileDataRefusal> checkChoices(const _FILEDATA& original, const _FILEDATA& edited) {
    for (const ChoiceField& choice : kChoiceFields) {
        const FieldDescriptor* field = findFileDataField(choice.name);
        if (!field) {
            continue;
        }
        const int64_t value = fieldInteger(edited, *field);
        if (value == fieldInteger(original, *field)) {
            continue; // the card's own value, whatever it is, may stay
        }
        std::string allowed;
        bool ok = false;
        if (const ValueChoiceTable* table = choice.table(edited)) {
            ok = table->find(value).has_value();
            std::vector<int64_t> values;
            for (int i = 0; i < table->size(); ++i) {
                values.push_back(table->valueAt(i));
            }
            std::sort(values.begin(), values.end());
            for (const int64_t v : values) {
                allowed += (allowed.empty() ? "" : ", ") + std::to_string(v);
            }
        } else {
            ok = value >= choice.first && value <= choice.last;
            allowed = std::to_string(choice.first) + " to " + std::to_string(choice.last);
        }
        if (!ok) {
            return FileDataRefusal{choice.name, std::string(choice.name) +
                                                    " takes only the settings window's "
                                                    "choices: " +
                                                    allowed};
        }
    }
    return std::nullopt;
}

} // namespace

std::optional<FileDataRefusal> checkFileDataEdit(const _FILEDATA& original, const _FILEDATA& edited) {
    if (edited.cfg_ver != original.cfg_ver) {
        return FileDataRefusal{"cfg_ver",
                               "cfg_ver is the record's format version, which a save never changes"};
    }
    if (changed(original.szPlateNumber, edited.szPlateNumber) && !isCarNumber(textOf(edited.szPlateNumber))) {
        return FileDataRefusal{"szPlateNumber", "szPlateNumber takes a car number of up to 8 ASCII letters "
                                                "and digits, or nothing"};
    }
    if (changed(original.wifi_ssid, edited.wifi_ssid)) {
        if (auto refusal = checkWifi("wifi_ssid", textOf(edited.wifi_ssid), false)) {
            return refusal;
        }
    }
    if (changed(original.wifi_password, edited.wifi_password)) {
        if (auto refusal = checkWifi("wifi_password", textOf(edited.wifi_password), true)) {
            return refusal;
        }
    }
    if (edited.sd_mem_always_ratio != original.sd_mem_always_ratio ||
        edited.sd_mem_motion_ratio != original.sd_mem_motion_ratio ||
        edited.sd_mem_event_ratio != original.sd_mem_event_ratio) {
        const long long always = edited.sd_mem_always_ratio;
        const long long motion = edited.sd_mem_motion_ratio;
        const long long event = edited.sd_mem_event_ratio;
        if (const auto message = ORBValidator::validateSDCardShares(always, motion, event)) {
            const auto pct = [](long long v) { return std::to_string(v) + " %"; };
            const std::string shares = "sd_mem_always_ratio " + pct(always) + ", sd_mem_motion_ratio " +
                                       pct(motion) + ", sd_mem_event_ratio " + pct(event);
            if (message->key == "msg.sdcard_ratio_too_low") {
                const char* field = always < ORBValidator::kSDCardRatioMin   ? "sd_mem_always_ratio"
                                    : motion < ORBValidator::kSDCardRatioMin ? "sd_mem_motion_ratio"
                                                                             : "sd_mem_event_ratio";
                return FileDataRefusal{field, "each card share needs at least 10 % (" + shares + ")"};
            }
            return FileDataRefusal{"sd_mem_always_ratio",
                                   "the card shares must add up to 100 % (" + shares + ")"};
        }
    }
    const struct {
        const char* name;
        int32_t before;
        int32_t after;
    } thresholds[] = {
        {"gsen_x_threshold", original.gsen_x_threshold, edited.gsen_x_threshold},
        {"gsen_y_threshold", original.gsen_y_threshold, edited.gsen_y_threshold},
        {"gsen_z_threshold", original.gsen_z_threshold, edited.gsen_z_threshold},
        {"parkmode_x_threshold", original.parkmode_x_threshold, edited.parkmode_x_threshold},
        {"parkmode_y_threshold", original.parkmode_y_threshold, edited.parkmode_y_threshold},
        {"parkmode_z_threshold", original.parkmode_z_threshold, edited.parkmode_z_threshold},
    };
    for (const auto& t : thresholds) {
        if (t.after != t.before && ORBValidator::validateStoredGsensorThreshold(t.after)) {
            return FileDataRefusal{t.name, std::string(t.name) + " takes " +
                                               std::to_string(ORBValidator::kGsensorStoredMin) + " to " +
                                               std::to_string(ORBValidator::kGsensorStoredMax) +
                                               " hundredths of g, or 0 for none"};
        }
    }
    return checkChoices(original, edited);
}

} // namespace nura
