// SPDX-License-Identifier: GPL-3.0-or-later
#include "CoreTestSupport.h"
#include "SampleRecording.h"
#include "core/telemetry/ByteOrder.h"
#include "core/telemetry/ORBBlackBoxData.h"

#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <string>
#include <vector>

using nura::ORBBlackBoxData;
using nura::ORBMemoryByteSource;
using nura::ORBTelemetryError;
using nura::ORBTelemetryRecord;

namespace {

using coretest::record;

std::vector<ORBTelemetryRecord> records(size_t n) {
    std::vector<ORBTelemetryRecord> out;
    for (size_t i = 0; i < n; ++i) {
        out.push_back(record(static_cast<uint32_t>(i * 100), static_cast<int32_t>(i), ""));
    }
    return out;
}

samples::CameraMp4 build(const std::vector<ORBTelemetryRecord>& recs) {
    return samples::buildCameraMp4(samples::placeholderVideo(64, 36, 30, recs.size() * 3), recs);
}

bool read(ORBBlackBoxData& data, std::span<const std::byte> bytes) {
    ORBMemoryByteSource source(bytes);
    return data.ExtractStreamInformation(source);
}

bool allListsEmpty(const ORBBlackBoxData& d) {
    return d.times().empty() && d.gSensors().empty() && d.gSensorData().empty() && d.gpsData().empty() &&
           d.nmeas().empty();
}

const char* kRmc = "$GPRMC,083012.000,A,3723.2475,N,12158.3416,W,12.5,90.0,150123,,,A*71";
const char* kGga = "$GPGGA,083012.000,3723.2475,N,12158.3416,W,1,07,1.2,25.0,M,-25.0,M,,0000*51";

} // namespace

TEST(BlackBoxData, ReadsOneEntryPerChunkInTableOrder) {
    auto mp4 = build(records(25));
    ORBBlackBoxData data;
    ASSERT_TRUE(read(data, mp4.bytes));
    ASSERT_EQ(data.gpsData().size(), 25u);
    EXPECT_EQ(data.frameCount(), 24u);

    // The table decides the order, not the file.
    const auto* stco = mp4.box("moov/trak[2]/mdia/minf/stbl/stco");
    ASSERT_NE(stco, nullptr);
    for (size_t i = 0; i < 25; ++i) {
        nura::bytes::writeU32BE(mp4.bytes, stco->offset + 16 + 4 * i, mp4.dataChunkOffsets[24 - i]);
    }
    ASSERT_TRUE(read(data, mp4.bytes));
    EXPECT_EQ(data.times().front(), 2400u);
    EXPECT_EQ(data.gSensorData().back().X(), 0);
}

TEST(BlackBoxData, RefusesFilesNotLaidOutLikeTheCameras) {
    const auto good = build(records(3));
    const auto mdat = *good.box("mdat");
    struct Case {
        const char* name;
        std::vector<std::byte> bytes;
        ORBTelemetryError error;
    };
    std::vector<Case> cases;
    auto notFtyp = good.bytes;
    std::memcpy(notFtyp.data() + 4, "fty ", 4);
    cases.push_back({"first box not ftyp", notFtyp, ORBTelemetryError::NotFtyp});
    auto notAvc1 = good.bytes;
    std::memcpy(notAvc1.data() + 8, "isom", 4);
    cases.push_back({"brand not avc1", notAvc1, ORBTelemetryError::NotAvc1});
    auto notMoov = good.bytes; // the third box is the movie, whatever lies before it
    std::memcpy(notMoov.data() + good.box("moov")->offset + 4, "free", 4);
    cases.push_back({"third box not moov", notMoov, ORBTelemetryError::NotMoov});
    auto notStco = good.bytes;
    std::memcpy(notStco.data() + good.box("moov/trak[2]/mdia/minf/stbl/stco")->offset + 4, "co64", 4);
    cases.push_back({"64-bit chunk table", notStco, ORBTelemetryError::NotStco});
    cases.push_back({"shorter than a file type box",
                     std::vector<std::byte>(good.bytes.begin(), good.bytes.begin() + 11),
                     ORBTelemetryError::NotFtyp});
    auto past = good.bytes;
    nura::bytes::writeU32BE(past, mdat.offset, 0x7FFFFFFF);
    cases.push_back({"size past the end", past, ORBTelemetryError::ShortRead});
    auto wraps = good.bytes;
    nura::bytes::writeU32BE(wraps, mdat.offset, 0xFFFFFFFF);
    cases.push_back({"size wrapping past 4 GiB", wraps, ORBTelemetryError::PositionWraps});

    for (const auto& c : cases) {
        ORBBlackBoxData data;
        EXPECT_FALSE(read(data, c.bytes)) << c.name;
        EXPECT_EQ(data.lastError(), c.error) << c.name;
        EXPECT_TRUE(allListsEmpty(data)) << c.name;
    }
}

