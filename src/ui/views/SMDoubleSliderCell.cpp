// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/views/SMDoubleSliderCell.h"

#include "core/validation/ORBValidator.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace nura {

namespace {

std::string formatG(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

} // namespace

void SMDoubleSliderCell::setMinValue(double minimum) {
    if (minimum > m_lo) {
        m_lo = minimum;
    }
    if (minimum > m_hi) {
        m_hi = minimum;
    }
    m_min = minimum;
    m_max = std::max(m_max, minimum);
}

void SMDoubleSliderCell::setMaxValue(double maximum) {
    m_lo = std::min(m_lo, maximum);
    m_hi = std::min(m_hi, maximum);
    m_max = maximum;
    m_min = std::min(m_min, maximum);
}

void SMDoubleSliderCell::setDoubleLoValue(double value) {
    if (std::isnan(value)) {
        return;
    }
    if (m_locked) {
        m_lo = m_hi = std::clamp(value, m_min, m_max);
        return;
    }
    m_lo = std::max(std::min(value, m_hi), m_min);
}

void SMDoubleSliderCell::setDoubleHiValue(double value) {
    if (std::isnan(value)) {
        return;
    }
    if (m_locked) {
        m_lo = m_hi = std::clamp(value, m_min, m_max);
        return;
    }
    m_hi = std::min(std::max(value, m_lo), m_max);
}

std::string SMDoubleSliderCell::stringLoValue() const {
    return formatG(m_lo);
}

std::string SMDoubleSliderCell::stringHiValue() const {
    return formatG(m_hi);
}

void SMDoubleSliderCell::setStringLoValue(std::string_view text) {
    setDoubleLoValue(ORBValidator::scanNumber(text).value_or(0));
}

void SMDoubleSliderCell::setStringHiValue(std::string_view text) {
    setDoubleHiValue(ORBValidator::scanNumber(text).value_or(0));
}

void SMDoubleSliderCell::setDoubleValue(double value) {
    if (m_trackingLoKnob) {
        setDoubleLoValue(value);
    } else {
        setDoubleHiValue(value);
    }
}

void SMDoubleSliderCell::setLockedSliders(bool locked) {
    m_locked = locked;
    if (locked) {
        m_lo = m_hi;
    }
}

} // namespace nura
