// SPDX-License-Identifier: GPL-3.0-or-later
// File names' bytes held as text: what each kind of byte becomes, and every name coming back unchanged.

#include "platform/PathText.h"

#include <QtTest>

#include <string>

using nura::pathBytes;
using nura::pathText;

namespace {

QString units(std::initializer_list<char16_t> list) {
    QString out;
    for (const char16_t u : list) {
        out += QChar(u);
    }
    return out;
}

} // namespace

class PathTextTest : public QObject {
    Q_OBJECT

private slots:
    void eachKindOfByte_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("ascii") << QByteArray("/media/NURA/alwa_20230115_083000_F.MP4")
                               << QStringLiteral("/media/NURA/alwa_20230115_083000_F.MP4");
        // é, €, and an emoji past the 16-bit plane.
        QTest::newRow("valid multi-byte")
            << QByteArray("\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80") << units({0x00e9, 0x20ac, 0xd83d, 0xde00});
        QTest::newRow("lone 0x80 and 0xff") << QByteArray("a\x80/\xff") << units({'a', 0xdc80, '/', 0xdcff});
        QTest::newRow("overlong slash") << QByteArray("\xc0\xaf") << units({0xdcc0, 0xdcaf});
        // The bytes after a cut-short sequence are read afresh: the 'A' is a letter again.
        QTest::newRow("truncated then letter") << QByteArray("\xe2\x82"
                                                             "A")
                                               << units({0xdce2, 0xdc82, 'A'});
        // An encoded surrogate is not UTF-8: it must not turn into the surrogate it spells.
        QTest::newRow("surrogate-looking bytes")
            << QByteArray("\xed\xa0\x80") << units({0xdced, 0xdca0, 0xdc80});
        QTest::newRow("the largest code point") << QByteArray("\xf4\x8f\xbf\xbf") << units({0xdbff, 0xdfff});
    }
    void eachKindOfByte() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        const std::string name = bytes.toStdString();
        QCOMPARE(pathText(name), text);
        QCOMPARE(pathBytes(pathText(name)), name);
    }

    // Every one- and two-byte name, and three-byte ones around the edges of the sequences, comes back
    // as it was, and its text comes back as the same text.
    void everyShortNameComesBack() {
        const std::string edges = "\x01\x41\x7f\x80\x9f\xa0\xbf\xc0\xc1\xc2\xdf\xe0\xed\xef\xf0\xf4\xf5\xff";
        std::string failures;
        const auto check = [&](const std::string& name) {
            const QString text = pathText(name);
            if (pathBytes(text) != name || pathText(pathBytes(text)) != text) {
                failures += QByteArray::fromStdString(name).toHex(' ').toStdString() + "; ";
            }
        };
        for (int a = 1; a < 256; ++a) {
            for (int b = 1; b < 256; ++b) {
                check({static_cast<char>(a), static_cast<char>(b)});
                for (const char c : edges) {
                    check({static_cast<char>(a), static_cast<char>(b), c});
                }
            }
        }
        QVERIFY2(failures.empty(), failures.c_str());
    }

    // Text typed by the user or made by Qt may hold a surrogate no name gives: it becomes U+FFFD.
    void aSurrogateNoNameGivesBecomesTheReplacementMark() {
        QCOMPARE(pathBytes(units({'a', 0xd800})), std::string("a\xef\xbf\xbd"));
        QCOMPARE(pathBytes(units({0xdc41, 'b'})), std::string("\xef\xbf\xbd"
                                                              "b"));
    }
};

QTEST_GUILESS_MAIN(PathTextTest)
#include "PathTextTest.moc"
