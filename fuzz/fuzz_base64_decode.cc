// Base64Decode: the first byte picks the output size (1..256); never more
// than outSize - 1 bytes plus the zero.
#include <cstdlib>
#include <memory>

#include "agent/text/encoding.h"
#include "fuzz/fuzz_text_common.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  std::size_t outSize = data[0] + 1u;
  std::vector<char> text = TerminatedCopy(data + 1, size - 1);
  auto out = std::make_unique<char[]>(outSize);  // exact size, for the sanitizer
  std::size_t n = 0;
  int rc = Base64Decode(text.data(), size - 1, out.get(), outSize, &n);
  if (rc != 0 && rc != -1) std::abort();
  if (n >= outSize || out[n] != 0) std::abort();
  return 0;
}
