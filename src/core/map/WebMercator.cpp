// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/map/WebMercator.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace nura::map {

double worldSize(double zoom) {
    return kTileSize * std::exp2(zoom);
}

WorldPoint project(LatLon where, double zoom) {
    const double size = worldSize(zoom);
    double lon = std::fmod(where.longitude + 180.0, 360.0);
    if (lon < 0) {
        lon += 360.0;
    }
    const double lat = std::clamp(where.latitude, -kMaxLatitude, kMaxLatitude) * std::numbers::pi / 180.0;
    const double y = 0.5 - std::log(std::tan(std::numbers::pi / 4 + lat / 2)) / (2 * std::numbers::pi);
    return {lon / 360.0 * size, std::clamp(y, 0.0, 1.0) * size};
}

LatLon unproject(WorldPoint point, double zoom) {
    const double size = worldSize(zoom);
    double x = std::fmod(point.x, size);
    if (x < 0) {
        x += size;
    }
    const double y = std::clamp(point.y, 0.0, size) / size;
    const double lat = std::atan(std::sinh(std::numbers::pi * (1 - 2 * y))) * 180.0 / std::numbers::pi;
    return {lat, x / size * 360.0 - 180.0};
}

int wrapTileX(int x, int zoom) {
    const int n = 1 << zoom;
    return ((x % n) + n) % n;
}

TileKey tileAt(WorldPoint point, int zoom) {
    const int n = 1 << zoom;
    const int x = static_cast<int>(std::floor(point.x / kTileSize));
    const int y = std::clamp(static_cast<int>(std::floor(point.y / kTileSize)), 0, n - 1);
    return {zoom, wrapTileX(x, zoom), y};
}

bool isValidTile(const TileKey& key) {
    if (key.z < kMinZoom || key.z > kMaxZoom) {
        return false;
    }
    const int n = 1 << key.z;
    return key.x >= 0 && key.x < n && key.y >= 0 && key.y < n;
}

std::optional<TileKey> parentTile(const TileKey& key) {
    if (key.z <= 0) {
        return std::nullopt;
    }
    return TileKey{key.z - 1, key.x / 2, key.y / 2};
}

int tmsRow(const TileKey& key) {
    return (1 << key.z) - 1 - key.y;
}

double metresPerPixel(double latitude, double zoom) {
    constexpr double kEquator = 40075016.686;
    const double lat = std::clamp(latitude, -kMaxLatitude, kMaxLatitude) * std::numbers::pi / 180.0;
    return kEquator * std::cos(lat) / worldSize(zoom);
}

double roundScaleDistance(double metres) {
    if (!(metres > 0) || !std::isfinite(metres)) {
        return 0;
    }
    const double power = std::pow(10.0, std::floor(std::log10(metres)));
    for (const double step : {5.0, 2.0, 1.0}) {
        if (step * power <= metres) {
            return step * power;
        }
    }
    return power;
}

std::string scaleText(double metres) {
    if (metres >= 1000) {
        const double km = metres / 1000;
        return (km == std::floor(km) ? std::to_string(static_cast<long long>(km)) : std::to_string(km)) +
               " km";
    }
    return std::to_string(static_cast<long long>(std::llround(metres))) + " m";
}

std::string tileUrl(const std::string& urlTemplate, const TileKey& key) {
    std::string out;
    out.reserve(urlTemplate.size() + 16);
    for (std::size_t i = 0; i < urlTemplate.size(); ++i) {
        auto field = [&](const char* name) {
            const std::size_t n = std::char_traits<char>::length(name);
            return urlTemplate.compare(i, n, name) == 0 ? n : 0;
        };
        if (std::size_t n = field("{z}")) {
            out += std::to_string(key.z);
            i += n - 1;
        } else if ((n = field("{x}"))) {
            out += std::to_string(key.x);
            i += n - 1;
        } else if ((n = field("{y}"))) {
            out += std::to_string(key.y);
            i += n - 1;
        } else if ((n = field("{s}"))) {
            out += static_cast<char>('a' + (key.x + key.y) % 3);
            i += n - 1;
        } else {
            out += urlTemplate[i];
        }
    }
    return out;
}

} // namespace nura::map
