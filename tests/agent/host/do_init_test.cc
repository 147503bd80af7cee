#include "agent/host/do_init.h"

#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "agent/compose/mess_channel.h"
#include "agent/host/config/settings.h"
#include "agent/host/log/daily_log.h"
#include "platform/fake_env.h"
#include "tests/gbk_text.h"
#include "tests/temp_folder.h"

namespace {

using gbk_text::Gbk;

// The log writes each LF as CR LF.
std::string AsLogged(std::string text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

class DoInitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSettings();
    env_.SetLocalTime({2026, 12, 9, 8, 0, 0, 0});
    env_.SetProgramPath(tmp_.path() + "/CSTessaly");
    g_log.SetEnv(&env_);
    g_log.SetFolder((tmp_.path() + "/").c_str(), "LOG_WC", true);
  }
  void TearDown() override {
    g_log.SetFolder("/nonexistent-qorvu/", "LOG_WC", false);
    g_log.SetEnv(platform::Env::Default());
    ResetSettings();
  }

  void WriteFile(const std::string& name, const std::string& bytes) {
    std::ofstream(tmp_.path() + "/" + name, std::ios::binary) << bytes;
  }
  std::string Log() {
    std::string data;
    env_.ReadFile(tmp_.path() + "/LOG_WC/2026_12_09.txt", 1 << 20, &data);
    return data;
  }
  std::string Folder() const { return tmp_.path() + "/"; }

  TempFolder tmp_;
  platform::FakeClockEnv env_;
};

TEST_F(DoInitTest, MissingFilesLeaveDefaultsUnadjusted) {
  EXPECT_EQ(DoInit(&env_), 1);
  const std::string stamp = "\r\r\n[08:00:00]";
  EXPECT_EQ(Log(), stamp + Folder() + "TessalyAgent.ini" + stamp + "Init end" + stamp +
                       AsLogged("Days=3\r\nMaxRec=10000\r\nLoopMinute=10\r\nSendTime= - \r\n"
                                "Days in (0,0,0,0,0)\r\nWeChat=N\r\nWeChat_Model=0\r\n"
                                "Third_sms=-1\r\nMask_sms=0\r\nMax_sms_len=20\r\n"
                                "Place_Trans=0\r\nTime_TransPack=0\r\nTime_AcArrears=0\r\n"));
  EXPECT_EQ(g_nWebDays, 0);  // 31 only when the file was read
  EXPECT_EQ(g_nSendMode, 1);
}

TEST_F(DoInitTest, ReadsAllFilesAndLogsTheSummary) {
  WriteFile("TessalyAgent.ini",
            Gbk("业务天数=7\r\n单次最大票数=5\r\n轮寻分钟数=60000\r\n每日开始发送= 08:00\r\n"
                "每日结束发送=20:00  # evening\r\n录单=1\r\n发送=2,0\r\n送达=3,1\r\n"
                "异常=4,2\r\n派件=12\r\n转发打包余额不足=15:00,9:30,9:30\r\n"
                "账户欠费通知=10:00\r\n<短信号掩码开始>\r\n138########\r\n　139########　\r\n"
                "12345\r\n<短信号掩码结束>\r\n"));
  WriteFile("WeChat_Mess.txt",
            Gbk("服务器=api.weixin.qq.com\r\n端口=443\r\n是SSL=1\r\n"
                "appid=wx1234567890abcdef\r\nsecret=0123456789abcdef0123456789abcdef\r\n"
                "<MESS_DEFINE>\r\n<NAME>签收通知</NAME>\r\n<TEMP_ID>TMPL-1</TEMP_ID>\r\n"
                "<MODEL>{{first.DATA}}</MODEL>\r\n<PARAM>\r\nfirst={运单号}#173177\r\n</PARAM>\r\n"
                "</MESS_DEFINE>\r\n"));
  WriteFile("SMS_SET_4S.txt",
            Gbk("服务器网址=sms.example.com\r\n服务器端口=80\r\n短信发送接口=/send\r\n"
                "短信发送参数=to={短信号码}&text={短信内容}\r\n短信发送成功标记=0\r\n"));
  WriteFile("Place_Trans.txt",
            "<PLACE_TANS>\r\n<D>\xE5\x8C\x97\xE4\xBA\xAC=Beijing</D>\r\n<D>HK=Hong Kong</D>\r\n"
            "</PLACE_TANS>\r\n");

  CMessChannel channel;
  EXPECT_EQ(DoInit(Folder(), &env_, channel), 1);

  const std::string stamp = "\r\r\n[08:00:00]";
  EXPECT_EQ(Log(), stamp + Folder() + "TessalyAgent.ini" + stamp + "Init end" + stamp +
                       AsLogged("Days=7\r\nMaxRec=1000\r\nLoopMinute=120\r\n"
                                "SendTime=08:00 - 20:00\r\nDays in (1,2,3,4,31)\r\nWeChat=Y\r\n"
                                "WeChat_Model=1\r\nThird_sms=1\r\nMask_sms=2\r\n"
                                "Max_sms_len=11\r\nPlace_Trans=2\r\nTime_TransPack=3\r\n"
                                "Time_AcArrears=1\r\n"));
  EXPECT_EQ(g_nSendMode, 0);
  EXPECT_EQ(g_nBearHours, 12);
  EXPECT_EQ(g_adwPackTimes, (std::vector<std::uint32_t>{93000, 93000, 150000}));
  ASSERT_NE(g_placeTrans.Find("\xB1\xB1\xBE\xA9"), nullptr);  // 北京
  EXPECT_EQ(std::u16string(g_placeTrans.Find("hk")), u"Hong Kong");
}

// Only the first 65534 bytes of a file are read: a value cut by the limit
// is read as far as it goes, and a key beyond it is not found.
TEST_F(DoInitTest, FilesAreReadUpTo65534Bytes) {
  const std::string loop = Gbk("轮寻分钟数=");
  const std::string bizDays = Gbk("\r\n业务天数=9");
  std::string ini = "#";
  ini += std::string(65532 - 2 - loop.size() - ini.size(), '.');
  ini += "\r\n" + loop + "345";  // "3" and "4" are bytes 65532 and 65533
  ASSERT_EQ(ini.find("345"), 65532u);
  ini += bizDays;
  WriteFile("TessalyAgent.ini", ini);
  WriteFile("Place_Trans.txt", "<PLACE_TANS><D>a=b</D>" + std::string(65520, ' ') +
                                   "<D>c=d</D></PLACE_TANS>");

  CMessChannel channel;
  DoInit(Folder(), &env_, channel);
  EXPECT_EQ(g_nLoopMinute, 34);
  EXPECT_EQ(g_nBizDays, 3);
  EXPECT_EQ(g_placeTrans.Count(), 0u);  // the closing tag lies beyond the limit
}

// Without a program folder the files are not looked for in whatever the
// working folder happens to be.
TEST_F(DoInitTest, EmptyProgramFolderReadsNothing) {
  WriteFile("TessalyAgent.ini", Gbk("轮寻分钟数=7\r\n"));
  env_.SetProgramPath("");
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(tmp_.path());
  EXPECT_EQ(DoInit(&env_), 1);
  std::filesystem::current_path(before);
  EXPECT_EQ(g_nLoopMinute, 10);
  EXPECT_EQ(g_nWebDays, 0);
}

}  // namespace