TEST(BlackBoxData, TruncatedFilesFailInTheBoxesAndKeepWholeRecordsInTheTable) {
    const auto mp4 = build(records(6));
    const auto* stco = mp4.box("moov/trak[2]/mdia/minf/stbl/stco");
    const uint64_t table = stco->offset + 16;
    std::vector<uint64_t> cuts;
    for (const auto& b : mp4.boxes) {
        cuts.push_back(b.offset);
        cuts.push_back(b.offset + 1);
        cuts.push_back(b.offset + b.size - 1);
    }
    for (uint64_t cut = table - 2; cut <= mp4.bytes.size(); ++cut) {
        cuts.push_back(cut);
    }
    for (uint64_t cut : cuts) {
        ORBBlackBoxData data;
        const bool ok = read(data, std::span(mp4.bytes).first(cut));
        if (cut < table) {
            EXPECT_FALSE(ok) << cut;
            EXPECT_TRUE(allListsEmpty(data)) << cut;
        } else {
            EXPECT_TRUE(ok) << cut;
            EXPECT_EQ(data.times().size(), (cut - table) / 4) << cut;
            // Cut short of the table's end: said, with the count the table asked for.
            EXPECT_EQ(data.isTruncated(), data.times().size() < 6) << cut;
            EXPECT_EQ(data.tableEntries(), 6u) << cut;
            EXPECT_FALSE(data.isCut()) << cut;
        }
    }
}

TEST(BlackBoxData, HostileTablesStopAtTheFirstUnreadableChunk) {
    auto mp4 = build(records(5));
    const auto* stco = mp4.box("moov/trak[2]/mdia/minf/stbl/stco");
    struct Case {
        const char* name;
        uint32_t count;
        size_t entry;
        uint32_t offset;
        size_t expected;
    };
    const Case cases[] = {
        {"count 2^32 - 1", 0xFFFFFFFF, 0, mp4.dataChunkOffsets[0], 5},
        {"offset past the end", 5, 2, static_cast<uint32_t>(mp4.bytes.size()), 2},
        {"record straddling the end", 5, 3, static_cast<uint32_t>(mp4.bytes.size() - 154), 3},
        {"offset wrapping with the skipped bytes", 5, 1, 0xFFFFFFFF, 1},
        {"last record ending at the end", 5, 4, static_cast<uint32_t>(mp4.bytes.size() - 155), 5},
    };
    for (const auto& c : cases) {
        auto bytes = mp4.bytes;
        nura::bytes::writeU32BE(bytes, stco->offset + 12, c.count);
        nura::bytes::writeU32BE(bytes, stco->offset + 16 + 4 * c.entry, c.offset);
        ORBBlackBoxData data;
        EXPECT_TRUE(read(data, bytes)) << c.name;
        EXPECT_EQ(data.gpsData().size(), c.expected) << c.name;
        EXPECT_EQ(data.isTruncated(), c.expected < c.count) << c.name;
    }
}

