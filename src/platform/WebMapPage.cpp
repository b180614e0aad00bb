#include "platform/MapPage.h"

#include <QList>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>
#include <QtGlobal>

#include <utility>

#include <unistd.h>

namespace {

// The build's map language; only "en" chooses the other page.
constexpr const char* kMapLanguage = "ko";

// Script errors are ignored: calls that arrive before the page has defined its functions are
// expected and would otherwise fill the log during every start.
class QuietPage : public QWebEnginePage {
public:
    using QWebEnginePage::QWebEnginePage;

protected:
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString&, int,
                                  const QString&) override {}
};

class WebMapPage : public MapPage {
public:
    explicit WebMapPage(QWidget* parent) : m_view(new QWebEngineView(parent)) {
        m_view->setPage(new QuietPage(m_view));
        m_view->setContextMenuPolicy(Qt::NoContextMenu);
        // The page lives in the resources but fetches map tiles when the network is there.
        m_view->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
        m_view->page()->setBackgroundColor(QColor(0x1b, 0x1f, 0x24));
        QObject::connect(m_view, &QWebEngineView::loadFinished, m_view, [this](bool) {
            m_ready = true;
            for (const QString& script : std::exchange(m_pending, {})) {
                m_view->page()->runJavaScript(script);
            }
        });
    }
    QWidget* widget() override { return m_view; }
    void load(const QUrl& url) override {
        m_ready = false;
        m_view->load(url);
    }
    // Calls made while the page loads wait for it, so the first position of a freshly opened map is
    // not lost; only the latest few are kept.
    void evaluateScript(const QString& script) override {
        if (m_ready) {
            m_view->page()->runJavaScript(script);
            return;
        }
        if (m_pending.size() >= kMaxPending) {
            m_pending.pop_front();
        }
        m_pending.push_back(script);
    }

private:
    static constexpr qsizetype kMaxPending = 16;
    QWebEngineView* m_view;
    QList<QString> m_pending;
    bool m_ready = true; // a page never loaded runs scripts as they come
};

} // namespace

QString mapPageName(const QString& mapLanguage) {
    return mapLanguage == QLatin1String("en") ? QStringLiteral("map2") : QStringLiteral("map2_eng");
}

QUrl mapPageUrl() {
    return QUrl(QStringLiteral("qrc:/map/%1.htm").arg(mapPageName(QLatin1String(kMapLanguage))));
}

std::unique_ptr<MapPage> createWebMapPage(QWidget* parent) {
    // The engine reads its flags when the first view starts it; a program that did not prepare
    // them before its application object still runs as root.
    prepareWebEngineEnvironment();
    return std::make_unique<WebMapPage>(parent);
}

void prepareWebEngineEnvironment() {
    if (geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX")) {
        const QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
        if (!flags.contains("--no-sandbox")) {
            qputenv("QTWEBENGINE_CHROMIUM_FLAGS", (flags + " --no-sandbox").trimmed());
        }
    }
}
