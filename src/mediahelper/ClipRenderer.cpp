// SPDX-License-Identifier: GPL-3.0-or-later
#include "mediahelper/ClipRenderer.h"

#include "mediahelper/BandPainter.h"
#include "mediahelper/ClipPicture.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <unistd.h>

namespace media {

namespace {

// An error of the system (an errno, as EIO from a pulled card) rather than of the stream's contents:
// the recording may be sound, but the clip cannot be made from it.
bool systemError(int averror) {
    return averror < 0 && averror > -4096 && averror != AVERROR_EOF;
}

template <auto F> struct Deleter {
    template <typename T> void operator()(T* p) const { F(&p); }
};
using FramePtr = std::unique_ptr<AVFrame, Deleter<av_frame_free>>;

// The decoded frames of one camera's recordings in order, each with its moment on the timeline.
class CameraFrames {
public:
    CameraFrames(std::vector<ClipSource> pieces, double seekTo)
        : m_pieces(std::move(pieces)), m_seek(seekTo) {}
    ~CameraFrames() { close(); }
    bool failed() const { return m_failed; }
    // A read the system refused, as opposed to a recording that does not decode.
    bool readFailed() const { return m_readFailed; }
    int width() const { return m_width; }
    int height() const { return m_height; }
    bool hasAudio() const { return m_audio >= 0; }
    AVRational frameRate() const { return m_rate; }
    AVRational timeBase() const { return m_tb; }

    // Opens the first recording and reads its picture size; false when it cannot be decoded.
    bool start() { return open(0); }

