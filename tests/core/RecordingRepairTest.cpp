// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/repair/RecordingRepair.h"
#include "CoreTestSupport.h"
#include "DriveScript.h"
#include "H264Encoder.h"
#include "SampleRecording.h"
#include "core/media/ORBMediaList.h"
#include "core/repair/TrialDecoder.h"
#include "core/telemetry/ORBBlackBoxData.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

namespace fs = std::filesystem;
using nura::RecordingRepair;
using nura::RepairStatus;

namespace {

const samples::EncodedVideo& video() {
    static const samples::EncodedVideo v = [] {
        auto encoded = samples::encodeTestPattern({64, 48, 30, 1, "testsrc2"}, nullptr);
        EXPECT_TRUE(encoded.has_value());
        return encoded ? *encoded : samples::EncodedVideo{};
    }();
    return v;
}

std::vector<std::string> listing(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(dir)) {
        names.push_back(fs::relative(e.path(), dir).string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class RecordingRepairTest : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("nura-repair-" + std::to_string(::getpid()));
        fs::remove_all(root);
        fs::create_directories(root / "DCIM" / "100MEDIA");
        fs::create_directories(root / "DCIM" / "EVENT");
        folder = root / "DCIM" / "100MEDIA";
    }
    void TearDown() override {
        fs::permissions(folder, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(root);
    }
    fs::path write(const fs::path& path) {
        EXPECT_TRUE(samples::writeCameraMp4(path, video(), samples::DriveScript().records(0, 1)));
        return path;
    }
    // A recording cut `keep` bytes into its media data (the power went while it was written).
    fs::path writeCut(const fs::path& path, uint64_t keep = 2000) {
        write(path);
        fs::resize_file(path, 32 + keep);
        return path;
    }
    nura::RepairResult repair(const fs::path& input, const std::string& reference = "",
                              const std::string& output = "", bool force = false) {
        nura::RepairOptions o;
        o.input = input.string();
        o.reference = reference;
        o.output = output;
        o.force = force;
        o.trialDecode = decoder;
        if (ahead) {
            o.trialDecodeAhead = [](const std::string&) {}; // the answer is asked for later
        }
        return RecordingRepair::repair(o);
    }
    fs::path root, folder;
    std::function<nura::TrialDecode(const std::string&)> decoder;
    bool ahead = false;
};

} // namespace

TEST_F(RecordingRepairTest, ReferenceIsTheNearestWholeRecordingOfTheSameSideAndMode) {
    const auto cut = writeCut(folder / "alwa_20230115_083100_F.MP4");
    write(folder / "alwa_20230115_082900_F.MP4");
    write(folder / "alwa_20230115_083000_F.MP4");
    write(folder / "alwa_20230115_083200_F.MP4");
    write(folder / "alwa_20230115_083030_R.MP4");                  // other side
    write(folder / "event_20230115_083050_F.MP4");                 // other mode
    write(root / "DCIM" / "EVENT" / "alwa_20230115_080000_F.MP4"); // the folder above, searched last
    const auto candidates = RecordingRepair::referenceCandidates(cut.string());
    std::vector<std::string> names;
    for (const auto& c : candidates) {
        names.push_back(fs::path(c).filename().string());
    }
    EXPECT_EQ(names, (std::vector<std::string>{"alwa_20230115_083000_F.MP4", "alwa_20230115_082900_F.MP4",
                                               "alwa_20230115_083200_F.MP4", "alwa_20230115_080000_F.MP4"}));

    // The latest one before is cut as well: the next candidate serves.
    writeCut(folder / "alwa_20230115_083000_F.MP4");
    const auto r = repair(cut);
    ASSERT_EQ(r.status, RepairStatus::Repaired) << r.message;
    EXPECT_EQ(fs::path(r.reference).filename(), "alwa_20230115_082900_F.MP4");
    EXPECT_EQ(r.output, (folder / "repaired" / "alwa_20230115_083100_F.MP4").string());

    // The repaired file reads as a recording, telemetry included.
    nura::ORBBlackBoxData data;
    ASSERT_TRUE(data.ExtractStreamInformation(r.output.c_str()));
    EXPECT_EQ(data.times().size(), r.walk.telemetryChunks);
    EXPECT_GT(r.walk.videoSamples, 0u);
    nura::RepairOptions again;
    again.input = r.output;
    EXPECT_EQ(RecordingRepair::repair(again).status, RepairStatus::NothingToRepair);

    // A candidate whose decode fails while the walk runs gives way to the next; nothing of its
    // attempt is left behind.
    fs::remove_all(folder / "repaired");
    ahead = true;
    decoder = [](const std::string& p) {
        return p.ends_with("082900_F.MP4") ? nura::TrialDecode::Fails : nura::TrialDecode::Decodes;
    };
    const auto next = repair(cut);
    ASSERT_EQ(next.status, RepairStatus::Repaired) << next.message;
    EXPECT_EQ(fs::path(next.reference).filename(), "alwa_20230115_083200_F.MP4");
    EXPECT_EQ(listing(folder / "repaired"), std::vector<std::string>{"alwa_20230115_083100_F.MP4"});
}

TEST_F(RecordingRepairTest, RefusalsLeaveTheDiskAsItWas) {
    const auto cut = writeCut(folder / "alwa_20230115_083100_F.MP4");
    const auto rear = write(folder / "alwa_20230115_083000_R.MP4");
    const auto whole = write(folder / "alwa_20230115_083000_F.MP4");
    const auto before = listing(root);

    EXPECT_EQ(repair(whole).status, RepairStatus::NothingToRepair);
    // A FIFO or a folder is no recording (and is not waited on); a missing file cannot be read.
    ASSERT_EQ(::mkfifo((root / "fifo.MP4").c_str(), 0600), 0);
    const auto fifo = repair(root / "fifo.MP4");
    EXPECT_EQ(fifo.status, RepairStatus::NotRecording);
    EXPECT_NE(fifo.message.find("fifo.MP4 is not a regular file"), std::string::npos) << fifo.message;
    EXPECT_EQ(repair(folder).status, RepairStatus::NotRecording);
    EXPECT_EQ(repair(root / "missing.MP4").status, RepairStatus::CannotRead);
    fs::remove(root / "fifo.MP4");
    const auto other = repair(cut, rear.string());
    EXPECT_EQ(other.status, RepairStatus::ReferenceOtherSide);
    EXPECT_NE(other.message.find("rear"), std::string::npos);
    fs::remove(whole);
    const auto none = repair(cut);
    EXPECT_EQ(none.status, RepairStatus::NoReference);
    EXPECT_NE(none.message.find("--reference"), std::string::npos);
    write(whole);

    decoder = [](const std::string&) { return nura::TrialDecode::Fails; };
    EXPECT_EQ(repair(cut, whole.string()).status, RepairStatus::ReferenceUnusable);
    decoder = [&](const std::string& p) {
        return p == whole.string() ? nura::TrialDecode::Decodes : nura::TrialDecode::Fails;
    };
    const auto undecodable = repair(cut);
    EXPECT_EQ(undecodable.status, RepairStatus::DoesNotDecode);
    EXPECT_NE(undecodable.message.find("does not decode with the reference's settings"), std::string::npos);
    decoder = nullptr;
    EXPECT_EQ(listing(root), before);

    // An existing output is kept unless forced; the input is never the output.
    const auto out = root / "out.MP4";
    coretest::writeBytes(out, "keep me");
    EXPECT_EQ(repair(cut, "", out.string()).status, RepairStatus::OutputExists);
    EXPECT_EQ(coretest::slurp(out), "keep me");
    EXPECT_EQ(repair(cut, "", cut.string(), true).status, RepairStatus::OutputIsInput);
    // Nor the reference, given or found by the search, by any name.
    const std::string reference = coretest::slurp(whole);
    ASSERT_EQ(::link(whole.c_str(), (root / "hard.MP4").c_str()), 0);
    EXPECT_EQ(repair(cut, whole.string(), whole.string(), true).status, RepairStatus::OutputIsInput);
    EXPECT_EQ(repair(cut, whole.string(), (root / "hard.MP4").string(), true).status,
              RepairStatus::OutputIsInput);
    EXPECT_EQ(repair(cut, "", (root / "hard.MP4").string(), true).status, RepairStatus::OutputIsInput);
    EXPECT_EQ(coretest::slurp(whole), reference);
    fs::remove(root / "hard.MP4");
    ASSERT_EQ(repair(cut, "", out.string(), true).status, RepairStatus::Repaired);
    EXPECT_NE(coretest::slurp(out), "keep me");

    // Forced, a link there is replaced rather than written through; a FIFO or a folder is refused, forced
    // or not (a forced FIFO, and what the refusal says, is the repair command's test).
    const auto aside = root / "aside.txt";
    coretest::writeBytes(aside, "someone else's");
    fs::create_symlink(aside, root / "linked.MP4");
    ASSERT_EQ(repair(cut, "", (root / "linked.MP4").string(), true).status, RepairStatus::Repaired);
    EXPECT_FALSE(fs::is_symlink(root / "linked.MP4"));
    EXPECT_EQ(coretest::slurp(aside), "someone else's");
    const auto pipe = root / "pipe.MP4";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_EQ(repair(cut, "", pipe.string()).status, RepairStatus::OutputNotRegular);
    EXPECT_TRUE(fs::is_fifo(pipe));
    EXPECT_EQ(repair(cut, "", (root / "DCIM").string(), true).status, RepairStatus::OutputNotRegular);
}

TEST_F(RecordingRepairTest, ReadOnlyFolderFailsWithNothingLeftBehind) {
    const auto cut = writeCut(folder / "alwa_20230115_083100_F.MP4");
    write(folder / "alwa_20230115_083000_F.MP4");
    const auto before = listing(root);
    fs::permissions(folder, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    fs::permissions(root, fs::perms::others_all, fs::perm_options::add);
    fs::permissions(root / "DCIM", fs::perms::others_all, fs::perm_options::add);
    fs::permissions(folder, fs::perms::others_read | fs::perms::others_exec, fs::perm_options::add);
    fs::permissions(cut, fs::perms::others_read, fs::perm_options::add);
    fs::permissions(folder / "alwa_20230115_083000_F.MP4", fs::perms::others_read, fs::perm_options::add);
    const int status = coretest::runWithoutRoot([&] {
        const auto r = repair(cut);
        return r.status == RepairStatus::CannotWrite ? 0 : 10 + static_cast<int>(r.status);
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(listing(root), before);
}

// A 2-second recording whose key frames carry the parameter sets, as the camera writes them.
samples::EncodedVideo recordedAt(int width, int height, int fps) {
    auto v = samples::encodeTestPattern({width, height, fps, 2, "testsrc2"}, nullptr);
    EXPECT_TRUE(v.has_value());
    if (!v) {
        return {};
    }
    const auto unit = [](std::vector<std::byte>& out, const std::vector<std::byte>& nal) {
        for (int k = 3; k >= 0; --k) {
            out.push_back(static_cast<std::byte>(nal.size() >> (8 * k)));
        }
        out.insert(out.end(), nal.begin(), nal.end());
    };
    for (auto& f : v->frames) {
        if (f.key) {
            std::vector<std::byte> framed;
            unit(framed, v->sps);
            unit(framed, v->pps);
            framed.insert(framed.end(), f.avcc.begin(), f.avcc.end());
            f.avcc = std::move(framed);
        }
    }
    return *v;
}

// Played with the settings of a reference of another frame rate the repaired file runs slow; with another
// picture size, it shows garbage. Both decode without an error, so the trial decode cannot tell.
TEST_F(RecordingRepairTest, AReferenceRecordedWithOtherSettingsIsPassedOver) {
    const auto hd30 = recordedAt(1280, 720, 30);
    const auto hd25 = recordedAt(1280, 720, 25);
    const auto qhd30 = recordedAt(960, 540, 30);
    const auto records = samples::DriveScript().records(0, 2);
    const auto put = [&](const fs::path& path, const samples::EncodedVideo& v) {
        EXPECT_TRUE(samples::writeCameraMp4(path, v, records));
        return path;
    };
    // Only the index is lost: the whole media data is there to tell the rate by.
    const auto cut = put(folder / "alwa_20230115_083100_F.MP4", hd30);
    const std::string bytes = coretest::slurp(cut);
    fs::resize_file(cut, bytes.rfind("moov") - 4);
    const auto rate = put(folder / "alwa_20230115_083000_F.MP4", hd25);
    const auto size = put(folder / "alwa_20230115_082900_F.MP4", qhd30);
    put(folder / "alwa_20230115_083200_F.MP4", hd30);

    const auto r = repair(cut);
    ASSERT_EQ(r.status, RepairStatus::Repaired) << r.message;
    EXPECT_EQ(fs::path(r.reference).filename(), "alwa_20230115_083200_F.MP4") << "the nearest that matches";
    EXPECT_EQ(r.walk.videoSamples, hd30.frames.size());

    const auto rateGiven = repair(cut, rate.string(), (root / "a.MP4").string());
    EXPECT_EQ(rateGiven.status, RepairStatus::ReferenceMismatch);
    EXPECT_NE(rateGiven.message.find(rate.string() + " is 25 frames a second, the recording about 30"),
              std::string::npos)
        << rateGiven.message;
    const auto sizeGiven = repair(cut, size.string(), (root / "b.MP4").string());
    EXPECT_EQ(sizeGiven.status, RepairStatus::ReferenceMismatch);
    EXPECT_NE(sizeGiven.message.find(size.string() + " is 960x540, the recording 1280x720"),
              std::string::npos)
        << sizeGiven.message;

    // None matches: refused, naming the nearest and how it differs; nothing is written.
    fs::remove_all(folder / "repaired");
    fs::remove(folder / "alwa_20230115_083200_F.MP4");
    const auto before = listing(root);
    const auto none = repair(cut);
    EXPECT_EQ(none.status, RepairStatus::ReferenceMismatch);
    EXPECT_NE(none.message.find("alwa_20230115_083000_F.MP4 is 25 frames a second"), std::string::npos)
        << none.message;
    EXPECT_EQ(listing(root), before);
}

// The camera may write a 64-bit media data size; it is not relied on. (A size left at 0 is the repair
// command's test.)
TEST_F(RecordingRepairTest, MediaDataSizeFieldIsNotReliedOn) {
    write(folder / "alwa_20230115_083000_F.MP4");
    const auto plain = writeCut(folder / "alwa_20230115_083100_F.MP4", 3000);
    const auto expected = repair(plain, "", (root / "plain.MP4").string());
    ASSERT_EQ(expected.status, RepairStatus::Repaired);

    // size 1: a 64-bit size follows the type; the media data starts 8 bytes later.
    const auto bytes = coretest::slurp(plain);
    coretest::writeBytes(plain, bytes.substr(0, 24) + coretest::be32(1) + "mdat" + coretest::zeros(8) +
                                    bytes.substr(32));
    const auto wide = repair(plain, "", (root / "wide.MP4").string());
    ASSERT_EQ(wide.status, RepairStatus::Repaired);
    EXPECT_EQ(wide.walk.videoSamples, expected.walk.videoSamples);
    EXPECT_EQ(coretest::slurp(root / "wide.MP4"), coretest::slurp(root / "plain.MP4"));
}

TEST_F(RecordingRepairTest, ListShowsTheRepairedCopyInPlaceOfTheCutFile) {
    const auto cut = writeCut(folder / "alwa_20230115_083100_F.MP4");
    write(folder / "alwa_20230115_083100_R.MP4");
    write(folder / "alwa_20230115_083000_F.MP4");
    ASSERT_EQ(repair(cut).status, RepairStatus::Repaired);
    fs::create_directories(root / "elsewhere" / "repaired");
    write(root / "elsewhere" / "repaired" / "alwa_20230115_083200_F.MP4"); // no cut file beside it

    const auto contents = ORBMediaList::scanDirectory(root.string());
    std::vector<std::string> paths;
    for (const auto& m : contents.medias) {
        paths.push_back(fs::relative(m->path, root).string());
    }
    EXPECT_EQ(paths, (std::vector<std::string>{"DCIM/100MEDIA/alwa_20230115_083000_F.MP4",
                                               "DCIM/100MEDIA/repaired/alwa_20230115_083100_F.MP4",
                                               "DCIM/100MEDIA/alwa_20230115_083100_R.MP4",
                                               "elsewhere/repaired/alwa_20230115_083200_F.MP4"}));
    const auto& pair = contents.pairs.at("alwa_20230115_083100");
    ASSERT_TRUE(pair.frontMedia && pair.rearMedia);
    EXPECT_EQ(pair.frontMedia->path, (folder / "repaired" / "alwa_20230115_083100_F.MP4").string());
}

// A helper that cannot run, or ends without answering, makes the decode unavailable rather than hang or
// be taken for a failed decode.
TEST(TrialDecoder, HelperThatDoesNotAnswerIsUnavailable) {
    nura::TrialDecoder missing("/nonexistent/nura-media");
    EXPECT_EQ(missing.check("/tmp/x.MP4"), nura::TrialDecode::Unavailable);
    nura::TrialDecoder silent("/bin/false");
    silent.ahead("/tmp/x.MP4");
    EXPECT_EQ(silent.check("/tmp/x.MP4"), nura::TrialDecode::Unavailable);
    EXPECT_EQ(silent.check("/tmp/y.MP4"), nura::TrialDecode::Unavailable);
}
