// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Paints the running progress bars over the application's icon, one 16-pixel band each from the
// bottom up (a moving barber pole for a bar that cannot say how far it is), and tells the task bar
// how far the first one is. With no bar registered the plain icon is back.

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPixmap>
#include <QPointer>
#include <QTimer>

#include <memory>
#include <optional>
#include <utility>

class PMProgressIndicator;
class TaskbarProgress;

class PMProgressIndicatorController : public QObject {
    Q_OBJECT
public:
    // The application's own, made on first use from the application icon of that moment.
    static PMProgressIndicatorController& sharedInstance();
    // The shared one if made already, else null.
    static PMProgressIndicatorController* existingInstance();

    // `taskbar` null: the desktop's launcher entry on the session bus, connected when first needed.
    explicit PMProgressIndicatorController(const QPixmap& dockIcon,
                                           std::unique_ptr<TaskbarProgress> taskbar = nullptr,
                                           QObject* parent = nullptr);
    ~PMProgressIndicatorController() override;

    void addProgressIndicator(PMProgressIndicator* indicator);
    void removeProgressIndicator(PMProgressIndicator* indicator);
    int numProgressIndicators() const;
    bool hasProgressIndicator(const PMProgressIndicator* indicator) const;
    // Paints the icon now and sets it as the application icon.
    void drawProgressIndicators();
    // A redraw a tenth of a second from now (one for any number of asks in between).
    void setNeedsRedraw();
    void restoreIcon();

    QPixmap dockIcon() const { return m_dockIcon; }
    // The icon last set by drawProgressIndicators.
    QPixmap drawnIcon() const { return m_drawnIcon; }
    // The bar pictures; a null one gives bars drawn from plain rectangles.
    void setBarImages(const QPixmap& blue, const QPixmap& grey, const QPixmap& barber);

private:
    void drawBar(class QPainter& painter, const PMProgressIndicator& indicator, int band, bool& spinning);
    void tellTaskbar();

    QList<QPointer<PMProgressIndicator>> m_progressIndicators;
    QPixmap m_dockIcon;
    QPixmap m_drawnIcon;
    QPixmap m_blueBar;
    QPixmap m_greyBar;
    QPixmap m_barberBar;
    QElapsedTimer m_lastSpin;
    double m_barberOffset = 32;
    QTimer m_redrawTimer;
    std::unique_ptr<TaskbarProgress> m_taskbar;
    std::optional<std::pair<double, bool>> m_lastTaskbar;
    bool m_showsPlainIcon = true;
};
