// nura list DIR [--json]: the recordings below a folder, in the viewer's order.

#include "cli/commands.h"
#include "core/media/ORBMediaList.h"
#include "core/util/JsonWriter.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <filesystem>

namespace {

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

std::string dateText(const ORBMedia& m) {
    if (m.year < 1) {
        return {};
    }
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", m.year, m.month, m.day);
    return text;
}

std::string timeText(const ORBMedia& m) {
    if (m.year < 1) {
        return {};
    }
    char text[48];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", m.hour, m.minute, m.second);
    return text;
}

void printJson(const std::vector<ORBMediaList::MediaPtr>& medias) {
    nura::JsonWriter json;
    json.beginArray();
    for (const auto& m : medias) {
        json.beginObject();
        json.key("path").value(m->path);
        json.key("file").value(m->fileName());
        json.key("group").value(m->mediaGroupName());
        json.key("mode").value(modeWord(*m));
        json.key("side").value(sideWord(*m));
        json.key("date").value(dateText(*m));
        json.key("time").value(timeText(*m));
        json.endObject();
    }
    json.endArray();
    std::printf("%s\n", json.str().c_str());
}

void printTable(const std::string& root, const ORBMediaList& list) {
    const auto medias = list.medias();
    std::printf("%-7s %-6s %-10s %-8s  %-28s %s\n", "MODE", "SIDE", "DATE", "TIME", "FILE", "FOLDER");
    for (const auto& m : medias) {
        std::string folder = m->dir;
        if (folder.starts_with(root)) {
            folder.erase(0, root.size());
            while (!folder.empty() && folder.front() == '/') {
                folder.erase(0, 1);
            }
        }
        std::printf("%-7s %-6s %-10s %-8s  %-28s %s\n", modeWord(*m), sideWord(*m), dateText(*m).c_str(),
                    timeText(*m).c_str(), m->fileName().c_str(), folder.empty() ? "." : folder.c_str());
    }
    size_t pairs = 0;
    for (const auto& [group, pair] : list.mediaPairDic()) {
        pairs += pair.frontMedia && pair.rearMedia ? 1 : 0;
    }
    std::printf("%zu recording%s, %zu front/rear pair%s\n", medias.size(), medias.size() == 1 ? "" : "s",
                pairs, pairs == 1 ? "" : "s");
}

} // namespace

int runList(const CliArgs& args) {
    std::string dir;
    bool json = false;
    for (const auto& a : args) {
        if (a == "--json") {
            json = true;
        } else if (dir.empty() && !a.starts_with("--")) {
            dir = a;
        } else {
            std::fprintf(stderr, "usage: nura list DIR [--json]\n");
            return 2;
        }
    }
    if (dir.empty()) {
        std::fprintf(stderr, "usage: nura list DIR [--json]\n");
        return 2;
    }
    DIR* handle = ::opendir(dir.c_str());
    if (!handle) {
        std::fprintf(stderr, "nura list: cannot read folder '%s': %s\n", dir.c_str(), std::strerror(errno));
        return 1;
    }
    ::closedir(handle);

    std::error_code ec;
    auto root = std::filesystem::absolute(dir, ec).lexically_normal().string();
    while (root.size() > 1 && root.back() == '/') {
        root.pop_back();
    }
    ORBMediaList list;
    list.scanNow(root);
    if (json) {
        printJson(list.medias());
    } else {
        printTable(root, list);
    }
    return 0;
}
