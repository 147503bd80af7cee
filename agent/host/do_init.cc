#include "agent/host/do_init.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "agent/compose/mess_channel.h"
#include "agent/host/config/agent_ini.h"
#include "agent/host/config/settings.h"
#include "agent/host/log/daily_log.h"

namespace {

constexpr std::size_t kFileBufferSize = 65536;
// Two bytes short of the buffer, so every text read ends with a zero byte.
constexpr std::size_t kMaxFileBytes = kFileBufferSize - 2;
constexpr std::size_t kSummarySize = 1024;

constexpr char kAgentIni[] = "TessalyAgent.ini";
constexpr char kMessDefine[] = "WeChat_Mess.txt";
constexpr char kSmsSet[] = "SMS_SET_4S.txt";
constexpr char kPlaceTrans[] = "Place_Trans.txt";

// The zero-filled buffer every configuration file is read into in turn.
class FileBuffer {
 public:
  FileBuffer() : bytes_(kFileBufferSize, '\0') {}

  // Reads at most kMaxFileBytes of folder+name; false when the file cannot
  // be read. The bytes read are followed by zeros.
  bool Read(platform::Env* env, std::string_view folder, const char* name) {
    std::fill(bytes_.begin(), bytes_.end(), '\0');
    length_ = 0;
    if (folder.empty()) return false;
    std::string data;
    if (!env->ReadFile(std::string(folder) + name, kMaxFileBytes, &data)) return false;
    length_ = std::min(data.size(), kMaxFileBytes);
    std::memcpy(bytes_.data(), data.data(), length_);
    return true;
  }

  // Every byte read, zero bytes included.
  std::string_view Bytes() const { return {bytes_.data(), length_}; }
  // The text up to its first zero byte.
  std::string_view Text() const { return {bytes_.data(), std::strlen(bytes_.data())}; }

 private:
  std::vector<char> bytes_;
  std::size_t length_ = 0;
};

void LogSummary(const CMessChannel& channel) {
  char line[kSummarySize];
  std::snprintf(line, sizeof line,
                "Days=%u\r\nMaxRec=%u\r\nLoopMinute=%u\r\nSendTime=%s - %s\r\n"
                "Days in (%u,%u,%u,%u,%u)\r\nWeChat=%c\r\nWeChat_Model=%u\r\nThird_sms=%d\r\n"
                "Mask_sms=%d\r\nMax_sms_len=%d\r\nPlace_Trans=%d\r\nTime_TransPack=%d\r\n"
                "Time_AcArrears=%d\r\n",
                static_cast<unsigned>(g_nBizDays), static_cast<unsigned>(g_nMaxRec),
                static_cast<unsigned>(g_nLoopMinute), g_szSendBegin, g_szSendEnd,
                static_cast<unsigned>(g_nTakeDays), static_cast<unsigned>(g_nSendDays),
                static_cast<unsigned>(g_nSignDays), static_cast<unsigned>(g_nErrorDays),
                static_cast<unsigned>(g_nWebDays), channel.valid ? 'Y' : 'N',
                static_cast<unsigned>(channel.ModelCount()), static_cast<int>(channel.smsEnabled),
                static_cast<int>(g_astrSmsMasks.size()), g_nSmsMaxLen,
                static_cast<int>(g_placeTrans.Count()), static_cast<int>(g_adwPackTimes.size()),
                static_cast<int>(g_adwArrearsTimes.size()));
  g_log.Write(line);
}

}  // namespace

int DoInit(std::string_view programFolder, platform::Env* env, CMessChannel& channel) {
  FileBuffer buffer;

  const std::string iniPath = std::string(programFolder) + kAgentIni;
  g_log.Write(iniPath.c_str());
  if (buffer.Read(env, programFolder, kAgentIni)) ApplyAgentIni(buffer.Text());

  // WeChat_Mess.txt may be UTF-16: its reader needs every byte.
  if (buffer.Read(env, programFolder, kMessDefine)) channel.LoadMessDefine(buffer.Bytes());
  if (buffer.Read(env, programFolder, kSmsSet)) channel.LoadSmsSet(buffer.Text());
  if (buffer.Read(env, programFolder, kPlaceTrans)) g_placeTrans.Load(buffer.Text());

  g_log.Write("Init end");
  LogSummary(channel);
  return 1;
}

int DoInit(platform::Env* env) {
  return DoInit(platform::ProgramFolder(env), env, g_messChannel);
}
