// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/views/TKSliderMarks.h"

#include <QEvent>
#include <QHelpEvent>
#include <QPainter>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QToolTip>

#include <cmath>

namespace {

const QColor kTickColour(255, 176, 0);
const QColor kSpanColour(80, 170, 255, 90);
const QColor kSpanEdgeColour(80, 170, 255);

} // namespace

TKSliderMarks::TKSliderMarks(QSlider* slider) : QWidget(slider), m_slider(slider) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    resize(slider->size());
    slider->installEventFilter(this);
    raise();
}

void TKSliderMarks::setMarkers(std::vector<TKMarker> markers) {
    m_markers = std::move(markers);
    update();
}

double TKSliderMarks::xOf(double position) const {
    QStyleOptionSlider option;
    option.initFrom(m_slider);
    option.orientation = Qt::Horizontal;
    option.minimum = m_slider->minimum();
    option.maximum = m_slider->maximum();
    option.sliderPosition = m_slider->minimum();
    const QStyle* style = m_slider->style();
    const QRect groove = style->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, m_slider);
    const QRect handle = style->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, m_slider);
    const double span = std::max(0, groove.width() - handle.width());
    return groove.x() + handle.width() / 2.0 + span * std::clamp(position, 0.0, 1.0);
}

const TKMarker* TKSliderMarks::markerAt(double x) const {
    const TKMarker* nearest = nullptr;
    double best = 4;
    for (const TKMarker& m : m_markers) {
        if (const double d = std::abs(xOf(m.position) - x); d <= best) {
            best = d;
            nearest = &m;
        }
    }
    return nearest;
}

void TKSliderMarks::setSpan(std::optional<double> from, std::optional<double> to) {
    m_spanFrom = from;
    m_spanTo = to;
    update();
}

void TKSliderMarks::paintEvent(QPaintEvent*) {
    if (m_markers.empty() && !m_spanFrom && !m_spanTo) {
        return;
    }
    QPainter p(this);
    const double middle = height() / 2.0;
    if (m_spanFrom || m_spanTo) {
        // The clip's span as a translucent band over the groove, with a firm edge at each set mark.
        const double a = xOf(m_spanFrom.value_or(0.0));
        const double b = xOf(m_spanTo.value_or(1.0));
        p.fillRect(QRectF(std::min(a, b), middle - 5, std::abs(b - a), 10), kSpanColour);
        for (const auto& mark : {m_spanFrom, m_spanTo}) {
            if (mark) {
                p.fillRect(QRectF(std::round(xOf(*mark)) - 1, middle - 9, 2, 18), kSpanEdgeColour);
            }
        }
    }
    for (const TKMarker& m : m_markers) {
        // Above and below the groove, so the groove's own colours stay readable.
        const double x = std::round(xOf(m.position)) - 1;
        p.fillRect(QRectF(x, middle - 8, 2, 5), kTickColour);
        p.fillRect(QRectF(x, middle + 3, 2, 5), kTickColour);
    }
}

bool TKSliderMarks::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_slider) {
        if (event->type() == QEvent::Resize) {
            resize(m_slider->size());
        } else if (event->type() == QEvent::ToolTip) {
            auto* help = static_cast<QHelpEvent*>(event);
            if (const TKMarker* m = markerAt(help->pos().x())) {
                QToolTip::showText(help->globalPos(), m->toolTip, m_slider);
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}
