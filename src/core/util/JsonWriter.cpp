// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/util/JsonWriter.h"

#include "core/util/Text.h"

#include <charconv>
#include <cmath>

namespace nura {

std::string shortestDouble(double value) {
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, res.ptr);
}

std::string shortestFloat(float value) {
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, res.ptr);
}

std::string JsonWriter::quote(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out.push_back('"');
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            const size_t len = utf8SequenceLength(text, i);
            if (len == 0) {
                out += "\xEF\xBF\xBD";
                ++i;
            } else {
                out.append(text.substr(i, len));
                i += len;
            }
            continue;
        }
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20) {
                static const char hex[] = "0123456789abcdef";
                out += "\\u00";
                out.push_back(hex[c >> 4]);
                out.push_back(hex[c & 15]);
            } else {
                out.push_back(static_cast<char>(c));
            }
        }
        ++i;
    }
    out.push_back('"');
    return out;
}

void JsonWriter::newline() {
    if (!m_pretty) {
        return;
    }
    m_out.push_back('\n');
    m_out.append(m_stack.size() * 2, ' ');
}

void JsonWriter::flush() {
    if (m_sink && !m_out.empty()) {
        m_sink(m_out);
        m_out.clear();
    }
}

void JsonWriter::beforeValue() {
    if (m_out.size() >= kSpillSize) {
        flush();
    }
    if (m_afterKey) {
        m_afterKey = false;
        return;
    }
    if (!m_stack.empty()) {
        if (!m_stack.back().empty) {
            m_out.push_back(',');
        }
        m_stack.back().empty = false;
        newline();
    }
}

JsonWriter& JsonWriter::beginObject() {
    beforeValue();
    m_out.push_back('{');
    m_stack.push_back({true, true});
    return *this;
}

JsonWriter& JsonWriter::endObject() {
    const bool wasEmpty = m_stack.back().empty;
    m_stack.pop_back();
    if (!wasEmpty) {
        newline();
    }
    m_out.push_back('}');
    return *this;
}

JsonWriter& JsonWriter::beginArray() {
    beforeValue();
    m_out.push_back('[');
    m_stack.push_back({false, true});
    return *this;
}

JsonWriter& JsonWriter::endArray() {
    const bool wasEmpty = m_stack.back().empty;
    m_stack.pop_back();
    if (!wasEmpty) {
        newline();
    }
    m_out.push_back(']');
    return *this;
}

JsonWriter& JsonWriter::key(std::string_view name) {
    beforeValue();
    m_out += quote(name);
    m_out += m_pretty ? ": " : ":";
    m_afterKey = true;
    return *this;
}

JsonWriter& JsonWriter::value(std::string_view text) {
    beforeValue();
    m_out += quote(text);
    return *this;
}

JsonWriter& JsonWriter::value(bool flag) {
    beforeValue();
    m_out += flag ? "true" : "false";
    return *this;
}

JsonWriter& JsonWriter::value(int64_t number) {
    beforeValue();
    m_out += std::to_string(number);
    return *this;
}

JsonWriter& JsonWriter::value(uint64_t number) {
    beforeValue();
    m_out += std::to_string(number);
    return *this;
}

JsonWriter& JsonWriter::value(double number) {
    beforeValue();
    m_out += std::isfinite(number) ? shortestDouble(number) : "null";
    return *this;
}

JsonWriter& JsonWriter::null() {
    beforeValue();
    m_out += "null";
    return *this;
}

} // namespace nura
