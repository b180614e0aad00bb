// SPDX-License-Identifier: GPL-3.0-or-later
// nura-media: the work of `nura` that needs the FFmpeg libraries, in a program of its own so that
// nura and the viewer start without loading them.
//
//   nura-media decode-check [--frames N] -- FILE
//       Decodes the first N video frames (default 10) of FILE. Exit 0 when they decode without an
//       error, 2 when they do not (or the file has no video), 1 when FILE cannot be opened, 64 on
//       bad usage. One line on standard output: the frames decoded and the errors seen.
//
//   nura-media decode-check [--frames N] --serve
//       The same for every path read from standard input, one a line as a quoted word (see
//       core/util/QuotedWords.h), answering each with a line that begins with "ok" or "fail", until the
//       input ends: a caller that starts it early pays the libraries' loading time once, while it does
//       other work.
//
//   nura-media clip
//       Renders the re-encoded clip whose plan is read on standard input (core/clip/ClipPlan.h). Exit 0
//       when written, 1 when the output cannot be written, 2 when the recordings do not decode, 3
//       when the system refuses to read a recording (a pulled card), 130 when interrupted, 64 for a
//       plan that does not hold together. Progress goes to standard error when it is a terminal.
//
// The helper ends with its caller: the kernel sends it SIGTERM when the thread that started it ends
// (NURA_PARENT_PID names the caller, so that one that ended before that was asked is seen too), and
// the end of standard input after a clip's plan, when the caller's end of the socket closes, cancels
// the clip. A clip cancelled because its caller has gone removes the caller's temporary file, which
// nobody else is left to remove.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

#include "core/util/QuotedWords.h"
#include "mediahelper/ClipRenderer.h"

#include <QGuiApplication>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

std::atomic<int> g_errors{0};

void countErrors(void* avcl, int level, const char* fmt, va_list vl) {
    if (level <= AV_LOG_ERROR) {
        ++g_errors;
        if (std::getenv("NURA_MEDIA_VERBOSE") != nullptr) {
            av_log_default_callback(avcl, level, fmt, vl);
        }
    }
}

int usage() {
    std::fprintf(stderr, "usage: nura-media decode-check [--frames N] -- FILE\n");
    return 64;
}

struct Resources {
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    ~Resources() {
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&codec);
        avformat_close_input(&format);
    }
};

int decodeCheck(const char* path, int wanted) {
    av_log_set_callback(countErrors);
    g_errors = 0;
    Resources r;
    // Named as a file, so that no name is taken for a protocol or device ("pipe:", "http://...").
    const std::string url = std::string("file:") + path;
    if (avformat_open_input(&r.format, url.c_str(), nullptr, nullptr) < 0) {
        std::fprintf(stderr, "nura-media: cannot open %s\n", path);
        return 1;
    }
    // The MP4 header carries the codec setup; probing the stream would only cost time.
    const AVCodec* decoder = nullptr;
    const int stream = av_find_best_stream(r.format, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
    if (stream < 0 || decoder == nullptr) {
        std::printf("frames 0 errors %d: no video\n", g_errors.load());
        return 2;
    }
    const AVCodecParameters* par = r.format->streams[stream]->codecpar;
    r.codec = avcodec_alloc_context3(decoder);
    r.packet = av_packet_alloc();
    r.frame = av_frame_alloc();
    if (!r.codec || !r.packet || !r.frame || avcodec_parameters_to_context(r.codec, par) < 0) {
        return 1;
    }
    r.codec->thread_count = 1;
    if (avcodec_open2(r.codec, decoder, nullptr) < 0) {
        std::printf("frames 0 errors %d: the decoder does not open\n", g_errors.load());
        return 2;
    }
    int frames = 0;
    bool sizeMismatch = false;
    const auto drain = [&] {
        while (avcodec_receive_frame(r.codec, r.frame) == 0) {
            ++frames;
            sizeMismatch = sizeMismatch || r.frame->width != par->width || r.frame->height != par->height;
            av_frame_unref(r.frame);
        }
    };
    bool ended = false;
    while (frames < wanted && !ended) {
        if (av_read_frame(r.format, r.packet) < 0) {
            ended = true;
            break;
        }
        if (r.packet->stream_index == stream) {
            if (avcodec_send_packet(r.codec, r.packet) < 0) {
                ++g_errors;
            }
            drain();
        }
        av_packet_unref(r.packet);
    }
    avcodec_send_packet(r.codec, nullptr);
    drain();
    std::printf("frames %d errors %d%s\n", frames, g_errors.load(),
                sizeMismatch ? " (pictures of another size than the track's)" : "");
    return frames > 0 && g_errors.load() == 0 && !sizeMismatch ? 0 : 2;
}

} // namespace

