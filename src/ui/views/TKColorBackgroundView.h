// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A view filled with one colour (or not at all), under whatever it holds.

#include <QColor>
#include <QWidget>

#include <optional>

class TKColorBackgroundView : public QWidget {
    Q_OBJECT
public:
    explicit TKColorBackgroundView(QWidget* parent = nullptr);

    void setBackgroundColor(std::optional<QColor> color);
    std::optional<QColor> backgroundColor() const { return m_backgroundColor; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::optional<QColor> m_backgroundColor;
};
