#include "agent/host/config/agent_ini.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "agent/host/config/settings.h"

namespace {

// The keys of TessalyAgent.ini in GBK.
const std::string kBizDays = "\xD2\xB5\xCE\xF1\xCC\xEC\xCA\xFD=";                    // 业务天数=
const std::string kMaxRec = "\xB5\xA5\xB4\xCE\xD7\xEE\xB4\xF3\xC6\xB1\xCA\xFD=";      // 单次最大票数=
const std::string kLoopMinute = "\xC2\xD6\xD1\xB0\xB7\xD6\xD6\xD3\xCA\xFD=";         // 轮寻分钟数=
const std::string kSendBegin = "\xC3\xBF\xC8\xD5\xBF\xAA\xCA\xBC\xB7\xA2\xCB\xCD=";  // 每日开始发送=
const std::string kSendEnd = "\xC3\xBF\xC8\xD5\xBD\xE1\xCA\xF8\xB7\xA2\xCB\xCD=";    // 每日结束发送=
const std::string kTake = "\xC2\xBC\xB5\xA5=";   // 录单=
const std::string kSend = "\xB7\xA2\xCB\xCD=";   // 发送=
const std::string kSign = "\xCB\xCD\xB4\xEF=";   // 送达=
const std::string kError = "\xD2\xEC\xB3\xA3=";  // 异常=
const std::string kWeb = "\xC9\xCF\xCD\xF8=";    // 上网=
const std::string kBear = "\xC5\xC9\xBC\xFE=";   // 派件=
const std::string kPack = "\xD7\xAA\xB7\xA2\xB4\xF2\xB0\xFC\xD3\xE0\xB6\xEE\xB2\xBB\xD7\xE3=";  // 转发打包余额不足=
const std::string kArrears = "\xD5\xCB\xBB\xA7\xC7\xB7\xB7\xD1\xCD\xA8\xD6\xAA=";  // 账户欠费通知=
const std::string kMaskBegin = "<\xB6\xCC\xD0\xC5\xBA\xC5\xD1\xDA\xC2\xEB\xBF\xAA\xCA\xBC>";  // <短信号掩码开始>
const std::string kMaskEnd = "<\xB6\xCC\xD0\xC5\xBA\xC5\xD1\xDA\xC2\xEB\xBD\xE1\xCA\xF8>";    // <短信号掩码结束>

class AgentIniTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetSettings(); }
  void TearDown() override { ResetSettings(); }
};

struct NumberCase {
  std::string ini;
  int* setting;
  int expected;
};

TEST_F(AgentIniTest, NumbersTakeDefaultsAndAdjustments) {
  const NumberCase cases[] = {
      // an empty file: defaults, adjusted; the network look-back becomes 31
      {"", &g_nBizDays, 3},
      {"", &g_nMaxRec, 10000},
      {"", &g_nLoopMinute, 10},
      {"", &g_nWebDays, 31},
      {"", &g_nSendMode, 1},
      {kBizDays + "1", &g_nBizDays, 2},
      {kBizDays + "91", &g_nBizDays, 90},
      {kBizDays + "90", &g_nBizDays, 90},
      {kMaxRec + "5", &g_nMaxRec, 1000},
      {kMaxRec + "10", &g_nMaxRec, 10},
      {kMaxRec + "60000", &g_nMaxRec, 50000},
      {kMaxRec + "abc", &g_nMaxRec, 1000},
      {kLoopMinute + "0", &g_nLoopMinute, 1},
      {kLoopMinute + "-4", &g_nLoopMinute, 1},
      {kLoopMinute + "50000", &g_nLoopMinute, 50000},
      {kLoopMinute + "60000", &g_nLoopMinute, 120},
      {kLoopMinute + "99999999999999", &g_nLoopMinute, 120},
      {kLoopMinute + "15min", &g_nLoopMinute, 15},
      {kLoopMinute + "'20'", &g_nLoopMinute, 20},
      // a key inside a line is not a key; one at a later line start is
      {"x " + kLoopMinute + "5", &g_nLoopMinute, 10},
      {"x " + kLoopMinute + "5\r\n" + kLoopMinute + "7", &g_nLoopMinute, 7},
      {kLoopMinute + "5  #", &g_nLoopMinute, 5},
      {kLoopMinute + "5\t#", &g_nLoopMinute, 5},
      {kLoopMinute + "5 #5", &g_nLoopMinute, 5},
      // per-event keys: days always, mode only when a mark is found
      {kError + "5,2", &g_nErrorDays, 5},
      {kError + "5,2", &g_nErrorMode, 2},
      {kError + ",1", &g_nErrorDays, 0},
      {kError + ",1", &g_nErrorMode, 1},
      {kSend + "3", &g_nSendDays, 3},
      {kSend + "3", &g_nSendMode, 1},
      {kSend + "3,0", &g_nSendMode, 0},
      {kSend + "3,2", &g_nSendMode, 2},
      {kSend + "3,1", &g_nSendMode, 1},
      {kTake + "2,1", &g_nTakeMode, 1},
      {kTake + "2,0", &g_nTakeMode, 0},
      {kSign + "4,2", &g_nSignDays, 4},
      {kSign + "4,2", &g_nSignMode, 2},
      {kWeb + "0", &g_nWebDays, 31},
      {kWeb + "-2,1", &g_nWebDays, 31},
      {kWeb + "7,1", &g_nWebDays, 7},
      {kWeb + "7,1", &g_nWebMode, 1},
      {kBear + "12,2", &g_nBearHours, 12},
      {kBear + "12,2", &g_nBearMode, 2},
      // a per-event value longer than 30 bytes counts as absent
      {kError + "5,2" + std::string(28, ' ') + "x", &g_nErrorDays, 0},
      {kError + "5,2" + std::string(28, ' ') + "x", &g_nErrorMode, 0},
  };
  for (const NumberCase& c : cases) {
    SCOPED_TRACE(c.ini);
    ResetSettings();
    ApplyAgentIni(c.ini);
    EXPECT_EQ(*c.setting, c.expected);
  }
}

