#include "core/settings/FileDataChecks.h"

#include "core/validation/CarNumber.h"
#include "core/validation/ORBValidator.h"

#include <cstring>
#include <string_view>

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
    return std::nullopt;
}

} // namespace nura
