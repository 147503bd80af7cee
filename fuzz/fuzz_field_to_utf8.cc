// FieldToUtf8: the first byte picks the output size (1..128), the second the cut.
#include <cstdlib>
#include <memory>

#include "agent/text/encoding.h"
#include "fuzz/fuzz_text_common.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  std::size_t outSize = data[0] % 128 + 1u;
  int cutTo = static_cast<int>(data[1] % 64) - 8;
  std::vector<char> text = TerminatedCopy(data + 2, size - 2);
  auto out = std::make_unique<char[]>(outSize);
  FieldToUtf8(text.data(), out.get(), outSize, cutTo);
  std::size_t n = 0;
  while (n < outSize && out[n] != 0) ++n;
  if (n == outSize) std::abort();
  return 0;
}
