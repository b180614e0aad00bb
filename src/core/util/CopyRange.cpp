// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/util/CopyRange.h"

#include <algorithm>
#include <cerrno>
#include <unistd.h>
#include <vector>

namespace nura {

bool copyRange(int in, uint64_t inAt, int out, uint64_t outAt, uint64_t length, int& error,
               bool* readFailed) {
    if (readFailed) {
        *readFailed = false;
    }
    auto inOff = static_cast<off_t>(inAt);
    auto outOff = static_cast<off_t>(outAt);
    bool kernel = true;
    std::vector<std::byte> block;
    while (length > 0) {
        ssize_t n = -1;
        if (kernel) {
            n = ::copy_file_range(in, &inOff, out, &outOff,
                                  static_cast<size_t>(std::min<uint64_t>(length, 1u << 30)), 0);
            if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
                kernel = false;
                continue;
            }
        } else {
            block.resize(size_t{4} << 20);
            n = ::pread(in, block.data(), static_cast<size_t>(std::min<uint64_t>(length, block.size())),
                        inOff);
            if (n > 0) {
                size_t done = 0;
                while (done < static_cast<size_t>(n)) {
                    const ssize_t w = ::pwrite(out, block.data() + done, static_cast<size_t>(n) - done,
                                               outOff + static_cast<off_t>(done));
                    if (w <= 0) {
                        if (w < 0 && errno == EINTR) {
                            continue;
                        }
                        error = w < 0 ? errno : ENOSPC;
                        return false; // the output's side
                    }
                    done += static_cast<size_t>(w);
                }
                inOff += n;
                outOff += n;
            }
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            error = n < 0 ? errno : EIO; // the input shrank while it was copied
            if (readFailed) {
                // The kernel's copy does not say which side failed: a read of one byte does.
                std::byte probe{};
                *readFailed = n == 0 || !kernel || ::pread(in, &probe, 1, inOff) < 0;
            }
            return false;
        }
        length -= static_cast<uint64_t>(n);
    }
    return true;
}

} // namespace nura
