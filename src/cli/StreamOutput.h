// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Standard output, written as the text is made so that no export holds its whole output in memory.
// A failed write is remembered and the rest is skipped.

#include <cstdio>
#include <string_view>

class StreamOutput {
public:
    void write(std::string_view text) {
        if (m_ok && !text.empty() && std::fwrite(text.data(), 1, text.size(), stdout) != text.size()) {
            m_ok = false;
        }
    }
    bool ok() const { return m_ok; }
    bool finish() {
        m_ok = std::fflush(stdout) == 0 && m_ok;
        return m_ok;
    }

private:
    bool m_ok = true;
};
