// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Task-bar progress as the launcher-entry signal that KDE Plasma and GNOME docks follow:
// com.canonical.Unity.LauncherEntry.Update(s app_uri, a{sv} properties) on the session bus, with
// "progress" (0..1) and "progress-visible". Without a bus nothing is sent and nothing fails.

#include "platform/TaskbarProgress.h"

#include <QDBusConnection>
#include <QString>

#include <memory>

class LauncherEntryProgress : public TaskbarProgress {
public:
    explicit LauncherEntryProgress(const QDBusConnection& bus, QString appUri = defaultAppUri());

    void setProgress(double fraction, bool visible) override;

    // "application://nura-viewer.desktop": the desktop file the entry belongs to.
    static QString defaultAppUri();
    static constexpr const char* kInterface = "com.canonical.Unity.LauncherEntry";
    static constexpr const char* kObjectPath = "/nura_viewer/LauncherEntry";

private:
    QDBusConnection m_bus;
    QString m_appUri;
};

// On the session bus of the user's desktop.
std::unique_ptr<TaskbarProgress> createSessionTaskbarProgress();
