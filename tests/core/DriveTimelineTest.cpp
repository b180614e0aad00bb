// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/media/DriveTimeline.h"
#include "core/media/RecordingLength.h"
#include "core/media/RecordingLengthReader.h"

#include "CoreTestSupport.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

using coretest::be32;
using coretest::box;
using nura::DriveRecording;
using nura::DriveTimeline;
using nura::RecordingLength;

namespace {

// "alwa_20230115_083000" with lengths for the sides that exist; no length: a file cut short.
DriveRecording rec(const std::string& group, std::optional<int64_t> frontMs, std::optional<int64_t> rearMs,
                   bool hasFront = true, bool hasRear = true) {
    DriveRecording r;
    if (hasFront) {
        r.front = ORBMedia::mediaWithPath("/card/" + group + "_F.MP4");
        r.frontMs = frontMs;
    }
    if (hasRear) {
        r.rear = ORBMedia::mediaWithPath("/card/" + group + "_R.MP4");
        r.rearMs = rearMs;
    }
    return r;
}

DriveRecording both(const std::string& group, int64_t ms) {
    return rec(group, ms, ms);
}

std::vector<size_t> segmentRecordings(const DriveTimeline& d) {
    std::vector<size_t> out;
    for (const auto& s : d.segments()) {
        out.push_back(s.recording);
    }
    return out;
}

constexpr int64_t kAt0830 = 1673771400000; // 2023-01-15 08:30:00 UTC

} // namespace

TEST(DriveTimelineTest, BackToBackRecordingsMapBothWaysAtEveryJoin) {
    // Name times are whole seconds: the first file runs half a second past the next one's name.
    const std::vector<DriveRecording> cards = {both("alwa_20230115_083000", 60500),
                                               both("alwa_20230115_083100", 60000),
                                               both("alwa_20230115_083200", 59000)};
    const auto drives = nura::splitIntoDrives(cards);
    ASSERT_EQ(drives.size(), 1u);
    const DriveTimeline& d = drives[0];
    EXPECT_EQ(segmentRecordings(d), (std::vector<size_t>{0, 1, 2}));
    EXPECT_EQ(d.lengthMs(), 179500);
    EXPECT_EQ(d.joins(), (std::vector<int64_t>{60500, 120500}));
    EXPECT_EQ(d.clockStartMs(), kAt0830);
    EXPECT_EQ(d.clockEndMs(), kAt0830 + 179000);

    struct Case {
        int64_t driveMs;
        size_t segment;
        int64_t inRecording;
    };
    for (const Case c :
         {Case{-1, 0, 0}, Case{0, 0, 0}, Case{60499, 0, 60499}, Case{60500, 1, 0}, Case{120499, 1, 59999},
          Case{120500, 2, 0}, Case{179500, 2, 59000}, Case{179501, 2, 59000}}) {
        const auto place = d.placeAt(c.driveMs);
        ASSERT_TRUE(place) << c.driveMs;
        EXPECT_EQ(place->segment, c.segment) << c.driveMs;
        EXPECT_EQ(place->msInRecording, c.inRecording) << c.driveMs;
        const auto back = d.driveTimeOf(d.segments()[place->segment].recording, place->msInRecording);
        EXPECT_EQ(back, std::clamp<int64_t>(c.driveMs, 0, d.lengthMs())) << c.driveMs;
    }
    EXPECT_EQ(d.clockAt(60500), kAt0830 + 60000);
    // The first file overlaps the second by half a second; the second meets the third.
    EXPECT_EQ(d.widestGapBetween(0, d.lengthMs())->gapMs, 0);
    EXPECT_EQ(d.widestGapBetween(0, d.lengthMs())->segment, 2u);
    EXPECT_EQ(d.widestGapBetween(0, 61000)->gapMs, -500);
    EXPECT_EQ(d.driveTimeOf(1, 99999), 120500); // taken within the recording
    EXPECT_FALSE(d.driveTimeOf(7, 0));
}

