// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/repair/TrialDecoder.h"

#include "core/util/QuotedWords.h"

#include <utility>

namespace nura {

TrialDecoder::TrialDecoder(std::string helper) {
    // The helper's own messages are for diagnosis only; the answers are its lines.
    m_helper.start(helper, {"decode-check", "--frames", std::to_string(kFrames), "--serve"}, false);
}

TrialDecoder::~TrialDecoder() {
    stop();
}

void TrialDecoder::stop() {
    m_helper.endInput(); // the end of its input ends the helper
    m_helper.wait();
}

bool TrialDecoder::send(const std::string& path) {
    if (!m_helper.started()) {
        return false;
    }
    if (!m_helper.send(quotedWord(path) + "\n")) {
        stop();
        return false;
    }
    return true;
}

TrialDecode TrialDecoder::answer() {
    std::string line;
    while (m_helper.readLine(line) == HelperProcess::Read::Line) {
        if (line.starts_with("ok")) {
            return TrialDecode::Decodes;
        }
        if (line.starts_with("fail")) {
            return TrialDecode::Fails;
        }
    }
    // The helper ended without an answer: one that exits with an error could not work at all, one
    // that crashed on the data shows that it does not decode.
    const int status = m_helper.wait();
    return status > 0 && status < 128 ? TrialDecode::Unavailable : TrialDecode::Fails;
}

void TrialDecoder::ahead(const std::string& path) {
    if (m_pending.empty() && send(path)) {
        m_pending = path;
    }
}

TrialDecode TrialDecoder::check(const std::string& path) {
    // An answer still owed for another path is read and dropped first.
    if (!m_pending.empty()) {
        const std::string pending = std::exchange(m_pending, {});
        const TrialDecode early = m_helper.started() ? answer() : TrialDecode::Unavailable;
        if (pending == path) {
            return early;
        }
    }
    if (!send(path)) {
        return TrialDecode::Unavailable;
    }
    return answer();
}

} // namespace nura
