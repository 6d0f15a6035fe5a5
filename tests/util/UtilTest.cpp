#include "util/util.h"

#include <ostream>
#include <string>

#include <gtest/gtest.h>

namespace
{
struct TimeCase
{
    const char* input;
    const char* expected;
};

void PrintTo(const TimeCase& c, std::ostream* os)
{
    *os << '"' << c.input << '"';
}

class FormatTimeTest : public ::testing::TestWithParam<TimeCase>
{};

TEST_P(FormatTimeTest, LaysOutFiveAndSixCharacterTimes)
{
    EXPECT_EQ(FormatTime(GetParam().input), GetParam().expected) << "input " << GetParam().input;
}

INSTANTIATE_TEST_SUITE_P(
    Times, FormatTimeTest,
    ::testing::Values(TimeCase{"93015", "9:30:15"}, TimeCase{"093015", "09:30:15"},
                      TimeCase{"143005", "14:30:05"}, TimeCase{"000000", "00:00:00"},
                      // copied as they are, digits or not
                      TimeCase{"abcde", "a:bc:de"}, TimeCase{"", ""}, TimeCase{"1", ""},
                      TimeCase{"1234", ""}, TimeCase{"1234567", ""}));

// "中文测试" and "委托成功，委托号是：" in GBK, taken from the code page tables.
const std::string kChineseUtf8 = "中文测试 ABC 委托成功，委托号是：123";
const std::string kZhongWenGbk = "\xD6\xD0\xCE\xC4";
const std::string kZhongUtf8 = "中";
const std::string kWenUtf8 = "文";
const std::string kReplacement = "\xEF\xBF\xBD";

TEST(CodecTest, ChineseTextRoundTrips)
{
    const std::string gbk = Utf8ToAnsi(kChineseUtf8);
    EXPECT_EQ(gbk.substr(0, 4), kZhongWenGbk);
    EXPECT_NE(gbk, kChineseUtf8);
    EXPECT_EQ(AnsiToUtf8(gbk), kChineseUtf8);
    EXPECT_EQ(AnsiToUtf8(kZhongWenGbk), "中文");
}

TEST(CodecTest, EmptyAndPlainAsciiPassThrough)
{
    EXPECT_EQ(Utf8ToAnsi(""), "");
    EXPECT_EQ(AnsiToUtf8(""), "");
    const std::string withNul("a\0b", 3);
    EXPECT_EQ(Utf8ToAnsi(withNul), withNul);
    EXPECT_EQ(AnsiToUtf8(withNul), withNul);
}

TEST(CodecTest, LongTextIsConvertedWhole)
{
    std::string utf8;
    for (int i = 0; i < 5000; ++i)
        utf8 += "委托";
    const std::string gbk = Utf8ToAnsi(utf8);
    EXPECT_EQ(gbk.size(), 5000u * 4);
    EXPECT_EQ(AnsiToUtf8(gbk), utf8);
}

struct BadBytesCase
{
    const char* name;
    std::string input;
    std::string expected;
};

void PrintTo(const BadBytesCase& c, std::ostream* os)
{
    *os << c.name;
}

class GbkToUtf8BadBytesTest : public ::testing::TestWithParam<BadBytesCase>
{};

TEST_P(GbkToUtf8BadBytesTest, ReplacesAndKeepsTheRest)
{
    EXPECT_EQ(AnsiToUtf8(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GbkToUtf8BadBytesTest,
    ::testing::Values(BadBytesCase{"InvalidByteInTheMiddle", "\xD6\xD0\xFF\xCE\xC4",
                                   kZhongUtf8 + kReplacement + kWenUtf8},
                      BadBytesCase{"LeadByteBeforeBlank", "\xD6 x", kReplacement + " x"},
                      BadBytesCase{"LoneLeadByteAtTheEnd", "AB\xD6", "AB" + kReplacement},
                      BadBytesCase{"ByteFF", "\xFFZ", kReplacement + "Z"}),
    [](const auto& info) { return std::string(info.param.name); });

class Utf8ToGbkBadBytesTest : public ::testing::TestWithParam<BadBytesCase>
{};

TEST_P(Utf8ToGbkBadBytesTest, ReplacesAndKeepsTheRest)
{
    EXPECT_EQ(Utf8ToAnsi(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Utf8ToGbkBadBytesTest,
    ::testing::Values(BadBytesCase{"InvalidByteInTheMiddle", "中\xFF文", "\xD6\xD0?\xCE\xC4"},
                      BadBytesCase{"StrayContinuationByte",
                                   "a\x80"
                                   "b",
                                   "a?b"},
                      BadBytesCase{"OverlongSlash", "\xC0\xAFz", "??z"},
                      BadBytesCase{"Surrogate", "\xED\xA0\x80z", "???z"},
                      BadBytesCase{"CharacterCutShortAtTheEnd", "中\xE6\x96", "\xD6\xD0?"},
                      BadBytesCase{"CharacterCutShortInTheMiddle", "\xE6\x96z", "?z"},
                      BadBytesCase{"CharacterGbkLacksIsOneMark",
                                   "a\xF0\x9F\x98\x80"
                                   "b",
                                   "a?b"}),
    [](const auto& info) { return std::string(info.param.name); });
} // namespace