TEST(DriveTimelineTest, GapsUpToFiveMinutesAreJoinsAndLongerOnesEndTheDrive) {
    const std::vector<DriveRecording> cards = {
        both("alwa_20230115_083000", 60000),
        both("alwa_20230115_083600", 60000), // five minutes after the end: still this drive
        both("alwa_20230115_084201", 60000), // five minutes and a second: a new one
    };
    const auto drives = nura::splitIntoDrives(cards);
    ASSERT_EQ(drives.size(), 2u);
    const DriveTimeline& d = drives[0];
    EXPECT_EQ(d.lengthMs(), 120000);
    EXPECT_EQ(d.joins(), (std::vector<int64_t>{60000}));
    EXPECT_EQ(d.clockAt(60000), kAt0830 + 360000);
    EXPECT_EQ(d.driveTimeAtClock(kAt0830 + 200000), 60000); // a moment in the gap is the join
    EXPECT_EQ(segmentRecordings(drives[1]), (std::vector<size_t>{2}));
    // A clip's span is checked against the gaps of the joins it crosses, and only those.
    ASSERT_TRUE(d.widestGapBetween(59000, 61000));
    EXPECT_EQ(d.widestGapBetween(59000, 61000)->gapMs, 300000);
    EXPECT_EQ(d.widestGapBetween(59000, 61000)->segment, 1u);
    EXPECT_FALSE(d.widestGapBetween(60000, 90000)); // from the join on: none crossed

    // A drive of one recording: no joins, and every seek lands in it.
    const DriveTimeline& one = drives[1];
    EXPECT_TRUE(one.joins().empty());
    EXPECT_EQ(one.lengthMs(), 60000);
    EXPECT_EQ(one.placeAt(59999)->msInRecording, 59999);
    EXPECT_EQ(one.placeAt(60001)->msInRecording, 60000);
}

TEST(DriveTimelineTest, EventFilesThatCopyPartOfTheDriveAreMarkedNotPlayed) {
    const std::vector<DriveRecording> cards = {
        both("event_20230115_083000", 20000), // the same second as the normal file: sorts before it
        both("alwa_20230115_083000", 60000),
        both("event_20230115_083040", 20000),
        both("alwa_20230115_083100", 60000),
        // An event file in a gap, then a normal recording that covers its end.
        both("event_20230115_083250", 20000),
        both("alwa_20230115_083300", 60000),
        // One no normal recording covers: it is played.
        both("event_20230115_083500", 20000),
    };
    const auto drives = nura::splitIntoDrives(cards);
    ASSERT_EQ(drives.size(), 1u);
    const DriveTimeline& d = drives[0];
    EXPECT_EQ(segmentRecordings(d), (std::vector<size_t>{1, 3, 5, 6}));
    EXPECT_TRUE(d.segments()[3].event);
    std::vector<std::pair<size_t, int64_t>> events; // recording, drive time
    for (const auto& e : d.eventFiles()) {
        events.emplace_back(e.recording, e.driveMs);
    }
    // The one in the gap is placed at the join.
    EXPECT_EQ(events, (std::vector<std::pair<size_t, int64_t>>{{0, 0}, {2, 40000}, {4, 120000}}));
    EXPECT_EQ(d.lengthMs(), 200000);
}

TEST(DriveTimelineTest, OneCameraSegmentsAndRecordingsWithoutLength) {
    const std::vector<DriveRecording> cards = {
        rec("alwa_20230115_083000", std::nullopt, 60000, false, true), // a lone rear file
        rec("alwa_20230115_083100", std::nullopt, 61000),              // front cut short, rear whole
        rec("alwa_20230115_083201", std::nullopt, std::nullopt),       // both cut short: a gap
        rec("alwa_20230115_083630", 50000, std::nullopt, true, false), // 4.5 min after the cut one began
    };
    const auto drives = nura::splitIntoDrives(cards);
    ASSERT_EQ(drives.size(), 1u);
    const DriveTimeline& d = drives[0];
    EXPECT_EQ(segmentRecordings(d), (std::vector<size_t>{0, 1, 3}));
    EXPECT_EQ(d.withoutLength(), (std::vector<size_t>{2}));
    const auto& s = d.segments();
    EXPECT_TRUE(!s[0].front && s[0].rear);
    EXPECT_TRUE(!s[1].front && s[1].rear);
    EXPECT_TRUE(s[2].front && !s[2].rear);
    EXPECT_EQ(d.lengthMs(), 171000);
    EXPECT_EQ(d.joins(), (std::vector<int64_t>{60000, 121000}));

    // A pair whose rear plays longer: the recording lasts until both have ended.
    EXPECT_EQ(rec("alwa_20230115_083000", 8000, 12000).lengthMs(), 12000);
}

