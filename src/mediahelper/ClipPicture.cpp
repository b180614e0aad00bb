// SPDX-License-Identifier: GPL-3.0-or-later
#include "mediahelper/ClipPicture.h"

extern "C" {
#include <libavutil/imgutils.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>

namespace media {

int even(double v) {
    return std::max(2, static_cast<int>(std::lround(v / 2.0)) * 2);
}

// The largest rectangle of `width` x `height`'s shape that fits `boxW` x `boxH`, centred in it.
Rect fitted(int width, int height, Rect box) {
    Rect r = box;
    if (width <= 0 || height <= 0 || box.w <= 0 || box.h <= 0) {
        return {box.x, box.y, 0, 0};
    }
    if (static_cast<double>(width) * box.h > static_cast<double>(height) * box.w) {
        r.w = std::max(2, box.w & ~1);
        r.h = std::min(even(r.w * static_cast<double>(height) / width), std::max(2, box.h & ~1));
    } else {
        r.h = std::max(2, box.h & ~1);
        r.w = std::min(even(r.h * static_cast<double>(width) / height), std::max(2, box.w & ~1));
    }
    r.x = box.x + ((box.w - r.w) / 2 & ~1);
    r.y = box.y + ((box.h - r.h) / 2 & ~1);
    return r;
}

void Placer::place(const AVFrame* src, AVFrame* dst, Rect r, bool mirror) {
    if (r.w <= 0 || r.h <= 0 || src->width <= 0 || src->height <= 0) {
        return;
    }
    m_sws = sws_getCachedContext(m_sws, src->width, src->height, static_cast<AVPixelFormat>(src->format), r.w,
                                 r.h, AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (m_sws == nullptr) {
        return;
    }
    const bool inside = r.x >= 0 && r.y >= 0 && r.x + r.w <= dst->width && r.y + r.h <= dst->height;
    if (inside && !mirror) {
        uint8_t* planes[4] = {dst->data[0] + static_cast<ptrdiff_t>(r.y) * dst->linesize[0] + r.x,
                              dst->data[1] + static_cast<ptrdiff_t>(r.y / 2) * dst->linesize[1] + r.x / 2,
                              dst->data[2] + static_cast<ptrdiff_t>(r.y / 2) * dst->linesize[2] + r.x / 2,
                              nullptr};
        sws_scale(m_sws, src->data, src->linesize, 0, src->height, planes, dst->linesize);
        return;
    }
    if (m_buffer == nullptr || m_buffer->width != r.w || m_buffer->height != r.h) {
        av_frame_free(&m_buffer);
        m_buffer = av_frame_alloc();
        m_buffer->width = r.w;
        m_buffer->height = r.h;
        m_buffer->format = AV_PIX_FMT_YUV420P;
        if (av_frame_get_buffer(m_buffer, 0) < 0) {
            av_frame_free(&m_buffer);
            return;
        }
    }
    sws_scale(m_sws, src->data, src->linesize, 0, src->height, m_buffer->data, m_buffer->linesize);
    for (int plane = 0; plane < 3; ++plane) {
        const int shift = plane == 0 ? 0 : 1;
        const int pw = r.w >> shift, ph = r.h >> shift, px = r.x >> shift, py = r.y >> shift;
        const int limitW = dst->width >> shift, limitH = dst->height >> shift;
        const int col0 = std::max(0, -px), col1 = std::min(pw, limitW - px);
        const int row0 = std::max(0, -py), row1 = std::min(ph, limitH - py);
        for (int row = row0; row < row1; ++row) {
            const uint8_t* from =
                m_buffer->data[plane] + static_cast<ptrdiff_t>(row) * m_buffer->linesize[plane];
            uint8_t* to = dst->data[plane] + static_cast<ptrdiff_t>(py + row) * dst->linesize[plane] + px;
            for (int col = col0; col < col1; ++col) {
                to[col] = from[mirror ? pw - 1 - col : col];
            }
        }
    }
}

// Blends the band (premultiplied ARGB) into the bottom rows of a YUV 4:2:0 picture (BT.601, limited).
// Rows and columns past the picture are left out.
void blendBand(const QImage& band, AVFrame* dst) {
    const int top = dst->height - band.height();
    const int first = std::max(0, -top) & ~1;
    const int width = std::min(band.width(), dst->width);
    for (int row = first; row < band.height(); ++row) {
        const auto* px = reinterpret_cast<const QRgb*>(band.constScanLine(row));
        uint8_t* y = dst->data[0] + static_cast<ptrdiff_t>(top + row) * dst->linesize[0];
        for (int col = 0; col < width; ++col) {
            const QRgb c = px[col];
            const int a = qAlpha(c);
            if (a == 0) {
                continue;
            }
            // Premultiplied colour: Y of the colour is already scaled by alpha, save the offset of 16.
            const int yc = (66 * qRed(c) + 129 * qGreen(c) + 25 * qBlue(c) + 128) / 256 + (16 * a) / 255;
            y[col] = static_cast<uint8_t>(yc + (y[col] * (255 - a)) / 255);
        }
    }
    for (int row = first; row + 1 < band.height(); row += 2) {
        const auto* px = reinterpret_cast<const QRgb*>(band.constScanLine(row));
        const int cy = (top + row) / 2;
        uint8_t* u = dst->data[1] + static_cast<ptrdiff_t>(cy) * dst->linesize[1];
        uint8_t* v = dst->data[2] + static_cast<ptrdiff_t>(cy) * dst->linesize[2];
        for (int col = 0; col + 1 < width; col += 2) {
            const QRgb c = px[col];
            const int a = qAlpha(c);
            if (a == 0) {
                continue;
            }
            const int uc = (-38 * qRed(c) - 74 * qGreen(c) + 112 * qBlue(c)) / 256 + (128 * a) / 255;
            const int vc = (112 * qRed(c) - 94 * qGreen(c) - 18 * qBlue(c)) / 256 + (128 * a) / 255;
            u[col / 2] = static_cast<uint8_t>(std::clamp(uc + (u[col / 2] * (255 - a)) / 255, 0, 255));
            v[col / 2] = static_cast<uint8_t>(std::clamp(vc + (v[col / 2] * (255 - a)) / 255, 0, 255));
        }
    }
}

void fillBlack(AVFrame* f) {
    for (int row = 0; row < f->height; ++row) {
        std::memset(f->data[0] + static_cast<ptrdiff_t>(row) * f->linesize[0], 16,
                    static_cast<size_t>(f->width));
    }
    for (int plane = 1; plane < 3; ++plane) {
        for (int row = 0; row < f->height / 2; ++row) {
            std::memset(f->data[plane] + static_cast<ptrdiff_t>(row) * f->linesize[plane], 128,
                        static_cast<size_t>(f->width / 2));
        }
    }
}

} // namespace media
