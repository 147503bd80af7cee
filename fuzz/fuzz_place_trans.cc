// CPlaceTrans::Load over any text: every entry that was kept can be found
// again, in its own spelling and with its ASCII letters in upper case.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "agent/host/config/place_trans.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  CPlaceTrans table;
  const std::size_t count = table.Load(text);
  if (count != table.Count()) std::abort();
  for (const CPlaceTrans::Entry& e : table.Entries()) {
    const std::string_view key(e.key);
    if (key.empty() || key.size() >= CPlaceTrans::kKeySize) std::abort();
    const std::u16string_view replacement(e.replacement);
    if (replacement.empty() || replacement.size() > CPlaceTrans::kMaxReplacementUnits) {
      std::abort();
    }
    if (table.Find(key) != e.replacement) std::abort();
    std::string upper(key);
    for (std::size_t i = 0; i < upper.size(); ++i) {
      const auto b = static_cast<unsigned char>(upper[i]);
      if (b >= 0x81 && i + 1 < upper.size()) {
        ++i;
      } else if (b >= 'a' && b <= 'z') {
        upper[i] = static_cast<char>(b - 32);
      }
    }
    if (table.Find(upper) != e.replacement) std::abort();
  }
  table.Find(text.substr(0, 80));
  return 0;
}
