// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The recordings a lossless cut reads: each one's index, checked to hold together, and the chain of
// recordings that follow one another on the card by name time.

#include "core/clip/LosslessClip.h"
#include "core/mp4/Mp4Movie.h"
#include "core/telemetry/ORBByteSource.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace nura::clip_source {

struct Piece {
    ClipPiece place;
    Mp4Movie movie;
    int video = -1;
    std::unique_ptr<ORBFileByteSource> source; // the file whose index was read, for the copy
};

// Each sample's start, length and place in the file, from the track's tables.
std::vector<uint64_t> sampleTimes(const Mp4Track& t);
std::vector<uint32_t> sampleDeltas(const Mp4Track& t);
std::vector<uint64_t> sampleOffsets(const Mp4Track& t);

enum class PieceRead { Ok, CannotRead, NotRecording };

// Reads `path`'s index into `piece`; anything else than Ok comes with `why`.
PieceRead readPiece(const std::string& path, Piece& piece, std::string& why);

// The chain from `first` as far as `until` seconds. A following recording that joins but cannot be
// used ends the chain: `stop` says how, `stoppedAt` names it and `why` gives the reason.
std::vector<Piece> chainOf(Piece first, double until, PieceRead& stop, std::string& why,
                           std::string& stoppedAt);

} // namespace nura::clip_source
