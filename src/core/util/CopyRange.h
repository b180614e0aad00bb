// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Copies bytes from one file to another at given positions, in the kernel where the file systems allow
// it (copy_file_range), else through a buffer. Used where media data moves unchanged between files.

#include <cstdint>

namespace nura {

// Copies `length` bytes from `in` at `inAt` to `out` at `outAt`. False with `error` set (an errno) when
// a read or write fails or the input ends first; `readFailed`, when given, then says whether it was the
// input that failed (a pulled card), so that the message names the right file.
bool copyRange(int in, uint64_t inAt, int out, uint64_t outAt, uint64_t length, int& error,
               bool* readFailed = nullptr);

} // namespace nura
