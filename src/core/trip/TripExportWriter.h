// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Writes trips as GeoJSON, GPX or CSV while they arrive, handing the text on piece by piece so that
// no export is ever held whole.

#include "core/trip/TripJoiner.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace nura {

enum class TripFormat { GeoJson, Gpx, Csv };

// "geojson", "gpx", "csv".
std::optional<TripFormat> tripFormatNamed(std::string_view name);

class TripExportWriter : public TripSink {
public:
    using Write = std::function<void(std::string_view)>;

    // `title` names the export in the formats that have a place for it (the GPX metadata).
    static std::unique_ptr<TripExportWriter> make(TripFormat format, Write write, std::string title = {});

    // The text before the first trip and after the last; an export without trips is still a whole,
    // valid document (an empty collection, a GPX without tracks, the CSV header).
    virtual void begin() = 0;
    virtual void end() = 0;

    // Trip points in a CSV row and a GeoJSON summary: one decimal, empty when not a usable speed.
    static std::string speedText(double knots);
};

} // namespace nura
