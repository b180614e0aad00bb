// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A file name's bytes held in a QString and given back unchanged. Linux names are bytes, not text: a
// card written by another system can hold names that are not UTF-8, and Qt's own conversions turn such
// bytes into U+FFFD, which names another file (or none). Here valid UTF-8 becomes its characters and
// every other byte 0x80-0xFF becomes the lone surrogate U+DC80-U+DCFF, which no valid UTF-8 yields, so
// pathBytes(pathText(b)) == b for any bytes. Shown on screen, such a byte reads as a replacement mark.

#include <QString>

#include <string>
#include <string_view>

namespace nura {

QString pathText(std::string_view bytes);
// The bytes pathText was made from. A lone surrogate that pathText cannot give (U+D800-U+DC7F, or one
// past U+DCFF) becomes U+FFFD's bytes.
std::string pathBytes(const QString& text);

} // namespace nura
