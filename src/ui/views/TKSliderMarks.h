// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Small ticks over a horizontal slider at marked positions, each with its tooltip. The ticks are a
// transparent layer over the slider, so any slider (and its style sheet) can carry them; mouse
// presses go through to the slider.

#include "ui/views/TKMarker.h"

#include <QWidget>

#include <optional>
#include <vector>

class QSlider;

class TKSliderMarks : public QWidget {
    Q_OBJECT
public:
    explicit TKSliderMarks(QSlider* slider);

    void setMarkers(std::vector<TKMarker> markers);
    // A band over the groove from `from` to `to` (0 to 1; either may be open): a clip's in and out marks.
    void setSpan(std::optional<double> from, std::optional<double> to);
    const std::vector<TKMarker>& markers() const { return m_markers; }
    // Where the handle's centre stands at `position` (0 to 1), in the slider's coordinates.
    double xOf(double position) const;
    // The marker whose tick is within a few points of `x`, or none.
    const TKMarker* markerAt(double x) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QSlider* m_slider;
    std::vector<TKMarker> m_markers;
    std::optional<double> m_spanFrom, m_spanTo;
};
