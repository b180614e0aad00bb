// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Keeps one running GPS state and updates it from NMEA 0183 sentences: recommended minimum (RMC),
// fix data (GGA), active satellites per constellation (GNGSA) and combined fix (GNGNS).
// Checksums are not verified; the camera's receiver is trusted as it is.

#include "core/telemetry/ORBGpsData.h"

#include <array>
#include <cstdint>
#include <string_view>

namespace nura {

class ORBNMEASentenceParser {
public:
    // The fields of one sentence split at ','; element 0 is the address with its '$'.
    // Fields past the last one read as empty, and so do fields past kMaxFields (no handler reads them).
    class Fields {
    public:
        static constexpr size_t kMaxFields = 24;
        static Fields split(std::string_view body);
        std::string_view operator[](size_t i) const { return i < m_count ? m_fields[i] : std::string_view(); }
        size_t size() const { return m_count; }

    private:
        std::array<std::string_view, kMaxFields> m_fields{};
        size_t m_count = 0;
    };

    // One sentence without its line end. True when it was routed to a handler; false when refused
    // (not UTF-8, not exactly one '*', or an address no handler takes), which changes nothing.
    bool parse(std::string_view sentence);

    bool parseGPRMC(const Fields& f);
    bool parseGPGGA(const Fields& f);
    bool parseGNGSA(const Fields& f);
    bool parseGNGNS(const Fields& f);

    void clear() { m_Current.clear(); }
    const ORBGpsData& current() const { return m_Current; }
    void setCurrent(const ORBGpsData& state) { m_Current = state; }

    // The leading decimal number of a field, through single precision; 0 when there is none.
    static double floatField(std::string_view field);
    // The leading decimal integer of a field, held to the 32-bit range; 0 when there is none.
    static int32_t intField(std::string_view field);

private:
    ORBGpsData m_Current;
};

} // namespace nura
