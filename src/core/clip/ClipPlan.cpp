// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/clip/ClipPlan.h"

#include "core/util/QuotedWords.h"

#include <array>
#include <charconv>
#include <cmath>
#include <utility>

namespace nura {
namespace {

constexpr std::string_view kVersion = "1";

constexpr std::array<std::pair<ClipLayout, const char*>, 4> kLayouts{{{ClipLayout::Inset, "pip"},
                                                                      {ClipLayout::SideBySide, "side"},
                                                                      {ClipLayout::Front, "front"},
                                                                      {ClipLayout::Rear, "rear"}}};
constexpr std::array<std::pair<ClipCorner, const char*>, 4> kCorners{{{ClipCorner::TopLeft, "tl"},
                                                                      {ClipCorner::TopRight, "tr"},
                                                                      {ClipCorner::BottomLeft, "bl"},
                                                                      {ClipCorner::BottomRight, "br"}}};
constexpr std::array<std::pair<ClipSound, const char*>, 4> kSounds{{{ClipSound::Auto, "auto"},
                                                                    {ClipSound::None, "none"},
                                                                    {ClipSound::Front, "front"},
                                                                    {ClipSound::Rear, "rear"}}};

template <typename E, size_t N>
const char* wordIn(const std::array<std::pair<E, const char*>, N>& table, E v) {
    for (const auto& [value, word] : table) {
        if (value == v) {
            return word;
        }
    }
    return table[0].second;
}

template <typename E, size_t N>
std::optional<E> valueIn(const std::array<std::pair<E, const char*>, N>& table, std::string_view w) {
    for (const auto& [value, word] : table) {
        if (w == word) {
            return value;
        }
    }
    return std::nullopt;
}

// The shortest text that reads back to the same double, whatever the locale.
std::string number(double v) {
    char text[64];
    const auto r = std::to_chars(text, text + sizeof text, v);
    return std::string(text, r.ptr);
}

std::string number(long long v) {
    char text[32];
    const auto r = std::to_chars(text, text + sizeof text, v);
    return std::string(text, r.ptr);
}

template <typename T> bool parse(const std::string& text, T& out) {
    const char* end = text.data() + text.size();
    const auto r = std::from_chars(text.data(), end, out);
    return r.ec == std::errc() && r.ptr == end;
}

bool finite(const std::string& text, double& out) {
    return parse(text, out) && std::isfinite(out);
}

bool flag(const std::string& text, bool& out) {
    if (text != "0" && text != "1") {
        return false;
    }
    out = text == "1";
    return true;
}

void line(std::string& out, std::string_view key, std::initializer_list<std::string_view> values) {
    out += key;
    for (const auto v : values) {
        out += ' ';
        out += quotedWord(v);
    }
    out += '\n';
}

} // namespace

const char* wordFor(ClipLayout layout) {
    return wordIn(kLayouts, layout);
}
const char* wordFor(ClipCorner corner) {
    return wordIn(kCorners, corner);
}
const char* wordFor(ClipSound sound) {
    return wordIn(kSounds, sound);
}
std::optional<ClipLayout> clipLayoutNamed(std::string_view word) {
    return valueIn(kLayouts, word);
}
std::optional<ClipCorner> clipCornerNamed(std::string_view word) {
    return valueIn(kCorners, word);
}
std::optional<ClipSound> clipSoundNamed(std::string_view word) {
    return valueIn(kSounds, word);
}

std::string ClipPlan::encode() const {
    std::string out;
    line(out, "nura-clip-plan", {kVersion});
    line(out, "out", {this->out});
    line(out, "span", {number(start), number(end)});
    line(out, "layout", {wordFor(look.layout)});
    line(out, "corner", {wordFor(look.corner)});
    line(out, "sound", {wordFor(look.sound)});
    line(out, "mirror", {look.mirrorRear ? "1" : "0"});
    line(out, "overlay", {look.overlay ? "1" : "0"});
    line(out, "crf", {number(static_cast<long long>(look.quality))});
    line(out, "preset", {preset});
    line(out, "clock", {number(clock)});
    line(out, "report", {report ? "1" : "0"});
    for (const auto* camera : {&front, &rear}) {
        for (const auto& s : *camera) {
            line(out, camera == &front ? "front" : "rear", {s.path, number(s.offset), number(s.duration)});
        }
    }
    for (const auto& d : data) {
        line(out, "data", {number(d.offset), number(d.duration)});
        for (const auto& r : d.records) {
            line(out, "record",
                 {number(r.speed), r.kmh ? "kmh" : "mph", number(static_cast<double>(r.gx)),
                  number(static_cast<double>(r.gy)), number(static_cast<double>(r.gz))});
        }
    }
    out += "end\n";
    return out;
}

bool ClipPlan::isComplete(std::string_view text) {
    return text == "end\n" || text.ends_with("\nend\n");
}

std::optional<ClipPlan> ClipPlan::decode(std::string_view text, std::string& error) {
    ClipPlan plan;
    size_t records = 0;
    bool versioned = false, ended = false;
    size_t lineNumber = 0;
    const auto bad = [&](const std::string& why) {
        error = "line " + std::to_string(lineNumber) + ": " + why;
        return std::nullopt;
    };
    while (!text.empty() && !ended) {
        ++lineNumber;
        const size_t cut = text.find('\n');
        if (cut == std::string_view::npos) {
            return bad("the line has no end");
        }
        const std::string_view l = text.substr(0, cut);
        text.remove_prefix(cut + 1);
        const size_t space = l.find(' ');
        const std::string_view key = l.substr(0, space);
        const auto words =
            quotedWords(space == std::string_view::npos ? std::string_view() : l.substr(space + 1));
        if (!words) {
            return bad("a value is not quoted as it should be");
        }
        const auto& w = *words;
        const auto wants = [&](size_t n) { return w.size() == n; };
        if (!versioned) {
            if (key != "nura-clip-plan" || !wants(1) || w[0] != kVersion) {
                return bad("not a clip plan of this version");
            }
            versioned = true;
        } else if (key == "end" && wants(0)) {
            ended = true;
        } else if (key == "out" && wants(1) && !w[0].empty()) {
            plan.out = w[0];
        } else if (key == "span" && wants(2)) {
            if (!finite(w[0], plan.start) || !finite(w[1], plan.end)) {
                return bad("the span is not two numbers");
            }
        } else if (key == "layout" && wants(1) && clipLayoutNamed(w[0])) {
            plan.look.layout = *clipLayoutNamed(w[0]);
        } else if (key == "corner" && wants(1) && clipCornerNamed(w[0])) {
            plan.look.corner = *clipCornerNamed(w[0]);
        } else if (key == "sound" && wants(1) && clipSoundNamed(w[0])) {
            plan.look.sound = *clipSoundNamed(w[0]);
        } else if ((key == "mirror" || key == "overlay" || key == "report") && wants(1)) {
            bool& f = key == "mirror"    ? plan.look.mirrorRear
                      : key == "overlay" ? plan.look.overlay
                                         : plan.report;
            if (!flag(w[0], f)) {
                return bad(std::string(key) + " is neither 0 nor 1");
            }
        } else if (key == "crf" && wants(1)) {
            if (!parse(w[0], plan.look.quality) || plan.look.quality < 0 || plan.look.quality > 51) {
                return bad("the quality is not a number from 0 to 51");
            }
        } else if (key == "preset" && wants(1) && !w[0].empty()) {
            plan.preset = w[0];
        } else if (key == "clock" && wants(1)) {
            if (!parse(w[0], plan.clock)) {
                return bad("the clock is not a whole number");
            }
        } else if ((key == "front" || key == "rear") && wants(3) && !w[0].empty()) {
            ClipSource s{w[0], 0, 0};
            if (!finite(w[1], s.offset) || !finite(w[2], s.duration) || s.duration < 0) {
                return bad("a recording's place is not two numbers");
            }
            (key == "front" ? plan.front : plan.rear).push_back(std::move(s));
        } else if (key == "data" && wants(2)) {
            BandData d;
            if (!finite(w[0], d.offset) || !finite(w[1], d.duration) || d.duration < 0) {
                return bad("a recording's telemetry has no place");
            }
            plan.data.push_back(std::move(d));
        } else if (key == "record" && wants(5)) {
            BandRecord r;
            double g[3];
            if (plan.data.empty() || ++records > kMaxRecords) {
                return bad(plan.data.empty() ? "a record before its recording" : "too many records");
            }
            if (!finite(w[0], r.speed) || (w[1] != "kmh" && w[1] != "mph") || !finite(w[2], g[0]) ||
                !finite(w[3], g[1]) || !finite(w[4], g[2])) {
                return bad("a record is not a speed, a unit and three numbers");
            }
            r.kmh = w[1] == "kmh";
            r.gx = static_cast<float>(g[0]);
            r.gy = static_cast<float>(g[1]);
            r.gz = static_cast<float>(g[2]);
            plan.data.back().records.push_back(r);
        } else {
            return bad("unknown item " + std::string(key));
        }
    }
    if (!ended) {
        error = "the plan has no end";
        return std::nullopt;
    }
    if (plan.out.empty() || plan.start < 0 || !(plan.end > plan.start) ||
        (plan.front.empty() && plan.rear.empty())) {
        error = "the plan lacks an output, a span or a recording";
        return std::nullopt;
    }
    return plan;
}

} // namespace nura