TEST(BlackBoxData, SnapshotsFollowTheSentencesOfEachRecord) {
    struct Case {
        const char* name;
        std::string text;
        size_t snapshots;
    };
    const std::string crlf = "\r\n";
    const Case cases[] = {
        {"one sentence", std::string(kRmc) + crlf, 1},
        {"none", "", 0},
        {"proprietary", "$PNURA,DRV,1*00\r\n", 0},
        {"refused $G sentence copies the state", "$GPGSV,1,1,01,05,61,045,44*00\r\n", 1},
        {"fragment before the first $", "0.9,1.3*2B\r\n" + std::string(kGga) + crlf, 1},
        {"ended by the zero padding", std::string(kRmc), 1},
        {"128 bytes without a terminator", "$G" + std::string(126, 'A'), 0},
        {"restart at a second $", "$GPRMC,1*0$" + std::string(kGga + 1) + crlf, 1},
    };
    for (const auto& c : cases) {
        const auto mp4 = build({record(0, 0, c.text)});
        ORBBlackBoxData data;
        ASSERT_TRUE(read(data, mp4.bytes)) << c.name;
        EXPECT_EQ(data.nmeas().size(), c.snapshots) << c.name;
        ASSERT_EQ(data.gpsData().size(), 1u) << c.name;
        // Line ends are stored as zeros.
        EXPECT_EQ(data.gpsData()[0].gpsString().find_first_of("\r\n"), std::string_view::npos) << c.name;
    }

    // The state accumulates over the file: the second record's RMC keeps the first record's position.
    const auto mp4 = build({record(0, 0, std::string(kGga) + crlf), record(100, 0, ""),
                            record(200, 0, std::string(kRmc) + crlf)});
    ORBBlackBoxData data;
    ASSERT_TRUE(read(data, mp4.bytes));
    ASSERT_EQ(data.nmeas().size(), 2u);
    EXPECT_EQ(data.nmeas()[1].SatelliteUsedCount, 7u);
    EXPECT_EQ(data.nmeas()[1].SpeedOverGround, 12.5);
    EXPECT_EQ(data.nmeas()[0].SpeedOverGround, 0.0); // snapshots are independent copies
    EXPECT_EQ(data.gpsStateForRecord(0), &data.nmeas()[0]);
    EXPECT_EQ(data.gpsStateForRecord(1), &data.nmeas()[0]); // 1/3 of 2 entries
    EXPECT_EQ(data.gpsStateForRecord(2), &data.nmeas()[1]);
}

// The rows of a file cut shorter keeping their values is the telemetry command's test.
TEST(BlackBoxData, ARecordsOwnStateIsItsLastOrTheOneBefore) {
    const std::string crlf = "\r\n";
    const std::vector<ORBTelemetryRecord> recs = {
        record(0, 0, ""), record(100, 0, std::string(kGga) + crlf), record(200, 0, ""), record(300, 0, ""),
        record(400, 0, std::string(kRmc) + crlf + "$GPGSV,1,1,01,05,61,045,44*00" + crlf)};
    ORBBlackBoxData whole;
    ASSERT_TRUE(read(whole, build(recs).bytes));
    ASSERT_EQ(whole.nmeas().size(), 3u);
    // Its last state, or the one before it; none before the first sentence.
    const std::vector<const nura::ORBGpsData*> own = {nullptr, &whole.nmeas()[0], &whole.nmeas()[0],
                                                      &whole.nmeas()[0], &whole.nmeas()[2]};
    for (size_t r = 0; r < recs.size(); ++r) {
        EXPECT_EQ(whole.ownGpsStateForRecord(r), own[r]) << r;
    }
    EXPECT_EQ(whole.ownGpsStateForRecord(5), nullptr);
    // Playback's rule differs here, and stays as it is.
    EXPECT_EQ(whole.gpsStateForRecord(0), &whole.nmeas()[0]);
    EXPECT_EQ(whole.gpsStateForRecord(3), &whole.nmeas()[1]);
}

TEST(BlackBoxData, RecordFieldsAreReadFromTheirByteOffsetsInTheChunk) {
    // Each field from bytes put by hand at its offset; the writer's side is read back through this reader.
    auto bytes = build(records(1)).bytes;
    const size_t chunk = build(records(1)).dataChunkOffsets[0];
    const auto put = [&](size_t offset, std::initializer_list<int> v) {
        for (int x : v) {
            bytes[chunk + offset++] = static_cast<std::byte>(x);
        }
    };
    put(0, {0xEE, 0xEE});
    put(2, {0x78, 0x56, 0x34, 0x12});
    put(6, {0xEE, 0xEE, 0xEE, 0xEE});
    put(10, {0x00, 0x01, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0x00, 0x02, 0x00, 0x00, 0x07, 0, 0, 0});
    put(26, {'1'});
    const std::string rmc = "$GPRMC,083012.000,A,,,,,5.5,1.0,150123,,*00\n";
    for (size_t k = 0; k < rmc.size(); ++k) {
        bytes[chunk + 27 + k] = static_cast<std::byte>(rmc[k]);
    }
    ORBBlackBoxData data;
    ASSERT_TRUE(read(data, bytes));
    ASSERT_EQ(data.times().size(), 1u);
    EXPECT_EQ(data.times()[0], 0x12345678u);
    EXPECT_EQ(data.gSensors()[0].x(), 1.0f);
    EXPECT_EQ(data.gSensors()[0].y(), -1.0f);
    EXPECT_EQ(data.gSensors()[0].z(), 2.0f);
    EXPECT_EQ(data.gSensorData()[0].T(), 7);
    EXPECT_EQ(data.gpsData()[0].unit(), '1');
    ASSERT_EQ(data.nmeas().size(), 1u);
    EXPECT_EQ(data.nmeas()[0].SpeedOverGround, 5.5);
    EXPECT_EQ(data.nmeas()[0].Now.wDay, 15);
}

