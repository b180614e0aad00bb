// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers the core tests share: whole files as strings, scratch folders, boxes written by hand, telemetry
// records, running a command line, and running a check as a user who is not root.
#pragma once

#include "core/telemetry/ByteOrder.h"
#include "core/telemetry/ORBTelemetryRecord.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace coretest {

// At most `limit` bytes of the file; empty when it cannot be read.
inline std::string slurp(const std::filesystem::path& p, std::size_t limit = std::string::npos) {
    std::ifstream in(p, std::ios::binary);
    std::string s;
    for (std::istreambuf_iterator<char> it(in), end; it != end && s.size() < limit; ++it) {
        s.push_back(*it);
    }
    return s;
}

inline void writeBytes(const std::filesystem::path& p, const std::string& data) {
    std::ofstream(p, std::ios::binary | std::ios::trunc)
        .write(data.data(), static_cast<std::streamsize>(data.size()));
}

// An empty folder of the running test's own (PREFIX-PID-TEST under the temporary folder).
inline std::filesystem::path freshTestFolder(const std::string& prefix) {
    const auto dir = std::filesystem::temp_directory_path() /
                     (prefix + "-" + std::to_string(::getpid()) + "-" +
                      ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

// A folder of its own under the temporary folder, removed with all it holds when it goes out of scope.
class ScratchFolder {
public:
    ScratchFolder() {
        char pattern[] = "/tmp/nura-test-XXXXXX";
        if (::mkdtemp(pattern)) {
            m_path = pattern;
        }
    }
    ~ScratchFolder() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::filesystem::path& path() const { return m_path; }
    // An empty file at `relative`, with the folders on its way.
    std::filesystem::path touch(const std::string& relative) const {
        const auto p = m_path / relative;
        std::filesystem::create_directories(p.parent_path());
        std::ofstream(p).flush();
        return p;
    }

private:
    std::filesystem::path m_path;
};

// The names in a folder, sorted: the order a file system lists them in is its own.
inline std::vector<std::string> sortedNames(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// A big-endian 32-bit number, and a box of that size and type around a payload: movie files written out
// by hand, so that a reader is not checked against this project's own writer.
inline std::string be32(uint32_t v) {
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
            static_cast<char>(v)};
}
inline std::string box(const std::string& type, const std::string& payload) {
    return be32(static_cast<uint32_t>(8 + payload.size())) + type + payload;
}
inline std::string zeros(std::size_t n) {
    return std::string(n, '\0');
}

// A telemetry record at `time` ms: the G-sensor reads gx/256 g across and 1 g down, and the text after
// the unit is `text`, cut at the record's 128 bytes.
inline nura::ORBTelemetryRecord record(uint32_t time, int32_t gx, const std::string& text, char unit = '9') {
    nura::ORBTelemetryRecord r;
    r.time = time;
    nura::ORBAviGSensorData::Block g{};
    nura::bytes::writeU32LE(g, 0, static_cast<uint32_t>(gx));
    nura::bytes::writeU32LE(g, 8, 256);
    r.gSensor.setData(g);
    nura::ORBAviGpsData::Block b{};
    b[0] = unit;
    std::memcpy(b.data() + 1, text.data(), std::min(text.size(), std::size_t{128}));
    r.gps.setData(b);
    return r;
}

// Runs a command line (its arguments quoted by the caller) and returns its exit status, -1 when it did not
// exit normally, with what it wrote to standard output and standard error.
inline int run(const std::string& commandLine, std::string* output = nullptr) {
    std::FILE* p = ::popen((commandLine + " 2>&1").c_str(), "r");
    if (!p) {
        return -1;
    }
    std::array<char, 4096> buf{};
    std::string out;
    std::size_t n = 0;
    while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) {
        out.append(buf.data(), n);
    }
    const int status = ::pclose(p);
    if (output) {
        *output = out;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs `body` in a child process that has given up root (root reads and writes any folder) and returns
// its exit status, or -1 when it did not exit normally.
inline int runWithoutRoot(const std::function<int()>& body) {
    const pid_t child = ::fork();
    if (child < 0) {
        return -1;
    }
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) {
            ::_exit(99);
        }
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace coretest
