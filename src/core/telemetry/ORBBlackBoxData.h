// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The telemetry of one recording: per-record time values, G-sensor samples and raw blocks, and one
// GPS state per "$G" sentence. Filled by ExtractStreamInformation on a worker; readers take the
// lists only after it has returned.

#include "core/telemetry/ORBAviGSensorData.h"
#include "core/telemetry/ORBAviGpsData.h"
#include "core/telemetry/ORBByteSource.h"
#include "core/telemetry/ORBGSensor.h"
#include "core/telemetry/ORBGpsData.h"
#include "core/telemetry/ORBNMEASentenceParser.h"
#include "core/telemetry/ORBTelemetryError.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace nura {

class ORBBlackBoxData {
public:
    // What one file may produce: an hour of records at ten a second, and a few GPS states per record
    // (the camera writes at most four sentences in a record's text). A crafted chunk table can point
    // every entry at one chunk full of sentence ends; past these bounds the rest is left out.
    static constexpr size_t kMaxRecords = 36000;
    static constexpr size_t kMaxStatesPerRecord = 8;

    void clear();

    // Reads the data track of the recording at `path`. True when the chunk table was found and walked;
    // the lists then hold every record up to the first chunk that cannot be read whole.
    // False (with empty lists and lastError() set) when the file cannot be opened, is not laid out
    // like the camera's recordings, or memory runs out while reading it.
    bool ExtractStreamInformation(const std::string& path);
    bool ExtractStreamInformation(ORBByteSource& source);

    // Splits NMEA text into sentences at CR, LF and zero bytes (writing zeros over them), hands every
    // "$G" sentence to the parser and keeps a copy of the state after each. Sentences past the first
    // kMaxStatesPerRecord are left out, and the read counts as cut. False for empty text.
    bool ParseNMEA(std::span<char> text);
    // Appends the scaled sample of a G-sensor block; false (nothing appended) for fewer than 12 bytes.
    bool ParseGSensor(std::span<const std::byte> block);

    // Entries of m_GSensors minus one, but at least 1.
    unsigned frameCount() const;

    ORBTelemetryError lastError() const { return m_LastError; }
    // True when the last read left out records or GPS states past the bounds above.
    bool isCut() const { return m_Cut; }
    // True when the last read stopped before the end of the chunk table: the file was cut short (a
    // recording stopped by a power loss, a copy that did not finish). records() of tableEntries() read.
    bool isTruncated() const { return m_Truncated; }
    uint32_t tableEntries() const { return m_TableEntries; }

    const ORBNMEASentenceParser& nmeaParser() const { return m_NMEAParser; }
    const std::vector<ORBGpsData>& nmeas() const { return m_NMEAs; }
    const std::vector<ORBGSensor>& gSensors() const { return m_GSensors; }
    const std::vector<uint32_t>& times() const { return m_Times; }
    const std::vector<ORBAviGSensorData>& gSensorData() const { return m_vGSensorData; }
    const std::vector<ORBAviGpsData>& gpsData() const { return m_vGpsData; }

    // The entry shown at a playback position (0 to 1) in a list of `count`: the integer part of
    // position x count, at most count - 1. Meaningless for count 0.
    static size_t entryIndexAt(double position, size_t count);
    // The GPS state that playback shows at record `record` (position = record / record count), or
    // null when there are no states. Exact integer arithmetic, so boundaries do not drift.
    const ORBGpsData* gpsStateForRecord(size_t record) const;
    // The GPS state of record `record` itself: the last state its own sentences produced, or when it has
    // none, the last one before it; null when no record up to it produced one (or past the last record).
    // Unlike the playback rule it does not depend on how many records follow, so an export row keeps
    // its values when the file is cut shorter.
    const ORBGpsData* ownGpsStateForRecord(size_t record) const;

private:
    bool extract(ORBByteSource& source);
    bool outOfMemory();
    bool readChunks(ORBByteSource& source, uint64_t tablePosition, uint32_t entryCount);

    ORBNMEASentenceParser m_NMEAParser;
    std::vector<ORBGpsData> m_NMEAs;
    std::vector<ORBGSensor> m_GSensors;
    std::vector<uint32_t> m_Times;
    std::vector<ORBAviGSensorData> m_vGSensorData;
    std::vector<ORBAviGpsData> m_vGpsData;
    std::vector<uint32_t> m_StatesThrough; // per record: entries of m_NMEAs once its text was parsed
    ORBTelemetryError m_LastError = ORBTelemetryError::None;
    bool m_Cut = false;
    bool m_Truncated = false;
    uint32_t m_TableEntries = 0;
};

} // namespace nura
