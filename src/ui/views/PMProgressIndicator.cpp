// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/views/PMProgressIndicator.h"

#include "ui/views/PMProgressIndicatorController.h"

#include <QElapsedTimer>
#include <QLabel>

#include <cmath>

namespace {

constexpr double kEpsilon = 0.00001;
// The estimate follows the progress of the last few seconds: its start point moves on this often.
constexpr double kRateWindowSeconds = 3.5;

double steadySeconds() {
    static QElapsedTimer timer = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

} // namespace

PMProgressIndicator::PMProgressIndicator(QWidget* parent) : QProgressBar(parent) {
    setTextVisible(false);
    // A value set through the whole-number setter counts as the last value shown too.
    connect(this, &QProgressBar::valueChanged, this, [this](int value) {
        if (static_cast<int>(std::trunc(m_doubleValue)) != value) {
            m_doubleValue = value;
        }
        m_lastValue = value;
    });
}

PMProgressIndicator::~PMProgressIndicator() {
    if (auto* dock = PMProgressIndicatorController::existingInstance()) {
        dock->removeProgressIndicator(this);
    }
}

double PMProgressIndicator::now() const {
    return m_clock ? m_clock() : steadySeconds();
}

double PMProgressIndicator::fraction() const {
    if (isIndeterminate()) {
        return 0;
    }
    return (m_doubleValue - minimum()) / (static_cast<double>(maximum()) - minimum());
}

void PMProgressIndicator::setProgressText(QLabel* label) {
    m_progressText = label;
}

void PMProgressIndicator::setDrawDockProgress(bool draw) {
    m_drawDockProgress = draw;
    if (draw) {
        PMProgressIndicatorController::sharedInstance().addProgressIndicator(this);
    } else if (auto* dock = PMProgressIndicatorController::existingInstance()) {
        dock->removeProgressIndicator(this);
    }
}

void PMProgressIndicator::setDoubleValue(double value) {
    const int whole = static_cast<int>(std::trunc(value));
    if (whole == m_lastValue) {
        return;
    }
    m_doubleValue = value;
    setValue(whole);
    m_lastValue = whole;
    if (m_drawDockProgress) {
        auto& dock = PMProgressIndicatorController::sharedInstance();
        dock.addProgressIndicator(this);
        // At the start and at the end the bar leaves the icon: compared as a fraction, so that a bar
        // of 0 to 100 leaves it too, not only one of 0 to 1.
        const double f = fraction();
        if (!isIndeterminate() && (f > 1 - kEpsilon || f < kEpsilon)) {
            dock.removeProgressIndicator(this);
        }
    }
    if (m_progressText) {
        updateProgressText();
    }
}

QString PMProgressIndicator::timeRemainingText(double r) {
    if (!std::isfinite(r) || r < 0) {
        return {};
    }
    if (r > 615) {
        return QString::asprintf("About %d minutes remaining", static_cast<int>(r / 60 + 0.75));
    }
    static const std::pair<double, const char*> rows[] = {
        {555, "About ten minutes remaining"},   {495, "About nine minutes remaining"},
        {435, "About eight minutes remaining"}, {375, "About seven minutes remaining"},
        {315, "About six minutes remaining"},   {255, "About five minutes remaining"},
        {195, "About four minutes remaining"},  {135, "About three minutes remaining"},
        {75, "About two minutes remaining"},    {50, "About one minute remaining"},
        {10, "Less than a minute remaining"},   {5, "About ten seconds remaining"}};
    for (const auto& [above, text] : rows) {
        if (r > above) {
            return QString::fromLatin1(text);
        }
    }
    return QStringLiteral("About five seconds remaining");
}

void PMProgressIndicator::updateProgressText() {
    if (!m_progressText) {
        return;
    }
    if (isIndeterminate()) {
        m_progressText->clear();
        return;
    }
    const double t0 = now();
    const double f = fraction();
    if (m_doubleValue < minimum() + kEpsilon) {
        m_startTime.reset();
        m_startTime2.reset();
    }
    if (!m_startTime) {
        m_startTime = t0;
        m_startFraction = f;
        m_progressText->clear();
    }
    if (t0 - *m_startTime > kRateWindowSeconds && !m_startTime2) {
        m_startTime2 = t0;
        m_startFraction2 = f;
    }
    if (m_startTime2 && t0 - *m_startTime2 > kRateWindowSeconds) {
        m_startTime = m_startTime2;
        m_startFraction = m_startFraction2;
        m_startTime2.reset();
    }
    const double t = t0 - *m_startTime;
    std::optional<QString> timeText;
    if (t > 0.5 && m_displayTimeRemaining) {
        const double rate = (f - m_startFraction) / t;
        // No progress in the window gives no estimate rather than an endless or negative one.
        timeText = rate > 0 ? timeRemainingText((1 - f) / rate) : QString();
    }
    const QString percent = QString::asprintf("%.0f %% completed", f * 100);
    if (m_displayPercentage) {
        m_progressText->setText(
            timeText && !timeText->isEmpty() ? QString(percent).append(" - ").append(*timeText) : percent);
    } else if (timeText) {
        m_progressText->setText(*timeText);
    }
}

void PMProgressIndicator::paintEvent(QPaintEvent* event) {
    auto* dock = PMProgressIndicatorController::existingInstance();
    if (m_drawDockProgress && dock && dock->hasProgressIndicator(this)) {
        dock->setNeedsRedraw();
    }
    QProgressBar::paintEvent(event);
}

void PMProgressIndicator::hideEvent(QHideEvent* event) {
    // A bar nobody can see no longer shows on the icon or the task bar.
    if (auto* dock = PMProgressIndicatorController::existingInstance()) {
        dock->removeProgressIndicator(this);
    }
    QProgressBar::hideEvent(event);
}
