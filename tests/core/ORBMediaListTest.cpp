// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/media/ORBMediaList.h"

#include "CoreTestSupport.h"
#include "RecordingNameTree.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

using TempDir = coretest::ScratchFolder;

std::vector<std::string> fileNames(const ORBMediaList& list) {
    std::vector<std::string> names;
    for (const auto& m : list.medias()) {
        names.push_back(m->fileName());
    }
    return names;
}

// Waits for completed scans and records what each delivered.
class RecordingDelegate : public ORBMediaListDelegate {
public:
    void mediaListChanged(ORBMediaList& list) override {
        std::lock_guard lock(m_mutex);
        m_counts.push_back(list.count());
        m_cv.notify_all();
    }
    bool waitFor(size_t calls) {
        std::unique_lock lock(m_mutex);
        return m_cv.wait_for(lock, std::chrono::seconds(20), [&] { return m_counts.size() >= calls; });
    }
    std::vector<size_t> counts() {
        std::lock_guard lock(m_mutex);
        return m_counts;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<size_t> m_counts;
};

} // namespace

// A name with a bad date, or of a file that is no recording, left out of the scan is the list command's test.
TEST(ORBMediaList, FindsSortsAndPairsATree) {
    TempDir card;
    card.touch("DCIM/alwa_20230115_083012_R.MP4");
    card.touch("DCIM/alwa_20230115_083012_F.MP4");
    card.touch("DCIM/alwa_20230115_084500_R.mp4");   // lone rear, lower-case extension
    card.touch("DCIM/alwa_20230115_083013_F.avi");   // not a recording
    card.touch("x.mp4/event_20230115_083012_F.MP4"); // a folder named like a file is walked
    card.touch(".hidden/deeper/motion_20230116_000000_F.Mp4");
    card.touch("misc/xxxxx_20230115_083012_F.MP4"); // no prefix: undated, sorts first

    ORBMediaList list;
    list.scanNow(card.path());
    EXPECT_EQ(fileNames(list), (std::vector<std::string>{
                                   "xxxxx_20230115_083012_F.MP4",
                                   "event_20230115_083012_F.MP4",
                                   "alwa_20230115_083012_F.MP4",
                                   "alwa_20230115_083012_R.MP4",
                                   "alwa_20230115_084500_R.mp4",
                                   "motion_20230116_000000_F.Mp4",
                               }));

    const auto pair = list.findMediaPairWithFileName("alwa_20230115_083012_R.MP4");
    ASSERT_TRUE(pair);
    ASSERT_TRUE(pair->frontMedia && pair->rearMedia);
    EXPECT_EQ(pair->frontMedia->fileName(), "alwa_20230115_083012_F.MP4");
    EXPECT_EQ(pair->rearMedia->fileName(), "alwa_20230115_083012_R.MP4");
    for (const char* name :
         {"alwa_20230115_083012_R", "alwa_20230115_083012", "/x/alwa_20230115_083012_F.MP4"}) {
        const auto same = list.findMediaPairWithFileName(name);
        ASSERT_TRUE(same) << name;
        EXPECT_EQ(same->rearMedia, pair->rearMedia) << name;
    }

    const auto lone = list.findMediaPairWithFileName("alwa_20230115_084500_R.mp4");
    ASSERT_TRUE(lone);
    EXPECT_FALSE(lone->frontMedia);
    EXPECT_TRUE(lone->rearMedia);

    EXPECT_EQ(list.mediaAtIndex(list.count()), nullptr);
    EXPECT_NE(list.mediaAtIndex(list.count() - 1), nullptr);
    EXPECT_FALSE(list.findMediaPairWithFileName("alwa_20230101_000000_F"));
}

TEST(ORBMediaList, SameNameInTwoFoldersKeepsBothRowsAndTheLaterInThePair) {
    TempDir card;
    card.touch("a/alwa_20230115_083012_F.MP4");
    card.touch("b/alwa_20230115_083012_F.MP4");
    ORBMediaList list;
    list.scanNow(card.path());
    EXPECT_EQ(list.count(), 2u);
    const auto pair = list.findMediaPairWithFileName("alwa_20230115_083012_F");
    ASSERT_TRUE(pair && pair->frontMedia);
    EXPECT_EQ(pair->frontMedia, list.mediaAtIndex(1));
}

TEST(ORBMediaList, LinkCyclesAndMissingFoldersEndTheWalk) {
    TempDir card;
    card.touch("loop/alwa_20230115_083012_F.MP4");
    fs::create_directory_symlink(card.path(), card.path() / "loop" / "back");
    fs::create_directory_symlink(card.path() / "loop", card.path() / "loop" / "self");
    fs::create_symlink(card.path() / "nowhere", card.path() / "dangling_20230115_083012_F.MP4");

    ORBMediaList list;
    list.scanNow(card.path());
    EXPECT_EQ(list.count(), 1u);

    list.scanNow((card.path() / "does-not-exist").string());
    EXPECT_EQ(list.count(), 0u);
}

