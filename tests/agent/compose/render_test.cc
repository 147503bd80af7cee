// Rendering the parameter texts of a model with a record's value list.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "agent/compose/render.h"
#include "tests/agent/compose/compose_test_util.h"

namespace {

using compose_test::Gbk;
using compose_test::Utf8;

MessModel ModelWith(const std::vector<std::string>& texts) {
  MessModel model;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    MessModelParam p;
    CopyField(p.name, "p" + std::to_string(i));
    CopyField(p.text, Gbk(texts[i]));
    model.params.push_back(p);
  }
  return model;
}

MessRecord RecordWith(int type, const std::string& valueList) {
  MessRecord record;
  record.type = type;
  CopyField(record.param, Gbk(valueList));
  return record;
}

// One value list of n pieces ("v0|v1|...|" has n - 1 values and the empty last piece).
std::string Values(int n) {
  std::string list;
  for (int i = 0; i + 1 < n; ++i) list += "v" + std::to_string(i) + "|";
  return list;
}

struct RenderCase {
  int type;
  std::string valueList;
  std::string text;      // parameter text (UTF-8 here, GBK in the model)
  std::string expected;  // rendered value (UTF-8)
};

TEST(RenderValuesTest, VariablesOfTheRecordsType) {
  const RenderCase cases[] = {
      {3, "A1|B2|03-05|上海|张三|超时|C001|某公司|北京|", "{运单号}({转单号})于{收件日期}{状态}",
       "A1(B2)于03-05超时"},
      {2, "A1|B2|03-05|上海|张三|03-06|10:30||C001|某公司|北京|", "{签收人}已签收", "已签收"},
      {2, Values(11), "感谢使用", "感谢使用"},
      {2, Values(11), "{运单号}{运单号} { 运单号 }{运单号", "v0v0 { 运单号 }{运单号"},
      {18, Values(9), "{收件人}", "{收件人}"},  // a variable of other types
      {22, Values(13), "{下一站点}", "v10"},
      {23, Values(12), "{下一站点}", "{下一站点}"},
      {20, Values(7), "{客户名称}:{结算余额}", "v5:v2"},  // shares the list of type 6
      {1, Values(21), "{出发地}/{运单号}", "v19/v0"},
      // A value holding a later variable is replaced when that variable's turn
      // comes; an earlier one stays.
      {0, "{收件人}|x|y|Z|{运单号}|5|6|7|8|", "{运单号}+{目的地}", "Z+{运单号}"},
      // Pieces over 510 bytes leave the list, the later ones move up.
      {17, std::string(511, 'L') + "|a|b|c|d|", "{日期}{OpenID}", "ab"},
      // The second byte of 東 (0x96 0x7C) is no separator.
      {17, "東|a|b|", "{日期}{OpenID}{昵称}", "東ab"},
  };
  for (const RenderCase& c : cases) {
    const MessModel model = ModelWith({c.text});
    const MessRecord record = RecordWith(c.type, c.valueList);
    std::vector<MessValue> out;
    ASSERT_EQ(RenderValues(record, model, out), 1) << c.text;
    EXPECT_STREQ(out[0].name, "p0");
    EXPECT_EQ(Utf8(out[0].value), c.expected) << c.text << " type " << c.type;
  }
}

TEST(RenderValuesTest, TooFewPiecesAndEmptyModels) {
  std::vector<MessValue> out;
  const MessModel two = ModelWith({"{运单号}", "x"});
  // Type 1 needs 20 pieces: 19 values and the final "|" make it.
  EXPECT_EQ(RenderValues(RecordWith(1, Values(20)), two, out), 2);
  out.clear();
  EXPECT_EQ(RenderValues(RecordWith(1, Values(19)), two, out), -1);
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(RenderValues(RecordWith(17, ""), two, out), -1);
  EXPECT_EQ(RenderValues(RecordWith(17, "a|b|c|d|"), MessModel{}, out), 0);

  // A type outside the table has no variables and no minimum.
  EXPECT_EQ(RenderValues(RecordWith(99, ""), two, out), 2);
  EXPECT_EQ(Utf8(out[0].value), "{运单号}");
}

TEST(RenderValuesTest, ResultOverFiveHundredElevenBytesIsCutAtACharacterBoundary) {
  const std::string piece509 = std::string(509, 'a');
  struct Case {
    std::string piece;  // GBK bytes of {运单号} for type 17's {日期}
    std::string text;   // parameter text, GBK
    std::string expected;
  };
  const std::string zh = Gbk("中");
  const std::string ref = "&#20013;";
  const std::string day = Gbk("{日期}");
  const Case cases[] = {
      // Two bytes left for a two-byte character: kept.
      {piece509, day + zh + "x", piece509 + zh},
      // One byte left: the character is dropped whole.
      {std::string(510, 'a'), day + zh, std::string(510, 'a')},
      // A reference that would cross byte 511 is dropped whole.
      {std::string(505, 'a'), day + ref, std::string(505, 'a')},
      {std::string(503, 'a'), day + ref + "z", std::string(503, 'a') + ref},
      // Many long values: cut, never past the buffer.
      {std::string(510, 'q'), day + day + day + day, std::string(511, 'q')},
  };
  for (const Case& c : cases) {
    MessModel model;
    MessModelParam p;
    CopyField(p.name, "first");
    CopyField(p.text, c.text);
    model.params.push_back(p);
    MessRecord record;
    record.type = 17;
    CopyField(record.param, c.piece + "|b|c|d|");
    std::vector<MessValue> out;
    ASSERT_EQ(RenderValues(record, model, out), 1);
    EXPECT_EQ(std::string(out[0].value), c.expected) << c.text.size();
  }
}

}  // namespace
