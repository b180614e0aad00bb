// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The scale under a range slider: 22 ticks across the width, long ones at the start, the middle and the end.

#include <QColor>
#include <QRectF>
#include <QWidget>

#include <array>

namespace nura {

class EcoSliderAxisView : public QWidget {
    Q_OBJECT

public:
    static constexpr int kTickCount = 22;

    explicit EcoSliderAxisView(QWidget* parent = nullptr);

    // Filled behind the ticks when valid; none by default.
    QColor backgroundColor() const { return m_backgroundColor; }
    void setBackgroundColor(const QColor& color);

    // The ticks for a view this wide, in the view's coordinates.
    static std::array<QRectF, kTickCount> tickRects(double width);

    QSize sizeHint() const override { return {200, 14}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_backgroundColor;
};

} // namespace nura
