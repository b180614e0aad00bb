#include "ui/views/ORBMapWindowController.h"

#include "core/log.h"

#include <QVBoxLayout>
#include <QWidget>

ORBMapWindowController::ORBMapWindowController(PageFactory makePage, QObject* parent)
    : QObject(parent), m_window(new QWidget) {
    m_window->setWindowTitle(QStringLiteral("Map"));
    m_window->setObjectName(QStringLiteral("ORBMapWindowController"));
    m_window->resize(windowSize());
    m_mapWebView = makePage ? makePage(m_window) : createWebMapPage(m_window);
    if (QWidget* view = m_mapWebView ? m_mapWebView->widget() : nullptr) {
        auto* layout = new QVBoxLayout(m_window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(view);
    }
}

ORBMapWindowController::~ORBMapWindowController() {
    // The page's widget belongs to the window; the page object goes first.
    m_mapWebView.reset();
    delete m_window;
}

void ORBMapWindowController::windowDidLoad() {
    const QRect frame = m_window->frameGeometry();
    nura::logf("{{%d, %d}, {%d, %d}}", frame.x(), frame.y(), frame.width(), frame.height());
    if (m_mapWebView) {
        m_mapWebView->load(mapPageUrl());
    }
    m_loaded = true;
}

void ORBMapWindowController::showWindow() {
    if (!m_loaded) {
        windowDidLoad();
    }
    m_window->show();
    m_window->raise();
}

void ORBMapWindowController::updateMapLat(double latitude, double longitude) {
    if (m_mapWebView) {
        m_mapWebView->evaluateScript(QString::asprintf("setLatLag('%lf','%lf')", longitude, latitude));
    }
}

void ORBMapWindowController::showRecordPosition(double latitude, double longitude) {
    if (latitude != 0 && longitude != 0) {
        updateMapLat(latitude, longitude);
    }
}

void ORBMapWindowController::moveWindowRightBy(const QRect& frame) {
    // Qt's y grows downward, so "top edges level" is the same y.
    m_window->move(frame.x() + frame.width(), frame.y());
}
