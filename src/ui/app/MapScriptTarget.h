#pragma once
// Where the playback's map calls go: the map page's script functions ("setLatLag(...)",
// "ORBDebug(...)", "ORBRestartTrail()"). Without a map page the calls are dropped.

#include "platform/MapPage.h"

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
