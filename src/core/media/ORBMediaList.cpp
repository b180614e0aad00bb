// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/media/ORBMediaList.h"

#include "core/media/RepairedRecordings.h"

#include <algorithm>
#include <dirent.h>
#include <filesystem>
#include <set>
#include <sys/stat.h>
#include <utility>

using namespace orb_media;

namespace {

class TreeWalker {
public:
    TreeWalker(std::vector<ORBMediaList::MediaPtr>& out, const std::function<bool()>& cancelled)
        : m_out(out), m_cancelled(cancelled) {}

    // A link inside the opened folder to one of the folders above it (a link to "/" on a card) would walk
    // the whole system: the ancestors count as visited, so such a link is skipped like a cycle.
    void skipAncestorsOf(const std::string& root) {
        std::error_code ec;
        std::filesystem::path folder = std::filesystem::canonical(root, ec);
        if (ec) {
            return;
        }
        while (folder.has_parent_path() && folder.parent_path() != folder) {
            folder = folder.parent_path();
            struct stat st {};
            if (::stat(folder.c_str(), &st) == 0) {
                m_visited.insert({st.st_dev, st.st_ino});
            }
        }
    }

    // Lists one folder; sub-folders (links followed) are walked in place. A folder reached a
    // second time through a link is skipped, which ends link cycles.
    void eachDir(const std::string& dir) {
        struct stat st {};
        if (::stat(dir.c_str(), &st) != 0 || !m_visited.insert({st.st_dev, st.st_ino}).second) {
            return;
        }
        DIR* handle = ::opendir(dir.c_str());
        if (!handle) {
            return;
        }
        std::string full;
        while (const dirent* entry = ::readdir(handle)) {
            const std::string_view name = entry->d_name;
            if (name == "." || name == "..") {
                continue;
            }
            if (m_cancelled && m_cancelled()) {
                break;
            }
            full.assign(dir);
            if (full.back() != '/') {
                full.push_back('/');
            }
            full.append(name);

            bool isDir = entry->d_type == DT_DIR;
            if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
                struct stat target {};
                isDir = ::stat(full.c_str(), &target) == 0 && S_ISDIR(target.st_mode);
            }
            if (isDir) {
                eachDir(full);
            } else if (auto media = hasMp4Extension(name) ? ORBMediaList::createMediaByPath(full) : nullptr) {
                m_out.push_back(std::move(media));
                if (m_out.size() >= ORBMediaList::kMaxMedias) {
                    break;
                }
            }
        }
        ::closedir(handle);
    }

private:
    std::vector<ORBMediaList::MediaPtr>& m_out;
    const std::function<bool()>& m_cancelled;
    std::set<std::pair<dev_t, ino_t>> m_visited;
};

} // namespace

ORBMediaList::ORBMediaList() : m_worker([this](std::stop_token stop) { workerLoop(stop); }) {}

ORBMediaList::~ORBMediaList() {
    m_worker.request_stop();
    {
        std::lock_guard lock(m_requestMutex);
        ++m_generation;
    }
    m_requestCv.notify_all();
}

void ORBMediaList::setDirectoryPath(const std::string& path) {
    if (path.empty()) {
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        m_directoryPath = path;
    }
    {
        std::lock_guard lock(m_requestMutex);
        m_pendingPath = path;
        ++m_generation;
    }
    m_requestCv.notify_all();
}

std::string ORBMediaList::directoryPath() const {
    std::lock_guard lock(m_mutex);
    return m_directoryPath;
}

void ORBMediaList::setDelegate(ORBMediaListDelegate* delegate) {
    std::lock_guard lock(m_mutex);
    m_delegate = delegate;
}

ORBMediaListDelegate* ORBMediaList::delegate() const {
    std::lock_guard lock(m_mutex);
    return m_delegate;
}

size_t ORBMediaList::count() const {
    std::lock_guard lock(m_mutex);
    return m_contents.medias.size();
}

ORBMediaList::MediaPtr ORBMediaList::mediaAtIndex(size_t index) const {
    std::lock_guard lock(m_mutex);
    return index < m_contents.medias.size() ? m_contents.medias[index] : nullptr;
}

std::vector<ORBMediaList::MediaPtr> ORBMediaList::medias() const {
    std::lock_guard lock(m_mutex);
    return m_contents.medias;
}

