// Internal tables of the text encoding helpers (encoding.h). Not for use
// outside agent/text and its tests.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qorvu_text_internal {

// GBK (code page 936) lookup tables, built once from glibc iconv's CP936 at
// first use (thread-safe function-local static) and immutable afterwards.
struct GbkTables {
  // UTF-16 unit -> two-byte GBK code (lead << 8 | trail), 0 when none. Only
  // the units U+0148..U+FFE5 are filled: there is no two-byte form for
  // any other unit.
  std::uint16_t encode[0x10000];
  // Two-byte GBK code (lead << 8 | trail) -> UTF-16 unit, 0 when the pair is
  // not assigned. For the one-byte characters the entry answers whatever the
  // next byte: decode[b << 8 | x] is b for b < 0x80 and U+20AC for b = 0x80
  // (so that a decoder needs one lookup per character).
  char16_t decode[0x10000];
  // False when iconv could not open CP936 (then both tables are empty).
  bool fromIconv;
};
const GbkTables& Gbk();

// GBK text straight to UTF-8: for the first byte b of a character and the
// byte x after it (the terminating zero at the end of a text), entry[b << 8 | x]
// holds the UTF-8 form of the unit that the code page 936 decoder gives for
// the character starting there: b itself below 0x80, U+20AC for 0x80, the
// pair's unit, or U+FFFD for 0xFF, an unassigned pair and a lead byte without a
// byte that can trail it. How many bytes of text that character takes follows
// from b and x alone (see GbkToUtf8).
struct Utf8Char {
  unsigned char bytes[3];  // the UTF-8 bytes, first byte first; unused ones 0
  unsigned char length;    // 1 to 3
};
struct GbkUtf8Table {
  Utf8Char entry[0x10000];
};
// Built once from Gbk() at first use, immutable afterwards.
const GbkUtf8Table& GbkUtf8();

// The user-defined area of Windows code page 936 (GBK codes mapped to the
// private-use units U+E000..U+E864), which glibc's CP936 lacks. Returns the
// private-use unit for a two-byte code, or 0 when the code is not in it.
char16_t GbkUserDefinedUnit(std::uint16_t code);

// One entry of the named reference table.
struct NamedRef {
  const char* name;  // with the leading "&" and the trailing ";"
  std::size_t length;
  char16_t unit;
};
// The 281 entries in their fixed order.
const NamedRef* NamedRefs(std::size_t* count);

}  // namespace qorvu_text_internal
