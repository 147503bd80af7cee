// DecodeCharRefs on the input read as GBK and as UTF-8; the text never grows.
#include <cstdlib>

#include "agent/text/encoding.h"
#include "fuzz/fuzz_text_common.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<char> text = TerminatedCopy(data, size);
  for (unsigned cp : {kCodePageGbk, kCodePageUtf8}) {
    std::vector<char16_t> wide(size + 1);
    std::size_t n = ToWide(text.data(), wide.data(), wide.size(), cp);
    DecodeCharRefs(wide.data());
    std::size_t m = 0;
    while (wide[m] != 0) ++m;
    if (m > n) std::abort();
    std::vector<char> gbk(size * 8 + 16);
    WideToGbkRefs(wide.data(), gbk.data(), gbk.size(), true);
    TextToGbkRefs(cp, text.data(), gbk.data(), gbk.size() / 2 + 1, true);
  }
  return 0;
}
