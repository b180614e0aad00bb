#include "core/util/JsonWriter.h"

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

namespace {

// Length of the valid UTF-8 sequence at s[i], or 0 when the bytes there are not one.
size_t utf8SequenceLength(std::string_view s, size_t i) {
    const auto c = static_cast<unsigned char>(s[i]);
    size_t len = 0;
    uint32_t cp = 0;
    if (c < 0x80) {
        return 1;
    } else if ((c & 0xE0) == 0xC0) {
        len = 2;
        cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        len = 3;
        cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        len = 4;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (i + len > s.size()) {
        return 0;
    }
    for (size_t k = 1; k < len; ++k) {
        const auto cc = static_cast<unsigned char>(s[i + k]);
        if ((cc & 0xC0) != 0x80) {
            return 0;
        }
        cp = (cp << 6) | (cc & 0x3F);
    }
    const bool overlong = (len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000);
    if (overlong || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return 0;
    }
    return len;
}

} // namespace

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

void JsonWriter::beforeValue() {
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
