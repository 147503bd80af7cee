// Composing a queued record: the WeChat template-message JSON (checked with
// python3's json module), the GBK message text, the UTF-8 SMS text, and the
// failures that land in record.result.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "agent/compose/mess_channel.h"
#include "tests/agent/compose/compose_test_util.h"
#include "tests/temp_folder.h"

namespace {

using compose_test::Block;
using compose_test::Gbk;
using compose_test::kOpenId;
using compose_test::MessDefineFile;
using compose_test::Utf8;

// The JSON text as python3's json module reads it, written back compactly
// with sorted keys; "PARSE ERROR..." when the module refuses it.
std::string ParseWithPython(const std::string& json) {
  TempFolder folder;
  const std::string path = folder.path() + "/body.json";
  std::ofstream(path, std::ios::binary) << json;
  const std::string command =
      "python3 -c 'import json,sys\n"
      "try:\n"
      "  d=json.load(open(sys.argv[1],encoding=\"utf-8\"))\n"
      "  print(json.dumps(d,ensure_ascii=False,sort_keys=True,separators=(\",\",\":\")),end=\"\")\n"
      "except Exception as e:\n"
      "  print(\"PARSE ERROR\",e,end=\"\")' " +
      path;
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  if (!pipe) return "popen failed";
  std::string out;
  char buf[4096];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, pipe.get())) > 0;) out.append(buf, n);
  return out;
}

constexpr char kBody[] = "{{first.DATA}}\r\n单号：{{keyword1.DATA}}\r\n{{remark.DATA}}";
constexpr char kParams[] =
    "first={客户名称}您好#FF0000\r\n"
    "keyword1={运单号}\r\n"
    "remark=详见 http://q.example/\"x\"\\{签收人}";
// Type 2 values: number, transfer no., date, destination, receiver, sign
// date, sign time, signer, account, customer, origin.
constexpr char kValues[] = "SF1001|T9|03-05|上海|张三|03-06|10:30|李四|C001|某公司|北京|";

class MadeJsMessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(channel_.LoadMessDefine(
        Gbk(MessDefineFile(Block("签收通知", kBody, kParams, "TMPL-SIGN", "https://m.example/d")))));
  }

  MessRecord Record(const std::string& recipient, const std::string& values = kValues) const {
    MessRecord record;
    record.type = 2;
    CopyField(record.openId, recipient);
    CopyField(record.param, Gbk(values));
    return record;
  }

  CMessChannel channel_;
};

TEST_F(MadeJsMessTest, WeChatRecipientGetsTemplateJsonAndGbkText) {
  MessRecord record = Record(kOpenId);
  ASSERT_EQ(channel_.MadeJsMess(record), 1) << Utf8(record.result);

  EXPECT_EQ(ParseWithPython(record.param),
            std::string("{\"data\":{"
                        "\"first\":{\"color\":\"#FF0000\",\"value\":\"某公司您好\"},"
                        "\"keyword1\":{\"color\":\"\",\"value\":\"SF1001\"},"
                        "\"remark\":{\"color\":\"\",\"value\":\"详见 http://q.example/\\\"x\\\"\\\\李四\"}},"
                        "\"template_id\":\"TMPL-SIGN\",\"touser\":\"") +
                kOpenId + "\",\"url\":\"https://m.example/d\"}");
  // Members in their fixed order, slashes escaped as the WeChat side expects.
  const std::string json = record.param;
  EXPECT_EQ(json.rfind(std::string("{\"touser\":\"") + kOpenId + "\",\"template_id\":\"TMPL-SIGN\",\"url\":", 0), 0u);
  EXPECT_NE(json.find("https:\\u002F\\u002Fm.example"), std::string::npos);
  EXPECT_EQ(json.substr(json.size() - 2), "}}");

  EXPECT_EQ(Utf8(record.text), "某公司您好\r\n单号：SF1001\r\n详见 http://q.example/\"x\"\\李四");
}

TEST_F(MadeJsMessTest, UrlOfTheRecordOrTheModelOrNone) {
  MessRecord record = Record(kOpenId);
  CopyField(record.url, "https://own.example/1");
  ASSERT_EQ(channel_.MadeJsMess(record), 1);
  EXPECT_NE(ParseWithPython(record.param).find("\"url\":\"https://own.example/1\""), std::string::npos);

  CMessChannel noUrl;
  ASSERT_TRUE(noUrl.LoadMessDefine(Gbk(MessDefineFile(Block("签收通知", kBody, kParams)))));
  record = Record(kOpenId);
  ASSERT_EQ(noUrl.MadeJsMess(record), 1);
  const std::string parsed = ParseWithPython(record.param);
  EXPECT_EQ(parsed.find("PARSE ERROR"), std::string::npos) << parsed;
  EXPECT_EQ(parsed.find("\"url\""), std::string::npos);
}

