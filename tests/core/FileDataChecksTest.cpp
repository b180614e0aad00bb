// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/settings/FileDataChecks.h"
#include "core/settings/FileDataRules.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace nura;

namespace {

_FILEDATA defaults() {
    _FILEDATA r{};
    SetDefaultFileData(r);
    return r;
}

template <std::size_t N> void setText(char (&field)[N], const char* text) {
    std::memset(field, 0, N);
    std::memcpy(field, text, std::min(N, std::strlen(text)));
}

std::string refusedField(const _FILEDATA& original, const _FILEDATA& edited) {
    const auto refusal = checkFileDataEdit(original, edited);
    return refusal ? refusal->field : "";
}

} // namespace

TEST(FileDataEdit, WindowRefusalsAreRefusedWithTheFieldNamed) {
    const _FILEDATA base = defaults();
    struct Case {
        const char* what;
        void (*edit)(_FILEDATA&);
        const char* field; // "" = accepted
    } cases[] = {
        {"nothing", [](_FILEDATA&) {}, ""},
        {"cfg_ver", [](_FILEDATA& r) { r.cfg_ver = 1; }, "cfg_ver"},
        {"car number", [](_FILEDATA& r) { setText(r.szPlateNumber, "12AB3456"); }, ""},
        {"car number with a space", [](_FILEDATA& r) { setText(r.szPlateNumber, "12 AB"); }, "szPlateNumber"},
        {"ssid 16 bytes", [](_FILEDATA& r) { std::memcpy(r.wifi_ssid, "ABCDEFGHIJKLMNOP", 16); }, ""},
        {"ssid short", [](_FILEDATA& r) { setText(r.wifi_ssid, "Nura"); }, "wifi_ssid"},
        {"password short", [](_FILEDATA& r) { setText(r.wifi_password, "1234567"); }, "wifi_password"},
        {"shares moved together", [](_FILEDATA& r) { r.sd_mem_always_ratio = 60, r.sd_mem_event_ratio = 20; },
         ""},
        {"share 9 %", [](_FILEDATA& r) { r.sd_mem_always_ratio = 71, r.sd_mem_event_ratio = 9; },
         "sd_mem_event_ratio"},
        {"shares 110 %", [](_FILEDATA& r) { r.sd_mem_motion_ratio = 30; }, "sd_mem_always_ratio"},
        {"motion 0", [](_FILEDATA& r) { r.sd_mem_always_ratio = 90, r.sd_mem_motion_ratio = 0; },
         "sd_mem_motion_ratio"},
        {"threshold 0", [](_FILEDATA& r) { r.gsen_y_threshold = 0; }, ""},
        {"threshold 150", [](_FILEDATA& r) { r.parkmode_z_threshold = 150; }, ""},
        {"threshold 4", [](_FILEDATA& r) { r.gsen_x_threshold = 4; }, "gsen_x_threshold"},
        {"threshold 151", [](_FILEDATA& r) { r.parkmode_z_threshold = 151; }, "parkmode_z_threshold"},
        {"threshold -5", [](_FILEDATA& r) { r.parkmode_x_threshold = -5; }, "parkmode_x_threshold"},
        {"other fields", [](_FILEDATA& r) { r.vid_hue = 0xFFFFFFFF, r.time_gmt = -1; }, ""},
        // Fields a pane sets through a choice control take only its choices.
        {"microphone level huge", [](_FILEDATA& r) { r.aud_input_vol = 4000000000u; }, "aud_input_vol"},
        {"cable loss 0", [](_FILEDATA& r) { r.CableVoltCorr = 0; }, "CableVoltCorr"},
        {"cut-off 12.4 V", [](_FILEDATA& r) { r.sd_mem_always_reserved = 12400; }, ""},
        {"cut-off 12.45 V", [](_FILEDATA& r) { r.sd_mem_always_reserved = 12450; }, "sd_mem_always_reserved"},
        {"warning speed off the table", [](_FILEDATA& r) { r.ADAS_Ldws_Speed = 31; }, "ADAS_Ldws_Speed"},
        {"check box 2", [](_FILEDATA& r) { r.g_sensor_enable = 2; }, "g_sensor_enable"},
    };
    for (const auto& c : cases) {
        _FILEDATA edited = base;
        c.edit(edited);
        const auto refusal = checkFileDataEdit(base, edited);
        EXPECT_EQ(refusal ? refusal->field : "", c.field) << c.what;
        if (refusal) {
            EXPECT_NE(
                refusal->reason.find(refusal->field == "sd_mem_always_ratio" ? "100 %" : refusal->field),
                std::string::npos)
                << c.what << ": " << refusal->reason;
        }
    }
}

TEST(FileDataEdit, OddValuesAlreadyOnTheCardDoNotBlockOtherEdits) {
    _FILEDATA card = defaults();
    setText(card.wifi_ssid, "a b");
    setText(card.szPlateNumber, "#1");
    card.sd_mem_always_ratio = 5;
    card.gsen_x_threshold = 999;
    card.vid_enc_bitrate = 77; // a choice the window does not know, kept as it is
    _FILEDATA edited = card;
    edited.vid_hue = 3;
    EXPECT_EQ(refusedField(card, edited), "");
    // Touching one share judges all three as they now stand.
    edited.sd_mem_event_ratio = 25;
    EXPECT_EQ(refusedField(card, edited), "sd_mem_always_ratio");
}
