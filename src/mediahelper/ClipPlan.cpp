// SPDX-License-Identifier: GPL-3.0-or-later
// The clip's plan as `nura clip` writes it, one item a line (see ClipRenderer.h).

#include "mediahelper/ClipRenderer.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace media {

bool ClipPlan::read(std::FILE* in, std::string& error) {
    char line[8192];
    bool ended = false;
    while (!ended && std::fgets(line, sizeof line, in) != nullptr) {
        std::string text = line;
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
            text.pop_back();
        }
        const auto space = text.find(' ');
        const std::string key = text.substr(0, space);
        const std::string value = space == std::string::npos ? std::string() : text.substr(space + 1);
        char word[64] = {};
        if (key == "out") {
            out = value;
        } else if (key == "span") {
            if (std::sscanf(value.c_str(), "%lf %lf", &start, &end) != 2) {
                error = "bad span";
                return false;
            }
        } else if (key == "layout" || key == "corner" || key == "preset" || key == "audio") {
            (key == "layout" ? layout : key == "corner" ? corner : key == "preset" ? preset : audio) = value;
        } else if (key == "mirror" || key == "overlay" || key == "report") {
            (key == "mirror" ? mirror : key == "overlay" ? overlay : report) = value == "1";
        } else if (key == "crf") {
            crf = std::atoi(value.c_str());
        } else if (key == "clock") {
            clock = std::atoll(value.c_str());
        } else if (key == "front" || key == "rear") {
            const auto cut = value.rfind(' ');
            if (cut == std::string::npos) {
                error = "bad source";
                return false;
            }
            (key == "front" ? front : rear)
                .push_back({value.substr(0, cut), std::atof(value.c_str() + cut + 1)});
        } else if (key == "data") {
            BandData d;
            size_t count = 0;
            if (std::sscanf(value.c_str(), "%lf %lf %zu", &d.offset, &d.duration, &count) != 3 ||
                count > 1000000) {
                error = "bad data";
                return false;
            }
            for (size_t i = 0; i < count; ++i) {
                BandRecord r;
                if (std::fgets(line, sizeof line, in) == nullptr ||
                    std::sscanf(line, "%lf %63s %f %f %f", &r.speed, word, &r.gx, &r.gy, &r.gz) != 5) {
                    error = "bad record";
                    return false;
                }
                r.kmh = std::string(word) == "km/h";
                d.records.push_back(r);
            }
            data.push_back(std::move(d));
        } else if (key == "end") {
            ended = true;
        } else if (!key.empty()) {
            error = "unknown item " + key;
            return false;
        }
    }
    if (out.empty() || !(end > start) || (front.empty() && rear.empty())) {
        error = "the plan lacks an output, a span or a recording";
        return false;
    }
    return true;
}

} // namespace media