namespace {

// "$G" and a line end, as often as a record's text holds it: 42 sentence ends.
std::string sentenceEnds(size_t n) {
    std::string text;
    for (size_t k = 0; k < n; ++k) {
        text += "$G\n";
    }
    return text;
}

// The recording's table replaced by `entries` entries, all pointing at its first chunk. The writer puts
// the chunk table last in the file, so the table can grow in place.
std::vector<std::byte> everyEntryAtOneChunk(const samples::CameraMp4& mp4, uint32_t entries) {
    const auto* stco = mp4.box("moov/trak[2]/mdia/minf/stbl/stco");
    EXPECT_EQ(stco->offset + stco->size, mp4.bytes.size());
    auto bytes = mp4.bytes;
    bytes.resize(stco->offset + 16 + 4 * size_t{entries});
    nura::bytes::writeU32BE(bytes, stco->offset + 12, entries);
    for (size_t i = 0; i < entries; ++i) {
        nura::bytes::writeU32BE(bytes, stco->offset + 16 + 4 * i, mp4.dataChunkOffsets[0]);
    }
    return bytes;
}

} // namespace

TEST(BlackBoxData, OneFileYieldsAtMostAnHourOfRecordsAndEightStatesPerRecord) {
    const auto burst = build({record(0, 0, sentenceEnds(42))});

    ORBBlackBoxData data;
    ASSERT_TRUE(read(data, everyEntryAtOneChunk(burst, 40000)));
    EXPECT_TRUE(data.isCut());
    EXPECT_EQ(data.gpsData().size(), 36000u);
    EXPECT_EQ(data.nmeas().size(), 36000u * 8);

    // Exactly at both bounds nothing is cut.
    ASSERT_TRUE(read(data, everyEntryAtOneChunk(build({record(0, 0, sentenceEnds(8))}), 36000)));
    EXPECT_FALSE(data.isCut());
    EXPECT_EQ(data.nmeas().size(), 36000u * 8);

    // One sentence too many in one record: that record's states stop at 8 and its ninth sentence is
    // left out; the next record's are whole.
    const auto nine =
        build({record(0, 0, sentenceEnds(8) + kGga + "\n"), record(100, 0, kRmc + std::string("\n"))});
    ASSERT_TRUE(read(data, nine.bytes));
    EXPECT_TRUE(data.isCut());
    ASSERT_EQ(data.nmeas().size(), 9u);
    EXPECT_EQ(data.nmeas()[8].SpeedOverGround, 12.5);
    EXPECT_EQ(data.nmeas()[8].SatelliteUsedCount, 0u);
    EXPECT_EQ(data.gpsData()[0].gpsString().find('\n'), std::string_view::npos);

    // The next read starts without the flag.
    ASSERT_TRUE(read(data, build(records(3)).bytes));
    EXPECT_FALSE(data.isCut());
}

namespace {

// Bytes from memory until `reads` reads have been served; then allocation fails.
class ExhaustingSource final : public nura::ORBByteSource {
public:
    ExhaustingSource(std::span<const std::byte> bytes, int reads) : m_inner(bytes), m_reads(reads) {}
    uint64_t size() const override { return m_inner.size(); }
    bool readAt(uint64_t position, std::span<std::byte> out) override {
        if (m_reads-- == 0) {
            throw std::bad_alloc();
        }
        return m_inner.readAt(position, out);
    }

private:
    ORBMemoryByteSource m_inner;
    int m_reads;
};

} // namespace

TEST(BlackBoxData, RunningOutOfMemoryFailsTheReadWithEmptyLists) {
    const auto mp4 = build(records(5));
    for (int reads : {0, 3, 18, 20}) { // in the walk, at the table, in the chunks
        ORBBlackBoxData data;
        ExhaustingSource source(mp4.bytes, reads);
        EXPECT_FALSE(data.ExtractStreamInformation(source)) << reads;
        EXPECT_EQ(data.lastError(), ORBTelemetryError::OutOfMemory) << reads;
        EXPECT_TRUE(allListsEmpty(data)) << reads;
        EXPECT_TRUE(read(data, mp4.bytes)) << reads; // nothing left half-done for the next read
    }
}
