// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A progress bar that also writes how far it is and how long is left into a text line, and shows
// itself on the application's icon and task-bar entry while it runs. It moves in whole units: a
// value with the same integer part as the last one changes nothing.

#include <QLabel>
#include <QPointer>
#include <QProgressBar>

#include <functional>
#include <optional>

class PMProgressIndicator : public QProgressBar {
    Q_OBJECT
public:
    // Seconds on a steady clock.
    using Clock = std::function<double()>;

    explicit PMProgressIndicator(QWidget* parent = nullptr);
    ~PMProgressIndicator() override;

    void setDoubleValue(double value);
    double doubleValue() const { return m_doubleValue; }
    // Where the text goes; none means no text. The label stays its parent's.
    void setProgressText(QLabel* label);
    QLabel* progressText() const { return m_progressText; }

    void setDrawDockProgress(bool draw);
    bool drawDockProgress() const { return m_drawDockProgress; }
    void setDisplayPercentage(bool display) { m_displayPercentage = display; }
    bool displayPercentage() const { return m_displayPercentage; }
    void setDisplayTimeRemaining(bool display) { m_displayTimeRemaining = display; }
    bool displayTimeRemaining() const { return m_displayTimeRemaining; }
    bool isIndeterminate() const { return minimum() == maximum(); }
    // The position between minimum and maximum, 0..1 (0 when indeterminate).
    double fraction() const;

    void updateProgressText();
    // The estimate's text for r seconds left; empty when there is no estimate (no progress yet).
    static QString timeRemainingText(double seconds);
    void setClock(Clock clock) { m_clock = std::move(clock); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    double now() const;

    QPointer<QLabel> m_progressText;
    std::optional<double> m_startTime;
    std::optional<double> m_startTime2;
    bool m_drawDockProgress = true;
    bool m_alreadyBounced = false;
    bool m_displayPercentage = false;
    bool m_displayTimeRemaining = true;
    double m_startFraction = 0;
    double m_startFraction2 = 0;
    int m_lastValue = 0;
    double m_doubleValue = 0;
    Clock m_clock;
};
