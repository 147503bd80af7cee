// GetKeyValue over a whole configuration text: every key of TessalyAgent.ini
// and one taken from the input, with exact-size destinations so that any
// write past the end is caught.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

#include "agent/host/config/config_text.h"

namespace {

const char* const kKeys[] = {
    "\xD2\xB5\xCE\xF1\xCC\xEC\xCA\xFD=",                              // 业务天数=
    "\xB5\xA5\xB4\xCE\xD7\xEE\xB4\xF3\xC6\xB1\xCA\xFD=",              // 单次最大票数=
    "\xC3\xBF\xC8\xD5\xBF\xAA\xCA\xBC\xB7\xA2\xCB\xCD=",              // 每日开始发送=
    "\xB7\xA2\xCB\xCD=",                                              // 发送=
    "\xD7\xAA\xB7\xA2\xB4\xF2\xB0\xFC\xD3\xE0\xB6\xEE\xB2\xBB\xD7\xE3=",  // 转发打包余额不足=
    "k=",
};

void Check(std::string_view key, std::string_view text, std::size_t dstSize, std::size_t minLen,
           std::size_t maxLen, bool trim) {
  std::unique_ptr<char[]> dst(new char[dstSize]);
  const std::size_t n = GetKeyValue(key, text, dst.get(), dstSize, minLen, maxLen, trim);
  if (std::strlen(dst.get()) != n) std::abort();
  if (n != 0 && (n < minLen || n > maxLen || n >= dstSize)) std::abort();
  if (trim && n != 0) {
    const auto first = static_cast<unsigned char>(dst[0]);
    const auto last = static_cast<unsigned char>(dst[n - 1]);
    if ((first >= 1 && first <= 32) || (last >= 1 && last <= 32)) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  for (const char* key : kKeys) {
    Check(key, text, 256, 1, 254, true);
    Check(key, text, 31, 1, 30, true);
    Check(key, text, 6, 5, 5, true);
    Check(key, text, 4, 0, 254, false);
  }
  // A key from the input itself: its first line, at most 16 bytes.
  const std::string_view key = text.substr(0, std::min<std::size_t>(16, text.find('\n')));
  Check(key, text, 1, 0, 254, false);
  Check(key, text, 64, 0, 254, true);
  return 0;
}
