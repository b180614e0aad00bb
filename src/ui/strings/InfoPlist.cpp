// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/strings/InfoPlist.h"

#include "ui/app/Resources.h"

#include <QFile>

namespace {

const QHash<QString, QString>& table() {
    static const QHash<QString, QString> strings = [] {
        initNuraResources();
        QFile file(QStringLiteral(":/InfoPlist.strings"));
        if (!file.open(QIODevice::ReadOnly)) {
            return QHash<QString, QString>();
        }
        return InfoPlist::parse(QString::fromUtf8(file.readAll()));
    }();
    return strings;
}

// Reads a quoted text starting at text[i] == '"'; returns false when it is not closed.
bool readQuoted(const QString& text, qsizetype& i, QString& out) {
    out.clear();
    for (++i; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('"')) {
            ++i;
            return true;
        }
        if (c == QLatin1Char('\\') && i + 1 < text.size()) {
            const QChar n = text[++i];
            out += n == QLatin1Char('n') ? QChar('\n') : n == QLatin1Char('t') ? QChar('\t') : n;
        } else {
            out += c;
        }
    }
    return false;
}

void skipSpaceAndComments(const QString& text, qsizetype& i) {
    while (i < text.size()) {
        if (text[i].isSpace()) {
            ++i;
        } else if (text.mid(i, 2) == QLatin1String("/*")) {
            const auto end = text.indexOf(QLatin1String("*/"), i + 2);
            i = end < 0 ? text.size() : end + 2;
        } else if (text.mid(i, 2) == QLatin1String("//")) {
            const auto end = text.indexOf(QLatin1Char('\n'), i);
            i = end < 0 ? text.size() : end + 1;
        } else {
            return;
        }
    }
}

} // namespace

QHash<QString, QString> InfoPlist::parse(const QString& text) {
    QHash<QString, QString> result;
    qsizetype i = 0;
    while (true) {
        skipSpaceAndComments(text, i);
        if (i >= text.size() || text[i] != QLatin1Char('"')) {
            break;
        }
        QString key, value;
        if (!readQuoted(text, i, key)) {
            break;
        }
        skipSpaceAndComments(text, i);
        if (i >= text.size() || text[i] != QLatin1Char('=')) {
            break;
        }
        ++i;
        skipSpaceAndComments(text, i);
        if (i >= text.size() || text[i] != QLatin1Char('"') || !readQuoted(text, i, value)) {
            break;
        }
        skipSpaceAndComments(text, i);
        if (i < text.size() && text[i] == QLatin1Char(';')) {
            ++i;
        }
        result.insert(key, value);
    }
    return result;
}

QString InfoPlist::localized(const char* key) {
    return table().value(QString::fromUtf8(key));
}

QString InfoPlist::localizedCount(const char* formatKey, int count) {
    QString format = localized(formatKey);
    return format.replace(QLatin1String("%d"), QString::number(count));
}
