// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Words that carry any bytes on one line of text, for what one program hands another: each word in
// double quotes, printable ASCII as it is, and \" \\ \n \t \r or \xHH for every other byte, so that a
// line end, a quote or a byte that is not UTF-8 in a path reads back exactly.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nura {

std::string quotedWord(std::string_view bytes);
// The words of `text` (one line, without its end), separated by single blanks; nothing when a word is
// not quoted, a quote is left open or an escape is not one of those above.
std::optional<std::vector<std::string>> quotedWords(std::string_view text);

} // namespace nura
