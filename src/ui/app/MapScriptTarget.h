#pragma once
// Where the playback's map calls go: the map page's script functions ("setLatLag(...)",
// "ORBDebug(...)"). Until the map page is in the window the calls go to a page that ignores them.

#include <QString>

class MapScriptTarget {
public:
    virtual ~MapScriptTarget() = default;
    virtual void evaluateScript(const QString& script) = 0;
};

class IgnoringMapScriptTarget : public MapScriptTarget {
public:
    void evaluateScript(const QString&) override {}
};
