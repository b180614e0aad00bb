// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Web Mercator, the projection of the usual z/x/y map tiles: the world is a square of 256 x 2^z
// pixels at zoom z, x growing eastward from the antimeridian and y southward from about 85.05° N.
// Latitudes beyond that are drawn at the edge.

#include <cstdint>
#include <optional>
#include <string>

namespace nura::map {

constexpr int kTileSize = 256;
constexpr int kMinZoom = 0;
constexpr int kMaxZoom = 19;
// The latitude at which the square world ends (atan(sinh(pi))).
constexpr double kMaxLatitude = 85.0511287798066;

struct WorldPoint {
    double x = 0.0; // pixels from the antimeridian, eastward
    double y = 0.0; // pixels from the top edge, southward
};

struct LatLon {
    double latitude = 0.0;
    double longitude = 0.0;
};

struct TileKey {
    int z = 0;
    int x = 0;
    int y = 0;
    friend bool operator==(const TileKey&, const TileKey&) = default;
};

// Width (and height) of the world in pixels at `zoom`, which may be fractional.
double worldSize(double zoom);

// The point of a position; the latitude is held within ±kMaxLatitude and the longitude is wrapped
// into [-180, 180), so 180° E and 180° W are the same point.
WorldPoint project(LatLon where, double zoom);
// The position of a point; x wraps around the world, y is held within it.
LatLon unproject(WorldPoint point, double zoom);

// The tile under a point at an integer zoom (x wrapped around the world, y held within it).
TileKey tileAt(WorldPoint point, int zoom);
// x wrapped into 0 .. 2^z - 1: the tile east of the last one is the first.
int wrapTileX(int x, int zoom);
// Whether the key names a tile of the world (0 <= x, y < 2^z, z within the tile zooms).
bool isValidTile(const TileKey& key);
// The tile one zoom out that contains this one; nullopt at zoom 0.
std::optional<TileKey> parentTile(const TileKey& key);
// Row numbering of MBTiles files (TMS): counted from the south.
int tmsRow(const TileKey& key);

// Ground distance covered by one pixel at that latitude, in metres.
double metresPerPixel(double latitude, double zoom);
// A round distance (1, 2 or 5 times a power of ten metres) no longer than `metres`, for a scale bar.
double roundScaleDistance(double metres);
// "500 m", "2 km".
std::string scaleText(double metres);

// A tile URL from a template with {z}, {x} and {y} (and {s}, a subdomain letter chosen by the tile,
// for servers that spread load that way).
std::string tileUrl(const std::string& urlTemplate, const TileKey& key);

} // namespace nura::map
