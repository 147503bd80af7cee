// DecodeWideText: the first byte picks the output size in units (1..64).
#include <cstdlib>
#include <memory>

#include "agent/text/encoding.h"
#include "fuzz/fuzz_text_common.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  std::size_t count = data[0] % 64 + 1u;
  std::vector<char> text = TerminatedCopy(data + 1, size - 1);
  auto out = std::make_unique<char16_t[]>(count);
  DecodeWideText(text.data(), out.get(), count);
  std::size_t n = 0;
  while (n < count && out[n] != 0) ++n;
  if (n == count) std::abort();  // not terminated inside the buffer
  return 0;
}
