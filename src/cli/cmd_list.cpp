// SPDX-License-Identifier: GPL-3.0-or-later
// nura list DIR [--json] [--drives]: the recordings below a folder, in the viewer's order, or the drives
// they make.

#include "cli/commands.h"
#include "core/media/ORBMediaList.h"
#include "core/trip/DriveListing.h"
#include "core/trip/TripRecordingReader.h"
#include "core/util/JsonWriter.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <filesystem>
#include <malloc.h>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace {

// Listing a full card builds a few megabytes of fresh heap. In 4 KiB pages that is thousands of page faults,
// which cost more than reading the names; asking for large pages for the heap makes it a handful. Where
// the system gives no large pages the advice is ignored and nothing else changes.
void preferLargeHeapPages() {
    constexpr size_t kReserve = size_t{32} << 20;
    constexpr uintptr_t kLargePage = uintptr_t{2} << 20;
    ::mallopt(M_TOP_PAD, static_cast<int>(kReserve));
    ::mallopt(M_TRIM_THRESHOLD, static_cast<int>(2 * kReserve));
    ::mallopt(M_MMAP_THRESHOLD, static_cast<int>(kReserve)); // large blocks from the same heap too
    const auto before = reinterpret_cast<uintptr_t>(::sbrk(0));
    // More than the heap holds, so it grows by the reserve now (volatile: the pair must not be elided).
    void* volatile probe = std::malloc(size_t{1} << 20);
    const auto end = reinterpret_cast<uintptr_t>(::sbrk(0));
    std::free(probe);
    if (before == static_cast<uintptr_t>(-1) || end == static_cast<uintptr_t>(-1)) {
        return;
    }
    const uintptr_t begin = (before + kLargePage - 1) & ~(kLargePage - 1);
    if (begin < end) {
        ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
    }
}

const char* modeWord(const ORBMedia& m) {
    if (m.isMotionMedia()) {
        return "motion";
    }
    if (m.isEventMedia()) {
        return "event";
    }
    return "always";
}

const char* sideWord(const ORBMedia& m) {
    if (m.isFrontMedia()) {
        return "front";
    }
    return m.isRearMedia() ? "rear" : "unknown";
}

// Output is assembled by hand into one buffer and written in large blocks: with 15,000 rows,
// printf's format parsing and per-row temporaries cost more than the whole folder walk.
class Output {
public:
    Output() { m_buffer.reserve(kFlushAt + 4096); }
    ~Output() { flush(); }
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    Output& text(std::string_view t) {
        m_buffer.append(t);
        if (m_buffer.size() >= kFlushAt) {
            flush();
        }
        return *this;
    }
    // Left-aligned in a field of `width`, as "%-Ns" would.
    Output& padded(std::string_view t, size_t width) {
        text(t);
        if (t.size() < width) {
            m_buffer.append(width - t.size(), ' ');
        }
        return *this;
    }
    void flush() {
        if (!m_buffer.empty()) {
            std::fwrite(m_buffer.data(), 1, m_buffer.size(), stdout);
            m_buffer.clear();
        }
    }

private:
    static constexpr size_t kFlushAt = 1 << 16;
    std::string m_buffer;
};

