#include "agent/host/config/agent_ini.h"

#include <algorithm>
#include <cstring>

#include "agent/host/config/config_text.h"
#include "agent/host/config/settings.h"

namespace {

constexpr std::size_t kValueSize = 256;       // longest value 254 bytes, zero included
constexpr std::size_t kMaxNumberValue = 254;
constexpr std::size_t kMaxEventValue = 30;    // "days[,mode]"
constexpr std::size_t kClockLength = 5;       // "HH:MM"
constexpr int kWebDaysWhenUnset = 31;

enum class Kind { kNumber, kEvent, kClock, kTimeList };

// What a read number becomes when it lies outside low..high.
struct Adjust {
  int low, belowLow, high, aboveHigh;
};

struct ConfigKey {
  const char* key;  // GBK, "=" included
  Kind kind;
  int defaultValue;  // number, or look-back of an event
  int defaultMode;   // SMS mode of an event
  Adjust adjust;     // numbers only
  // Event keys: the mode texts searched in order and the modes they give.
  const char* firstMark;
  int firstMode;
  const char* secondMark;
  int secondMode;
  int* number;  // the number, or an event's look-back
  int* mode;
  char* clock;  // kSendTimeSize bytes
  std::vector<std::uint32_t>* times;
};

constexpr Adjust kNoAdjust = {0, 0, 0, 0};

constexpr ConfigKey Number(const char* key, int* target, int defaultValue, Adjust adjust) {
  return {key, Kind::kNumber, defaultValue, 0, adjust, nullptr, 0, nullptr, 0,
          target, nullptr, nullptr, nullptr};
}
constexpr ConfigKey Event(const char* key, int* days, int* mode, int defaultMode, const char* firstMark,
                int firstMode) {
  return {key, Kind::kEvent, 0, defaultMode, kNoAdjust, firstMark, firstMode, ",2", 2,
          days, mode, nullptr, nullptr};
}
constexpr ConfigKey Clock(const char* key, char* target) {
  return {key, Kind::kClock, 0, 0, kNoAdjust, nullptr, 0, nullptr, 0,
          nullptr, nullptr, target, nullptr};
}
constexpr ConfigKey TimeList(const char* key, std::vector<std::uint32_t>* target) {
  return {key, Kind::kTimeList, 0, 0, kNoAdjust, nullptr, 0, nullptr, 0,
          nullptr, nullptr, nullptr, target};
}

// Every key of TessalyAgent.ini, in the order the file is read.
constexpr ConfigKey kConfigKeys[] = {
    // 业务天数=
    Number("\xD2\xB5\xCE\xF1\xCC\xEC\xCA\xFD=", &g_nBizDays, kDefaultBizDays, {2, 2, 90, 90}),
    // 单次最大票数=
    Number("\xB5\xA5\xB4\xCE\xD7\xEE\xB4\xF3\xC6\xB1\xCA\xFD=", &g_nMaxRec, kDefaultMaxRec,
           {10, 1000, 50000, 50000}),
    // 轮寻分钟数=
    Number("\xC2\xD6\xD1\xB0\xB7\xD6\xD6\xD3\xCA\xFD=", &g_nLoopMinute, kDefaultLoopMinute,
           {1, 1, 50000, 120}),
    // 每日开始发送=
    Clock("\xC3\xBF\xC8\xD5\xBF\xAA\xCA\xBC\xB7\xA2\xCB\xCD=", g_szSendBegin),
    // 每日结束发送=
    Clock("\xC3\xBF\xC8\xD5\xBD\xE1\xCA\xF8\xB7\xA2\xCB\xCD=", g_szSendEnd),
    // 录单=
    Event("\xC2\xBC\xB5\xA5=", &g_nTakeDays, &g_nTakeMode, 0, ",1", 1),
    // 发送=  (the one event whose SMS form is on unless switched off)
    Event("\xB7\xA2\xCB\xCD=", &g_nSendDays, &g_nSendMode, kDefaultSendMode, ",0", 0),
    // 送达=
    Event("\xCB\xCD\xB4\xEF=", &g_nSignDays, &g_nSignMode, 0, ",1", 1),
    // 异常=
    Event("\xD2\xEC\xB3\xA3=", &g_nErrorDays, &g_nErrorMode, 0, ",1", 1),
    // 上网=
    Event("\xC9\xCF\xCD\xF8=", &g_nWebDays, &g_nWebMode, 0, ",1", 1),
    // 派件=  (look-back in hours)
    Event("\xC5\xC9\xBC\xFE=", &g_nBearHours, &g_nBearMode, 0, ",1", 1),
    // 转发打包余额不足=
    TimeList("\xD7\xAA\xB7\xA2\xB4\xF2\xB0\xFC\xD3\xE0\xB6\xEE\xB2\xBB\xD7\xE3=", &g_adwPackTimes),
    // 账户欠费通知=
    TimeList("\xD5\xCB\xBB\xA7\xC7\xB7\xB7\xD1\xCD\xA8\xD6\xAA=", &g_adwArrearsTimes),
};

int Adjusted(int value, const Adjust& a) {
  if (value < a.low) return a.belowLow;
  if (value > a.high) return a.aboveHigh;
  return value;
}

void ApplyKey(const ConfigKey& k, std::string_view text) {
  char value[kValueSize];
  switch (k.kind) {
    case Kind::kNumber: {
      const bool present = GetKeyValue(k.key, text, value, sizeof value, 1, kMaxNumberValue, true) > 0;
      *k.number = Adjusted(present ? ReadDecimal(value) : k.defaultValue, k.adjust);
      break;
    }
    case Kind::kEvent: {
      if (GetKeyValue(k.key, text, value, sizeof value, 1, kMaxEventValue, true) == 0) break;
      *k.number = ReadDecimal(value);
      if (std::strstr(value, k.firstMark) != nullptr) {
        *k.mode = k.firstMode;
      } else if (std::strstr(value, k.secondMark) != nullptr) {
        *k.mode = k.secondMode;
      }
      break;
    }
    case Kind::kClock: {
      // Only "HH:MM" compares correctly with the formatted local time.
      if (GetKeyValue(k.key, text, value, sizeof value, kClockLength, kClockLength, true) ==
              kClockLength &&
          value[2] == ':') {
        std::memcpy(k.clock, value, kClockLength + 1);
      }
      break;
    }
    case Kind::kTimeList: {
      if (GetKeyValue(k.key, text, value, sizeof value, 1, kMaxNumberValue, true) > 0) {
        ParseTimeList(value, k.times);
      }
      break;
    }
  }
}

}  // namespace

