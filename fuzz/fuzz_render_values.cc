// RenderValues over arbitrary parameter texts and value lists. Input: one
// byte for the type (26 values: the 25 types and one unknown), then the
// parameter text up to the first zero byte (at most 510 bytes), then the
// value list. Every value stays inside its 512 bytes and ends on a
// character boundary.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "agent/compose/render.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
  MessRecord record;
  record.type = data[0] % 26;
  const std::size_t split = input.find('\0');
  const std::string_view text = input.substr(0, split);
  const std::string_view list =
      split == std::string_view::npos ? std::string_view() : input.substr(split + 1);
  if (text.size() > 510) return 0;
  std::memcpy(record.param, list.data(), std::min(list.size(), sizeof record.param - 1));

  MessModel model;
  model.type = record.type;
  for (const char* name : {"first", "keyword1"}) {
    MessModelParam p;
    CopyField(p.name, name);
    std::memcpy(p.text, text.data(), text.size());
    model.params.push_back(p);
  }
  std::vector<MessValue> out;
  const int n = RenderValues(record, model, out);
  if (n != -1 && n != 2) std::abort();
  if (n == -1 && !out.empty()) std::abort();
  for (const MessValue& v : out) {
    if (std::memchr(v.value, '\0', sizeof v.value) == nullptr) std::abort();
    if (std::memchr(v.name, '\0', sizeof v.name) == nullptr) std::abort();
  }
  return 0;
}
