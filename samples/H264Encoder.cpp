// SPDX-License-Identifier: GPL-3.0-or-later
#include "H264Encoder.h"

#include "RoadScene.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace samples {
namespace {

bool run(const std::vector<std::string>& args, std::string* error) {
    std::vector<char*> argv;
    for (const auto& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        *error = "cannot start " + args[0];
        return false;
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        *error = args[0] + " failed";
        return false;
    }
    return true;
}

// Runs `args` with `write(fd)` feeding its standard input through a pipe.
bool runFeeding(const std::vector<std::string>& args, const std::function<bool(int fd)>& write,
                std::string* error) {
    int fds[2];
    if (::pipe(fds) != 0) {
        *error = "cannot make a pipe";
        return false;
    }
    std::vector<char*> argv;
    for (const auto& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[0], 0);
    posix_spawn_file_actions_addclose(&actions, fds[1]);
    pid_t pid = 0;
    const bool started = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[0]);
    if (!started) {
        ::close(fds[1]);
        *error = "cannot start " + args[0];
        return false;
    }
    // A tool that gives up early must not take this process with it.
    const auto previous = std::signal(SIGPIPE, SIG_IGN);
    const bool fed = write(fds[1]);
    ::close(fds[1]);
    std::signal(SIGPIPE, previous);
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0 || !fed) {
        *error = args[0] + " failed";
        return false;
    }
    return true;
}

bool writeAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

void appendNal(VideoFrame& frame, std::span<const std::byte> nal) {
    const auto n = static_cast<uint32_t>(nal.size());
    for (int k = 3; k >= 0; --k) {
        frame.avcc.push_back(static_cast<std::byte>(n >> (8 * k)));
    }
    frame.avcc.insert(frame.avcc.end(), nal.begin(), nal.end());
}

} // namespace

std::optional<EncodedVideo> splitAnnexB(std::span<const std::byte> s, std::string* error) {
    // Positions of the first byte after each start code (00 00 01; a fourth leading zero belongs to it).
    std::vector<size_t> starts;
    for (size_t i = 0; i + 3 <= s.size(); ++i) {
        if (s[i] == std::byte{0} && s[i + 1] == std::byte{0} && s[i + 2] == std::byte{1}) {
            starts.push_back(i + 3);
            i += 2;
        }
    }
    EncodedVideo v;
    std::optional<VideoFrame> current;
    for (size_t k = 0; k < starts.size(); ++k) {
        size_t end = k + 1 < starts.size() ? starts[k + 1] - 3 : s.size();
        while (end > starts[k] && s[end - 1] == std::byte{0}) {
            --end;
        }
        const auto nal = s.subspan(starts[k], end - starts[k]);
        if (nal.empty()) {
            continue;
        }
        const int type = static_cast<int>(nal[0]) & 0x1F;
        if (type == 9) { // access-unit delimiter: a new frame begins
            if (current && !current->avcc.empty()) {
                v.frames.push_back(std::move(*current));
            }
            current = VideoFrame{};
            continue;
        }
        if (type == 7) {
            v.sps.assign(nal.begin(), nal.end());
            continue;
        }
        if (type == 8) {
            v.pps.assign(nal.begin(), nal.end());
            continue;
        }
        if (!current) {
            current = VideoFrame{};
        }
        current->key = current->key || type == 5;
        appendNal(*current, nal);
    }
    if (current && !current->avcc.empty()) {
        v.frames.push_back(std::move(*current));
    }
    if (v.sps.size() < 4 || v.pps.empty() || v.frames.empty()) {
        *error = "the H.264 stream has no parameter sets or no frames";
        return std::nullopt;
    }
    return v;
}