TEST(ORBMediaList, LinksToAFolderAboveTheOpenedOneAreSkippedOthersFollowed) {
    TempDir outside;
    outside.touch("card/DCIM/alwa_20230115_083012_F.MP4");
    outside.touch("elsewhere/alwa_20230115_090000_F.MP4");
    outside.touch("alwa_20230115_100000_F.MP4"); // beside the card: only a link to its parent reaches it
    const fs::path card = outside.path() / "card";
    fs::create_directory_symlink("/", card / "DCIM" / "root");
    fs::create_directory_symlink(outside.path(), card / "parent");
    fs::create_directory_symlink(card, card / "DCIM" / "card");
    fs::create_directory_symlink(outside.path() / "elsewhere", card / "shared");

    ORBMediaList list;
    list.scanNow(card.string());
    // The card's own recording and the one behind the link to a folder that is not above the card.
    EXPECT_EQ(fileNames(list),
              (std::vector<std::string>{"alwa_20230115_083012_F.MP4", "alwa_20230115_090000_F.MP4"}));
}

TEST(ORBMediaList, UnreadableFolderContributesNothing) {
    TempDir card;
    card.touch("open/alwa_20230115_083012_F.MP4");
    card.touch("closed/alwa_20230115_083013_F.MP4");
    fs::permissions(card.path(), fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
    fs::permissions(card.path() / "open",
                    fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
    fs::permissions(card.path() / "closed", fs::perms::none);
    const int found = coretest::runWithoutRoot([&] {
        ORBMediaList list;
        list.scanNow(card.path());
        return static_cast<int>(list.count());
    });
    fs::permissions(card.path() / "closed", fs::perms::owner_all);
    EXPECT_EQ(found, 1);
}

TEST(ORBMediaList, StopsCollectingNearTheCap) {
    TempDir card;
    samples::writeRecordingNameTree(card.path(), 20000, 1000);
    ORBMediaList list;
    list.scanNow(card.path());
    // Each enclosing folder stops after its next addition, so a little over the cap is possible.
    EXPECT_GE(list.count(), ORBMediaList::kMaxMedias);
    EXPECT_LE(list.count(), ORBMediaList::kMaxMedias + 8);
}

TEST(ORBMediaList, BackgroundScanNotifiesOnceAndANewScanSupersedes) {
    TempDir big, small;
    samples::writeRecordingNameTree(big.path(), 4000);
    small.touch("alwa_20230115_083012_F.MP4");

    RecordingDelegate delegate;
    ORBMediaList list;
    list.setDelegate(&delegate);
    list.setDirectoryPath(big.path());
    list.setDirectoryPath(small.path());
    ASSERT_TRUE(delegate.waitFor(1));
    while (list.isScanning()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    // Whatever the first scan managed, the list ends with the last folder's contents.
    EXPECT_EQ(list.count(), 1u);
    EXPECT_EQ(delegate.counts().back(), 1u);
    EXPECT_EQ(list.directoryPath(), small.path().string());
}

TEST(ORBMediaList, AScanSupersededAfterItsWalkPublishesNothing) {
    TempDir first, second;
    first.touch("alwa_20230115_083012_F.MP4");
    first.touch("alwa_20230115_083012_R.MP4");
    second.touch("event_20230116_090000_F.MP4");

    RecordingDelegate delegate;
    ORBMediaList list;
    bool once = false;
    // The new folder is chosen in the last moment before the first scan would publish.
    list.setBeforePublishHook([&] {
        if (!std::exchange(once, true)) {
            list.setDirectoryPath(second.path());
        }
    });
    list.setDelegate(&delegate);
    list.setDirectoryPath(first.path());
    ASSERT_TRUE(delegate.waitFor(1));
    while (list.isScanning()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(delegate.counts(), std::vector<size_t>{1});
    EXPECT_EQ(list.count(), 1u);
}

TEST(ORBMediaList, ReadersDuringAScanSeeWholeListsAndDestroyingOneDoesNotHang) {
    TempDir card;
    samples::writeRecordingNameTree(card.path(), 3000);
    RecordingDelegate delegate;
    ORBMediaList list;
    list.setDelegate(&delegate);
    list.setDirectoryPath(card.path());
    // Counts seen by a reader are only ever the old (0) or the new (3000) list.
    while (list.isScanning()) {
        const size_t n = list.count();
        ASSERT_TRUE(n == 0 || n == 3000) << n;
    }
    EXPECT_EQ(list.count(), 3000u);

    // One destroyed while its scan runs ends without hanging.
    {
        ORBMediaList gone;
        gone.setDelegate(&delegate);
        gone.setDirectoryPath(card.path());
    }
}