void ResetSettings() {
  for (const ConfigKey& k : kConfigKeys) {
    switch (k.kind) {
      case Kind::kNumber: *k.number = k.defaultValue; break;
      case Kind::kEvent:
        *k.number = k.defaultValue;
        *k.mode = k.defaultMode;
        break;
      case Kind::kClock: k.clock[0] = '\0'; break;
      case Kind::kTimeList: k.times->clear(); break;
    }
  }
  g_astrSmsMasks.clear();
  g_nSmsMaxLen = kDefaultSmsMaxLen;
  g_placeTrans.Clear();
  g_szDetailSuffix[0] = '\0';
}

void ApplyAgentIni(std::string_view text) {
  for (const ConfigKey& k : kConfigKeys) ApplyKey(k, text);
  // Once the file has been read, the network look-back must cover something.
  if (g_nWebDays <= 0) g_nWebDays = kWebDaysWhenUnset;
  // The longest mask bounds the numbers accepted; without masks any length up to the default.
  std::size_t longest = 0;
  ParseSmsMasks(text, &g_astrSmsMasks);
  for (const std::string& mask : g_astrSmsMasks) longest = std::max(longest, mask.size());
  g_nSmsMaxLen = longest > 0 ? static_cast<int>(longest) : kDefaultSmsMaxLen;
}