int serve(int frames) {
    char line[16384];
    while (std::fgets(line, sizeof line, stdin) != nullptr) {
        std::string text = line;
        if (!text.empty() && text.back() == '\n') {
            text.pop_back();
        }
        const auto words = nura::quotedWords(text);
        const int status = words && words->size() == 1 ? decodeCheck(words->front().c_str(), frames) : 2;
        std::printf("%s\n", status == 0 ? "ok" : "fail");
        std::fflush(stdout);
    }
    return 0;
}

std::atomic<bool> g_cancel{false};
std::atomic<bool> g_callerGone{false};

// Whether the caller that started this helper has ended.
bool callerGone() {
    const char* parent = std::getenv("NURA_PARENT_PID");
    return g_callerGone || (parent != nullptr && std::atoll(parent) != static_cast<long long>(::getppid()));
}

// The plan, read from standard input up to its last line.
bool readPlan(std::string& text) {
    char buffer[65536];
    while (!nura::ClipPlan::isComplete(text)) {
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        text.append(buffer, static_cast<size_t>(n));
    }
    return true;
}

// After the plan nothing more comes on a caller's pipe or socket: its end means the caller has gone.
void watchCaller() {
    struct stat st {};
    if (::fstat(STDIN_FILENO, &st) != 0 || !(S_ISSOCK(st.st_mode) || S_ISFIFO(st.st_mode))) {
        return;
    }
    std::thread([] {
        char byte;
        while (true) {
            const ssize_t n = ::read(STDIN_FILENO, &byte, 1);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                g_callerGone = true;
                g_cancel = true;
                return;
            }
        }
    }).detach();
}

// The band is drawn with QPainter, which needs an application object; no window is ever shown.
int clip(int argc, char** argv) {
    struct sigaction action {};
    action.sa_handler = [](int) { g_cancel = true; };
    sigemptyset(&action.sa_mask);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(s, &action, nullptr);
    }
    // A report to a caller that has gone fails rather than ending the helper before it cleans up.
    std::signal(SIGPIPE, SIG_IGN);
    std::string text, error;
    if (!readPlan(text)) {
        std::fprintf(stderr, "nura-media clip: the plan ended early\n");
        return 64;
    }
    const auto plan = nura::ClipPlan::decode(text, error);
    if (!plan) {
        std::fprintf(stderr, "nura-media clip: %s\n", error.c_str());
        return 64;
    }
    watchCaller();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt's notes about the session (no runtime folder on a server) are not the user's concern here.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    QGuiApplication app(argc, argv);
    av_log_set_level(AV_LOG_ERROR);
    const int status = media::renderClip(*plan, g_cancel);
    if (status != 0 && callerGone()) {
        ::unlink(plan->out.c_str());
    }
    return status;
}

int main(int argc, char** argv) {
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (callerGone()) {
        return 1;
    }
    if (argc == 2 && std::strcmp(argv[1], "clip") == 0) {
        return clip(argc, argv);
    }
    if (argc < 2 || std::strcmp(argv[1], "decode-check") != 0) {
        return usage();
    }
    int frames = 10;
    bool server = false;
    const char* path = nullptr;
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--frames" && i + 1 < argc) {
            char* end = nullptr;
            const long n = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || n < 1 || n > 100000) {
                return usage();
            }
            frames = static_cast<int>(n);
        } else if (a == "--serve") {
            server = true;
        } else if (a == "--" && i + 1 < argc) {
            path = argv[++i];
        } else if (path == nullptr && !a.starts_with("-")) {
            path = argv[i];
        } else {
            return usage();
        }
    }
    if (server) {
        return path == nullptr ? serve(frames) : usage();
    }
    if (path == nullptr) {
        return usage();
    }
    return decodeCheck(path, frames);
}