std::optional<EncodedVideo> encodeTestPattern(const EncodeRequest& r, std::string* error) {
    std::string ignored;
    if (error == nullptr) {
        error = &ignored;
    }
    char name[] = "/tmp/nura-h264-XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) {
        *error = "cannot create a temporary file";
        return std::nullopt;
    }
    close(fd);
    const std::string out = name;
    const std::string gop = std::to_string(r.fps);
    const std::vector<std::string> encode = {"-c:v",
                                             "libx264",
                                             "-preset",
                                             "ultrafast",
                                             "-crf",
                                             "30",
                                             "-bf",
                                             "0",
                                             "-g",
                                             gop,
                                             "-keyint_min",
                                             gop,
                                             "-sc_threshold",
                                             "0",
                                             "-x264-params",
                                             "aud=1",
                                             "-pix_fmt",
                                             "yuv420p",
                                             "-f",
                                             "h264",
                                             out};
    std::vector<std::string> args = {"ffmpeg", "-nostdin", "-loglevel", "error", "-y"};
    bool ok = false;
    const bool road = !r.frameNumbers && (r.pattern == "road" || r.pattern == "road-rear");
    if (road) {
        const std::string size = std::to_string(r.width) + "x" + std::to_string(r.height);
        args.insert(args.end(), {"-f", "rawvideo", "-pix_fmt", "yuv420p", "-s", size, "-r", gop, "-i", "-"});
        args.insert(args.end(), encode.begin(), encode.end());
        args.erase(args.begin() + 1); // its standard input is the pictures
        const int frames = r.fps * r.seconds;
        ok = runFeeding(
            args,
            [&](int fd) {
                std::vector<uint8_t> picture;
                for (int n = 0; n < frames; ++n) {
                    const double metres = r.roadMetres ? r.roadMetres(n) : 18.0 * n / r.fps;
                    drawRoadFrame(r.width, r.height, metres, r.pattern == "road-rear", picture);
                    if (!writeAll(fd, picture.data(), picture.size())) {
                        return false;
                    }
                }
                return true;
            },
            error);
    } else {
        std::string source = (r.frameNumbers ? std::string("nullsrc") : r.pattern) +
                             "=size=" + std::to_string(r.width) + "x" + std::to_string(r.height) +
                             ":rate=" + std::to_string(r.fps) + ":duration=" + std::to_string(r.seconds);
        if (r.frameNumbers) {
            source += ",geq=lum='if(bitand(N\\,pow(2\\,floor(X*12/W)))\\,235\\,16)':cb=128:cr=128";
        }
        args.insert(args.end(), {"-f", "lavfi", "-i", source});
        args.insert(args.end(), encode.begin(), encode.end());
        ok = run(args, error);
    }
    std::vector<std::byte> stream;
    if (ok) {
        std::ifstream f(out, std::ios::binary);
        std::vector<char> chars((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
        stream.resize(chars.size());
        std::transform(chars.begin(), chars.end(), stream.begin(),
                       [](char c) { return static_cast<std::byte>(c); });
    }
    std::error_code ec;
    std::filesystem::remove(out, ec);
    if (!ok) {
        return std::nullopt;
    }
    auto video = splitAnnexB(stream, error);
    if (video) {
        video->width = r.width;
        video->height = r.height;
        video->fps = r.fps;
    }
    return video;
}

std::optional<EncodedAudio> encodeTone(int seconds, std::string* error) {
    std::string ignored;
    if (error == nullptr) {
        error = &ignored;
    }
    char name[] = "/tmp/nura-aac-XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) {
        *error = "cannot create a temporary file";
        return std::nullopt;
    }
    close(fd);
    const std::string out = name;
    const bool ok = run({"ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                         "sine=frequency=440:sample_rate=48000:duration=" + std::to_string(seconds), "-c:a",
                         "aac", "-b:a", "64k", "-f", "adts", out},
                        error);
    std::ifstream f(out, std::ios::binary);
    std::vector<char> chars((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    std::remove(out.c_str());
    if (!ok) {
        return std::nullopt;
    }
    // ADTS: a 7-byte header (9 with a checksum) whose 13-bit frame length includes it.
    EncodedAudio a;
    a.sampleRate = 48000;
    size_t at = 0;
    while (at + 7 <= chars.size()) {
        const auto b = [&](size_t i) {
            return static_cast<unsigned>(static_cast<unsigned char>(chars[at + i]));
        };
        if (b(0) != 0xFF || (b(1) & 0xF0) != 0xF0) {
            break;
        }
        const size_t header = (b(1) & 1) ? 7 : 9;
        const size_t length = ((b(3) & 3) << 11) | (b(4) << 3) | (b(5) >> 5);
        if (length <= header || at + length > chars.size()) {
            break;
        }
        std::vector<std::byte> frame(length - header);
        std::memcpy(frame.data(), chars.data() + at + header, frame.size());
        a.frames.push_back(std::move(frame));
        at += length;
    }
    if (a.frames.empty()) {
        *error = "no AAC frames";
        return std::nullopt;
    }
    return a;
}

} // namespace samples
