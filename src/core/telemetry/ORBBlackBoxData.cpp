// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/telemetry/ORBBlackBoxData.h"

#include "core/log.h"
#include "core/telemetry/ByteOrder.h"
#include "core/telemetry/ORBChunkTableLocator.h"
#include "core/telemetry/ORBTelemetryRecord.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <new>

namespace nura {

void ORBBlackBoxData::clear() {
    m_NMEAParser.clear();
    m_NMEAs.clear();
    m_GSensors.clear();
    m_Times.clear();
    m_vGSensorData.clear();
    m_vGpsData.clear();
    m_StatesThrough.clear();
    m_LastError = ORBTelemetryError::None;
    m_Cut = false;
    m_Truncated = false;
    m_TableEntries = 0;
}

// The lists are given back to the system, not only emptied: memory is what ran out.
bool ORBBlackBoxData::outOfMemory() {
    m_NMEAParser.clear();
    m_NMEAs = {};
    m_GSensors = {};
    m_Times = {};
    m_vGSensorData = {};
    m_vGpsData = {};
    m_StatesThrough = {};
    m_Cut = false;
    m_Truncated = false;
    m_TableEntries = 0;
    m_LastError = ORBTelemetryError::OutOfMemory;
    return false;
}

bool ORBBlackBoxData::ExtractStreamInformation(const std::string& path) {
    logLine("#############################   START");
    clear();
    std::unique_ptr<ORBFileByteSource> file;
    try {
        file = ORBFileByteSource::open(path);
    } catch (const std::bad_alloc&) {
        return outOfMemory();
    }
    if (!file) {
        m_LastError = ORBTelemetryError::OpenFailed;
        return false;
    }
    return extract(*file);
}

bool ORBBlackBoxData::ExtractStreamInformation(ORBByteSource& source) {
    logLine("#############################   START");
    clear();
    return extract(source);
}

bool ORBBlackBoxData::extract(ORBByteSource& source) {
    try {
        const auto table = ORBChunkTableLocator::locate(source);
        if (table.error != ORBTelemetryError::None) {
            m_LastError = source.readError() != 0 ? ORBTelemetryError::ReadFailed : table.error;
            return false;
        }
        readChunks(source, table.tablePosition, table.entryCount);
        if (source.readError() != 0) {
            // Records up to a refused read would pass for the whole recording: none rather than some.
            clear();
            m_LastError = ORBTelemetryError::ReadFailed;
            return false;
        }
    } catch (const std::bad_alloc&) {
        return outOfMemory();
    }
    logLine("#############################  FINISH");
    return true;
}

bool ORBBlackBoxData::readChunks(ORBByteSource& source, uint64_t tablePosition, uint32_t entryCount) {
    // The table cannot hold more entries than the bytes after its start; a larger count is a
    // truncated or corrupt table, read as far as it goes.
    m_TableEntries = entryCount;
    const uint64_t fileSize = source.size();
    const uint64_t available = tablePosition <= fileSize ? (fileSize - tablePosition) / 4 : 0;
    auto readable = static_cast<size_t>(std::min<uint64_t>(entryCount, available));
    if (readable > kMaxRecords) {
        readable = kMaxRecords;
        m_Cut = true;
    }
    // Fewer entries than the table counts, short of the bound: the file was cut before its end.
    m_Truncated = readable < std::min<uint64_t>(entryCount, kMaxRecords);
    m_Times.reserve(readable);
    m_GSensors.reserve(readable);
    m_vGSensorData.reserve(readable);
    m_vGpsData.reserve(readable);
    m_StatesThrough.reserve(readable);

    constexpr size_t kBlockEntries = 1024;
    std::array<std::byte, kBlockEntries * 4> offsets;
    std::array<std::byte, ORBTelemetryRecord::kSize> raw;
    for (size_t first = 0; first < readable; first += kBlockEntries) {
        const size_t n = std::min(kBlockEntries, readable - first);
        if (!source.readAt(tablePosition + 4 * uint64_t{first}, std::span(offsets).first(4 * n))) {
            m_Truncated = true;
            return false;
        }
        for (size_t k = 0; k < n; ++k) {
            const uint64_t at =
                uint64_t{bytes::readU32BE(offsets, 4 * k)} + ORBTelemetryRecord::kChunkLeadBytes;
            if (!source.readAt(at, raw)) {
                m_Truncated = true; // a chunk past the end: keep what was read
                return false;
            }
            auto record = *ORBTelemetryRecord::decode(raw);
            m_Times.push_back(record.time);
            m_vGSensorData.push_back(record.gSensor);
            ParseGSensor(record.gSensor.data());
            ORBAviGpsData::Block work = record.gps.data();
            ParseNMEA(std::span(work).subspan(1));
            m_vGpsData.emplace_back(work);
            m_StatesThrough.push_back(static_cast<uint32_t>(m_NMEAs.size()));
        }
    }
    return readable == entryCount;
}

bool ORBBlackBoxData::ParseNMEA(std::span<char> text) {
    if (text.empty()) {
        return false;
    }
    size_t start = 0;
    size_t copies = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\0' || c == '\n' || c == '\r') {
            text[i] = '\0';
            if (i - start >= 2 && text[start] == '$' && text[start + 1] == 'G') {
                if (copies == kMaxStatesPerRecord) {
                    m_Cut = true; // the rest of this text is left out, as records past the bound are
                } else {
                    m_NMEAParser.parse(std::string_view(text.data() + start, i - start));
                    m_NMEAs.push_back(m_NMEAParser.current().duplicate());
                    ++copies;
                }
            }
            start = i + 1;
        } else if (c == '$') {
            start = i;
        }
    }
    return true;
}

bool ORBBlackBoxData::ParseGSensor(std::span<const std::byte> block) {
    if (block.size() < 12) {
        return false;
    }
    m_GSensors.push_back(ORBGSensor::fromRaw(bytes::readI32LE(block, 0), bytes::readI32LE(block, 4),
                                             bytes::readI32LE(block, 8)));
    return true;
}

unsigned ORBBlackBoxData::frameCount() const {
    return m_GSensors.size() < 2 ? 1u : static_cast<unsigned>(m_GSensors.size() - 1);
}

size_t ORBBlackBoxData::entryIndexAt(double position, size_t count) {
    if (count == 0 || !(position > 0.0)) {
        return 0;
    }
    const double scaled = std::floor(position * static_cast<double>(count));
    if (scaled >= static_cast<double>(count - 1)) {
        return count - 1;
    }
    return static_cast<size_t>(scaled);
}

const ORBGpsData* ORBBlackBoxData::gpsStateForRecord(size_t record) const {
    const size_t records = m_vGpsData.size();
    if (m_NMEAs.empty() || records == 0) {
        return nullptr;
    }
    const size_t m = m_NMEAs.size();
    const auto index = static_cast<size_t>(
        std::min<unsigned __int128>(static_cast<unsigned __int128>(record) * m / records, m - 1));
    return &m_NMEAs[index];
}

const ORBGpsData* ORBBlackBoxData::ownGpsStateForRecord(size_t record) const {
    if (record >= m_StatesThrough.size() || m_StatesThrough[record] == 0) {
        return nullptr;
    }
    return &m_NMEAs[m_StatesThrough[record] - 1];
}

} // namespace nura
