// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One G-sensor sample in units of g, as the playback texts and the graph show it.

#include <cstdint>

namespace nura {

class ORBGSensor {
public:
    ORBGSensor() = default;
    ORBGSensor(float x, float y, float z) : m_x(x), m_y(y), m_z(z) {}

    // The camera stores 1 g as 256; the scaling is done in single precision like the camera's own tools.
    static ORBGSensor fromRaw(int32_t x, int32_t y, int32_t z);

    void updateFromObject(const ORBGSensor& other) { *this = other; }

    float x() const { return m_x; }
    float y() const { return m_y; }
    float z() const { return m_z; }
    void setX(float v) { m_x = v; }
    void setY(float v) { m_y = v; }
    void setZ(float v) { m_z = v; }

    bool operator==(const ORBGSensor&) const = default;

private:
    float m_x = 0.0f;
    float m_y = 0.0f;
    float m_z = 0.0f;
};

} // namespace nura