TEST(DriveTimelineTest, MotionRunsAndAClockThatJumpsBackMakeDrivesOfTheirOwn) {
    const std::vector<DriveRecording> cards = {
        both("alwa_20230115_083000", 60000),
        both("motion_20230115_083100", 30000),
        both("alwa_20230115_083100", 60000),
        both("motion_20230115_083131", 30000),
    };
    const auto drives = nura::splitIntoDrives(cards);
    ASSERT_EQ(drives.size(), 2u);
    EXPECT_FALSE(drives[0].isMotion());
    EXPECT_EQ(segmentRecordings(drives[0]), (std::vector<size_t>{0, 2}));
    EXPECT_TRUE(drives[1].isMotion());
    EXPECT_EQ(segmentRecordings(drives[1]), (std::vector<size_t>{1, 3}));

    // After the jump the camera writes 08:30:30 while the 08:30:00 file still runs.
    const std::vector<DriveRecording> jumped = {
        both("alwa_20230115_083000", 60000),
        both("alwa_20230115_083030", 60000),
    };
    const auto split = nura::splitIntoDrives(jumped);
    ASSERT_EQ(split.size(), 2u);
    EXPECT_EQ(segmentRecordings(split[0]), (std::vector<size_t>{0}));
    EXPECT_EQ(segmentRecordings(split[1]), (std::vector<size_t>{1}));
}

TEST(DriveTimelineTest, RecordingsOfAListingPairTheirFilesAndLeaveUndatedOnesOut) {
    ORBMediaList list;
    for (const char* name :
         {"xxxxx_20230115_083000_F.MP4", "event_20230115_083000_F.MP4", "alwa_20230115_083000_F.MP4",
          "alwa_20230115_083000_R.MP4", "alwa_20230115_083100_R.MP4"}) {
        list.addMedia(ORBMediaList::createMediaByPath(std::string("/card/") + name));
    }
    const auto recordings = nura::driveRecordings({list.medias(), list.mediaPairDic()});
    ASSERT_EQ(recordings.size(), 4u);
    EXPECT_TRUE(recordings[2].front && recordings[2].rear);
    EXPECT_TRUE(!recordings[3].front && recordings[3].rear);
    // Undated left out; the normal file before the event file of its second.
    EXPECT_EQ(nura::driveOrder(recordings), (std::vector<size_t>{2, 1, 3}));
}

namespace {

RecordingLength lengthOf(const std::string& file) {
    nura::ORBMemoryByteSource source(std::as_bytes(std::span(file.data(), file.size())));
    return RecordingLength::read(source);
}

} // namespace

