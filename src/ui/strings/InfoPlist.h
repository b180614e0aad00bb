// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The "InfoPlist" string table: every user-visible text of the viewer and settings windows by key.

#include <QHash>
#include <QString>

class InfoPlist {
public:
    // The text of key in the application's table; an empty text when the key is missing.
    static QString localized(const char* key);
    // A counted label such as "nSecond_fmt" with its one integer filled in.
    static QString localizedCount(const char* formatKey, int count);

    // Parses the table's text ("key" = "value"; lines, C comments, \" \n \\ escapes).
    static QHash<QString, QString> parse(const QString& text);
};

// Shorthand for InfoPlist::localized.
inline QString L(const char* key) {
    return InfoPlist::localized(key);
}