ORBMediaList::PairMap ORBMediaList::mediaPairDic() const {
    std::lock_guard lock(m_mutex);
    return m_contents.pairs;
}

std::optional<ORBMediaPair> ORBMediaList::findPair(const PairMap& pairs, std::string_view name) {
    auto key = baseName(name);
    if (key.ends_with("_F") || key.ends_with("_R")) {
        key.remove_suffix(2);
    }
    const auto it = pairs.find(std::string(key));
    if (it == pairs.end()) {
        return std::nullopt;
    }
    return it->second;
}

std::optional<ORBMediaPair> ORBMediaList::findMediaPairWithFileName(std::string_view name) const {
    std::lock_guard lock(m_mutex);
    return findPair(m_contents.pairs, name);
}

std::optional<ORBMediaList::Entry> ORBMediaList::entryAtIndex(size_t index) const {
    std::lock_guard lock(m_mutex);
    if (index >= m_contents.medias.size()) {
        return std::nullopt;
    }
    const MediaPtr& media = m_contents.medias[index];
    return Entry{media, findPair(m_contents.pairs, media->path)};
}

namespace {

// Front and rear files pair by their shared group name, wherever on the card they lie.
bool sameRecording(const ORBMedia& media, const ORBMedia& other) {
    return media.mediaGroupName() == other.mediaGroupName();
}

std::optional<size_t> indexOfPath(const std::vector<ORBMediaList::MediaPtr>& medias, std::string_view path) {
    for (size_t i = 0; i < medias.size(); ++i) {
        if (medias[i]->path == path) {
            return i;
        }
    }
    return std::nullopt;
}

} // namespace

std::optional<size_t> ORBMediaList::nextRecordingIndex(std::string_view path) const {
    std::lock_guard lock(m_mutex);
    const auto& medias = m_contents.medias;
    const auto found = indexOfPath(medias, path);
    if (!found) {
        return std::nullopt;
    }
    const size_t i = *found;
    const ORBMedia& current = *medias[i];
    // The partner may sit on either side of the played row; both of its rows are passed over.
    for (size_t j = i + 1; j < medias.size(); ++j) {
        if (!sameRecording(*medias[j], current)) {
            return j;
        }
    }
    return std::nullopt;
}

std::optional<size_t> ORBMediaList::previousRecordingIndex(std::string_view path) const {
    std::lock_guard lock(m_mutex);
    const auto& medias = m_contents.medias;
    const auto found = indexOfPath(medias, path);
    if (!found) {
        return std::nullopt;
    }
    const ORBMedia& current = *medias[*found];
    size_t j = *found;
    while (j > 0 && sameRecording(*medias[j - 1], current)) {
        --j;
    }
    if (j == 0) {
        return std::nullopt;
    }
    // The first row of the recording before: its partner may stand above it.
    const ORBMedia& previous = *medias[j - 1];
    size_t k = j - 1;
    while (k > 0 && sameRecording(*medias[k - 1], previous)) {
        --k;
    }
    return k;
}

void ORBMediaList::fileMedia(Contents& contents, MediaPtr media) {
    contents.medias.push_back(media);
    // The pair key is the group name, which is what findPair derives from the file name.
    auto& pair = contents.pairs[media->mediaGroupName()];
    if (media->isRearMedia()) {
        pair.rearMedia = media;
    } else if (media->isFrontMedia()) {
        pair.frontMedia = media;
    }
}

void ORBMediaList::addMedia(MediaPtr media) {
    if (!media) {
        return;
    }
    std::lock_guard lock(m_mutex);
    fileMedia(m_contents, std::move(media));
}

bool ORBMediaList::_checkTimeByName(std::string_view name, int64_t startPos) {
    DateTime t{};
    return readDateTime(name, startPos, t) && dateTimeInRange(t);
}

