// UnscrambleRegValue over values of any length and content: it must stay
// inside the value, and whatever it accepts must end in a text shorter than
// the value.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "shared/reg_settings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<unsigned char> value(data, data + size);  // exactly size bytes, for ASan
  int result = shared::UnscrambleRegValue(value.data(), value.size());
  if (result == 0 && ::strnlen(reinterpret_cast<const char*>(value.data()), size) >= size) {
    std::abort();
  }
  if (result != 0 && std::memcmp(value.data(), data, size) != 0) std::abort();
  return 0;
}