// Writes `value` with at least `width` digits, zero-padded, as "%0Nd" does for values >= 0.
void appendNumber(char*& p, int32_t value, int width) {
    char digits[12];
    int n = 0;
    auto v = static_cast<uint32_t>(value < 0 ? 0 : value);
    do {
        digits[n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0);
    for (int i = n; i < width; ++i) {
        *p++ = '0';
    }
    while (n > 0) {
        *p++ = digits[--n];
    }
}

// "2023-01-15" and "08:30:12"; empty for a recording whose name carries no date.
struct DateTimeText {
    explicit DateTimeText(const ORBMedia& m) {
        if (m.year < 1) {
            return;
        }
        char* p = date;
        appendNumber(p, m.year, 4);
        *p++ = '-';
        appendNumber(p, m.month, 2);
        *p++ = '-';
        appendNumber(p, m.day, 2);
        dateLength = static_cast<size_t>(p - date);
        p = time;
        appendNumber(p, m.hour, 2);
        *p++ = ':';
        appendNumber(p, m.minute, 2);
        *p++ = ':';
        appendNumber(p, m.second, 2);
        timeLength = static_cast<size_t>(p - time);
    }
    std::string_view dateView() const { return {date, dateLength}; }
    std::string_view timeView() const { return {time, timeLength}; }

    char date[40];
    char time[40];
    size_t dateLength = 0, timeLength = 0;
};

void printJson(const std::vector<ORBMediaList::MediaPtr>& medias) {
    Output out;
    out.text("[");
    const char* separator = "\n";
    for (const auto& m : medias) {
        const DateTimeText when(*m);
        out.text(separator)
            .text("  {\"path\": ")
            .text(nura::JsonWriter::quote(m->path))
            .text(", \"file\": ")
            .text(nura::JsonWriter::quote(m->fileName()))
            .text(", \"group\": ")
            .text(nura::JsonWriter::quote(m->mediaGroupName()))
            .text(", \"mode\": \"")
            .text(modeWord(*m))
            .text("\", \"side\": \"")
            .text(sideWord(*m))
            .text("\", \"date\": \"")
            .text(when.dateView())
            .text("\", \"time\": \"")
            .text(when.timeView())
            .text("\"}");
        separator = ",\n";
    }
    out.text(medias.empty() ? "]\n" : "\n]\n");
}

void printTable(const std::string& root, const ORBMediaList::Contents& contents) {
    Output out;
    out.padded("MODE", 7)
        .text(" ")
        .padded("SIDE", 6)
        .text(" ")
        .padded("DATE", 10)
        .text(" ")
        .padded("TIME", 8);
    out.text("  ").padded("FILE", 28).text(" FOLDER\n");
    for (const auto& m : contents.medias) {
        std::string_view folder = m->dir;
        if (folder.starts_with(root)) {
            folder.remove_prefix(root.size());
            while (!folder.empty() && folder.front() == '/') {
                folder.remove_prefix(1);
            }
        }
        const DateTimeText when(*m);
        out.padded(modeWord(*m), 7).text(" ").padded(sideWord(*m), 6).text(" ");
        out.padded(when.dateView(), 10).text(" ").padded(when.timeView(), 8).text("  ");
        out.text(m->mediaName).text(".").text(m->extension);
        const size_t nameLength = m->mediaName.size() + 1 + m->extension.size();
        if (nameLength < 28) {
            out.padded("", 28 - nameLength);
        }
        out.text(" ").text(folder.empty() ? std::string_view(".") : folder).text("\n");
    }
    size_t pairs = 0;
    for (const auto& [group, pair] : contents.pairs) {
        pairs += pair.frontMedia && pair.rearMedia ? 1 : 0;
    }
    const size_t count = contents.medias.size();
    out.text(std::to_string(count)).text(count == 1 ? " recording, " : " recordings, ");
    out.text(std::to_string(pairs)).text(pairs == 1 ? " front/rear pair\n" : " front/rear pairs\n");
}

// The camera's clock as its names carry it (no zone): "2023-01-15T08:30:12".
std::string clockText(int64_t ms) {
    const auto seconds = static_cast<time_t>(ms >= 0 ? ms / 1000 : (ms - 999) / 1000);
    std::tm t{};
    char text[64] = "";
    if (::gmtime_r(&seconds, &t)) {
        std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &t);
    }
    return text;
}

std::string_view datePart(std::string_view clock) {
    return clock.substr(0, std::min<size_t>(clock.size(), 10));
}
std::string_view timePart(std::string_view clock) {
    return clock.size() > 11 ? clock.substr(11) : std::string_view();
}

// "1:02:03", to the nearest second.
std::string durationText(int64_t ms) {
    const int64_t s = (ms + 500) / 1000;
    char text[64];
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(s / 3600),
                  static_cast<long long>(s / 60 % 60), static_cast<long long>(s % 60));
    return text;
}

// As the trip export writes them: whole metres, km/h to one decimal.
int64_t wholeMetres(double metres) {
    return std::isfinite(metres) ? static_cast<int64_t>(std::llround(metres)) : 0;
}
std::optional<double> oneDecimal(const std::optional<double>& kmh) {
    if (!kmh || !std::isfinite(*kmh)) {
        return std::nullopt;
    }
    return std::round(*kmh * 10) / 10;
}

const char* driveMode(const nura::DriveSummary& d) {
    return d.timeline.isMotion() ? "motion" : "always";
}

std::string fileOf(const nura::DriveRecording& r) {
    return r.media().fileName();
}

void printDrivesJson(const std::vector<nura::DriveSummary>& drives,
                     const std::vector<nura::DriveRecording>& recordings) {
    Output out;
    nura::JsonWriter json([&out](std::string_view text) { out.text(text); });
    json.beginArray();
    for (const auto& d : drives) {
        const auto& t = d.timeline;
        json.beginObject();
        json.key("mode").value(driveMode(d));
        json.key("start").value(clockText(t.clockStartMs()));
        json.key("end").value(clockText(t.clockEndMs()));
        json.key("duration_s").value(static_cast<double>(t.lengthMs()) / 1000);
        json.key("recordings").value(static_cast<uint64_t>(t.segments().size()));
        json.key("distance_m").value(wholeMetres(d.distanceMetres));
        json.key("max_speed_kmh");
        if (const auto kmh = oneDecimal(d.maxSpeedKmh)) {
            json.value(*kmh);
        } else {
            json.null();
        }
        json.key("events").value(static_cast<uint64_t>(d.eventMarkers));
        json.key("files").beginArray();
        for (const auto& s : t.segments()) {
            json.value(fileOf(recordings[s.recording]));
        }
        json.endArray();
        json.key("event_files").beginArray();
        for (const auto& e : t.eventFiles()) {
            json.value(fileOf(recordings[e.recording]));
        }
        json.endArray();
        json.key("without_length").beginArray();
        for (const size_t r : t.withoutLength()) {
            json.value(fileOf(recordings[r]));
        }
        json.endArray();
        json.endObject();
    }
    json.endArray();
    json.flush();
    out.text("\n");
}

