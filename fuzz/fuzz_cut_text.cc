// CutText: the first byte picks the limit; the result is a prefix no longer than it.
#include <cstdlib>

#include "agent/text/encoding.h"
#include "fuzz/fuzz_text_common.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  std::size_t maxBytes = data[0];
  std::vector<char> text = TerminatedCopy(data + 1, size - 1);
  std::vector<char> before = text;
  CutText(text.data(), maxBytes);
  std::size_t len = std::strlen(text.data());
  if (len > maxBytes) std::abort();
  if (std::memcmp(text.data(), before.data(), len) != 0) std::abort();
  CharRefLength(before.data());
  return 0;
}
