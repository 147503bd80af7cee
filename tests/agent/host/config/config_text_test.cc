#include "agent/host/config/config_text.h"

#include <climits>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

namespace {

using namespace std::string_literals;

struct KeyValueCase {
  std::string text;
  std::size_t minLen, maxLen;
  bool trim;
  std::string expected;
};

TEST(GetKeyValueTest, FindsValuesAndAppliesQuotesCommentsTrimAndBounds) {
  const KeyValueCase cases[] = {
      {"k=5", 1, 254, true, "5"},
      {"k= \t 08:00", 5, 5, true, "08:00"},
      {"a=1\nk=5\r\nb=2", 1, 254, true, "5"},
      {"a=1\rk=5", 1, 254, true, "5"},
      // only a key at a line start counts; a later one at a line start is found
      {"x k=5", 1, 254, true, ""},
      {"x k=5\r\nk=7", 1, 254, true, "7"},
      {"xk=5\r\nk=7", 1, 254, true, "7"},
      // comments: two blanks or a tab before "#"; "5 #5" is a value
      {"k=5  # five", 1, 254, true, "5"},
      {"k=5  # five", 1, 254, false, "5 "},
      {"k=5\t#five", 1, 254, false, "5"},
      {"k=5 \t#five", 1, 254, false, "5 "},
      {"k=5 #5", 1, 254, true, "5 #5"},
      {"k=#5", 1, 254, true, "#5"},
      // quotes: the comment rules do not apply, an escaped quote does not close
      {"k=\"a  # b\" tail", 1, 254, true, "a  # b"},
      {"k='it\\'s'", 1, 254, true, "it\\'s"},
      {"k=\"open\r\nnext", 1, 254, true, "open"},
      {"k=''", 1, 254, true, ""},
      {"k=  \"  padded  \"", 1, 254, true, "padded"},
      {"k=  \"  padded  \"", 1, 254, false, "  padded  "},
      // trim takes bytes 1..32 and never a byte of a GBK character (北京)
      {"k=\x01\xB1\xB1\xBE\xA9 \x1F\r\n", 1, 254, true, "\xB1\xB1\xBE\xA9"},
      {"k=\xB1\xB1\xBE\xA9", 4, 4, true, "\xB1\xB1\xBE\xA9"},
      // length bounds: outside counts as absent
      {"k=123456", 1, 5, true, ""},
      {"k=12345", 1, 5, true, "12345"},
      {"k=8:00", 5, 5, true, ""},
      {"k=", 1, 254, true, ""},
      {"k=   ", 1, 254, true, ""},
      // the text ends at its first zero byte
      {"a=1\0k=5"s, 1, 254, true, ""},
      {"k=12\0" "34"s, 1, 254, true, "12"},
      {"", 1, 254, true, ""},
  };
  for (const KeyValueCase& c : cases) {
    SCOPED_TRACE(c.text);
    char dst[256];
    std::memset(dst, 'X', sizeof dst);
    const std::size_t n = GetKeyValue("k=", c.text, dst, sizeof dst, c.minLen, c.maxLen, c.trim);
    EXPECT_EQ(std::string(dst), c.expected);
    EXPECT_EQ(n, c.expected.size());
  }
}

TEST(GetKeyValueTest, GbkKeyIsMatchedWholeAndSmallDestinationNeverOverflows) {
  // 发送= is the tail of 每日开始发送=; only the line-start key is taken.
  const std::string send = "\xB7\xA2\xCB\xCD=";
  const std::string text = "\xC3\xBF\xC8\xD5\xBF\xAA\xCA\xBC" + send + "08:00\r\n" + send + "3,0";
  char dst[8];
  EXPECT_EQ(GetKeyValue(send, text, dst, sizeof dst, 1, 30, true), 3u);
  EXPECT_STREQ(dst, "3,0");

  char small[5] = {'X', 'X', 'X', 'X', 'G'};
  EXPECT_EQ(GetKeyValue("k=", "k=12345", small, 4, 1, 254, true), 0u);
  EXPECT_STREQ(small, "");
  EXPECT_EQ(small[4], 'G');
  EXPECT_EQ(GetKeyValue("", "=5", small, 4, 1, 254, true), 0u);
}

TEST(ReadDecimalTest, ReadsLikeTheUsualConversionAndSaturates) {
  const std::pair<const char*, int> cases[] = {
      {"42", 42},          {"  \t42x", 42},         {"-7", -7},
      {"+5", 5},           {"abc", 0},              {"", 0},
      {",1", 0},           {"007", 7},              {"2147483647", INT_MAX},
      {"99999999999", INT_MAX}, {"-99999999999", INT_MIN}, {"- 5", 0},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(ReadDecimal(text), expected) << text;
}

TEST(ParseTimeListTest, SortsKeepsDuplicatesAndDropsBadPieces) {
  const std::pair<const char*, std::vector<std::uint32_t>> cases[] = {
      {"15:00,9:30,9:30", {93000, 93000, 150000}},
      {"9:30,15:00", {93000, 150000}},
      {"8", {80000}},
      {"9:30:15", {93015}},
      {",,9:30,", {93000}},
      {"1234567890123456,7", {70000}},  // a 16-byte piece is dropped
      {"000000000000007,6", {60000, 70000}},  // 15 bytes are still read
      {"", {}},
  };
  for (const auto& [text, expected] : cases) {
    std::vector<std::uint32_t> list = {1, 2, 3};
    EXPECT_EQ(ParseTimeList(text, &list), static_cast<int>(expected.size())) << text;
    EXPECT_EQ(list, expected) << text;
  }
}

// <短信号掩码开始> and <短信号掩码结束>
const std::string kMaskBegin = "<\xB6\xCC\xD0\xC5\xBA\xC5\xD1\xDA\xC2\xEB\xBF\xAA\xCA\xBC>";
const std::string kMaskEnd = "<\xB6\xCC\xD0\xC5\xBA\xC5\xD1\xDA\xC2\xEB\xBD\xE1\xCA\xF8>";

TEST(ParseSmsMasksTest, KeepsTrimmedLinesOfSixToTwentyBytes) {
  const std::pair<std::string, std::vector<std::string>> cases[] = {
      {kMaskBegin + "\r\n138########\r\n12345\r\n123456\r\n123456789012345678901\r\n"
                    "12345678901234567890\r\n" + kMaskEnd,
       {"138########", "123456", "12345678901234567890"}},
      // full-width spaces (A1 A1), tabs and blanks around a mask
      {kMaskBegin + "\r\n\xA1\xA1 \t139########\xA1\xA1\t \r\n" + kMaskEnd, {"139########"}},
      {kMaskBegin + "\r\n\x01\x02  @@######\r\n" + kMaskEnd, {"@@######"}},
      // bare LF line ends keep the first byte of the first mask
      {kMaskBegin + "\n150########\n151########" + kMaskEnd, {"150########", "151########"}},
      // text before and after the section is not read
      {"177########\r\n" + kMaskBegin + "\r\n" + kMaskEnd + "\r\n188########", {}},
      // the trail byte A1 of a character is not half a full-width space
      {kMaskBegin + "\r\n12345\xB0\xA1\xA1\r\n" + kMaskEnd, {"12345\xB0\xA1\xA1"}},
      {kMaskBegin + "\r\n138########\r\n", {}},              // no end marker
      {"138########\r\n" + kMaskEnd, {}},                    // no start marker
      {kMaskEnd + "\r\n138########\r\n" + kMaskBegin, {}},  // end before start
      {kMaskBegin + kMaskEnd, {}},
  };
  for (const auto& [text, expected] : cases) {
    SCOPED_TRACE(text);
    std::vector<std::string> masks = {"old"};
    EXPECT_EQ(ParseSmsMasks(text, &masks), static_cast<int>(expected.size()));
    EXPECT_EQ(masks, expected);
  }
}

}  // namespace
