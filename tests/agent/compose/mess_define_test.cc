// Reading WeChat_Mess.txt: settings, model blocks, parameter lines, the
// accepted models' log, and the recipient tests that depend on the settings.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "agent/compose/mess_channel.h"
#include "agent/compose/mess_types.h"
#include "agent/host/log/daily_log.h"
#include "tests/agent/compose/compose_test_util.h"
#include "tests/temp_folder.h"

namespace {

using compose_test::Block;
using compose_test::Gbk;
using compose_test::MessDefineFile;
using compose_test::Utf8;

constexpr char kSignBody[] = "{{first.DATA}}\r\n运单号：{{keyword1.DATA}}\r\n{{remark.DATA}}";
constexpr char kSignParams[] =
    "first={客户名称}您好#FF0000\r\n"
    "keyword1={运单号}\r\n"
    "remark=No.#12\r\n"
    "=nameless\r\n"
    "abcdefghijklmnopqrstuvwxyz012345=name of 32 characters\r\n"
    "abcdefghijklmnopqrstuvwxyz01234=name of 31 characters\r\n"
    "no equals sign here";

// Every test logs into its own LOG_WC folder.
class MessDefineTest : public ::testing::Test {
 protected:
  void SetUp() override { g_log.SetFolder((folder_.path() + "/").c_str(), "LOG_WC", true); }
  void TearDown() override { g_log.SetFolder("/nonexistent-qorvu/", "LOG_WC", false); }

  // Everything logged under _WCInit (one monthly file).
  std::string ModelLog() const {
    std::string all;
    for (const auto& entry : std::filesystem::directory_iterator(folder_.path() + "/LOG_WC")) {
      if (entry.path().filename().string().rfind("_WCInit_", 0) != 0) continue;
      std::ifstream in(entry.path(), std::ios::binary);
      std::stringstream s;
      s << in.rdbuf();
      all += s.str();
    }
    return all;
  }