std::shared_ptr<ORBMedia> ORBMediaList::createMediaByPath(std::string_view path) {
    const auto base = baseName(path);
    if (base.size() != kAlwaysLength && base.size() != kMotionLength && base.size() != kEventLength) {
        return nullptr;
    }
    if (!base.ends_with("_F") && !base.ends_with("_R")) {
        return nullptr;
    }
    const bool prefixed =
        base.starts_with("alwa_") || base.starts_with("motion_") || base.starts_with("event_");
    auto media = ORBMedia::mediaWithPath(path);
    // A prefixed name whose date-time is out of range is parsed to the unknown (zero) date; a
    // name without a prefix is accepted undated.
    if (prefixed && media->year == 0) {
        return nullptr;
    }
    return media;
}

void ORBMediaList::sortByDate(std::vector<MediaPtr>& medias) {
    // The order of compareDate, with each recording's key worked out once instead of at every
    // comparison; a media whose date cannot be keyed falls back to compareDate itself.
    struct Keyed {
        uint64_t date;
        int32_t division;
        int32_t direction;
        bool keyed;
        MediaPtr media;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(medias.size());
    for (auto& m : medias) {
        uint64_t date = 0;
        const bool ok = m->dateKey(date);
        keyed.push_back({date, m->mediaDivision, m->mediaDirection, ok, std::move(m)});
    }
    std::stable_sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
        if (!a.keyed || !b.keyed) {
            return a.media->compareDate(*b.media) < 0;
        }
        if (a.date != b.date) {
            return a.date < b.date;
        }
        if (a.division != b.division) {
            return a.division > b.division;
        }
        return a.direction < b.direction;
    });
    for (size_t i = 0; i < keyed.size(); ++i) {
        medias[i] = std::move(keyed[i].media);
    }
}

ORBMediaList::Contents ORBMediaList::scanDirectory(const std::string& path,
                                                   const std::function<bool()>& cancelled) {
    std::error_code ec;
    std::string root = path;
    if (root.empty() || root.front() != '/') {
        const auto abs = std::filesystem::absolute(path, ec);
        if (!ec) {
            root = abs.string();
        }
    }
    while (root.size() > 1 && root.back() == '/') {
        root.pop_back();
    }

    std::vector<MediaPtr> found;
    TreeWalker walker(found, cancelled);
    walker.skipAncestorsOf(root);
    walker.eachDir(root);
    preferRepairedRecordings(found);
    sortByDate(found);

    Contents contents;
    contents.medias.reserve(found.size());
    contents.pairs.reserve(found.size());
    for (auto& media : found) {
        fileMedia(contents, std::move(media));
    }
    return contents;
}

void ORBMediaList::scanNow(const std::string& path) {
    auto contents = scanDirectory(path);
    std::lock_guard lock(m_mutex);
    m_directoryPath = path;
    m_contents = std::move(contents);
}

bool ORBMediaList::isScanning() const {
    std::lock_guard lock(m_requestMutex);
    return m_busy || m_pendingPath.has_value();
}

void ORBMediaList::cancelScan() {
    std::lock_guard lock(m_requestMutex);
    m_pendingPath.reset();
    ++m_generation;
}

void ORBMediaList::setBeforePublishHook(std::function<void()> hook) {
    std::lock_guard lock(m_requestMutex);
    m_beforePublish = std::move(hook);
}

void ORBMediaList::workerLoop(std::stop_token stop) {
    while (!stop.stop_requested()) {
        std::string path;
        uint64_t generation = 0;
        {
            std::unique_lock lock(m_requestMutex);
            m_busy = false;
            if (!m_requestCv.wait(lock, stop, [this] { return m_pendingPath.has_value(); })) {
                return;
            }
            path = std::move(*m_pendingPath);
            m_pendingPath.reset();
            generation = m_generation;
            m_busy = true;
        }
        auto superseded = [&] {
            if (stop.stop_requested()) {
                return true;
            }
            std::lock_guard lock(m_requestMutex);
            return m_generation != generation;
        };
        auto contents = scanDirectory(path, superseded);
        if (m_beforePublish) {
            m_beforePublish();
        }
        ORBMediaListDelegate* delegate = nullptr;
        {
            // The last check and the swap happen under the request lock, so a request made at
            // any moment before the swap keeps this result from being published.
            std::scoped_lock lock(m_requestMutex, m_mutex);
            if (stop.stop_requested() || m_generation != generation) {
                continue;
            }
            m_contents = std::move(contents);
            delegate = m_delegate;
        }
        if (delegate) {
            delegate->mediaListChanged(*this);
        }
    }
}
