// Reads a few member names out of arbitrary text with small and large limits.
// Each output block is exactly max + 1 bytes on the heap, so any write past
// the limit is caught by the address sanitizer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>

#include "agent/text/json.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  constexpr std::string_view kNames[] = {"errmsg", "errcode", "access_token", "msgid", "v", ""};
  constexpr std::size_t kMaxes[] = {0, 1, 15, 255, 4096};
  for (const std::string_view name : kNames) {
    for (const std::size_t max : kMaxes) {
      auto out = std::make_unique<char[]>(max + 1);
      const std::size_t length = JsonGetString(name, text, out.get(), max);
      if (length > max || out[length] != '\0') std::abort();
    }
    JsonGetInt(name, text, -1);
  }
  return 0;
}
