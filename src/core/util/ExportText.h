// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Number and text forms shared by the command-line exports (CSV, GPX, GeoJSON), so that every export
// writes a coordinate, a stored sensor value or a file name the same way.

#include <string>

namespace nura {

// "%.6f": coordinates in decimal degrees, about 0.1 m.
std::string sixDecimals(double value);
// Values that went through single precision (the NMEA parser stores speed, course and DOP that way)
// print as the shortest text that reads back to the same single; anything else as the shortest double.
std::string storedNumber(double value);
// A CSV field, quoted only when it holds a comma, a quote or a line end, so plain fields stay as they are.
std::string csvField(const std::string& text);
// Text for an XML attribute or element: markup escaped, control bytes dropped, broken UTF-8 replaced.
std::string xmlText(const std::string& text);

} // namespace nura
