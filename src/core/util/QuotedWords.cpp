// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/util/QuotedWords.h"

namespace nura {
namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

} // namespace

std::string quotedWord(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    out.reserve(bytes.size() + 2);
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
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
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            if (b >= 0x20 && b < 0x7f) {
                out += c;
            } else {
                out += "\\x";
                out += kHex[b >> 4];
                out += kHex[b & 15];
            }
        }
    }
    out += '"';
    return out;
}

std::optional<std::vector<std::string>> quotedWords(std::string_view text) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < text.size()) {
        if (!words.empty()) {
            if (text[i] != ' ') {
                return std::nullopt;
            }
            ++i;
        }
        if (i >= text.size() || text[i] != '"') {
            return std::nullopt;
        }
        ++i;
        std::string word;
        bool closed = false;
        while (i < text.size() && !closed) {
            const char c = text[i++];
            if (c == '"') {
                closed = true;
            } else if (c != '\\') {
                word += c;
            } else if (i >= text.size()) {
                return std::nullopt;
            } else {
                const char e = text[i++];
                if (e == '"' || e == '\\') {
                    word += e;
                } else if (e == 'n') {
                    word += '\n';
                } else if (e == 't') {
                    word += '\t';
                } else if (e == 'r') {
                    word += '\r';
                } else if (e == 'x' && i + 1 < text.size() && hexDigit(text[i]) >= 0 &&
                           hexDigit(text[i + 1]) >= 0) {
                    word += static_cast<char>(hexDigit(text[i]) * 16 + hexDigit(text[i + 1]));
                    i += 2;
                } else {
                    return std::nullopt;
                }
            }
        }
        if (!closed) {
            return std::nullopt;
        }
        words.push_back(std::move(word));
    }
    return words;
}

} // namespace nura
