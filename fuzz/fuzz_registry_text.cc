// The registry file parser over arbitrary files: what it accepts must be
// written back and parsed again to the same values.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/registry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  platform::RegValues values;
  if (!platform::ParseRegistryText(text, &values).ok()) {
    if (!values.empty()) std::abort();
    return 0;
  }
  platform::RegValues again;
  if (!platform::ParseRegistryText(platform::FormatRegistryText(values), &again).ok() ||
      again != values) {
    std::abort();
  }
  return 0;
}