TEST_F(AgentIniTest, SendWindowTakesOnlyFiveCharacterClockTexts) {
  const std::pair<std::string, std::string> cases[] = {
      {kSendBegin + "08:00", "08:00"},
      {kSendBegin + " 08:00", "08:00"},
      {kSendBegin + "\"08:00\"", "08:00"},
      {kSendBegin + "08:00  # morning", "08:00"},
      {kSendBegin + "08:00 # morning", ""},  // "08:00 # morning" is the value
      {kSendBegin + "8:00", ""},
      {kSendBegin + "08:00:00", ""},
      {kSendBegin + "08.00", ""},
      {kSendBegin + "0800x", ""},
  };
  for (const auto& [ini, expected] : cases) {
    SCOPED_TRACE(ini);
    ResetSettings();
    ApplyAgentIni(ini + "\r\n" + kSendEnd + "20:30");
    EXPECT_STREQ(g_szSendBegin, expected.c_str());
    EXPECT_STREQ(g_szSendEnd, "20:30");
  }
}

TEST_F(AgentIniTest, TimeListsAndMasks) {
  ApplyAgentIni(kPack + "15:00,9:30,9:30\r\n" + kArrears + "8\r\n" + kMaskBegin +
                "\r\n138########\r\n12345\r\n123456789012345678901\r\n" + kMaskEnd + "\r\n");
  EXPECT_EQ(g_adwPackTimes, (std::vector<std::uint32_t>{93000, 93000, 150000}));
  EXPECT_EQ(g_adwArrearsTimes, (std::vector<std::uint32_t>{80000}));
  EXPECT_EQ(g_astrSmsMasks, (std::vector<std::string>{"138########"}));
  EXPECT_EQ(g_nSmsMaxLen, 11);

  ResetSettings();
  ApplyAgentIni(kMaskBegin + "\r\n13#######\r\n00852@@@@@@@@@@\r\n" + kMaskEnd);
  EXPECT_EQ(g_nSmsMaxLen, 15);

  // Without the end marker there are no masks and the length stays 20.
  ResetSettings();
  ApplyAgentIni(kMaskBegin + "\r\n138########\r\n");
  EXPECT_TRUE(g_astrSmsMasks.empty());
  EXPECT_EQ(g_nSmsMaxLen, 20);
}

TEST_F(AgentIniTest, RealisticFileWithCommentsAndCrLf) {
  const std::string ini =
      "[TessalyAgent]\r\n" + kBizDays + "5\r\n" + kMaxRec + "2000  # rows per query\r\n" +
      kLoopMinute + "\t15\t# minutes\r\n" + kSendBegin + "07:30\r\n" + kSendEnd + "21:00\r\n" +
      kTake + "3,1\r\n" + kSend + "5,0\r\n" + kSign + "2\r\n" + kError + "7,2\r\n" + kBear +
      "24,1\r\n" + kPack + "9:30,15:00\r\n" + kArrears + "10:00\r\n" + kMaskBegin +
      "\r\n1##########\r\n\xA1\xA1" "00852########\r\n" + kMaskEnd + "\r\n";
  ApplyAgentIni(ini);
  EXPECT_EQ(g_nBizDays, 5);
  EXPECT_EQ(g_nMaxRec, 2000);
  EXPECT_EQ(g_nLoopMinute, 15);
  EXPECT_STREQ(g_szSendBegin, "07:30");
  EXPECT_STREQ(g_szSendEnd, "21:00");
  EXPECT_EQ(g_nTakeDays, 3);
  EXPECT_EQ(g_nTakeMode, 1);
  EXPECT_EQ(g_nSendDays, 5);
  EXPECT_EQ(g_nSendMode, 0);
  EXPECT_EQ(g_nSignDays, 2);
  EXPECT_EQ(g_nSignMode, 0);
  EXPECT_EQ(g_nErrorDays, 7);
  EXPECT_EQ(g_nErrorMode, 2);
  EXPECT_EQ(g_nWebDays, 31);
  EXPECT_EQ(g_nBearHours, 24);
  EXPECT_EQ(g_nBearMode, 1);
  EXPECT_EQ(g_adwPackTimes, (std::vector<std::uint32_t>{93000, 150000}));
  EXPECT_EQ(g_adwArrearsTimes, (std::vector<std::uint32_t>{100000}));
  EXPECT_EQ(g_astrSmsMasks, (std::vector<std::string>{"1##########", "00852########"}));
  EXPECT_EQ(g_nSmsMaxLen, 13);
}

}  // namespace
