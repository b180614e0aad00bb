#include "platform/MapPage.h"

#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>
#include <QtGlobal>

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
    }
    QWidget* widget() override { return m_view; }
    void load(const QUrl& url) override { m_view->load(url); }
    void evaluateScript(const QString& script) override { m_view->page()->runJavaScript(script); }

private:
    QWebEngineView* m_view;
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
