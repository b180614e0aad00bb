// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The values of a two-knob range slider: a low and a high value on one track, kept in order within the
// limits, and which knob the keyboard and the drag move.

#include <string>
#include <string_view>

namespace nura {

class SMDoubleSliderCell {
public:
    double minValue() const { return m_min; }
    double maxValue() const { return m_max; }
    // A new limit pulls the knobs inside it.
    void setMinValue(double minimum);
    void setMaxValue(double maximum);

    // The low value never rises above the high one nor falls below the minimum; the high value never falls
    // below the low one nor rises above the maximum. With locked knobs either setter moves both.
    double doubleLoValue() const { return m_lo; }
    double doubleHiValue() const { return m_hi; }
    void setDoubleLoValue(double value);
    void setDoubleHiValue(double value);
    int integerLoValue() const { return static_cast<int>(m_lo); }
    int integerHiValue() const { return static_cast<int>(m_hi); }
    void setIntegerLoValue(int value) { setDoubleLoValue(value); }
    void setIntegerHiValue(int value) { setDoubleHiValue(value); }
    // "%g"; the setters read the number at the start of the text (none reads as 0).
    std::string stringLoValue() const;
    std::string stringHiValue() const;
    void setStringLoValue(std::string_view text);
    void setStringHiValue(std::string_view text);

    // The knob the keyboard moves: the low one when tracking it, else the high one.
    bool trackingLoKnob() const { return m_trackingLoKnob; }
    void setTrackingLoKnob(bool lo) { m_trackingLoKnob = lo; }
    double doubleValue() const { return m_trackingLoKnob ? m_lo : m_hi; }
    void setDoubleValue(double value);

    bool lockedSliders() const { return m_locked; }
    // Locking brings the low knob onto the high one.
    void setLockedSliders(bool locked);

    // A drag of the low knob is under way.
    bool mouseTrackingSwapped() const { return m_mouseTrackingSwapped; }
    void setMouseTrackingSwapped(bool swapped) { m_mouseTrackingSwapped = swapped; }

private:
    double m_min = 0;
    double m_max = 100;
    double m_lo = 0;
    double m_hi = 0;
    bool m_locked = false;
    bool m_trackingLoKnob = false;
    bool m_mouseTrackingSwapped = false;
};

} // namespace nura
