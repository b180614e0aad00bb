#pragma once
// The web view that shows the map page (a resource of the application) and runs its script
// functions. The page is loaded once; calls made before it has defined its functions are lost,
// and script results and errors are ignored.

#include <QString>
#include <QStringList>
#include <QUrl>

#include <memory>

class QWidget;

class MapPage {
public:
    virtual ~MapPage() = default;
    // The view to place in a window; null for a page that draws nothing.
    virtual QWidget* widget() = 0;
    virtual void load(const QUrl& url) = 0;
    virtual void evaluateScript(const QString& script) = 0;
};

// The page's resource: "map2" when the map language is "en", else "map2_eng", extension "htm".
QString mapPageName(const QString& mapLanguage);
QUrl mapPageUrl();

// A web-engine view; `parent` owns its widget.
std::unique_ptr<MapPage> createWebMapPage(QWidget* parent);

// Chromium refuses to start as root with its sandbox on; call before the application object
// (creating the first page calls it too).
void prepareWebEngineEnvironment();

// A page for tests: keeps every load and script, draws nothing.
class RecordingMapPage : public MapPage {
public:
    QWidget* widget() override { return nullptr; }
    void load(const QUrl& url) override { loads << url; }
    void evaluateScript(const QString& script) override { scripts << script; }

    QList<QUrl> loads;
    QStringList scripts;
};
