#include "agent/compose/mess_record.h"

#include "agent/compose/compose_text.h"

bool CopyField(char* field, std::size_t size, std::string_view text) {
  if (size == 0) return text.empty();
  std::size_t n = text.size();
  const bool fits = n < size;
  if (!fits) {
    // Cut by whole GBK characters only.
    std::size_t pos = 0;
    while (pos < text.size()) {
      const std::size_t step = compose_text::GbkUnitLength(text, pos);
      if (pos + step > size - 1) break;
      pos += step;
    }
    n = pos;
  }
  if (n > 0) std::memcpy(field, text.data(), n);
  field[n] = '\0';
  return fits;
}
