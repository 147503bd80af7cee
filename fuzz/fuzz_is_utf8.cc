// IsUtf8 and the code-page decoders on any text; UTF-8 judged valid must
// decode without a replacement character.
#include <cstdlib>

#include "agent/text/encoding.h"
#include "fuzz/fuzz_text_common.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<char> text = TerminatedCopy(data, size);
  bool utf8 = IsUtf8(text.data(), false);
  bool three = IsUtf8(text.data(), true);
  if (three && std::strlen(text.data()) != 2 && std::strlen(text.data()) != 4 && !utf8) std::abort();
  IsAscii(text.data());
  std::vector<char16_t> wide(size + 1);
  for (unsigned cp : {kCodePageGbk, kCodePageUtf8}) {
    ToWide(text.data(), wide.data(), wide.size(), cp);
  }
  // Code page 1200 texts end with a zero unit: give the copy one at an even offset.
  std::vector<char> utf16 = text;
  utf16.insert(utf16.end(), 2, 0);
  ToWide(utf16.data(), wide.data(), wide.size(), kCodePageUtf16Le);
  if (utf8 && std::strstr(text.data(), "\xEF\xBF\xBD") == nullptr) {
    ToWide(text.data(), wide.data(), wide.size(), kCodePageUtf8);
    for (std::size_t i = 0; wide[i] != 0; ++i) {
      if (wide[i] == 0xFFFD) std::abort();  // valid UTF-8 decodes without replacement
    }
  }
  return 0;
}