TEST(RecordingLengthTest, ReadsTheMovieHeaderAndTellsACutFileFromOthers) {
    const std::string ftyp = box("ftyp", "avc1" + be32(0) + "avc1isom");
    const std::string mdat = box("mdat", std::string(100, '\x11'));
    // version 0: creation, modification, timescale 90000, duration 60.5 s
    const std::string mvhd0 =
        box("mvhd", be32(0) + be32(0) + be32(0) + be32(90000) + be32(5445000) + std::string(80, '\0'));
    const std::string trak = box("trak", box("tkhd", std::string(84, '\0')));
    auto length = lengthOf(ftyp + mdat + box("moov", trak + mvhd0));
    EXPECT_EQ(length.kind, RecordingLength::Kind::Known);
    EXPECT_EQ(length.milliseconds, 60500);

    // version 1: 64-bit times and duration, 1000 a second
    const std::string mvhd1 = box("mvhd", be32(0x01000000) + std::string(16, '\0') + be32(1000) + be32(0) +
                                              be32(179999) + std::string(80, '\0'));
    EXPECT_EQ(lengthOf(ftyp + box("moov", mvhd1) + mdat).milliseconds, 179999);

    // The media data runs past the end of the file, and no movie follows: cut short.
    const std::string cut = ftyp + be32(100000) + "mdat" + std::string(500, '\x22');
    EXPECT_EQ(lengthOf(cut).kind, RecordingLength::Kind::CutShort);
    EXPECT_EQ(lengthOf(ftyp + mdat).kind, RecordingLength::Kind::CutShort);

    const std::string noDuration =
        box("mvhd", be32(0) + be32(0) + be32(0) + be32(1000) + be32(0) + std::string(80, '\0'));
    const std::string endless =
        box("mvhd", be32(0) + be32(0) + be32(0) + be32(1000) + be32(0xFFFFFFFF) + std::string(80, '\0'));
    const std::string shortHeader = box("mvhd", be32(0) + be32(0));
    for (const std::string& bad :
         {ftyp + mdat + box("moov", noDuration), ftyp + mdat + box("moov", endless),
          ftyp + box("moov", shortHeader), std::string("plain text, not a movie at all"), std::string()}) {
        EXPECT_EQ(lengthOf(bad).kind, RecordingLength::Kind::NotRecording);
    }
    EXPECT_EQ(RecordingLength::read("/nonexistent/alwa_20230115_083000_F.MP4").kind,
              RecordingLength::Kind::Unreadable);
}

TEST(RecordingLengthReaderTest, ReadsEachFileOnceNearestTheFocusFirst) {
    std::mutex mutex;
    std::vector<size_t> delivered;
    nura::RecordingLengthReader reader(
        [&](uint64_t, size_t index, const RecordingLength& length) {
            std::lock_guard lock(mutex);
            EXPECT_EQ(length.milliseconds, static_cast<int64_t>(index) * 1000 + 1);
            delivered.push_back(index);
        },
        [](const std::string& path) {
            RecordingLength l;
            l.kind = RecordingLength::Kind::Known;
            l.milliseconds = std::stoll(path) * 1000 + 1;
            return l;
        });
    std::vector<std::string> paths;
    for (int i = 0; i < 10; ++i) {
        paths.push_back(std::to_string(i));
    }
    reader.start(paths, 5);
    reader.waitIdle();
    std::lock_guard lock(mutex);
    EXPECT_EQ(delivered, (std::vector<size_t>{5, 6, 4, 7, 3, 8, 2, 9, 1, 0}));
}

TEST(RecordingLengthReaderTest, ADroppedListingHandsNothingOnAndNothingWaitsForAHeldRead) {
    // Shared with the worker, which may still be inside the held read after the reader is gone.
    struct Card {
        std::mutex mutex;
        std::condition_variable cv;
        bool holding = false, release = false;
    };
    const auto card = std::make_shared<Card>();
    std::mutex mutex;
    std::vector<uint64_t> listings;
    auto reader = std::make_unique<nura::RecordingLengthReader>(
        [&](uint64_t listing, size_t, const RecordingLength&) {
            std::lock_guard lock(mutex);
            listings.push_back(listing);
        },
        [card](const std::string& path) {
            if (path == "held") {
                std::unique_lock lock(card->mutex);
                card->holding = true;
                card->cv.notify_all();
                card->cv.wait(lock, [&] { return card->release; }); // a card that does not answer
            }
            return RecordingLength{};
        });
    const uint64_t first = reader->start({"held", "b", "c"});
    {
        std::unique_lock lock(card->mutex);
        card->cv.wait(lock, [&] { return card->holding; });
    }
    reader->cancel();
    const uint64_t second = reader->start({"d"});
    EXPECT_NE(first, second);
    // Gone while the card still holds the read: if this waited for it, the test would never end.
    reader.reset();
    {
        std::lock_guard lock(card->mutex);
        card->release = true;
        card->cv.notify_all();
    }
    std::lock_guard lock(mutex);
    EXPECT_TRUE(listings.empty());
}
