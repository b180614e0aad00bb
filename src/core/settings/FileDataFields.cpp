// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/settings/FileDataFields.h"

#include "core/util/JsonWriter.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>

namespace nura {
namespace {

const unsigned char* bytesOf(const _FILEDATA& record) {
    return reinterpret_cast<const unsigned char*>(&record);
}
unsigned char* bytesOf(_FILEDATA& record) {
    return reinterpret_cast<unsigned char*>(&record);
}

uint32_t readLE(const unsigned char* p, std::size_t size) {
    uint32_t v = 0;
    for (std::size_t i = size; i-- > 0;) {
        v = (v << 8) | p[i];
    }
    return v;
}

void writeLE(unsigned char* p, std::size_t size, uint32_t v) {
    for (std::size_t i = 0; i < size; ++i) {
        p[i] = static_cast<unsigned char>(v >> (8 * i));
    }
}

std::size_t scalarSize(FieldType type) {
    switch (type) {
    case FieldType::U8:
        return 1;
    case FieldType::U16:
        return 2;
    default:
        return 4;
    }
}

// Decimal, or hexadecimal after "0x"; an optional sign. Nothing may follow the number.
std::optional<int64_t> parseInteger(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    uint64_t magnitude = 0;
    const auto res = std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
    if (res.ec != std::errc() || res.ptr != text.data() + text.size() || magnitude > (uint64_t{1} << 40)) {
        return std::nullopt;
    }
    const auto value = static_cast<int64_t>(magnitude);
    return negative ? -value : value;
}

std::string quoteText(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20 || u >= 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", u);
            out += buf;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// The listing's quoted form read back: "\"" and "\\" for themselves, "\xNN" for any byte.
std::optional<std::string> unquoteText(std::string_view quoted) {
    std::string out;
    for (size_t i = 1; i + 1 < quoted.size(); ++i) {
        const char c = quoted[i];
        if (c != '\\') {
            if (c == '"') {
                return std::nullopt;
            }
            out += c;
            continue;
        }
        if (i + 2 >= quoted.size()) {
            return std::nullopt;
        }
        const char next = quoted[++i];
        if (next == '"' || next == '\\') {
            out += next;
        } else if (next == 'x' && i + 3 < quoted.size() &&
                   std::isxdigit(static_cast<unsigned char>(quoted[i + 1])) &&
                   std::isxdigit(static_cast<unsigned char>(quoted[i + 2]))) {
            out += static_cast<char>(std::stoi(std::string(quoted.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        } else {
            return std::nullopt;
        }
    }
    return out;
}

std::string rangeError(std::string_view name, int64_t low, int64_t high) {
    char buf[160];
    std::snprintf(buf, sizeof buf, "%.*s takes a whole number from %lld to %lld",
                  static_cast<int>(name.size()), name.data(), static_cast<long long>(low),
                  static_cast<long long>(high));
    return buf;
}

} // namespace

std::span<const FieldDescriptor> fileDataFields() {
    return kFileDataFields;
}

const FieldDescriptor* findFileDataField(std::string_view name) {
    const auto* it = std::find_if(std::begin(kFileDataFields), std::end(kFileDataFields),
                                  [&](const FieldDescriptor& f) { return f.name == name; });
    return it == std::end(kFileDataFields) ? nullptr : it;
}

std::string fieldTypeName(const FieldDescriptor& field) {
    switch (field.type) {
    case FieldType::U8:
        return "u8";
    case FieldType::U16:
        return "u16";
    case FieldType::U32:
        return "u32";
    case FieldType::I32:
        return "i32";
    case FieldType::F32:
        return "f32";
    case FieldType::Text:
        return "char[" + std::to_string(field.length) + "]";
    case FieldType::U32Array:
        return "u32[" + std::to_string(field.length / 4) + "]";
    }
    return "?";
}

int64_t fieldInteger(const _FILEDATA& record, const FieldDescriptor& field, std::size_t element) {
    const unsigned char* p = bytesOf(record) + field.offset;
    switch (field.type) {
    case FieldType::U8:
    case FieldType::U16:
    case FieldType::U32:
        return readLE(p, scalarSize(field.type));
    case FieldType::I32:
        return static_cast<int32_t>(readLE(p, 4));
    case FieldType::U32Array:
        return element < field.length / 4u ? readLE(p + 4 * element, 4) : 0;
    case FieldType::F32:
    case FieldType::Text:
        break;
    }
    return 0;
}

float fieldFloat(const _FILEDATA& record, const FieldDescriptor& field) {
    return std::bit_cast<float>(readLE(bytesOf(record) + field.offset, 4));
}

std::string fieldText(const _FILEDATA& record, const FieldDescriptor& field) {
    const auto* p = reinterpret_cast<const char*>(bytesOf(record) + field.offset);
    return std::string(p, strnlen(p, field.length));
}

std::string formatFieldValue(const _FILEDATA& record, const FieldDescriptor& field) {
    switch (field.type) {
    case FieldType::F32:
        return shortestFloat(fieldFloat(record, field));
    case FieldType::Text:
        return quoteText(fieldText(record, field));
    case FieldType::U32Array: {
        std::string out;
        for (std::size_t i = 0; i < field.length / 4u; ++i) {
            if (i) {
                out += ',';
            }
            out += std::to_string(fieldInteger(record, field, i));
        }
        return out;
    }
    default:
        return std::to_string(fieldInteger(record, field));
    }
}

std::string setFieldFromText(_FILEDATA& record, const FieldDescriptor& field, std::string_view text) {
    unsigned char* p = bytesOf(record) + field.offset;
    const std::string name(field.name);
    switch (field.type) {
    case FieldType::U8:
    case FieldType::U16:
    case FieldType::U32: {
        const int64_t high = (int64_t{1} << (8 * scalarSize(field.type))) - 1;
        const auto v = parseInteger(text);
        if (!v || *v < 0 || *v > high) {
            return rangeError(name, 0, high);
        }
        writeLE(p, scalarSize(field.type), static_cast<uint32_t>(*v));
        return {};
    }
    case FieldType::I32: {
        const auto v = parseInteger(text);
        if (!v || *v < std::numeric_limits<int32_t>::min() || *v > std::numeric_limits<int32_t>::max()) {
            return rangeError(name, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max());
        }
        writeLE(p, 4, static_cast<uint32_t>(static_cast<int32_t>(*v)));
        return {};
    }
    case FieldType::F32: {
        float v = 0;
        const auto res = std::from_chars(text.data(), text.data() + text.size(), v);
        if (text.empty() || res.ec != std::errc() || res.ptr != text.data() + text.size() ||
            !std::isfinite(v)) {
            return name + " takes a finite decimal number";
        }
        writeLE(p, 4, std::bit_cast<uint32_t>(v));
        return {};
    }
    case FieldType::Text: {
        // The listing's own form, quoted with escapes, reads back to the very bytes it shows.
        std::string bytes(text);
        if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
            const auto unquoted = unquoteText(text);
            if (!unquoted) {
                return name +
                       " takes a text, or one quoted as `nura config show` prints it (\\\", \\\\, \\xNN)";
            }
            bytes = *unquoted;
        }
        if (bytes.size() > field.length || bytes.find('\0') != std::string::npos) {
            return name + " takes a text of at most " + std::to_string(field.length) + " bytes";
        }
        std::memset(p, 0, field.length);
        std::memcpy(p, bytes.data(), bytes.size());
        return {};
    }
    case FieldType::U32Array: {
        const std::size_t count = field.length / 4u;
        uint32_t values[16] = {};
        std::size_t n = 0;
        std::string_view rest = text;
        bool whole = true; // every piece between commas a number, none left over, no comma at the end
        for (;;) {
            const auto comma = rest.find(',');
            const auto v = parseInteger(rest.substr(0, comma));
            if (n == count || !v || *v < 0 || *v > 0xFFFFFFFFll) {
                whole = false;
                break;
            }
            values[n++] = static_cast<uint32_t>(*v);
            if (comma == std::string_view::npos) {
                break;
            }
            rest.remove_prefix(comma + 1);
        }
        if (!whole || n != count) {
            return name + " takes " + std::to_string(count) +
                   " comma-separated whole numbers from 0 to 4294967295";
        }
        for (std::size_t i = 0; i < count; ++i) {
            writeLE(p + 4 * i, 4, values[i]);
        }
        return {};
    }
    }
    return name + " cannot be set";
}

} // namespace nura
