// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/views/PMProgressIndicatorController.h"

#include "platform/LauncherEntryProgress.h"
#include "ui/views/PMProgressIndicator.h"
#include "ui/views/TKImageDrawing.h"

#include <QApplication>
#include <QIcon>
#include <QPainter>

#include <cmath>

namespace {

// The icon is painted on a 128-unit square, whatever its size in pixels.
constexpr qreal kTrack = 128;
constexpr int kBand = 16;
constexpr qreal kStripe = 32;

QPointer<PMProgressIndicatorController>& sharedPointer() {
    static QPointer<PMProgressIndicatorController> shared;
    return shared;
}

} // namespace

PMProgressIndicatorController& PMProgressIndicatorController::sharedInstance() {
    auto& shared = sharedPointer();
    if (!shared) {
        const QPixmap icon = QApplication::windowIcon().pixmap(128, 128);
        shared = new PMProgressIndicatorController(icon, nullptr, QCoreApplication::instance());
    }
    return *shared;
}

PMProgressIndicatorController* PMProgressIndicatorController::existingInstance() {
    return sharedPointer().data();
}

PMProgressIndicatorController::PMProgressIndicatorController(const QPixmap& dockIcon,
                                                             std::unique_ptr<TaskbarProgress> taskbar,
                                                             QObject* parent)
    : QObject(parent), m_dockIcon(dockIcon),
      m_blueBar(TKImageDrawing::imageNamed(QStringLiteral("blueProgress"))),
      m_greyBar(TKImageDrawing::imageNamed(QStringLiteral("greyProgress"))),
      m_barberBar(TKImageDrawing::imageNamed(QStringLiteral("barberProgress"))),
      m_taskbar(std::move(taskbar)) {
    if (m_dockIcon.isNull()) {
        m_dockIcon = QPixmap(128, 128);
        m_dockIcon.fill(Qt::transparent);
    }
    m_redrawTimer.setSingleShot(true);
    m_redrawTimer.setInterval(100);
    connect(&m_redrawTimer, &QTimer::timeout, this, &PMProgressIndicatorController::drawProgressIndicators);
    m_lastSpin.start();
}

PMProgressIndicatorController::~PMProgressIndicatorController() = default;

void PMProgressIndicatorController::addProgressIndicator(PMProgressIndicator* indicator) {
    if (!indicator || hasProgressIndicator(indicator)) {
        return;
    }
    m_progressIndicators.append(indicator);
    m_redrawTimer.start();
}

void PMProgressIndicatorController::removeProgressIndicator(PMProgressIndicator* indicator) {
    const auto removed = m_progressIndicators.removeIf(
        [indicator](const QPointer<PMProgressIndicator>& p) { return p.isNull() || p.data() == indicator; });
    if (removed > 0) {
        m_redrawTimer.start();
    }
}

int PMProgressIndicatorController::numProgressIndicators() const {
    return static_cast<int>(std::count_if(m_progressIndicators.begin(), m_progressIndicators.end(),
                                          [](const auto& p) { return !p.isNull(); }));
}

bool PMProgressIndicatorController::hasProgressIndicator(const PMProgressIndicator* indicator) const {
    return std::any_of(m_progressIndicators.begin(), m_progressIndicators.end(),
                       [indicator](const auto& p) { return p.data() == indicator; });
}

void PMProgressIndicatorController::setNeedsRedraw() {
    if (!m_redrawTimer.isActive()) {
        m_redrawTimer.start();
    }
}

void PMProgressIndicatorController::setBarImages(const QPixmap& blue, const QPixmap& grey,
                                                 const QPixmap& barber) {
    m_blueBar = blue;
    m_greyBar = grey;
    m_barberBar = barber;
}

void PMProgressIndicatorController::restoreIcon() {
    m_drawnIcon = m_dockIcon;
    m_showsPlainIcon = true;
    QApplication::setWindowIcon(QIcon(m_dockIcon));
}

void PMProgressIndicatorController::drawProgressIndicators() {
    m_redrawTimer.stop();
    m_progressIndicators.removeIf([](const QPointer<PMProgressIndicator>& p) { return p.isNull(); });
    tellTaskbar();
    if (m_progressIndicators.isEmpty()) {
        if (!m_showsPlainIcon) {
            restoreIcon();
        }
        return;
    }
    QPixmap icon = m_dockIcon;
    bool spinning = false;
    {
        QPainter painter(&icon);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.scale(icon.width() / kTrack, icon.height() / kTrack);
        int band = 0;
        for (const auto& indicator : m_progressIndicators) {
            drawBar(painter, *indicator, band++, spinning);
        }
    }
    m_drawnIcon = icon;
    m_showsPlainIcon = false;
    QApplication::setWindowIcon(QIcon(icon));
    if (spinning) {
        m_redrawTimer.start();
    }
}

void PMProgressIndicatorController::drawBar(QPainter& painter, const PMProgressIndicator& indicator, int band,
                                            bool& spinning) {
    // Band 0 lies along the bottom edge; each further one sits a band higher.
    const qreal y = kTrack - (band + 1) * kBand;
    const QRectF track(0, y, kTrack, kBand);
    painter.save();
    painter.setClipRect(track);
    if (indicator.isIndeterminate()) {
        const qreal elapsed = static_cast<qreal>(m_lastSpin.restart()) / 1000.0;
        m_barberOffset += (elapsed - std::floor(elapsed)) * -1.5 * kStripe;
        while (m_barberOffset < 0) {
            m_barberOffset += kStripe;
        }
        if (!m_barberBar.isNull()) {
            painter.drawPixmap(QPointF(-m_barberOffset, y), m_barberBar);
        } else {
            painter.fillRect(track.adjusted(1, 3, -1, -3), QColor(0x3a, 0x40, 0x49));
            painter.setPen(Qt::NoPen);
            painter.setBrush(QColor(0x2e, 0x8c, 0xdc));
            for (qreal x = -m_barberOffset - kStripe; x < kTrack + kStripe; x += kStripe) {
                const QPointF stripe[] = {{x, y + 13}, {x + 8, y + 3}, {x + 24, y + 3}, {x + 16, y + 13}};
                painter.drawPolygon(stripe, 4);
            }
        }
        spinning = true;
    } else {
        const auto w = static_cast<float>(indicator.fraction() * kTrack);
        if (!m_blueBar.isNull() && !m_greyBar.isNull()) {
            painter.drawPixmap(QPointF(w - kTrack, y), m_blueBar);
            painter.drawPixmap(QPointF(w, y), m_greyBar);
        } else {
            const QRectF inner = track.adjusted(1, 3, -1, -3);
            painter.fillRect(inner, QColor(0x3a, 0x40, 0x49));
            painter.fillRect(QRectF(inner.left(), inner.top(), std::max<qreal>(0, w - 1), inner.height()),
                             QColor(0x2e, 0x8c, 0xdc));
        }
    }
    painter.restore();
}

void PMProgressIndicatorController::tellTaskbar() {
    // The task bar has one bar: the first one that knows how far it is.
    std::pair<double, bool> state{0.0, false};
    for (const auto& indicator : m_progressIndicators) {
        if (indicator && !indicator->isIndeterminate()) {
            state = {std::clamp(indicator->fraction(), 0.0, 1.0), true};
            break;
        }
    }
    if (m_lastTaskbar == state || (!m_lastTaskbar && !state.second)) {
        return;
    }
    if (!m_taskbar) {
        m_taskbar = createSessionTaskbarProgress();
    }
    m_taskbar->setProgress(state.first, state.second);
    m_lastTaskbar = state;
}
