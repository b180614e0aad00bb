// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/clip/ClipPlan.h"
#include "core/util/HelperProgram.h"

#include <gtest/gtest.h>

#include <csignal>
#include <string>

using namespace nura;

namespace {

ClipPlan samplePlan() {
    ClipPlan p;
    p.out = "/cards/.clip.mp4.nura-1-0.tmp";
    p.start = 0.1;
    p.end = 1.0 / 3.0;
    p.look.layout = ClipLayout::SideBySide;
    p.look.corner = ClipCorner::TopLeft;
    p.look.sound = ClipSound::Rear;
    p.look.mirrorRear = true;
    p.look.overlay = false;
    p.look.quality = 51;
    p.clock = -86401;
    p.report = true;
    p.front = {{"/a/alwa_F.MP4", 0, 59.966666666666669}, {"/a/next_F.MP4", 59.966666666666669, 60}};
    p.rear = {{"/a/next_R.MP4", 59.966666666666669, 12.5}};
    p.data = {{0, 59.9, {{12.345678901234567, true, 0.1f, -2.5f, 1e-7f}, {0, false, 0, 0, 1}}}};
    return p;
}

} // namespace

// Every byte a path can hold, a line end, a quote and bytes that are not UTF-8 among them, and every
// number, down to its last bit, read back as written: the helper then works on the very files named.
TEST(ClipPlan, ReadsBackEveryByteAndNumberAsWritten) {
    ClipPlan p = samplePlan();
    std::string every;
    for (int b = 1; b < 256; ++b) {
        every += static_cast<char>(b);
    }
    p.out = "-out\n\"\\ \t\r\xe9\xff.mp4";
    p.front[0].path = "/nl 0\nout /x\n" + every;
    p.rear[0].path = "end\n";
    const std::string text = p.encode();
    EXPECT_EQ(text.find("\nend\n"), text.size() - 5) << "no value shows as a line of its own";
    std::string error;
    const auto back = ClipPlan::decode(text, error);
    ASSERT_TRUE(back) << error;
    // Written again, the plan read back gives the same text: every path, choice and flag came back.
    EXPECT_EQ(back->encode(), text);
    // Numbers to their last bit, which text written twice with too few digits would not show.
    EXPECT_EQ(back->start, p.start);
    EXPECT_EQ(back->end, p.end);
    ASSERT_EQ(back->front.size(), 2u);
    EXPECT_EQ(back->front[0].duration, p.front[0].duration);
    ASSERT_EQ(back->data.size(), 1u);
    ASSERT_EQ(back->data[0].records.size(), 2u);
    const auto& r = back->data[0].records;
    EXPECT_EQ(r[0].speed, 12.345678901234567);
    EXPECT_EQ(r[0].gx, 0.1f);
    EXPECT_EQ(r[0].gz, 1e-7f);
}

// A plan that does not hold together is refused whole, never half taken.
TEST(ClipPlan, RefusesWhatDoesNotHoldTogether) {
    const std::string head = "nura-clip-plan \"1\"\nout \"o\"\nspan \"0\" \"1\"\nfront \"f\" \"0\" \"1\"\n";
    const struct {
        std::string text;
        const char* why;
    } cases[] = {
        {head, "no end line"},
        {"nura-clip-plan \"2\"\n" + head.substr(19) + "end\n", "another version"},
        {head.substr(19) + "end\n", "no version line"},
        {head + "out /unquoted\nend\n", "an unquoted value"},
        {head + "out \"open\nend\n", "a quote left open"},
        {head + "out \"a\" \"b\"\nend\n", "two values where one goes"},
        {head + "out \"\\q\"\nend\n", "an unknown escape"},
        {head + "span \"nan\" \"1\"\nend\n", "a span that is no number"},
        {head + "span \"2\" \"1\"\nend\n", "a span that ends before it starts"},
        {head + "span \"1,5\" \"2\"\nend\n", "a number in another locale's form"},
        {head + "layout \"grid\"\nend\n", "an unknown layout"},
        {head + "crf \"52\"\nend\n", "a quality past 51"},
        {head + "mirror \"yes\"\nend\n", "a flag that is neither 0 nor 1"},
        {head + "record \"1\" \"kmh\" \"0\" \"0\" \"1\"\nend\n", "a record before its recording"},
        {head + "volume \"11\"\nend\n", "an unknown item"},
        {"nura-clip-plan \"1\"\nspan \"0\" \"1\"\nfront \"f\" \"0\" \"1\"\nend\n", "no output"},
        {"nura-clip-plan \"1\"\nout \"o\"\nspan \"0\" \"1\"\nend\n", "no recording"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(ClipPlan::decode(c.text, error)) << c.why;
        EXPECT_FALSE(error.empty()) << c.why;
    }
}

// A helper that has died takes a send as a failure: this process gets no SIGPIPE (which would end
// it), and the helper's status says how it ended.
TEST(HelperProcess, ASendToAHelperThatHasGoneFailsWithoutASignal) {
    const auto old = std::signal(SIGPIPE, SIG_DFL);
    HelperProcess helper;
    ASSERT_TRUE(helper.start("/bin/sh", {"-c", "echo ready; exit 3"}, false));
    std::string line;
    EXPECT_EQ(helper.readLine(line), HelperProcess::Read::Line);
    EXPECT_EQ(line, "ready");
    EXPECT_EQ(helper.readLine(line), HelperProcess::Read::Ended);
    bool sent = true;
    for (int i = 0; i < 100 && sent; ++i) {
        sent = helper.send(std::string(65536, 'x'));
    }
    EXPECT_FALSE(sent);
    EXPECT_EQ(helper.wait(), 3);
    std::signal(SIGPIPE, old);
}

TEST(HelperProcess, TellsTheHelperWhoseChildItIsAndAMissingProgramIsNoStart) {
    HelperProcess helper;
    ASSERT_TRUE(helper.start("/bin/sh", {"-c", "echo \"$NURA_PARENT_PID\""}, false));
    std::string line;
    ASSERT_EQ(helper.readLine(line), HelperProcess::Read::Line);
    EXPECT_EQ(line, std::to_string(::getpid()));
    EXPECT_EQ(helper.wait(), 0);
    HelperProcess missing;
    EXPECT_FALSE(missing.start("/nonexistent/nura-media", {}, false));
    EXPECT_FALSE(missing.send("x"));
    EXPECT_EQ(missing.wait(), -1);
}
