// SPDX-License-Identifier: GPL-3.0-or-later
// Positions to tiles and pixels and back, against values worked out by hand from the projection's
// formulas (and the tile of well-known places at well-known zooms).

#include "core/map/WebMercator.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace nura::map;

TEST(WebMercator, KnownPlacesFallInTheirTilesAtSeveralZooms) {
    // Seoul city hall, 37.5663 N 126.9779 E.
    const LatLon seoul{37.5663, 126.9779};
    EXPECT_EQ(tileAt(project(seoul, 16), 16), (TileKey{16, 55883, 25379}));
    // South and west: Buenos Aires, 34.6037 S 58.3816 W.
    EXPECT_EQ(tileAt(project({-34.6037, -58.3816}, 12), 12), (TileKey{12, 1383, 2468}));
}

TEST(WebMercator, UnprojectUndoesProjectIncludingFractionalZoom) {
    for (double zoom : {0.0, 5.5, 12.0, 19.0}) {
        for (const LatLon where : {LatLon{37.523333, 127.0}, LatLon{-33.8688, 151.2093},
                                   LatLon{64.1466, -21.9426}, LatLon{-54.8019, -68.3030}}) {
            const LatLon back = unproject(project(where, zoom), zoom);
            EXPECT_NEAR(back.latitude, where.latitude, 1e-9) << zoom;
            EXPECT_NEAR(back.longitude, where.longitude, 1e-9) << zoom;
        }
    }
}

TEST(WebMercator, TheAntimeridianWrapsAround) {
    // 180° E and 180° W are the same meridian: the world's left edge.
    EXPECT_DOUBLE_EQ(project({0, 180}, 4).x, 0);
    EXPECT_DOUBLE_EQ(project({0, -180}, 4).x, 0);
    EXPECT_DOUBLE_EQ(project({0, 190}, 2).x, project({0, -170}, 2).x);
    // Just either side of it lie the last and the first column of tiles.
    EXPECT_EQ(tileAt(project({-17.7, 179.99}, 8), 8).x, 255);
    EXPECT_EQ(tileAt(project({-17.7, -179.99}, 8), 8).x, 0);
    // A view that reaches past the right edge asks for the first column again, and past the left
    // edge for the last.
    EXPECT_EQ(tileAt({worldSize(3) + 10, 100}, 3), (TileKey{3, 0, 0}));
    EXPECT_EQ(tileAt({-10, 100}, 3), (TileKey{3, 7, 0}));
    EXPECT_NEAR(unproject({-1, worldSize(2) / 2}, 2).longitude, 180 - 360 / worldSize(2), 1e-9);
}

TEST(WebMercator, LatitudesNearThePolesStayOnTheMap) {
    // The square world ends at about 85.0511°; beyond it positions are held at the edge, and the
    // poles themselves (infinite in this projection) give a finite point.
    EXPECT_NEAR(project({kMaxLatitude, 0}, 0).y, 0, 1e-6);
    EXPECT_NEAR(project({-kMaxLatitude, 0}, 0).y, 256, 1e-6);
    for (double lat : {85.06, 89.9, 90.0}) {
        const WorldPoint north = project({lat, 10}, 5);
        const WorldPoint south = project({-lat, 10}, 5);
        EXPECT_TRUE(std::isfinite(north.y) && std::isfinite(south.y));
        EXPECT_NEAR(north.y, 0, 1e-6);
        EXPECT_NEAR(south.y, worldSize(5), 1e-6);
        EXPECT_EQ(tileAt(south, 5).y, 31); // the bottom edge is the last row, not one past it
    }
    EXPECT_NEAR(project({85.0, 0}, 0).y, 0.4193, 1e-3);
    EXPECT_NEAR(unproject({0, -500}, 3).latitude, kMaxLatitude, 1e-9);
}

TEST(WebMercator, TileKeysParentsAndMbtilesRows) {
    EXPECT_TRUE(isValidTile({0, 0, 0}));
    EXPECT_FALSE(isValidTile({1, 2, 0}));
    EXPECT_FALSE(isValidTile({2, 0, -1}));
    EXPECT_FALSE(isValidTile({20, 0, 0}));
    EXPECT_EQ(parentTile({5, 11, 20}), (TileKey{4, 5, 10}));
    EXPECT_EQ(parentTile({0, 0, 0}), std::nullopt);
    EXPECT_EQ(tmsRow({0, 0, 0}), 0);
    EXPECT_EQ(tmsRow({3, 1, 0}), 7);
}

TEST(WebMercator, ScaleBarDistancesAndUrls) {
    // One pixel covers about 156 km at zoom 0 on the equator, and half as much per zoom step.
    EXPECT_NEAR(metresPerPixel(0, 0), 156543.03, 0.01);
    EXPECT_NEAR(metresPerPixel(60, 1), 156543.03 / 4, 0.01);
    EXPECT_EQ(roundScaleDistance(740), 500);
    EXPECT_EQ(roundScaleDistance(1), 1);
    EXPECT_EQ(roundScaleDistance(0.0), 0);
    EXPECT_EQ(tileUrl("http://{s}.t/{z}-{y}-{x}?k={x}", {1, 1, 0}), "http://b.t/1-0-1?k=1");
    EXPECT_EQ(tileUrl("no fields", {1, 1, 0}), "no fields");
}
