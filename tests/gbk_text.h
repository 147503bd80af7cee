// Texts in the agent's GBK written readably as UTF-8 in test sources and
// converted with the C library's iconv: an oracle independent of the agent's
// own tables.
#pragma once

#include <iconv.h>

#include <string>
#include <string_view>

namespace gbk_text {

// text converted from the encoding from to the encoding to, or a marker text
// that no expectation matches when iconv cannot do it.
inline std::string Convert(std::string_view text, const char* to, const char* from) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return "<iconv unavailable>";
  // Four bytes a byte: room for any of the conversions the tests ask for.
  std::string out(text.size() * 4 + 16, '\0');
  char* in = const_cast<char*>(text.data());
  std::size_t inLeft = text.size();
  char* o = out.data();
  std::size_t outLeft = out.size();
  const std::size_t rc = iconv(cd, &in, &inLeft, &o, &outLeft);
  iconv_close(cd);
  if (rc == static_cast<std::size_t>(-1)) return "<not convertible>";
  out.resize(out.size() - outLeft);
  return out;
}

// UTF-8 source text as the agent's GBK.
inline std::string Gbk(std::string_view utf8) { return Convert(utf8, "GBK", "UTF-8"); }
// GBK text as UTF-8, for readable expectations.
inline std::string Utf8(std::string_view gbk) { return Convert(gbk, "UTF-8", "GBK"); }

}  // namespace gbk_text
