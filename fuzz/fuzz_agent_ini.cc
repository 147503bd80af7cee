// The TessalyAgent.ini reader: whatever the text, every setting ends in its
// accepted range and the lists keep their shape.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "agent/host/config/agent_ini.h"
#include "agent/host/config/config_text.h"
#include "agent/host/config/settings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  ResetSettings();
  ApplyAgentIni(text);
  if (g_nBizDays < 2 || g_nBizDays > 90) std::abort();
  if (g_nMaxRec < 10 || g_nMaxRec > 50000) std::abort();
  if (g_nLoopMinute < 1 || g_nLoopMinute > 50000) std::abort();
  if (g_nWebDays < 1) std::abort();
  for (const char* clock : {g_szSendBegin, g_szSendEnd}) {
    const std::size_t n = strnlen(clock, kSendTimeSize);
    if (n == kSendTimeSize || (n != 0 && (n != 5 || clock[2] != ':'))) std::abort();
  }
  for (const auto* times : {&g_adwPackTimes, &g_adwArrearsTimes}) {
    if (!std::is_sorted(times->begin(), times->end()) || times->size() > 128) std::abort();
  }
  std::size_t longest = 0;
  for (const auto& mask : g_astrSmsMasks) {
    if (mask.size() < 6 || mask.size() > 20) std::abort();
    longest = std::max(longest, mask.size());
  }
  if (g_nSmsMaxLen != (g_astrSmsMasks.empty() ? 20 : static_cast<int>(longest))) std::abort();

  std::vector<std::uint32_t> list;
  ParseTimeList(text, &list);
  if (!std::is_sorted(list.begin(), list.end())) std::abort();
  return 0;
}