    // The next frame and its moment, or nothing at the end. `until` is the end of its recording on the
    // timeline: past it this camera has no picture until its next recording begins.
    FramePtr next(double& t, double* until = nullptr) {
        FramePtr frame(av_frame_alloc());
        while (m_codec != nullptr) {
            const int got = avcodec_receive_frame(m_codec, frame.get());
            if (got == 0) {
                const int64_t pts = frame->best_effort_timestamp != AV_NOPTS_VALUE
                                        ? frame->best_effort_timestamp
                                        : frame->pts;
                const ClipSource& piece = m_pieces[m_index];
                t = piece.offset + static_cast<double>(pts - m_startPts) * av_q2d(m_tb);
                if (until != nullptr) {
                    *until = piece.duration > 0 ? piece.offset + piece.duration : HUGE_VAL;
                }
                return frame;
            }
            if (got == AVERROR_EOF) {
                if (!open(m_index + 1)) {
                    return nullptr;
                }
                continue;
            }
            AVPacket* packet = av_packet_alloc();
            bool sent = false;
            while (!sent) {
                const int read = av_read_frame(m_format, packet);
                // A refused read may reach the demuxer as a short packet rather than an error: the
                // byte reader keeps the system's error.
                const int pbError = m_format->pb != nullptr ? m_format->pb->error : 0;
                if (systemError(read) || systemError(pbError)) {
                    readFailure(systemError(read) ? read : pbError);
                    av_packet_unref(packet);
                    av_packet_free(&packet);
                    return nullptr;
                }
                if (read < 0) {
                    avcodec_send_packet(m_codec, nullptr);
                    sent = true;
                } else if (packet->stream_index == m_stream) {
                    if (avcodec_send_packet(m_codec, packet) < 0) {
                        ++m_errors;
                    }
                    sent = true;
                } else if (packet->stream_index == m_audio && m_audioSink) {
                    m_audioSink(packet, m_format->streams[m_audio]->time_base, m_pieces[m_index].offset);
                }
                av_packet_unref(packet);
            }
            av_packet_free(&packet);
        }
        return nullptr;
    }
    // For a camera whose pictures are not shown: its sound packets up to the moment `t` go to the
    // sink, its video packets are passed over undecoded.
    void soundUntil(double t) {
        AVPacket* packet = av_packet_alloc();
        while (m_format != nullptr && m_soundAt <= t) {
            const int read = av_read_frame(m_format, packet);
            const int pbError = m_format->pb != nullptr ? m_format->pb->error : 0;
            if (systemError(read) || systemError(pbError)) {
                readFailure(systemError(read) ? read : pbError);
                break;
            }
            if (read < 0) {
                if (!open(m_index + 1)) {
                    break;
                }
                continue;
            }
            const AVStream* stream = m_format->streams[packet->stream_index];
            if (packet->pts != AV_NOPTS_VALUE) {
                m_soundAt =
                    m_pieces[m_index].offset + static_cast<double>(packet->pts) * av_q2d(stream->time_base);
            }
            if (packet->stream_index == m_audio && m_audioSink) {
                m_audioSink(packet, stream->time_base, m_pieces[m_index].offset);
            }
            av_packet_unref(packet);
        }
        av_packet_free(&packet);
    }
    int errors() const { return m_errors; }
    const AVCodecParameters* audioParameters() const {
        return m_audio >= 0 ? m_format->streams[m_audio]->codecpar : nullptr;
    }
    std::function<void(AVPacket*, AVRational, double)> m_audioSink;

private:
    void readFailure(int averror) {
        std::fprintf(stderr, "nura-media: cannot read %s: %s\n", m_pieces[m_index].path.c_str(),
                     std::strerror(-averror));
        m_failed = m_readFailed = true;
    }
    void close() {
        avcodec_free_context(&m_codec);
        if (m_format != nullptr) {
            avformat_close_input(&m_format);
        }
    }
    bool open(size_t index) {
        close();
        m_index = index;
        if (index >= m_pieces.size()) {
            return false;
        }
        const std::string url = "file:" + m_pieces[index].path;
        int opened = avformat_open_input(&m_format, url.c_str(), nullptr, nullptr);
        if (opened >= 0) {
            opened = avformat_find_stream_info(m_format, nullptr);
        }
        if (opened < 0) {
            if (systemError(opened)) {
                readFailure(opened);
            } else {
                std::fprintf(stderr, "nura-media: cannot open %s\n", m_pieces[index].path.c_str());
            }
            m_failed = true;
            return false;
        }
        const AVCodec* decoder = nullptr;
        m_stream = av_find_best_stream(m_format, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
        m_audio = av_find_best_stream(m_format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
        if (m_stream < 0 || decoder == nullptr) {
            std::fprintf(stderr, "nura-media: %s has no video\n", m_pieces[index].path.c_str());
            m_failed = true;
            return false;
        }
        AVStream* s = m_format->streams[m_stream];
        m_codec = avcodec_alloc_context3(decoder);
        avcodec_parameters_to_context(m_codec, s->codecpar);
        m_codec->thread_count = 0;
        if (avcodec_open2(m_codec, decoder, nullptr) < 0) {
            m_failed = true;
            return false;
        }
        m_tb = s->time_base;
        m_rate = s->avg_frame_rate.num > 0 ? s->avg_frame_rate : AVRational{30, 1};
        m_startPts = s->start_time != AV_NOPTS_VALUE ? s->start_time : 0;
        if (index == 0) {
            m_width = s->codecpar->width;
            m_height = s->codecpar->height;
            const double local = m_seek - m_pieces[0].offset;
            if (local > 0) {
                av_seek_frame(m_format, m_stream, m_startPts + static_cast<int64_t>(local / av_q2d(m_tb)),
                              AVSEEK_FLAG_BACKWARD);
            }
        }
        return true;
    }
    std::vector<ClipSource> m_pieces;
    double m_seek;
    size_t m_index = 0;
    AVFormatContext* m_format = nullptr;
    AVCodecContext* m_codec = nullptr;
    int m_stream = -1, m_audio = -1;
    AVRational m_tb{1, 30000}, m_rate{30, 1};
    int64_t m_startPts = 0;
    int m_width = 0, m_height = 0;
    int m_errors = 0;
    double m_soundAt = -HUGE_VAL; // the moment of the last packet soundUntil() read
    bool m_failed = false;
    bool m_readFailed = false;
};

// Says why the output cannot be written: on standard error for a user, and as "write-error ERRNO" on
// standard output for the caller, which words it as it words its own write errors (a full disk).
int cannotWrite(const std::string& path, int averror, const AVIOContext* pb) {
    if (pb != nullptr && systemError(pb->error)) {
        averror = pb->error; // the byte writer keeps the system's error; the muxer may report another
    }
    const int error = systemError(averror) ? -averror : EIO;
    std::fprintf(stderr, "nura-media: cannot write %s: %s\n", path.c_str(), std::strerror(error));
    std::printf("write-error %d\n", error);
    std::fflush(stdout);
    return 1;
}

class Progress {
public:
    Progress(double span, bool report)
        : m_span(span), m_shown(::isatty(STDERR_FILENO) == 1), m_report(report) {}
    ~Progress() {
        if (m_drawn) {
            std::fputs("\r\033[K", stderr);
        }
    }
    void show(double done) {
        const auto now = std::chrono::steady_clock::now();
        if ((!m_shown && !m_report) || now - m_last < std::chrono::milliseconds(250)) {
            return;
        }
        m_last = now;
        const double f = std::clamp(done / m_span, 0.0, 1.0);
        if (m_report) {
            std::printf("done %.4f\n", f);
            std::fflush(stdout);
        }
        if (!m_shown) {
            return;
        }
        m_drawn = true;
        const double spent = std::chrono::duration<double>(now - m_begun).count();
        if (f > 0.02) {
            std::fprintf(stderr, "\r\033[K%3d%%  about %.0f s left", static_cast<int>(f * 100),
                         spent / f * (1 - f));
        } else {
            std::fprintf(stderr, "\r\033[K%3d%%", static_cast<int>(f * 100));
        }
        std::fflush(stderr);
    }

private:
    double m_span;
    bool m_shown;
    bool m_report;
    bool m_drawn = false;
    std::chrono::steady_clock::time_point m_begun = std::chrono::steady_clock::now(), m_last;
};

} // namespace

int renderClip(const ClipPlan& plan, const std::atomic<bool>& cancel) {
    const bool rearLeads = plan.look.layout == ClipLayout::Rear;
    const bool both = plan.look.layout == ClipLayout::Inset || plan.look.layout == ClipLayout::SideBySide;
    if ((rearLeads || both) && plan.rear.empty()) {
        std::fprintf(stderr, "nura-media: no rear recording\n");
        return 2;
    }
    if (!rearLeads && plan.front.empty()) {
        std::fprintf(stderr, "nura-media: no front recording\n");
        return 2;
    }
    CameraFrames lead(rearLeads ? plan.rear : plan.front, plan.start);
    std::optional<CameraFrames> other;
    if (both) {
        other.emplace(plan.rear, plan.start);
    }
    if (!lead.start() || (other && !other->start())) {
        return lead.readFailed() || (other && other->readFailed()) ? 3 : 2;
    }
    // The encoder takes even sizes only: an odd size loses its last row or column.
    const int lw = lead.width(), lh = lead.height();
    const int ow = std::max(2, lw & ~1);
    const int oh = plan.look.layout == ClipLayout::SideBySide ? even(lh / 2.0) : std::max(2, lh & ~1);
    // Sound: packets of the chosen camera's recordings copied as they are, whatever the layout shows;
    // a camera whose pictures are not shown is read for its sound alone.
    CameraFrames* frontFrames = rearLeads ? nullptr : &lead;
    CameraFrames* rearFrames = rearLeads ? &lead : (other ? &*other : nullptr);
    std::optional<CameraFrames> soundOnly;
    bool soundUnreadable = false;
    const auto soundOf = [&](bool front) -> CameraFrames* {
        if (CameraFrames* shown = front ? frontFrames : rearFrames) {
            return shown->hasAudio() ? shown : nullptr;
        }
        const auto& pieces = front ? plan.front : plan.rear;
        if (pieces.empty()) {
            return nullptr;
        }
        soundOnly.emplace(pieces, plan.start);
        if (!soundOnly->start() || !soundOnly->hasAudio()) {
            soundUnreadable = soundUnreadable || soundOnly->readFailed();
            soundOnly.reset();
            return nullptr;
        }
        return &*soundOnly;
    };
    CameraFrames* soundFrom = nullptr;
    if (plan.look.sound == ClipSound::Auto) {
        soundFrom = soundOf(true);
        soundFrom = soundFrom != nullptr ? soundFrom : soundOf(false);
    } else if (plan.look.sound != ClipSound::None) {
        soundFrom = soundOf(plan.look.sound == ClipSound::Front);
    }
    if (soundUnreadable) {
        return 3;
    }

    AVFormatContext* mux = nullptr;
    if (avformat_alloc_output_context2(&mux, nullptr, "mp4", plan.out.c_str()) < 0) {
        return 1;
    }
    std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> muxOwner(mux, [](AVFormatContext* m) {
        if (m->pb != nullptr) {
            avio_closep(&m->pb);
        }
        avformat_free_context(m);
    });
    const AVCodec* x264 = avcodec_find_encoder_by_name("libx264");
    if (x264 == nullptr) {
        std::fprintf(stderr, "nura-media: no H.264 encoder\n");
        return 2;
    }
    AVCodecContext* enc = avcodec_alloc_context3(x264);
    std::unique_ptr<AVCodecContext, Deleter<avcodec_free_context>> encOwner(enc);
    enc->width = ow;
    enc->height = oh;
    enc->pix_fmt = AV_PIX_FMT_YUV420P;
    enc->time_base = lead.timeBase();
    enc->framerate = lead.frameRate();
    enc->thread_count = 0;
    enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    av_opt_set(enc->priv_data, "preset", plan.preset.c_str(), 0);
    av_opt_set_double(enc->priv_data, "crf", plan.look.quality, 0);
    if (avcodec_open2(enc, x264, nullptr) < 0) {
        std::fprintf(stderr, "nura-media: the encoder does not open\n");
        return 2;
    }
    AVStream* vs = avformat_new_stream(mux, nullptr);
    avcodec_parameters_from_context(vs->codecpar, enc);
    vs->time_base = enc->time_base;
    AVStream* as = nullptr;
    if (soundFrom != nullptr) {
        as = avformat_new_stream(mux, nullptr);
        avcodec_parameters_copy(as->codecpar, soundFrom->audioParameters());
        as->codecpar->codec_tag = 0;
        as->time_base = AVRational{1, soundFrom->audioParameters()->sample_rate > 0
                                          ? soundFrom->audioParameters()->sample_rate
                                          : 48000};
    }
    if (const int opened = avio_open(&mux->pb, plan.out.c_str(), AVIO_FLAG_WRITE); opened < 0) {
        return cannotWrite(plan.out, opened, nullptr);
    }
    AVDictionary* options = nullptr;
    av_dict_set(&options, "movflags", "+faststart", 0);
    const int header = avformat_write_header(mux, &options);
    av_dict_free(&options);
    if (header < 0) {
        return cannotWrite(plan.out, header, mux->pb);
    }
    int writeError = 0; // the first failed write's error
    const auto wrote = [&writeError](int result) {
        if (result < 0 && writeError == 0) {
            writeError = result;
        }
    };
    if (as != nullptr) {
        soundFrom->m_audioSink = [&](AVPacket* p, AVRational tb, double offset) {
            if (p->pts == AV_NOPTS_VALUE) {
                return;
            }
            const double t = offset + static_cast<double>(p->pts) * av_q2d(tb);
            if (t < plan.start || t >= plan.end) {
                return;
            }
            AVPacket* copy = av_packet_clone(p);
            const int64_t at = std::llround((t - plan.start) / av_q2d(as->time_base));
            copy->pts = copy->dts = at;
            copy->duration = av_rescale_q(p->duration, tb, as->time_base);
            copy->stream_index = as->index;
            wrote(av_interleaved_write_frame(mux, copy));
            av_packet_free(&copy);
        };
    }

    FramePtr out(av_frame_alloc());
    out->width = ow;
    out->height = oh;
    out->format = AV_PIX_FMT_YUV420P;
    if (av_frame_get_buffer(out.get(), 0) < 0) {
        return 1;
    }
    std::optional<BandPainter> band;
    if (plan.look.overlay) {
        band.emplace(plan, ow, even(oh * 0.11));
    }
    Placer placeLead, placeOther;
    FramePtr otherNow, otherNext;
    double otherNextT = 0, otherNextUntil = 0, otherNowUntil = 0;
    bool otherEnded = !other;
    AVPacket* packet = av_packet_alloc();
    const int64_t frameTicks =
        std::max<int64_t>(1, av_rescale_q(1, av_inv_q(lead.frameRate()), enc->time_base));
    const auto drain = [&] {
        while (avcodec_receive_packet(enc, packet) == 0) {
            // Every frame lasts one frame interval, so that the index keeps the last one too.
            packet->duration = frameTicks;
            av_packet_rescale_ts(packet, enc->time_base, vs->time_base);
            packet->stream_index = vs->index;
            wrote(av_interleaved_write_frame(mux, packet));
        }
    };
    Progress progress(plan.end - plan.start, plan.report);
    double t = 0, first = -1;
    int64_t lastPts = -1;
    constexpr double kEps = 1e-6;
    while (!cancel && writeError == 0) {
        FramePtr frame = lead.next(t);
        if (!frame) {
            break;
        }
        if (t < plan.start - kEps) {
            continue;
        }
        if (t > plan.end + kEps) {
            break;
        }
        if (first < 0) {
            first = t;
        }
        if (soundOnly) {
            soundOnly->soundUntil(t);
        }
        // The other camera: the last frame at or before this moment.
        while (!otherEnded) {
            if (!otherNext) {
                otherNext = other->next(otherNextT, &otherNextUntil);
                if (!otherNext) {
                    otherEnded = true;
                    break;
                }
            }
            if (otherNextT > t + kEps) {
                break;
            }
            otherNow = std::move(otherNext);
            otherNowUntil = otherNextUntil;
        }
        // Where the other camera has no recording (one missing from its chain, or one shorter than
        // the leading camera's), it shows nothing rather than its last picture.
        if (otherNow && t >= otherNowUntil - kEps) {
            otherNow.reset();
        }
        av_frame_make_writable(out.get());
        if (plan.look.layout == ClipLayout::SideBySide) {
            // Each camera fits its half, whatever its shape, with black around it.
            fillBlack(out.get());
            const int half = even(ow / 2.0);
            placeLead.place(frame.get(), out.get(), fitted(frame->width, frame->height, {0, 0, half, oh}),
                            false);
            if (otherNow) {
                placeOther.place(otherNow.get(), out.get(),
                                 fitted(otherNow->width, otherNow->height, {half, 0, ow - half, oh}),
                                 plan.look.mirrorRear);
            }
        } else {
            placeLead.place(frame.get(), out.get(), {0, 0, ow, oh}, rearLeads && plan.look.mirrorRear);
            if (plan.look.layout == ClipLayout::Inset && otherNow) {
                // A third of the width, and no taller than the room above the band: a tall rear
                // picture is made narrower rather than run off the picture.
                const int margin = even(ow / 60.0);
                const int bandH = band ? band->height() : 0;
                const int room = oh - bandH - 2 * margin;
                const Rect inset = fitted(otherNow->width, otherNow->height, {0, 0, even(ow / 3.0), room});
                const ClipCorner c = plan.look.corner;
                const bool left = c == ClipCorner::TopLeft || c == ClipCorner::BottomLeft;
                const bool top = c == ClipCorner::TopLeft || c == ClipCorner::TopRight;
                const int x = left ? margin : ow - inset.w - margin;
                const int y = top ? margin : oh - bandH - inset.h - margin;
                placeOther.place(otherNow.get(), out.get(), {x & ~1, y & ~1, inset.w, inset.h},
                                 plan.look.mirrorRear);
            }
        }
        if (band) {
            blendBand(band->at(t), out.get());
        }
        int64_t pts = std::llround((t - first) / av_q2d(enc->time_base));
        if (pts <= lastPts) {
            pts = lastPts + 1;
        }
        lastPts = pts;
        out->pts = pts;
        if (const int sent = avcodec_send_frame(enc, out.get()); sent < 0) {
            wrote(systemError(sent) ? sent : AVERROR(EIO));
        }
        drain();
        progress.show(t - plan.start);
    }
    if (cancel) {
        av_packet_free(&packet);
        return 130;
    }
    if (soundOnly) {
        soundOnly->soundUntil(plan.end);
    }
    avcodec_send_frame(enc, nullptr);
    drain();
    av_packet_free(&packet);
    if (lead.readFailed() || (other && other->readFailed()) || (soundOnly && soundOnly->readFailed())) {
        return 3;
    }
    if (lead.failed() || (other && other->failed()) || (soundOnly && soundOnly->failed())) {
        return 2;
    }
    if (first < 0) {
        std::fprintf(stderr, "nura-media: no frame in the span\n");
        return 2;
    }
    if (writeError == 0) {
        wrote(av_write_trailer(mux));
    }
    if (writeError != 0) {
        return cannotWrite(plan.out, writeError, mux->pb);
    }
    if (const AVIOContext* pb = mux->pb; pb->error < 0) {
        return cannotWrite(plan.out, pb->error, pb);
    }
    if (const int closed = avio_closep(&mux->pb); closed < 0) {
        return cannotWrite(plan.out, closed, nullptr);
    }
    return 0;
}

} // namespace media
