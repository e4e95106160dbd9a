// The line readers on their own: where each pattern stops, and the 100-byte field limit.
#include <gtest/gtest.h>

#include "session/patterns.h"

namespace setwright::patterns {
namespace {

const std::string k99(99, 'x');
const std::string k100(100, 'x');

TEST(Patterns, ReadLineNeedsItsLineEndAndFitsInAField) {
  struct Case {
    std::string buffer;
    std::size_t pos;
    std::optional<std::string> line;
  } cases[] = {
      {"B=9600\r\nD=8\r\n", 0, "B=9600"},
      {"B=9600\r\nD=8\r\n", 8, "D=8"},
      {"B=96", 0, std::nullopt},            // still arriving
      {"B=9600\r", 0, std::nullopt},        // LF still on the way
      {"\r\nB=9600\r\n", 0, std::nullopt},  // an empty line is no line
      {k99 + "\r\n", 0, k99},
      {k100 + "\r\n", 0, std::nullopt},  // would not fit the 100-byte field
      {"B=1\r\n", 9, std::nullopt},      // past the end
  };
  for (const auto& c : cases) {
    auto line = ReadLine(c.buffer, c.pos);
    EXPECT_EQ(line ? std::optional<std::string>(*line) : std::nullopt, c.line) << c.buffer;
  }
}

TEST(Patterns, Banner) {
  struct Case {
    std::string buffer;
    bool read;
    std::size_t length;
    bool programMode;
  } cases[] = {
      {"\r\n*** PROGRAM MODE ***\r\nMR", true, 24, true},
      {"\r\n* * * PROGRAM MODE * * *\r\n\r\nX", true, 30, true},
      {"\r\n*** PROGRAM MODE ***", false, 0, false},  // line end not yet there
      {"*** PROGRAM MODE ***\r\n", false, 0, false},  // no lead-in
      {"\r\n*** PROGRAM MODE***\r\n", true, 23, false},
      {"\r\n*** PROG MODE ***\r\n", true, 21, false},
      {"\r\n*** EXPRESS PROGRAM MODE ***\r\n", true, 32, false},  // "P" before the text
      {"\r\n" + std::string(100, '*') + "\r\n", false, 0, false},
  };
  for (const auto& c : cases) {
    auto banner = ReadBanner(c.buffer);
    ASSERT_EQ(banner.has_value(), c.read) << c.buffer;
    if (!banner) continue;
    EXPECT_EQ(banner->length, c.length) << c.buffer;
    EXPECT_EQ(IsProgramModeBanner(banner->text), c.programMode) << c.buffer;
  }
}

TEST(Patterns, SplitKeyValue) {
  struct Case {
    std::string line, key;
    int result;
    std::string value;
  } cases[] = {
      {"B=9600", "B", 2, "9600"},
      {"B=9600 baud", "B", 2, "9600"},  // the value ends at the first blank
      {"BAUD=9600", "B", 2, "9600"},    // only the key's beginning is compared
      {"D=8", "DEL", 0, ""},
      {"LF=1", "DEL", 0, ""},
      {"DEL=", "DEL", 1, ""},
      {"DEL= 0D", "DEL", 1, ""},
      {"NOEQUALS", "DEL", 1, ""},  // key part only: not compared
      {"=5", "B", 0, ""},
  };
  for (const auto& c : cases) {
    KeyValue kv = SplitKeyValue(c.line, c.key);
    EXPECT_EQ(kv.result, c.result) << c.line;
    EXPECT_EQ(std::string(kv.value), c.value) << c.line;
  }
}

TEST(Patterns, Numbers) {
  EXPECT_EQ(ReadDecimal("010"), 10);
  EXPECT_EQ(ReadDecimal("12ms"), 12);
  EXPECT_EQ(ReadDecimal("-3"), -3);
  EXPECT_EQ(ReadDecimal(""), std::nullopt);
  EXPECT_EQ(ReadDecimal("x1"), std::nullopt);
  EXPECT_EQ(ReadDecimal("99999999999"), std::nullopt);
  EXPECT_EQ(ReadHex("1b"), 0x1Bu);
  EXPECT_EQ(ReadHex("0D"), 0x0Du);
  EXPECT_EQ(ReadHex("G"), std::nullopt);
}

TEST(Patterns, KeyboardAcknowledgement) {
  struct Case {
    std::string buffer;
    Ack ack;
  } cases[] = {
      {"", Ack::NotYet},        {"\r", Ack::NotYet},      {"\n", Ack::NotYet},
      {"\r\n", Ack::EmptyLine}, {"\r\n\r\n", Ack::Other}, {"ERR\r\n", Ack::Other},
      {"ERR", Ack::Other},
  };
  for (const auto& c : cases) EXPECT_EQ(ReadAcknowledgement(c.buffer), c.ack) << c.buffer;
}

TEST(Patterns, ReplyLineAfterLineEnds) {
  EXPECT_EQ(ReadLineAfterBlanks("\r\n*** DEFAULT ***\r\n", true), "*** DEFAULT ***");
  EXPECT_EQ(ReadLineAfterBlanks("\r\n*** DEF", true), std::nullopt);
  EXPECT_EQ(ReadLineAfterBlanks("\r\n* * * PROG", false), "* * * PROG");
  EXPECT_EQ(ReadLineAfterBlanks("\r\n", false), std::nullopt);
}

}  // namespace
}  // namespace setwright::patterns