  TempFolder folder_;
};

TEST_F(MessDefineTest, ReadsSettingsModelAndParameterLines) {
  CMessChannel channel;
  const std::string file = Gbk(MessDefineFile(
      Block("签收通知", kSignBody, kSignParams, "TMPL-SIGN", "https://q.example/t"),
      "OpenID前缀=oAbC\r\n"));
  ASSERT_TRUE(channel.LoadMessDefine(file));

  EXPECT_TRUE(channel.valid);
  EXPECT_STREQ(channel.host, "api.weixin.qq.com");
  EXPECT_EQ(channel.port, 443);
  EXPECT_TRUE(channel.ssl);
  EXPECT_STREQ(channel.appid, "wx1234567890abcdef");
  EXPECT_STREQ(channel.secret, "0123456789abcdef0123456789abcdef");
  EXPECT_STREQ(channel.openIdPrefix, "oAbC");

  ASSERT_EQ(channel.ModelCount(), 1u);
  const MessModel* model = channel.FindModel(2);
  ASSERT_NE(model, nullptr);
  EXPECT_EQ(channel.FindModel(3), nullptr);
  EXPECT_STREQ(model->templateId, "TMPL-SIGN");
  EXPECT_STREQ(model->url, "https://q.example/t");
  EXPECT_EQ(Utf8(model->body), kSignBody);

  // A colour is cut off the text; "#12" is no colour; a line starting with
  // "=", one with a 32-character name and one without "=" are skipped.
  ASSERT_EQ(model->params.size(), 4u);
  EXPECT_STREQ(model->params[0].name, "first");
  EXPECT_EQ(Utf8(model->params[0].text), "{客户名称}您好");
  EXPECT_STREQ(model->params[0].color, "#FF0000");
  EXPECT_STREQ(model->params[1].name, "keyword1");
  EXPECT_STREQ(model->params[1].color, "");
  EXPECT_STREQ(model->params[2].text, "No.#12");
  EXPECT_STREQ(model->params[2].color, "");
  EXPECT_STREQ(model->params[3].name, "abcdefghijklmnopqrstuvwxyz01234");

  EXPECT_NE(ModelLog().find(Gbk("签收通知")), std::string::npos);
}

TEST_F(MessDefineTest, Utf16FileWithByteOrderMarkIsReadAsGbk) {
  // "é" (U+00E9) has no GBK form: it stays in the body as a reference.
  const std::string utf8 =
      MessDefineFile(Block("异常通知", "{{first.DATA}} café {{remark.DATA}}", "first={运单号}\r\nremark=谢谢"));
  const std::string utf16 = compose_test::Convert(utf8, "UTF-16LE", "UTF-8");
  const std::string file = std::string("\xFF\xFE", 2) + utf16;

  CMessChannel channel;
  ASSERT_TRUE(channel.LoadMessDefine(file));
  EXPECT_EQ(channel.port, 443);
  const MessModel* model = channel.FindModel(3);
  ASSERT_NE(model, nullptr);
  EXPECT_EQ(std::string(model->body), Gbk("{{first.DATA}} caf") + "&#233;" + " {{remark.DATA}}");
  ASSERT_EQ(model->params.size(), 2u);
  EXPECT_EQ(std::string(model->params[1].text), Gbk("谢谢"));
  EXPECT_NE(ModelLog().find(Gbk("异常通知")), std::string::npos);
}

TEST_F(MessDefineTest, Utf8FileKeepsSettingsButDropsEveryChineseName) {
  const std::string file = MessDefineFile(Block("签收通知", kSignBody, kSignParams));
  for (const std::string& text : {file, "\xEF\xBB\xBF" + file}) {
    CMessChannel channel;
    EXPECT_TRUE(channel.LoadMessDefine(text));
    EXPECT_STREQ(channel.appid, "wx1234567890abcdef");
    EXPECT_EQ(channel.ModelCount(), 0u);
  }
  EXPECT_EQ(ModelLog(), "");
}

TEST_F(MessDefineTest, WithoutAppIdOrSecretNoModelIsLoaded) {
  const std::string blocks = Block("签收通知", kSignBody, kSignParams);
  CMessChannel channel;
  EXPECT_FALSE(channel.LoadMessDefine(Gbk("appid=wx1\r\n" + blocks)));
  EXPECT_FALSE(channel.valid);
  EXPECT_EQ(channel.ModelCount(), 0u);
  EXPECT_FALSE(channel.LoadMessDefine(""));
  EXPECT_EQ(channel.FindModel(2), nullptr);
}

TEST_F(MessDefineTest, FirstBlockOfANameIsUsedAndBothAreCounted) {
  CMessChannel channel;
  ASSERT_TRUE(channel.LoadMessDefine(Gbk(MessDefineFile(
      Block("签收通知", kSignBody, kSignParams, "FIRST") +
      Block("签收通知", kSignBody, kSignParams, "SECOND")))));
  EXPECT_EQ(channel.ModelCount(), 2u);
  EXPECT_STREQ(channel.FindModel(2)->templateId, "FIRST");

  // Loading again replaces what was there.
  ASSERT_TRUE(channel.LoadMessDefine(Gbk(MessDefineFile(""))));
  EXPECT_EQ(channel.ModelCount(), 0u);
}

TEST_F(MessDefineTest, NameElementForms) {
  struct Case {
    const char* nameElement;  // the whole NAME element as written
    int type;                 // -1: block dropped
  };
  const Case cases[] = {
      {"<NAME>签收通知 </NAME>", 2},
      {"<NAME><b>签收通知</b></NAME>", 2},
      {"<NAME>　签收通知　</NAME>", 2},
      {"<NAME> <![CDATA[签收通知]]> </NAME>", 2},
      {"<NAME lang=\"zh>cn\">签收通知</NAME>", 2},
      {"<NAME>签收<!-- note -->通知</NAME>", 2},
      {"<NAME>签收 通知</NAME>", -1},
      {"<NAME>签收通告</NAME>", -1},
      {"<NAME></NAME>", -1},
      {"<NAME>签收通知", -1},
      // Raw content over 60 bytes empties the name, even when the text is short.
      {"<NAME>签收通知<!--12345678901234567890123456789012345678901234567890--></NAME>", -1},
  };
  for (const Case& c : cases) {
    std::string block = Block("X", kSignBody, kSignParams);
    block.replace(block.find("<NAME>X</NAME>"), 14, c.nameElement);
    CMessChannel channel;
    ASSERT_TRUE(channel.LoadMessDefine(Gbk(MessDefineFile(block)))) << c.nameElement;
    if (c.type < 0) {
      EXPECT_EQ(channel.ModelCount(), 0u) << c.nameElement;
    } else {
      ASSERT_EQ(channel.ModelCount(), 1u) << c.nameElement;
      EXPECT_EQ(channel.Models()[0].type, c.type) << c.nameElement;
    }
  }
}

TEST_F(MessDefineTest, BlockRequirements) {
  const std::string params = "first={运单号}";
  const std::string body10 = "0123456789";
  struct Case {
    std::string block;
    bool kept;
  };
  const std::string longId(64, 'T');
  const Case cases[] = {
      {Block("签收通知", body10, params), true},
      {Block("签收通知", "012345678", params), false},                   // body of 9
      {Block("签收通知", "  \r\n　012345678　\t", params), false},       // 9 after trimming
      {Block("签收通知", std::string(2046, 'b'), params), true},
      {Block("签收通知", std::string(2047, 'b'), params), false},
      {Block("签收通知", body10, params, std::string(63, 'T')), true},
      {Block("签收通知", body10, params, longId), false},                // TEMP_ID over 63
      {Block("签收通知", body10, params, ""), false},
      {Block("签收通知", body10, "no parameter line"), false},
      {"<MESS_DEFINE><NAME>签收通知</NAME><TEMP_ID>T</TEMP_ID><MODEL>0123456789</MODEL>"
       "</MESS_DEFINE>", false},                                          // no PARAM
      {"<MESS_DEFINE><NAME>签收通知</NAME><TEMP_ID>T</TEMP_ID><MODEL>0123456789"
       "<PARAM>a=b</PARAM></MESS_DEFINE>", false},                        // MODEL unclosed
      {"<MESS_DEFINE><NAME>签收通知</NAME><TEMP_ID>T</TEMP_ID><MODEL>0123456789</MODEL>"
       "<PARAM>a=b</MESS_DEFINE>", false},                                // PARAM unclosed
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    CMessChannel channel;
    ASSERT_TRUE(channel.LoadMessDefine(Gbk(MessDefineFile(cases[i].block))));
    EXPECT_EQ(channel.ModelCount(), cases[i].kept ? 1u : 0u) << "case " << i;
  }

  // A URL over 255 bytes leaves the model without one; the body is trimmed.
  CMessChannel channel;
  ASSERT_TRUE(channel.LoadMessDefine(
      Gbk(MessDefineFile(Block("签收通知", "　 0123456789 \r\n", params, "T", std::string(256, 'u'))))));
  ASSERT_EQ(channel.ModelCount(), 1u);
  EXPECT_STREQ(channel.Models()[0].url, "");
  EXPECT_STREQ(channel.Models()[0].body, "0123456789");

  // A start tag without its closing tag ends the scan.
  std::string unclosed = Block("异常通知", body10, params);
  unclosed.erase(unclosed.find("</MESS_DEFINE>"));
  ASSERT_TRUE(channel.LoadMessDefine(
      Gbk(MessDefineFile(Block("签收通知", body10, params) + unclosed + Block("收件通知", body10, params)))));
  EXPECT_EQ(channel.ModelCount(), 2u);
  EXPECT_NE(channel.FindModel(2), nullptr);
  ASSERT_TRUE(channel.LoadMessDefine(
      Gbk(MessDefineFile(Block("签收通知", body10, params) + unclosed))));
  EXPECT_EQ(channel.ModelCount(), 1u);
}

TEST_F(MessDefineTest, ParameterTextLimitAndMarkup) {
  const std::string params = "a=" + std::string(510, 'x') + "\r\nb=" + std::string(511, 'x') +
                             "\r\n\t  c = <b>{运单号}</b>&amp;&lt;1&gt; \r\nd=#00ff7F";
  CMessChannel channel;
  ASSERT_TRUE(channel.LoadMessDefine(Gbk(MessDefineFile(Block("签收通知", "0123456789", params)))));
  const MessModel& model = channel.Models().at(0);
  ASSERT_EQ(model.params.size(), 3u);
  EXPECT_EQ(std::string(model.params[0].text).size(), 510u);
  EXPECT_STREQ(model.params[1].name, "c ");
  EXPECT_EQ(Utf8(model.params[1].text), " {运单号} &<1>");
  EXPECT_STREQ(model.params[2].text, "");
  EXPECT_STREQ(model.params[2].color, "#00ff7F");
}

TEST(MessRecipientTest, OpenIdTestAndPick) {
  CMessChannel channel;
  const std::string openId = compose_test::kOpenId;  // 28 characters
  EXPECT_TRUE(channel.IsOpenId(openId));
  EXPECT_FALSE(channel.IsOpenId(openId.substr(1)));
  EXPECT_FALSE(channel.IsOpenId(openId + "1"));

  ASSERT_TRUE(channel.LoadMessDefine(Gbk(MessDefineFile("", "OpenID前缀=oXyZ\r\n"))));
  EXPECT_FALSE(channel.IsOpenId(openId));  // 28 characters, other prefix: a mobile number
  const std::string prefixed = "oXyZ" + openId.substr(4);
  EXPECT_TRUE(channel.IsOpenId(prefixed));

  char out[32] = "stale";
  EXPECT_TRUE(channel.PickOpenId(openId, prefixed, out));
  EXPECT_EQ(out, prefixed);
  EXPECT_TRUE(channel.PickOpenId(prefixed, "13800000000", out));
  EXPECT_EQ(out, prefixed);
  EXPECT_FALSE(channel.PickOpenId("13800000000", openId, out));
  EXPECT_STREQ(out, "");
}

TEST(MessTypesTest, NamesAndMinimumPieces) {
  EXPECT_EQ(Utf8(TypeName(0)), "收件通知");
  EXPECT_EQ(Utf8(TypeName(24)), "扫描派送通知");
  EXPECT_STREQ(TypeName(-1), "");
  EXPECT_STREQ(TypeName(25), "");
  EXPECT_EQ(TypeMinPieces(1), 20);
  EXPECT_EQ(TypeMinPieces(17), 4);
  EXPECT_EQ(TypeMinPieces(25), 0);
  for (int type = 0; type < kMessTypeCount; ++type) EXPECT_EQ(TypeFromName(TypeName(type)), type);
  EXPECT_EQ(TypeFromName(""), -1);
}

}  // namespace
