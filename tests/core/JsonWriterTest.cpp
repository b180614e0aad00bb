#include "core/util/JsonWriter.h"

#include <gtest/gtest.h>

using nura::JsonWriter;

TEST(JsonWriter, EscapesControlCharactersAndReplacesBrokenUtf8) {
    EXPECT_EQ(JsonWriter::quote("a\"b\\c\n\x01"), "\"a\\\"b\\\\c\\n\\u0001\"");
    EXPECT_EQ(JsonWriter::quote("caf\xC3\xA9"), "\"caf\xC3\xA9\"");
    EXPECT_EQ(JsonWriter::quote("x\xFFy"), "\"x\xEF\xBF\xBDy\"");
    EXPECT_EQ(JsonWriter::quote("\xC3"), "\"\xEF\xBF\xBD\"");                 // cut sequence
    EXPECT_EQ(JsonWriter::quote("\xC0\xAF"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\""); // overlong slash
}

TEST(JsonWriter, NestsCompactly) {
    JsonWriter w(false);
    w.beginArray().beginObject().key("a").value(1).key("b").value(0.1).key("c").null().endObject();
    w.beginObject().endObject().value(true).endArray();
    EXPECT_EQ(w.str(), "[{\"a\":1,\"b\":0.1,\"c\":null},{},true]");
}

TEST(JsonWriter, ShortestFloatingPointReadsBack) {
    EXPECT_EQ(nura::shortestDouble(0.1), "0.1");
    EXPECT_EQ(nura::shortestFloat(0.1f), "0.1");
    EXPECT_EQ(nura::shortestDouble(3.0), "3");
    JsonWriter w(false);
    w.value(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(w.str(), "null");
}
