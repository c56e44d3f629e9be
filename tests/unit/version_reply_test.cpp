// The unit's version reply, read as "%d.%d.%d %s %d.%d %d" would read it.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "KestraneFwUpgrade.h"

namespace {

const VersionReply kStart = {0, 0, 0, "start", 0, 0, -1};

struct Case {
    const char* text;
    int fields;
    VersionReply expected;
};

const Case kCases[] = {
    {"1.2.3 ABC 4.5 1", 7, {1, 2, 3, "ABC", 4, 5, 1}},
    // Line ends have become spaces by the time the reply is parsed.
    {"1.0.6  XC7A35 \r\n1.6   1  >>", 7, {1, 0, 6, "XC7A35", 1, 6, 1}},
    {"1.2.3 ABC 4.5 1 and whatever follows", 7, {1, 2, 3, "ABC", 4, 5, 1}},
    {"  +1.-2.3 A 4. 5\t9", 7, {1, -2, 3, "A", 4, 5, 9}},
    {"1.2.3ABC 4.5 1", 7, {1, 2, 3, "ABC", 4, 5, 1}},
    {"1.2.3 ABCDEFG 4.5 1", 7, {1, 2, 3, "ABCDEFG", 4, 5, 1}},
    {"99999999999.0.0 X 1.1 -99999999999", 7, {INT_MAX, 0, 0, "X", 1, 1, INT_MIN}},
    // Partial replies: the fields filled keep their values, the rest their start values.
    {"1.0.6 ABC 1.6", 6, {1, 0, 6, "ABC", 1, 6, -1}},
    {"1.0.6 ABC 1.6 x", 6, {1, 0, 6, "ABC", 1, 6, -1}},
    {"1.0.6 ABC", 4, {1, 0, 6, "ABC", 0, 0, -1}},
    {"1.0", 2, {1, 0, 0, "start", 0, 0, -1}},
    {"1 .2.3 ABC 4.5 1", 1, {1, 0, 0, "start", 0, 0, -1}},
    {"v1.0.6 ABC 1.6 1", 0, kStart},
    {">>", 0, kStart},
    {"+", 0, kStart},
    {"", -1, kStart},
    {"   \t ", -1, kStart},
    // A model token longer than its 7 characters is a reply of another form: not taken.
    {"1.0.6 ABCDEFGH 1.6 1", 3, {1, 0, 6, "start", 0, 0, -1}},
    {"1.0.6 \x80\xff\x01 1.6 1", 7, {1, 0, 6, "\x80\xff\x01", 1, 6, 1}},
};

TEST(VersionReply, ParsesLikeTheFormatAndStopsAtTheFirstMismatch) {
    for (const Case& c : kCases) {
        VersionReply reply = kStart;
        EXPECT_EQ(parseVersionReply(c.text, &reply), c.fields) << c.text;
        EXPECT_EQ(reply.fw_ver, c.expected.fw_ver) << c.text;
        EXPECT_EQ(reply.fw_rev, c.expected.fw_rev) << c.text;
        EXPECT_EQ(reply.fw_sub, c.expected.fw_sub) << c.text;
        EXPECT_STREQ(reply.model, c.expected.model) << c.text;
        EXPECT_EQ(reply.fpga_ver, c.expected.fpga_ver) << c.text;
        EXPECT_EQ(reply.fpga_rev, c.expected.fpga_rev) << c.text;
        EXPECT_EQ(reply.fpga_type, c.expected.fpga_type) << c.text;
    }
}

TEST(VersionReply, NeverWritesBeyondTheModelField) {
    VersionReply reply = kStart;
    const std::string longToken = "1.0.6 " + std::string(4000, 'M') + " 1.6 1";
    EXPECT_EQ(parseVersionReply(longToken.c_str(), &reply), 3);
    EXPECT_STREQ(reply.model, "start");
    EXPECT_EQ(reply.fpga_ver, 0);
    EXPECT_EQ(reply.fpga_rev, 0);
    EXPECT_EQ(reply.fpga_type, -1);
}

}  // namespace
