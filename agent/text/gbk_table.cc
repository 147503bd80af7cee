// GBK (code page 936) lookup tables, built from glibc iconv at first use.
//
// glibc's CP936 agrees with Windows code page 936 on every assigned character
// (0x80 <-> U+20AC included) but lacks the user-defined area that Windows maps
// to the private-use units U+E000..U+E864. That area is added here:
//   AAA1-AFFE -> U+E000..U+E233, F8A1-FEFE -> U+E234..U+E4C5,
//   A140-A7A0 -> U+E4C6..U+E765 (row by row, trail bytes ascending, 0x7F skipped),
//   and the 255 remaining codes that GBK leaves unassigned outside those three
//   blocks, in ascending code order -> U+E766..U+E864.
// The last rule is checked against three published fixed points of the same
// assignment in GB 18030-2000 (A8BC -> U+E7C7, D7FA -> U+E810, FE51 -> U+E816)
// by the tests. Byte 0xFF has no mapping here (Windows maps it to U+F8F5 on
// decoding only; U+F8F5 has no GBK form here).
#include "agent/text/encoding_internal.h"

#include <iconv.h>

#include <cstring>

namespace qorvu_text_internal {
namespace {

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
constexpr const char kUtf16Native[] = "UTF-16BE";
#else
constexpr const char kUtf16Native[] = "UTF-16LE";
#endif

// The remaining user-defined codes, ascending; together 255 codes.
struct CodeRange {
  std::uint16_t first;
  std::uint16_t last;
};
constexpr CodeRange kUserDefinedRest[] = {
    {0xA2AB, 0xA2B0}, {0xA2E3, 0xA2E4}, {0xA2EF, 0xA2F0}, {0xA2FD, 0xA2FE}, {0xA4F4, 0xA4FE},
    {0xA5F7, 0xA5FE}, {0xA6B9, 0xA6C0}, {0xA6D9, 0xA6DF}, {0xA6EC, 0xA6ED}, {0xA6F3, 0xA6F3},
    {0xA6F6, 0xA6FE}, {0xA7C2, 0xA7D0}, {0xA7F2, 0xA7FE}, {0xA896, 0xA8A0}, {0xA8BC, 0xA8BC},
    {0xA8BF, 0xA8BF}, {0xA8C1, 0xA8C4}, {0xA8EA, 0xA8FE}, {0xA958, 0xA958}, {0xA95B, 0xA95B},
    {0xA95D, 0xA95F}, {0xA989, 0xA995}, {0xA997, 0xA9A3}, {0xA9F0, 0xA9FE}, {0xD7FA, 0xD7FE},
    {0xFE50, 0xFE7E}, {0xFE80, 0xFEA0},
};

GbkTables* BuildTables() {
  auto* t = new GbkTables;  // lives for the whole process, reachable from a static
  std::memset(t, 0, sizeof *t);

  iconv_t dec = iconv_open(kUtf16Native, "CP936");
  iconv_t enc = iconv_open("CP936", kUtf16Native);
  t->fromIconv = dec != reinterpret_cast<iconv_t>(-1) && enc != reinterpret_cast<iconv_t>(-1);
  if (t->fromIconv) {
    for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
      for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
        if (trail == 0x7F) continue;
        char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
        char16_t unit[2] = {0, 0};
        char* ip = in;
        char* op = reinterpret_cast<char*>(unit);
        std::size_t il = 2, ol = sizeof unit;
        if (iconv(dec, &ip, &il, &op, &ol) != static_cast<std::size_t>(-1) && il == 0 &&
            ol == sizeof unit - 2) {
          t->decode[lead << 8 | trail] = unit[0];
        }
      }
    }
    for (unsigned u = 0x148; u <= 0xFFE5; ++u) {
      if (u >= 0xD800 && u <= 0xDFFF) continue;
      char16_t in = static_cast<char16_t>(u);
      unsigned char bytes[4] = {0, 0, 0, 0};
      char* ip = reinterpret_cast<char*>(&in);
      char* op = reinterpret_cast<char*>(bytes);
      std::size_t il = 2, ol = sizeof bytes;
      if (iconv(enc, &ip, &il, &op, &ol) != static_cast<std::size_t>(-1) && il == 0 &&
          ol == sizeof bytes - 2 && bytes[0] >= 0x81) {
        t->encode[u] = static_cast<std::uint16_t>(bytes[0] << 8 | bytes[1]);
      }
    }
  }
  if (dec != reinterpret_cast<iconv_t>(-1)) iconv_close(dec);
  if (enc != reinterpret_cast<iconv_t>(-1)) iconv_close(enc);