TEST_F(MadeJsMessTest, MobileRecipientGetsUtf8SmsTextAndNoJson) {
  CMessChannel channel;
  ASSERT_TRUE(channel.LoadMessDefine(Gbk(MessDefineFile(
      Block("签收通知", "您的快件{{keyword1.DATA}}已由{{remark.DATA}}签收&#233;&#x4E2D;", kParams)))));
  MessRecord record = Record("13800000000", "SF1001|T9|03-05|上海|张三|03-06|10:30|李&#8364;四|C|某|北|");
  ASSERT_EQ(channel.MadeJsMess(record), 1);
  EXPECT_STREQ(record.param, "");
  EXPECT_EQ(std::string(record.text),
            "您的快件SF1001已由详见 http://q.example/\"x\"\\李€四签收é中");
}

TEST_F(MadeJsMessTest, UnusualParameterNamesStillGiveValidJson) {
  CMessChannel channel;
  ASSERT_TRUE(channel.LoadMessDefine(Gbk(MessDefineFile(
      Block("签收通知", "{{a\"b.DATA}} {{名称.DATA}}", "a\"b={运单号}\r\n名称={签收人}")))));
  MessRecord record = Record(kOpenId);
  ASSERT_EQ(channel.MadeJsMess(record), 1);
  const std::string parsed = ParseWithPython(record.param);
  EXPECT_NE(parsed.find("\"a\\\"b\":{\"color\":\"\",\"value\":\"SF1001\"}"), std::string::npos) << parsed;
  EXPECT_NE(parsed.find("\"名称\":{\"color\":\"\",\"value\":\"李四\"}"), std::string::npos) << parsed;
  EXPECT_EQ(Utf8(record.text), "SF1001 李四");
}

TEST_F(MadeJsMessTest, FailuresNameTheirReason) {
  MessRecord record = Record(kOpenId);
  record.type = 3;
  EXPECT_EQ(channel_.MadeJsMess(record), 0);
  EXPECT_EQ(Utf8(record.result), "无模板定义!");
  EXPECT_EQ(Utf8(record.param), kValues);  // untouched, for the send loop's log

  record = Record("13800000000", "SF1001|T9|03-05|");
  EXPECT_EQ(channel_.MadeJsMess(record), 0);
  EXPECT_EQ(Utf8(record.result), "未能解析出变量!");

  CMessChannel empty;
  record = Record(kOpenId);
  EXPECT_EQ(empty.MadeJsMess(record), 0);
  EXPECT_EQ(Utf8(record.result), "无模板定义!");
}

TEST_F(MadeJsMessTest, ResultsTooLongForTheirFieldsFailWholly) {
  // Ten parameters of 500 slashes: each slash takes six bytes in JSON.
  std::string params;
  for (int i = 0; i < 10; ++i) params += "k" + std::to_string(i) + "=" + std::string(500, '/') + "\r\n";
  // A value of 511 bytes (500 + an 11-byte number) placed n times into the text.
  const std::string paramT = "t=" + std::string(500, 'w') + "{运单号}";
  auto placeholders = [](int n) {
    std::string body;
    for (int i = 0; i < n; ++i) body += "{{t.DATA}}";
    return body;
  };
  CMessChannel channel;
  ASSERT_TRUE(channel.LoadMessDefine(Gbk(MessDefineFile(
      Block("签收通知", "0123456789", params) + Block("异常通知", placeholders(9), paramT) +
      Block("收件通知", placeholders(8), paramT)))));

  MessRecord record = Record(kOpenId);
  EXPECT_EQ(channel.MadeJsMess(record), 0);
  EXPECT_EQ(Utf8(record.result), "模板消息JSON超长!");
  EXPECT_STREQ(record.param, "");
  EXPECT_STREQ(record.text, "");

  const std::string values = "nnnnnnnnnnn|b|c|d|e|f|g|h|i|";
  for (const char* recipient : {kOpenId, "13800000000"}) {
    record = Record(recipient, values);
    record.type = 3;  // nine copies: 4599 bytes
    EXPECT_EQ(channel.MadeJsMess(record), 0) << recipient;
    EXPECT_EQ(Utf8(record.result), "消息文本超长!") << recipient;
    EXPECT_STREQ(record.text, "");

    record = Record(recipient, values);
    record.type = 0;  // eight copies: 4088 bytes fit
    EXPECT_EQ(channel.MadeJsMess(record), 1) << recipient;
    EXPECT_EQ(std::string(record.text).size(), 8u * 511) << recipient;
  }
}

}  // namespace
