// GbkToUtf8 against ToWide(936) + ToUtf8: the first two bytes pick the output
// size (1..4096, so that both the unchecked blocks and the cut at the end of
// the room are reached), the rest is the GBK text.
#include <cstdlib>
#include <cstring>
#include <memory>

#include "agent/text/encoding.h"
#include "fuzz/fuzz_text_common.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  std::size_t outSize = (data[0] | data[1] << 8) % 4096 + 1u;
  std::vector<char> text = TerminatedCopy(data + 2, size - 2);

  std::vector<char16_t> wide(text.size());
  ToWide(text.data(), wide.data(), wide.size(), kCodePageGbk);
  auto expected = std::make_unique<char[]>(outSize);
  std::size_t expectedLength = ToUtf8(wide.data(), expected.get(), outSize);

  auto out = std::make_unique<char[]>(outSize);  // exactly outSize: overruns show
  std::size_t length = GbkToUtf8(text.data(), out.get(), outSize);
  if (length != expectedLength || std::memcmp(out.get(), expected.get(), length + 1) != 0) {
    std::abort();
  }
  return 0;
}
