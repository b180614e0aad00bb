// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The clip's picture: rectangles fitted to it, pictures scaled into it, the band blended over it.

extern "C" {
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

#include <QImage>

namespace media {

// A rectangle of a picture. The YUV 4:2:0 pictures here have even sizes, and every rectangle has an
// even position and size, so that its chroma samples are whole.
struct Rect {
    int x = 0, y = 0, w = 0, h = 0;
};

// Rounded to an even size of at least 2.
int even(double v);

// The largest rectangle of `width` x `height`'s shape that fits `boxW` x `boxH`, centred in it.
Rect fitted(int width, int height, Rect box);

// Scales `src` into the rectangle `r` of the YUV 4:2:0 picture `dst`, mirrored if asked. Only the part
// of `r` inside the picture is written: a rectangle may reach past its edges (a tall inset, a picture
// of a few pixels) without a byte written outside it.
class Placer {
public:
    ~Placer() {
        sws_freeContext(m_sws);
        av_frame_free(&m_buffer);
    }
    void place(const AVFrame* src, AVFrame* dst, Rect r, bool mirror);

private:
    SwsContext* m_sws = nullptr;
    AVFrame* m_buffer = nullptr;
};

// Blends the band (premultiplied ARGB) into the bottom rows of a YUV 4:2:0 picture (BT.601, limited).
// Rows and columns past the picture are left out.
void blendBand(const QImage& band, AVFrame* dst);

void fillBlack(AVFrame* f);

} // namespace media