void printDrivesTable(const std::vector<nura::DriveSummary>& drives) {
    Output out;
    out.text(
        "MODE    DATE        START     END       DURATION  RECORDINGS  DISTANCE    TOP SPEED   EVENTS\n");
    size_t eventFiles = 0, withoutLength = 0;
    for (const auto& d : drives) {
        const auto& t = d.timeline;
        const std::string start = clockText(t.clockStartMs());
        const std::string end = clockText(t.clockEndMs());
        char distance[64];
        std::snprintf(distance, sizeof distance, "%.2f km",
                      static_cast<double>(wholeMetres(d.distanceMetres)) / 1000);
        char speed[64] = "-";
        if (const auto kmh = oneDecimal(d.maxSpeedKmh)) {
            std::snprintf(speed, sizeof speed, "%.1f km/h", *kmh);
        }
        out.padded(driveMode(d), 8).padded(datePart(start), 12);
        out.padded(timePart(start), 10).padded(timePart(end), 10);
        out.padded(durationText(t.lengthMs()), 10).padded(std::to_string(t.segments().size()), 12);
        out.padded(distance, 12).padded(speed, 12).text(std::to_string(d.eventMarkers)).text("\n");
        eventFiles += t.eventFiles().size();
        withoutLength += t.withoutLength().size();
    }
    out.text(std::to_string(drives.size())).text(drives.size() == 1 ? " drive" : " drives");
    if (eventFiles > 0) {
        out.text(", ").text(std::to_string(eventFiles));
        out.text(eventFiles == 1 ? " event file within them" : " event files within them");
    }
    if (withoutLength > 0) {
        out.text(", ").text(std::to_string(withoutLength));
        out.text(withoutLength == 1 ? " recording without a length (a gap)"
                                    : " recordings without a length (gaps)");
    }
    out.text("\n");
}

const char* recordingsWord(size_t n) {
    return n == 1 ? "recording" : "recordings";
}

// The drives and what they hold; the card is read on every core, as the trip export reads it.
int listDrives(const ORBMediaList::Contents& contents, bool json) {
    nura::DriveListingProblems problems;
    std::vector<nura::DriveRecording> recordings;
    std::vector<nura::DriveSummary> drives;
    try {
        recordings = nura::driveRecordings(contents);
        drives = nura::DriveListing::read(recordings, nura::TripRecordingReader::defaultWorkers(), problems);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "nura list: not enough memory to list the drives\n");
        return exitcode::kCannotAccess;
    }
    if (json) {
        printDrivesJson(drives, recordings);
    } else {
        printDrivesTable(drives);
    }
    std::fflush(stdout);
    if (problems.withoutTelemetry > 0) {
        std::fprintf(stderr, "nura list: %zu %s without telemetry: no distance or events from them\n",
                     problems.withoutTelemetry, recordingsWord(problems.withoutTelemetry));
    }
    if (problems.unreadableTelemetry > 0) {
        std::fprintf(stderr, "nura list: %zu %s whose telemetry cannot be read (first: %s)\n",
                     problems.unreadableTelemetry, recordingsWord(problems.unreadableTelemetry),
                     problems.firstUnreadable.c_str());
    }
    if (problems.refused > 0) {
        // A pulled card or a failing medium: the list is written but may miss lengths, so it is not done.
        std::fprintf(
            stderr, "nura list: %zu %s could not be read (first: %s); the drives may be incomplete\n",
            problems.refused, problems.refused == 1 ? "file" : "files", problems.firstRefused.c_str());
        return exitcode::kCannotAccess;
    }
    return exitcode::kDone;
}

} // namespace

int runList(const std::string& dir, bool json, bool drives) {
    DIR* handle = ::opendir(dir.c_str());
    if (!handle) {
        std::fprintf(stderr, "nura list: cannot read folder '%s': %s\n", dir.c_str(), std::strerror(errno));
        return exitcode::kCannotAccess;
    }
    ::closedir(handle);

    std::error_code ec;
    auto root = std::filesystem::absolute(dir, ec).lexically_normal().string();
    while (root.size() > 1 && root.back() == '/') {
        root.pop_back();
    }
    preferLargeHeapPages();
    // Scanned on this thread: a one-shot listing needs no worker.
    const auto contents = ORBMediaList::scanDirectory(root);
    if (drives) {
        const int status = listDrives(contents, json);
        if (std::ferror(stdout)) {
            std::fprintf(stderr, "nura list: cannot write the list: %s\n", std::strerror(errno));
            return exitcode::kCannotAccess;
        }
        return status;
    }
    if (json) {
        printJson(contents.medias);
    } else {
        printTable(root, contents);
    }
    std::fflush(stdout);
    if (std::ferror(stdout)) {
        std::fprintf(stderr, "nura list: cannot write the list: %s\n", std::strerror(errno));
        return exitcode::kCannotAccess;
    }
    return exitcode::kDone;
}
