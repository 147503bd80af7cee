// The one channel object of the agent: the WeChat official-account settings
// and message models (WeChat_Mess.txt), the access-token cache of the
// WeChat client, and the SMS gateway settings (SMS_SET_4S.txt).
// Start-up fills it once, before any worker runs; afterwards it is only read
// (the token cache excepted, which has its own lock).
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string_view>
#include <vector>

#include "agent/compose/mess_record.h"

class CMessChannel {
 public:
  CMessChannel() = default;
  CMessChannel(const CMessChannel&) = delete;
  CMessChannel& operator=(const CMessChannel&) = delete;

  // Fills the WeChat fields and the models from the whole text of
  // WeChat_Mess.txt (GBK, or UTF-16LE with its byte-order mark; the view
  // must then cover the file's bytes, zero bytes included). Earlier
  // settings and models are dropped first. Returns valid.
  bool LoadMessDefine(std::string_view text);
  // Fills the SMS settings from the whole text of SMS_SET_4S.txt (GBK).
  // Earlier settings are dropped first; smsEnabled is 1 or -1 afterwards.
  void LoadSmsSet(std::string_view text);

  // The first model of a type in file order, or nullptr.
  const MessModel* FindModel(int type) const;
  std::size_t ModelCount() const { return models_.size(); }
  const std::vector<MessModel>& Models() const { return models_; }

  // Exactly 28 bytes, beginning with openIdPrefix when one is configured.
  bool IsOpenId(std::string_view text) const;
  // Copies first into out when it is an OpenID, else second when that is
  // one, and returns true; otherwise out is empty and the result false.
  bool PickOpenId(std::string_view first, std::string_view second, char* out,
                  std::size_t size) const;
  template <std::size_t N>
  bool PickOpenId(std::string_view first, std::string_view second, char (&out)[N]) const {
    return PickOpenId(first, second, out, N);
  }

  // Composes a record read back from the queue: record.text gets the
  // message text and, for a WeChat recipient, record.param the template
  // message JSON (for a mobile recipient record.text is the UTF-8 SMS text
  // and record.param is empty). 1 on success; 0 with the reason in
  // record.result ("无模板定义!", "未能解析出变量!", or the text or JSON
  // being too long for its field).
  int MadeJsMess(MessRecord& record) const;

  // --- WeChat official account ---
  bool valid = false;          // appid and secret both present
  char host[64] = {};          // API host name
  std::int32_t port = 0;       // API port; 0 when not configured
  bool ssl = false;            // TLS on the API connection
  char appid[68] = {};
  char secret[68] = {};
  char openIdPrefix[16] = {};  // required beginning of every OpenID, or ""

  // --- access-token cache, kept by the WeChat client ---
  char accessToken[512] = {};
  std::int64_t tokenExpiry = 0;  // seconds since 1970; valid while not earlier than now
  std::timed_mutex tokenLock;    // serialises token checks and refreshes

  // --- SMS gateway ---
  std::int32_t smsEnabled = -1;  // 1 when host, path, success mark and params are set and port > 0
  char smsAccount[64] = {};      // 帐号=
  char smsPassword[64] = {};     // 密码=
  char smsHost[256] = {};        // 服务器网址=
  std::int32_t smsPort = 80;     // 服务器端口=
  bool smsSsl = false;           // 是SSL=
  char smsPath[256] = {};        // 短信发送接口=
  char smsParams[512] = {};      // 短信发送参数=, with {短信号码} {短信内容} {数字签名}
  char smsSuccessMark[32] = {};  // 短信发送成功标记=
  bool smsSuccessIsNumber = false;
  char smsSignature[32] = {};    // 短信固定签名=
  char smsSignSource[256] = {};  // 数字签名原文=
  bool smsUtf8 = false;          // 字符集编码=UTF-8 somewhere in the file

 private:
  void ClearWeChat();
  void ClearSms();
  // Parses one <MESS_DEFINE> block; appends and logs the model when it is usable.
  void LoadModel(std::string_view block);

  std::vector<MessModel> models_;
};

// The agent's one channel object.
extern CMessChannel g_messChannel;
