// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The services the card tools (format, clock setup) use, replaceable in tests.

#include <QString>

#include <functional>
#include <string>

class QWidget;

namespace nura {
class CommandRunner;
class VolumeService;
} // namespace nura

struct CardToolServices {
    nura::VolumeService* volumes = nullptr;
    nura::CommandRunner* commands = nullptr;
    // The program that formats a card with administrator rights (nura-format-card); empty when missing.
    std::string formatHelper;
    // Asks before something that cannot be undone; true to go on.
    std::function<bool(QWidget* parent, const QString& title, const QString& text)> confirm;
    // A file to write, proposed by name and type ("timeset", "cfg"); empty when cancelled.
    std::function<QString(QWidget* parent, const QString& name, const QString& type)> chooseSaveFile;

    // The system's services and the ordinary dialogs; the services live as long as the process.
    static CardToolServices real();
};
