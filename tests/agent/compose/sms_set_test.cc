// Reading SMS_SET_4S.txt into the channel's SMS settings.
#include <gtest/gtest.h>

#include <string>

#include "agent/compose/mess_channel.h"
#include "tests/agent/compose/compose_test_util.h"

namespace {

using compose_test::Gbk;
using compose_test::Utf8;

constexpr char kComplete[] =
    "帐号=acc01\r\n"
    "密码=pw#1  # the account key\r\n"
    "服务器网址=sms.example.com\r\n"
    "服务器端口=8080\r\n"
    "是SSL=1\r\n"
    "短信发送接口=/api/send?x=1\r\n"
    "短信发送参数=mobile={短信号码}&content={短信内容}&sign={数字签名}\r\n"
    "短信发送成功标记=0\r\n"
    "短信固定签名=【某公司】\r\n"
    "数字签名原文=\"{短信号码}{短信内容}key\"\r\n"
    "字符集编码=utf-8\r\n";

// The complete file with one line replaced (or removed when `line` is empty).
std::string With(const std::string& key, const std::string& line) {
  std::string text = kComplete;
  const std::size_t at = text.find(key);
  const std::size_t end = text.find("\r\n", at) + 2;
  text.replace(at, end - at, line.empty() ? "" : line + "\r\n");
  return text;
}

TEST(LoadSmsSetTest, CompleteSettings) {
  CMessChannel channel;
  channel.LoadSmsSet(Gbk(kComplete));
  EXPECT_EQ(channel.smsEnabled, 1);
  EXPECT_STREQ(channel.smsAccount, "acc01");
  EXPECT_STREQ(channel.smsPassword, "pw#1");
  EXPECT_STREQ(channel.smsHost, "sms.example.com");
  EXPECT_EQ(channel.smsPort, 8080);
  EXPECT_TRUE(channel.smsSsl);
  EXPECT_STREQ(channel.smsPath, "/api/send?x=1");
  EXPECT_EQ(Utf8(channel.smsParams), "mobile={短信号码}&content={短信内容}&sign={数字签名}");
  EXPECT_STREQ(channel.smsSuccessMark, "0");
  EXPECT_TRUE(channel.smsSuccessIsNumber);
  EXPECT_EQ(Utf8(channel.smsSignature), "【某公司】");
  EXPECT_EQ(Utf8(channel.smsSignSource), "{短信号码}{短信内容}key");
  EXPECT_TRUE(channel.smsUtf8);
}

TEST(LoadSmsSetTest, MissingOrUnusablePiecesLeaveSmsOff) {
  struct Case {
    const char* key;
    std::string line;
    int enabled;
  };
  const Case cases[] = {
      {"服务器网址=", "", -1},
      {"服务器网址=", "服务器网址=a.b", -1},  // below 4 characters
      {"服务器网址=", "服务器网址=" + std::string(254, 'h'), 1},
      {"服务器网址=", "服务器网址=" + std::string(255, 'h'), -1},
      {"短信发送接口=", "", -1},
      {"短信发送成功标记=", "", -1},
      {"短信发送成功标记=", "短信发送成功标记=" + std::string(31, 'k'), -1},
      {"短信发送参数=", "短信发送参数=abc", -1},
      {"短信发送参数=", "短信发送参数=" + std::string(510, 'p'), 1},
      {"短信发送参数=", "短信发送参数=" + std::string(511, 'p'), -1},
      {"服务器端口=", "", 1},  // port 80
      {"服务器端口=", "服务器端口=0", -1},
      {"服务器端口=", "服务器端口=http", -1},
      {"服务器端口=", "x 服务器端口=81", 1},  // not at a line start: port 80
      {"帐号=", "", 1},  // the generic gateway needs no account
  };
  for (const Case& c : cases) {
    CMessChannel channel;
    channel.LoadSmsSet(Gbk(With(c.key, c.line)));
    EXPECT_EQ(channel.smsEnabled, c.enabled) << c.line.substr(0, 40);
  }

  CMessChannel channel;
  channel.LoadSmsSet(Gbk(With("服务器端口=", "")));
  EXPECT_EQ(channel.smsPort, 80);
  channel.LoadSmsSet("");
  EXPECT_EQ(channel.smsEnabled, -1);
  EXPECT_STREQ(channel.smsHost, "");
  EXPECT_FALSE(channel.smsSsl);
}

TEST(LoadSmsSetTest, FieldBoundsAndFlags) {
  CMessChannel channel;
  std::string text = With("短信固定签名=", "短信固定签名=" + std::string(31, 's'));
  const std::string account = "帐号=acc01";
  text.replace(text.find(account), account.size(), "帐号=" + std::string(64, 'a'));
  channel.LoadSmsSet(Gbk(text));
  EXPECT_EQ(channel.smsEnabled, 1);
  EXPECT_STREQ(channel.smsSignature, "");  // 31 characters: absent
  EXPECT_STREQ(channel.smsAccount, "");    // 64 characters: absent

  channel.LoadSmsSet(Gbk(With("短信发送成功标记=", "短信发送成功标记=OK")));
  EXPECT_FALSE(channel.smsSuccessIsNumber);
  channel.LoadSmsSet(Gbk(With("字符集编码=", "字符集编码=GBK")));
  EXPECT_FALSE(channel.smsUtf8);
  channel.LoadSmsSet(Gbk(With("字符集编码=", "# 字符集编码=Utf-8 anywhere counts")));
  EXPECT_TRUE(channel.smsUtf8);
  channel.LoadSmsSet(Gbk(With("是SSL=", "是SSL=2")));
  EXPECT_FALSE(channel.smsSsl);
}

}  // namespace