  // The user-defined area, where iconv left a gap.
  for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
    for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
      std::uint16_t code = static_cast<std::uint16_t>(lead << 8 | trail);
      char16_t u = GbkUserDefinedUnit(code);
      if (u == 0 || t->decode[code] != 0 || t->encode[u] != 0) continue;
      t->decode[code] = u;
      t->encode[u] = code;
    }
  }
  // One-byte characters, whatever byte follows them.
  for (unsigned b = 0; b <= 0x80; ++b) {
    for (unsigned next = 0; next <= 0xFF; ++next) {
      t->decode[b << 8 | next] = static_cast<char16_t>(b == 0x80 ? 0x20AC : b);
    }
  }
  return t;
}

// The unit that the code page 936 decoder gives for the character starting with
// byte b followed by byte x; the decoder and GbkToUtf8 must agree on it.
char16_t DecodedUnit(const GbkTables& t, unsigned b, unsigned x) {
  if (b < 0x80) return static_cast<char16_t>(b);
  if (b == 0x80) return 0x20AC;
  if (b == 0xFF) return 0xFFFD;
  char16_t u = t.decode[b << 8 | x];
  return u != 0 ? u : 0xFFFD;
}

GbkUtf8Table* BuildUtf8Table(const GbkTables& t) {
  auto* table = new GbkUtf8Table;  // lives for the whole process, reachable from a static
  std::memset(table, 0, sizeof *table);
  for (unsigned code = 0; code <= 0xFFFF; ++code) {
    std::uint32_t c = DecodedUnit(t, code >> 8, code & 0xFF);
    if (c >= 0xD800 && c <= 0xDFFF) c = 0xFFFD;  // as the UTF-8 encoder writes a lone surrogate
    Utf8Char& e = table->entry[code];
    if (c < 0x80) {
      e.bytes[0] = static_cast<unsigned char>(c);
      e.length = 1;
    } else if (c < 0x800) {
      e.bytes[0] = static_cast<unsigned char>(0xC0 | c >> 6);
      e.bytes[1] = static_cast<unsigned char>(0x80 | (c & 0x3F));
      e.length = 2;
    } else {
      e.bytes[0] = static_cast<unsigned char>(0xE0 | c >> 12);
      e.bytes[1] = static_cast<unsigned char>(0x80 | (c >> 6 & 0x3F));
      e.bytes[2] = static_cast<unsigned char>(0x80 | (c & 0x3F));
      e.length = 3;
    }
  }
  return table;
}

}  // namespace

char16_t GbkUserDefinedUnit(std::uint16_t code) {
  unsigned lead = code >> 8, trail = code & 0xFF;
  if (trail < 0x40 || trail == 0x7F || trail == 0xFF) return 0;
  if (lead >= 0xAA && lead <= 0xAF && trail >= 0xA1) {
    return static_cast<char16_t>(0xE000 + (lead - 0xAA) * 94 + (trail - 0xA1));
  }
  if (lead >= 0xF8 && lead <= 0xFE && trail >= 0xA1) {
    return static_cast<char16_t>(0xE234 + (lead - 0xF8) * 94 + (trail - 0xA1));
  }
  if (lead >= 0xA1 && lead <= 0xA7 && trail <= 0xA0) {
    unsigned column = trail - 0x40 - (trail > 0x7F ? 1 : 0);  // 96 per row
    return static_cast<char16_t>(0xE4C6 + (lead - 0xA1) * 96 + column);
  }
  unsigned index = 0;
  for (const CodeRange& r : kUserDefinedRest) {
    if (code >= r.first && code <= r.last) {
      return static_cast<char16_t>(0xE766 + index + (code - r.first));
    }
    index += r.last - r.first + 1u;
  }
  return 0;
}

const GbkTables& Gbk() {
  static const GbkTables* const tables = BuildTables();  // thread-safe static init
  return *tables;
}

const GbkUtf8Table& GbkUtf8() {
  static const GbkUtf8Table* const table = BuildUtf8Table(Gbk());  // thread-safe static init
  return *table;
}

}  // namespace qorvu_text_internal
