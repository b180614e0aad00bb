// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/util/JsonWriter.h"

#include <gtest/gtest.h>

#include <algorithm>

using nura::JsonWriter;

TEST(JsonWriter, EscapesControlCharactersAndReplacesBrokenUtf8) {
    EXPECT_EQ(JsonWriter::quote("a\"b\\c\n\x01"), "\"a\\\"b\\\\c\\n\\u0001\"");
    EXPECT_EQ(JsonWriter::quote("caf\xC3\xA9"), "\"caf\xC3\xA9\"");
    EXPECT_EQ(JsonWriter::quote("x\xFFy"), "\"x\xEF\xBF\xBDy\"");
    EXPECT_EQ(JsonWriter::quote("\xC3"), "\"\xEF\xBF\xBD\"");                 // cut sequence
    EXPECT_EQ(JsonWriter::quote("\xC0\xAF"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\""); // overlong slash
}

TEST(JsonWriter, ShortestFloatingPointReadsBack) {
    EXPECT_EQ(nura::shortestDouble(0.1), "0.1");
    EXPECT_EQ(nura::shortestFloat(0.1f), "0.1");
    EXPECT_EQ(nura::shortestDouble(3.0), "3");
    JsonWriter w(false);
    w.value(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(w.str(), "null");
}

TEST(JsonWriter, StreamedTextIsTheSameAndHandedOnInPieces) {
    const auto write = [](nura::JsonWriter& w) {
        w.beginObject().key("rows").beginArray();
        for (int i = 0; i < 20000; ++i) {
            w.beginObject().key("i").value(i).key("text").value("a \"quoted\" value").endObject();
        }
        w.endArray().key("end").value(true).endObject();
    };
    nura::JsonWriter whole;
    write(whole);

    std::string streamed;
    size_t pieces = 0;
    size_t largest = 0;
    nura::JsonWriter w([&](std::string_view piece) {
        streamed += piece;
        ++pieces;
        largest = std::max(largest, piece.size());
    });
    write(w);
    EXPECT_LT(w.str().size(), 100u * 1024); // never the whole document at once
    w.flush();
    EXPECT_TRUE(w.str().empty());
    EXPECT_EQ(streamed, whole.str());
    EXPECT_GT(pieces, 10u);
    EXPECT_LT(largest, 100u * 1024);
}
