#pragma once
// The map of the right column. Its web page is made the first time the map is shown: a web view in
// the window sends every later repaint of the window through the web engine's (software) GL
// compositor, which more than doubles what playing the two videos costs. Until then the playback's
// calls are kept, from the current recording's trail restart on and bounded, and the page gets them
// in one go once it is made.

#include "ui/app/MapScriptTarget.h"

#include <QStringList>

#include <functional>
#include <memory>

class QWidget;

class ORBMapSideView : public MapScriptTarget {
public:
    using Factory = std::function<std::unique_ptr<MapPage>(QWidget*)>;
    // `make` may be empty: no map, and the calls are dropped.
    ORBMapSideView(Factory make, QWidget* container);

    void evaluateScript(const QString& script) override;
    // Makes and loads the page the first time; later calls do nothing.
    void show();
    MapPage* page() const { return m_page.get(); }

    // Calls kept while there is no page: a three-minute recording at the playback's report rate,
    // several times over.
    static constexpr qsizetype kMaxKept = 20000;
    qsizetype keptCount() const { return m_kept.size(); }

private:
    Factory m_make;
    QWidget* m_container;
    std::unique_ptr<MapPage> m_page;
    QStringList m_kept;
};
