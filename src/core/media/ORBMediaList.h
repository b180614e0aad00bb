// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The recordings below a folder, sorted by start time and paired front/rear by group name.
// Scans run on a worker thread; each fills fresh containers and swaps them in under the lock
// before the delegate hears of it, so readers never see a half-filled list.

#include "core/media/ORBMedia.h"
#include "core/media/ORBMediaPair.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

class ORBMediaList;

class ORBMediaListDelegate {
public:
    virtual ~ORBMediaListDelegate() = default;
    // Called once per completed scan, on the scan's worker thread.
    virtual void mediaListChanged(ORBMediaList& list) = 0;
};

class ORBMediaList {
public:
    using MediaPtr = std::shared_ptr<const ORBMedia>;
    using PairMap = std::unordered_map<std::string, ORBMediaPair>;

    // A scan stops collecting in a folder once this many recordings have been found.
    static constexpr size_t kMaxMedias = 15000;

    ORBMediaList();
    ~ORBMediaList();
    ORBMediaList(const ORBMediaList&) = delete;
    ORBMediaList& operator=(const ORBMediaList&) = delete;

    // Stores the path and starts a scan of it in the background; a scan still running is
    // abandoned (its result is never published). An empty path stores nothing.
    void setDirectoryPath(const std::string& path);
    std::string directoryPath() const;

    void setDelegate(ORBMediaListDelegate* delegate);
    ORBMediaListDelegate* delegate() const;

    size_t count() const;
    // Bounds-safe: nothing for an index at or past count().
    MediaPtr mediaAtIndex(size_t index) const;
    std::vector<MediaPtr> medias() const;
    PairMap mediaPairDic() const;
    // The pair of a file name, path or base name ("alwa_..._R.MP4", "alwa_..._R", "alwa_...").
    std::optional<ORBMediaPair> findMediaPairWithFileName(std::string_view name) const;

    // One row as a start takes it: the file and its pair, read under one lock, so that a rescan
    // between the two reads cannot mix two lists.
    struct Entry {
        MediaPtr media;
        std::optional<ORBMediaPair> pair;
    };
    std::optional<Entry> entryAtIndex(size_t index) const;
    // The recordings next to the one holding `path`, whichever of its front and rear rows that is:
    // the first row after its rows, and the first row of the recording before it. Nothing when
    // `path` is not listed or no such recording exists.
    std::optional<size_t> nextRecordingIndex(std::string_view path) const;
    std::optional<size_t> previousRecordingIndex(std::string_view path) const;

    // Appends to the published list and files the media into its pair (used by tests and tools;
    // a scan builds its own containers the same way).
    void addMedia(MediaPtr media);

    // The name test of the scan: a media for an acceptable recording name, else nothing.
    static std::shared_ptr<ORBMedia> createMediaByPath(std::string_view path);
    static bool _checkTimeByName(std::string_view name, int64_t startPos);

    // Scans synchronously on the calling thread and publishes the result (no delegate call).
    void scanNow(const std::string& path);

    // True while a scan is queued or running.
    bool isScanning() const;
    // Abandons the running scan: it publishes nothing and tells no one.
    void cancelScan();

    struct Contents {
        std::vector<MediaPtr> medias;
        PairMap pairs;
    };
    // Walks, sorts and pairs `path`; `cancelled` is polled so a superseded scan ends early.
    static Contents scanDirectory(const std::string& path, const std::function<bool()>& cancelled = {});

    // Tests only: runs on the worker after a scan has finished walking and before it publishes.
    void setBeforePublishHook(std::function<void()> hook);

    // Earliest first, in the order of ORBMedia::compareDate; stable for equal recordings.
    static void sortByDate(std::vector<MediaPtr>& medias);

private:
    static void fileMedia(Contents& contents, MediaPtr media);
    static std::optional<ORBMediaPair> findPair(const PairMap& pairs, std::string_view name);
    void workerLoop(std::stop_token stop);

    mutable std::mutex m_mutex; // guards the published contents, the path and the delegate
    Contents m_contents;
    std::string m_directoryPath;
    ORBMediaListDelegate* m_delegate = nullptr;

    mutable std::mutex m_requestMutex; // guards the scan requests
    std::condition_variable_any m_requestCv;
    std::optional<std::string> m_pendingPath;
    uint64_t m_generation = 0; // bumped by every request and cancel
    bool m_busy = false;
    std::function<void()> m_beforePublish; // set before any scan; read on the worker only
    std::jthread m_worker;
};
