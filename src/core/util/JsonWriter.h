// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A small streaming JSON writer for the command-line tool's machine-readable output.
// Strings are written as UTF-8; bytes that are not valid UTF-8 become U+FFFD.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace nura {

class JsonWriter {
public:
    // Hands the text on as it goes: whenever the buffered text passes kSpillSize, and on flush().
    // For output too large to hold whole.
    using Sink = std::function<void(std::string_view)>;
    static constexpr size_t kSpillSize = 64 * 1024;

    explicit JsonWriter(bool pretty = true) : m_pretty(pretty) {}
    explicit JsonWriter(Sink sink, bool pretty = true) : m_pretty(pretty), m_sink(std::move(sink)) {}

    JsonWriter& beginObject();
    JsonWriter& endObject();
    JsonWriter& beginArray();
    JsonWriter& endArray();
    JsonWriter& key(std::string_view name);

    JsonWriter& value(std::string_view text);
    JsonWriter& value(const char* text) { return value(std::string_view(text)); }
    JsonWriter& value(const std::string& text) { return value(std::string_view(text)); }
    JsonWriter& value(bool flag);
    JsonWriter& value(int64_t number);
    JsonWriter& value(uint64_t number);
    JsonWriter& value(int number) { return value(static_cast<int64_t>(number)); }
    JsonWriter& value(unsigned number) { return value(static_cast<uint64_t>(number)); }
    // Shortest text that reads back to the same double; NaN and infinities become null.
    JsonWriter& value(double number);
    JsonWriter& null();

    // The text written so far; with a sink, only what has not been handed on yet.
    const std::string& str() const { return m_out; }
    void flush();

    static std::string quote(std::string_view text);

private:
    void beforeValue();
    void newline();

    std::string m_out;
    bool m_pretty;
    Sink m_sink;
    struct Level {
        bool isObject;
        bool empty;
    };
    std::vector<Level> m_stack;
    bool m_afterKey = false;
};

// Shortest round-trip text of a floating-point value ("0.1", "1e-07", "12").
std::string shortestDouble(double value);
std::string shortestFloat(float value);

} // namespace nura
