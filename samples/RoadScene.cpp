// SPDX-License-Identifier: GPL-3.0-or-later
#include "RoadScene.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace samples {
namespace {

struct Yuv {
    uint8_t y, u, v;
};

constexpr Yuv yuvOf(int r, int g, int b) {
    return {static_cast<uint8_t>(16 + (66 * r + 129 * g + 25 * b + 128) / 256),
            static_cast<uint8_t>(128 + (-38 * r - 74 * g + 112 * b + 128) / 256),
            static_cast<uint8_t>(128 + (112 * r - 94 * g - 18 * b + 128) / 256)};
}

constexpr double kHorizon = 0.42;  // of the height
constexpr double kRoadNear = 0.5;  // half the road's width at the bottom row, of the width (plus kRoadFar)
constexpr double kRoadFar = 0.02;  // at the horizon
constexpr double kPostLine = 1.25; // posts stand this far out, in half road widths
constexpr double kMetresPerUnit = 2.0; // of depth
constexpr double kDashPeriod = 3.0;    // depth units from one dash to the next
constexpr double kPostPeriod = 8.0;

class Picture {
public:
    Picture(int width, int height, std::vector<uint8_t>& yuv) : m_w(width), m_h(height), m_yuv(yuv) {
        m_yuv.resize(static_cast<size_t>(width) * height * 3 / 2);
    }
    // Fills columns [x0, x1) of row y; chroma is set on even rows and columns.
    void span(int y, int x0, int x1, Yuv c) {
        x0 = std::clamp(x0, 0, m_w);
        x1 = std::clamp(x1, 0, m_w);
        if (y < 0 || y >= m_h || x0 >= x1) {
            return;
        }
        std::memset(m_yuv.data() + static_cast<size_t>(y) * m_w + x0, c.y, static_cast<size_t>(x1 - x0));
        if (y % 2 == 0) {
            const size_t quarter = static_cast<size_t>(m_w) * m_h / 4;
            uint8_t* u =
                m_yuv.data() + static_cast<size_t>(m_w) * m_h + static_cast<size_t>(y / 2) * (m_w / 2);
            const int c0 = x0 / 2, c1 = std::min(std::max(c0 + 1, (x1 + 1) / 2), m_w / 2);
            std::memset(u + c0, c.u, static_cast<size_t>(c1 - c0));
            std::memset(u + quarter + c0, c.v, static_cast<size_t>(c1 - c0));
        }
    }
    int width() const { return m_w; }
    int height() const { return m_h; }

private:
    int m_w, m_h;
    std::vector<uint8_t>& m_yuv;
};

double halfRoad(double depth, int width) {
    return width * (kRoadFar + kRoadNear * depth);
}

} // namespace

void drawRoadFrame(int width, int height, double metres, bool rear, std::vector<uint8_t>& yuv) {
    Picture p(width, height, yuv);
    const int horizon = static_cast<int>(height * kHorizon);
    const double cx = width / 2.0;
    // Depth q = 2 / d, with d the row's place between the horizon (0) and the bottom row (1). Marks sit at
    // fixed places of q + shift; the shift grows for the front camera, so they come closer, and falls
    // for the rear one.
    const double travelled = metres / kMetresPerUnit;
    const double shift = rear ? -travelled : travelled;
    const auto phase = [&](double q, double period) {
        const double m = std::fmod(q + shift, period);
        return m < 0 ? m + period : m;
    };
    for (int y = 0; y < horizon; ++y) {
        const int t = 70 * y / std::max(horizon, 1);
        p.span(y, 0, width, yuvOf(100 + t, 150 + t / 2, 235));
    }
    for (int y = horizon; y < height; ++y) {
        const double d = (y - horizon + 0.5) / (height - horizon);
        const double q = 2.0 / d;
        const double half = halfRoad(d, width);
        const int grass = 60 + static_cast<int>(40 * d);
        p.span(y, 0, width, yuvOf(grass, grass + 55, 45));
        p.span(y, static_cast<int>(cx - half), static_cast<int>(cx + half), yuvOf(86, 86, 92));
        const double line = width * 0.008 * d + 1;
        const Yuv white = yuvOf(235, 235, 225);
        for (const double edge : {cx - half * 0.92, cx + half * 0.92}) {
            p.span(y, static_cast<int>(edge - line / 2), static_cast<int>(edge + line / 2 + 1), white);
        }
        if (phase(q, kDashPeriod) < 1.3) {
            const double dash = width * 0.012 * d + 1;
            p.span(y, static_cast<int>(cx - dash / 2), static_cast<int>(cx + dash / 2 + 1), white);
        }
    }
    // Posts: one every kPostPeriod of depth on each side, as wide and as tall as their distance makes them.
    const Yuv postWhite = yuvOf(230, 230, 230);
    const Yuv reflector = yuvOf(215, 40, 35);
    const double first = kPostPeriod - phase(0.0, kPostPeriod); // the nearest post's q, minus whole periods
    for (double q = first; q < 70; q += kPostPeriod) {
        if (q < 2.0) {
            continue; // behind the bottom row
        }
        const double d = 2.0 / q;
        const double dx = kPostLine * halfRoad(d, width);
        const double half = (width * 0.012 * d + 2) / 2;
        const int base = horizon + static_cast<int>(d * (height - horizon));
        const int top = base - static_cast<int>(0.3 * height * d);
        const int band = top + static_cast<int>(0.05 * height * d) + 1;
        for (int y = top; y < base; ++y) {
            const Yuv c = y < band ? reflector : postWhite;
            for (const double x : {cx - dx, cx + dx}) {
                p.span(y, static_cast<int>(x - half), static_cast<int>(x + half + 1), c);
            }
        }
    }
}

} // namespace samples
