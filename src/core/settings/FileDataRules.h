// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Factory defaults and sealing of the settings record.

#include "core/settings/FileData.h"

#include <cstdint>

namespace nura {

// Stores every factory default. Leaves checksum, time_gmt, summer_time, Brightness1 and dummy1 as they are,
// so a reset keeps the user's time zone, daylight-saving flag and voice language.
void SetDefaultFileData(_FILEDATA& record);

// Exclusive-or of the low halves of the 124 little-endian words from offset 4 on: only the bytes at 4k and
// 4k+1 count, so neither cfg_ver, the checksum itself nor any word's upper half changes it.
uint16_t FileDataChecksum(const _FILEDATA& record);

// Before every save: the plate flag follows the car number, then the checksum is set. cfg_ver is kept.
void SealFileData(_FILEDATA& record);

// True when the stored checksum is the one sealing would store.
bool FileDataChecksumMatches(const _FILEDATA& record);

} // namespace nura
