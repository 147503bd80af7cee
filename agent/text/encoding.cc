// Text encoding helpers. See encoding.h.
//
// Choices made where the behaviour is open (the tests pin them down):
// - Invalid input to ToWide becomes U+FFFD: for UTF-8 one U+FFFD per maximal
//   invalid subsequence (as Windows' MultiByteToWideChar without flags); for
//   GBK one U+FFFD for a well-formed but unassigned pair (both bytes used), for
//   a lead byte followed by a byte that cannot trail (only the lead byte used,
//   so an ASCII byte after it survives), for a lead byte at the end and for 0xFF.
// - A UTF-16 text that does not fit in ToWide's output is cut before the unit
//   that does not fit (never between the halves of a surrogate pair).
// - Unpaired surrogates are written by ToUtf8 as U+FFFD; ToGbk and the GBK
//   writers treat each surrogate unit as a unit without GBK form.
// - Code page 1200: the text is read as UTF-16LE units up to a zero unit, so
//   it must end with two zero bytes at an even offset (a UTF-16 terminator).
// - Code pages 51932 and 20932 go through iconv's EUC-JP-MS (or EUC-JP).
#include "agent/text/encoding.h"

#include <iconv.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "agent/text/encoding_internal.h"

using qorvu_text_internal::Gbk;
using qorvu_text_internal::GbkTables;
using qorvu_text_internal::GbkUtf8;
using qorvu_text_internal::NamedRef;
using qorvu_text_internal::NamedRefs;
using qorvu_text_internal::Utf8Char;

namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool IsHexDigit(unsigned c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
bool IsDecDigit(unsigned c) { return c >= '0' && c <= '9'; }
unsigned HexValue(unsigned c) {
  if (c <= '9') return c - '0';
  if (c >= 'a') return c - 'a' + 10;
  return c - 'A' + 10;
}

// Decimal digits of a value from 1 to 65535.
std::size_t DecimalDigits(unsigned v) {
  return v < 10 ? 1 : v < 100 ? 2 : v < 1000 ? 3 : v < 10000 ? 4 : 5;
}

// Writes "&#%u;" for a unit; returns its length (at most 8 bytes: "&#65535;").
std::size_t FormatRef(char16_t unit, char* out) {
  char digits[5];  // strlen("65535")
  std::size_t n = 0;
  unsigned v = unit;
  do {
    digits[n++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0);
  std::size_t len = 0;
  out[len++] = '&';
  out[len++] = '#';
  while (n > 0) out[len++] = digits[--n];
  out[len++] = ';';
  return len;
}

// Length of a UTF-16 text.
std::size_t WideLength(const char16_t* w) {
  std::size_t n = 0;
  while (w[n] != 0) ++n;
  return n;
}

// Length in bytes of a code page 1200 text (UTF-16LE units up to a zero unit).
std::size_t Utf16LeByteLength(const char* text) {
  std::size_t n = 0;
  while (text[n] != 0 || text[n + 1] != 0) n += 2;
  return n;
}

// --- decoders; each writes at most outUnits - 1 units and the zero ---

// The fast forms below run when the whole text fits in the output (each input
// byte gives at most one unit), so they need no room checks.
std::size_t GbkToWideFits(const unsigned char* p, const unsigned char* end, char16_t* out) {
  // decode[] also answers for one-byte characters (any second byte), so the
  // common path is one lookup and an advance of 1 or 2 without a branch.
  const char16_t* decode = Gbk().decode;
  char16_t* o = out;
  while (p < end) {
    unsigned b = *p;
    unsigned trail = p[1];  // at worst the terminating zero
    char16_t u = decode[b << 8 | trail];
    if (u != 0) {
      *o++ = u;
      p += 1 + ((b + 0x7F) >> 8);  // 2 for lead bytes 0x81..0xFE
      continue;
    }
    *o++ = kReplacement;  // 0xFF, or a lead byte with a bad or missing second byte
    p += b != 0xFF && trail >= 0x40 && trail <= 0xFE && trail != 0x7F ? 2 : 1;
  }
  *o = 0;
  return static_cast<std::size_t>(o - out);
}

std::size_t GbkToWide(const unsigned char* p, char16_t* out, std::size_t outUnits) {
  std::size_t length = std::strlen(reinterpret_cast<const char*>(p));
  if (length < outUnits) return GbkToWideFits(p, p + length, out);
  const GbkTables& t = Gbk();
  std::size_t n = 0;
  const std::size_t last = outUnits - 1;
  while (n < last) {
    unsigned b = *p;
    if (b < 0x80) {
      if (b == 0) break;
      out[n++] = static_cast<char16_t>(b);
      ++p;
      continue;
    }
    if (b == 0x80) {
      out[n++] = 0x20AC;
      ++p;
      continue;
    }
    if (b == 0xFF) {
      out[n++] = kReplacement;
      ++p;
      continue;
    }
    unsigned trail = p[1];
    char16_t u = t.decode[b << 8 | trail];
    if (u != 0) {
      out[n++] = u;
      p += 2;
    } else if (trail >= 0x40 && trail <= 0xFE && trail != 0x7F) {
      out[n++] = kReplacement;  // a well-formed pair that GBK leaves unassigned
      p += 2;
    } else {
      out[n++] = kReplacement;  // a lead byte that no trail byte follows
      ++p;
    }
  }
  out[n] = 0;
  return n;
}

std::size_t Utf8ToWide(const unsigned char* p, char16_t* out, std::size_t outUnits) {
  // When the whole text fits (at most one unit per byte), the room checks below
  // can never fail; last is then the text's length.
  std::size_t length = std::strlen(reinterpret_cast<const char*>(p));
  std::size_t n = 0;
  const std::size_t last = length < outUnits ? length : outUnits - 1;
  while (n < last) {
    unsigned b = *p;
    if (b < 0x80) {
      if (b == 0) break;
      out[n++] = static_cast<char16_t>(b);
      ++p;
      continue;
    }
    if ((b & 0xF0) == 0xE0 && (p[1] & 0xC0) == 0x80 && (p[2] & 0xC0) == 0x80) {
      // The common three-byte form (CJK), checked for overlong forms and surrogates.
      unsigned cp = (b & 0x0F) << 12 | (p[1] & 0x3Fu) << 6 | (p[2] & 0x3Fu);
      if (cp >= 0x800 && (cp < 0xD800 || cp > 0xDFFF)) {
        out[n++] = static_cast<char16_t>(cp);
        p += 3;
        continue;
      }
    }
    // Decode one sequence; an invalid one yields U+FFFD for its maximal
    // valid prefix (at least one byte).
    unsigned need, cp, lo = 0x80, hi = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) {
      need = 1;
      cp = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
      need = 2;
      cp = b & 0x0F;
      if (b == 0xE0) lo = 0xA0;
      if (b == 0xED) hi = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      need = 3;
      cp = b & 0x07;
      if (b == 0xF0) lo = 0x90;
      if (b == 0xF4) hi = 0x8F;
    } else {
      out[n++] = kReplacement;
      ++p;
      continue;
    }
    std::size_t used = 1;
    bool ok = true;
    for (unsigned i = 0; i < need; ++i) {
      unsigned c = p[used];
      if (c < lo || c > hi) {
        ok = false;
        break;
      }
      lo = 0x80;
      hi = 0xBF;
      cp = cp << 6 | (c & 0x3F);
      ++used;
    }
    if (!ok) {
      out[n++] = kReplacement;
      p += used;
      continue;
    }
    if (cp >= 0x10000) {
      if (n + 2 > last) break;  // a surrogate pair that does not fit is left out
      cp -= 0x10000;
      out[n++] = static_cast<char16_t>(0xD800 | cp >> 10);
      out[n++] = static_cast<char16_t>(0xDC00 | (cp & 0x3FF));
    } else {
      out[n++] = static_cast<char16_t>(cp);
    }
    p += used;
  }
  out[n] = 0;
  return n;
}

std::size_t Utf16LeToWide(const unsigned char* p, char16_t* out, std::size_t outUnits) {
  std::size_t n = 0;
  const std::size_t last = outUnits - 1;
  while (n < last) {
    char16_t u = static_cast<char16_t>(p[0] | p[1] << 8);
    if (u == 0) break;
    if (u >= 0xD800 && u <= 0xDBFF && n + 2 > last) break;  // keep pairs whole
    out[n++] = u;
    p += 2;
  }
  out[n] = 0;
  return n;
}

std::size_t EucJpToWide(const char* text, char16_t* out, std::size_t outUnits) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  const char* wideName = "UTF-16BE";
#else
  const char* wideName = "UTF-16LE";
#endif
  iconv_t cd = iconv_open(wideName, "EUC-JP-MS");
  if (cd == reinterpret_cast<iconv_t>(-1)) cd = iconv_open(wideName, "EUC-JP");
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    out[0] = 0;
    return 0;
  }
  char* in = const_cast<char*>(text);
  std::size_t inLeft = std::strlen(text);
  char* op = reinterpret_cast<char*>(out);
  std::size_t outLeft = (outUnits - 1) * sizeof(char16_t);
  while (inLeft > 0) {
    if (iconv(cd, &in, &inLeft, &op, &outLeft) != static_cast<std::size_t>(-1)) break;
    if (errno == E2BIG || outLeft < sizeof(char16_t)) break;
    // EILSEQ or EINVAL: one replacement for the offending byte.
    std::memcpy(op, &kReplacement, sizeof kReplacement);
    op += sizeof(char16_t);
    outLeft -= sizeof(char16_t);
    ++in;
    --inLeft;
  }
  iconv_close(cd);
  std::size_t n = static_cast<std::size_t>(op - reinterpret_cast<char*>(out)) / sizeof(char16_t);
  out[n] = 0;
  return n;
}

// Converts a text of any supported code page into a vector (byte length plus
// one units, as the temporary buffers of the original helpers).
std::vector<char16_t> WideOf(const char* text, unsigned codePage) {
  std::size_t bytes = codePage == kCodePageUtf16Le ? Utf16LeByteLength(text) : std::strlen(text);
  std::vector<char16_t> wide(bytes + 1);
  ToWide(text, wide.data(), wide.size(), codePage);
  return wide;
}

// Positive length of the reference at text (a "&" already seen), else 0.
// Looks at no more than the 10 bytes a reference can have.
int RefLengthAt(const char* text) {
  std::size_t len = 0;
  while (len < 10 && text[len] != 0 && text[len] != ';') ++len;
  if (len >= 10 || text[len] != ';') return 0;
  ++len;  // the ";"
  if (len < 4) return 0;
  std::size_t count = 0;
  const NamedRef* refs = NamedRefs(&count);
  for (std::size_t i = 0; i < count; ++i) {
    if (refs[i].length == len && std::memcmp(refs[i].name, text, len) == 0) {
      return static_cast<int>(len);
    }
  }
  if (len <= 8 && text[1] == '#') {
    std::size_t i = 2;
    bool hex = text[2] == 'x';
    if (hex) ++i;
    std::size_t digits = 0;
    for (; i < len - 1; ++i, ++digits) {
      unsigned c = static_cast<unsigned char>(text[i]);
      if (hex ? !IsHexDigit(c) : !IsDecDigit(c)) return 0;
    }
    if (digits > 0) return static_cast<int>(len);
  }
  return 0;
}

// Base64 alphabet value of a byte, or -1.
int Base64Value(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// The "?B?" wrapper test of DecodeWideText.
bool IsBase64Wrapped(const char* text, std::size_t length) {
  if (length < 3 || std::memcmp(text, "?B?", 3) != 0 || (length - 3) % 4 != 0) return false;
  for (std::size_t i = 3; i < length; ++i) {
    if (text[i] < '+' || text[i] > 'z') return false;
  }
  return true;
}

}  // namespace

// ---------------------------------------------------------------- tests

bool IsAscii(const char* text) {
  if (text == nullptr) return true;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0; ++p) {
    if (*p & 0x80) return false;
  }
  return true;
}

int Utf8LeadLength(unsigned char byte) {
  int n = 0;
  while (n < 8 && (byte & (0x80u >> n)) != 0) ++n;
  return n;
}

bool IsUtf8(const char* text, bool threeByteOnly) {
  if (text == nullptr) return false;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  std::size_t len = std::strlen(text);
  if (len < 2) return false;
  if (!threeByteOnly && (len == 2 || len == 4)) {
    bool allHigh = true;
    for (std::size_t i = 0; i < len; ++i) allHigh = allHigh && (p[i] & 0x80) != 0;
    if (allHigh) return false;
  }
  std::size_t i = 0;
  if (len > 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) i = 3;
  bool multi = false;
  auto cont = [&](std::size_t k) { return (p[k] & 0xC0) == 0x80; };
  while (i < len) {
    unsigned b = p[i];
    if (b < 0x80) {
      ++i;
      continue;
    }
    int n = Utf8LeadLength(static_cast<unsigned char>(b));
    if (threeByteOnly && n != 3) return false;
    if (n < 2 || n > 4) return false;
    if (len - i < static_cast<std::size_t>(n)) return false;
    if (n == 2) {
      if (b < 0xC2 || b > 0xDF || !cont(i + 1)) return false;
    } else if (n == 3) {
      if (!cont(i + 1) || !cont(i + 2)) return false;
      if (b == 0xE0 && p[i + 1] <= 0x9F) return false;
      if (b == 0xED && p[i + 1] >= 0xA0) return false;
      if (b == 0xEF && p[i + 1] == 0xBF && p[i + 2] >= 0xBE) return false;
    } else {
      if (!cont(i + 1) || !cont(i + 2) || !cont(i + 3)) return false;
      if (b == 0xF0 && p[i + 1] <= 0x8F) return false;
      if (b == 0xF4 && p[i + 1] >= 0x90) return false;
      if (b > 0xF4) return false;
    }
    multi = true;
    i += static_cast<std::size_t>(n);
  }
  return multi;
}

// ---------------------------------------------------------------- UTF-16 <-> code pages

std::size_t ToWide(const char* text, char16_t* out, std::size_t outUnits, unsigned codePage) {
  if (out == nullptr || outUnits == 0) return 0;
  out[0] = 0;
  if (text == nullptr) return 0;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  switch (codePage) {
    case kCodePageGbk:
      return GbkToWide(p, out, outUnits);
    case kCodePageUtf8:
      return Utf8ToWide(p, out, outUnits);
    case kCodePageUtf16Le:
      return Utf16LeToWide(p, out, outUnits);
    case kCodePageEucJp:
    case 20932:
      return EucJpToWide(text, out, outUnits);
    default:
      return 0;
  }
}

std::size_t ToGbk(const char16_t* wide, char* out, std::size_t outSize) {
  if (out == nullptr || outSize == 0) return 0;
  std::size_t n = 0;
  if (wide != nullptr && WideLength(wide) <= (outSize - 1) / 2) {
    // Fits whole (at most two bytes per unit): no room checks.
    const std::uint16_t* encode = Gbk().encode;
    for (; *wide != 0; ++wide) {
      char16_t u = *wide;
      if (u < 0x80) {
        out[n++] = static_cast<char>(u);
      } else if (std::uint16_t code = encode[u]) {
        out[n] = static_cast<char>(code >> 8);
        out[n + 1] = static_cast<char>(code & 0xFF);
        n += 2;
      } else {
        out[n++] = u == 0x20AC ? '\x80' : '?';
      }
    }
  } else if (wide != nullptr) {
    const std::uint16_t* encode = Gbk().encode;
    const std::size_t last = outSize - 1;
    for (; *wide != 0 && n < last; ++wide) {
      char16_t u = *wide;
      if (u < 0x80) {
        out[n++] = static_cast<char>(u);
      } else if (std::uint16_t code = encode[u]) {
        if (n + 2 > last) break;  // a double-byte character is never split
        out[n++] = static_cast<char>(code >> 8);
        out[n++] = static_cast<char>(code & 0xFF);
      } else {
        out[n++] = u == 0x20AC ? '\x80' : '?';
      }
    }
  }
  out[n] = 0;
  return n;
}

std::size_t ToUtf8(const char16_t* wide, char* out, std::size_t size) {
  if (out == nullptr || size == 0) return 0;
  std::size_t n = 0;
  if (wide != nullptr) {
    // Blocks of 64 units while the room surely holds them (at most 3 bytes a
    // unit, 4 for a pair that may reach one unit past the block, plus one byte
    // that the three-byte store below may write past its character): no room
    // checks, and the length of each character chosen without branches.
    unsigned char* o = reinterpret_cast<unsigned char*>(out);
    constexpr std::size_t kBlock = 64, kBlockRoom = 3 * kBlock + 2;
    const std::size_t last = size - 1;
    while (last - n >= kBlockRoom) {
      const char16_t* blockEnd = wide + kBlock;
      for (; wide < blockEnd && *wide != 0; ++wide) {
        std::uint32_t c = *wide;
        if (c - 0xD800u >= 0x800u) {
          std::uint32_t ge80 = (c + 0xFF80u) >> 16;   // 1 when c >= 0x80
          std::uint32_t ge800 = (c + 0xF800u) >> 16;  // 1 when c >= 0x800
          std::uint32_t one = c;
          std::uint32_t two = (0xC0 | c >> 6) | (0x80 | (c & 0x3F)) << 8;
          std::uint32_t three =
              (0xE0 | c >> 12) | (0x80 | (c >> 6 & 0x3F)) << 8 | (0x80 | (c & 0x3F)) << 16;
          std::uint32_t m1 = ge80 - 1, m3 = 0u - ge800, m2 = ~(m1 | m3);
          std::uint32_t w = (one & m1) | (two & m2) | (three & m3);
          o[n] = static_cast<unsigned char>(w);
          o[n + 1] = static_cast<unsigned char>(w >> 8);
          o[n + 2] = static_cast<unsigned char>(w >> 16);
          n += 1 + ge80 + ge800;
        } else if (c <= 0xDBFF && wide[1] >= 0xDC00 && wide[1] <= 0xDFFF) {
          c = 0x10000 + ((c - 0xD800) << 10) + (wide[1] - 0xDC00);
          ++wide;
          o[n] = static_cast<unsigned char>(0xF0 | c >> 18);
          o[n + 1] = static_cast<unsigned char>(0x80 | (c >> 12 & 0x3F));
          o[n + 2] = static_cast<unsigned char>(0x80 | (c >> 6 & 0x3F));
          o[n + 3] = static_cast<unsigned char>(0x80 | (c & 0x3F));
          n += 4;
        } else {
          o[n] = 0xEF;  // unpaired surrogate: U+FFFD
          o[n + 1] = 0xBF;
          o[n + 2] = 0xBD;
          n += 3;
        }
      }
      if (*wide == 0) break;
    }
  }
  if (wide != nullptr && *wide != 0) {
    // The rest, with a room check for each character.
    const std::size_t last = size - 1;
    unsigned char* o = reinterpret_cast<unsigned char*>(out);
    for (; *wide != 0; ++wide) {
      std::uint32_t c = *wide;
      if (c < 0x80) {
        if (n + 1 > last) break;
        o[n++] = static_cast<unsigned char>(c);
        continue;
      }
      if (c >= 0xD800 && c <= 0xDBFF && wide[1] >= 0xDC00 && wide[1] <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (wide[1] - 0xDC00);
        if (n + 4 > last) break;
        ++wide;
        o[n++] = static_cast<unsigned char>(0xF0 | c >> 18);
        o[n++] = static_cast<unsigned char>(0x80 | (c >> 12 & 0x3F));
        o[n++] = static_cast<unsigned char>(0x80 | (c >> 6 & 0x3F));
        o[n++] = static_cast<unsigned char>(0x80 | (c & 0x3F));
        continue;
      }
      if (c >= 0xD800 && c <= 0xDFFF) c = kReplacement;  // unpaired surrogate
      if (c < 0x800) {
        if (n + 2 > last) break;
        o[n++] = static_cast<unsigned char>(0xC0 | c >> 6);
        o[n++] = static_cast<unsigned char>(0x80 | (c & 0x3F));
      } else {
        if (n + 3 > last) break;
        o[n++] = static_cast<unsigned char>(0xE0 | c >> 12);
        o[n++] = static_cast<unsigned char>(0x80 | (c >> 6 & 0x3F));
        o[n++] = static_cast<unsigned char>(0x80 | (c & 0x3F));
      }
    }
  }
  out[n] = 0;
  return n;
}

namespace {

// Bytes of GBK text taken by the character that starts with byte b, x being
// the byte after it: 2 for a lead byte (0x81..0xFE) followed by a byte that can
// trail it (0x40..0xFE but 0x7F), else 1. Every assigned pair has such a trail,
// so this is how far the decoder moves, and it needs no table lookup.
inline std::size_t GbkCharAdvance(unsigned b, unsigned x) {
  unsigned lead = b - 0x81u < 0x7Eu;
  unsigned trail = (x - 0x40u < 0xBFu) & (x != 0x7Fu);
  return 1 + (lead & trail);
}

}  // namespace

std::size_t GbkToUtf8(const char* text, char* out, std::size_t size) {
  if (out == nullptr || size == 0) return 0;
  out[0] = 0;
  if (text == nullptr) return 0;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  const unsigned char* const end = p + std::strlen(text);
  const Utf8Char* table = GbkUtf8().entry;
  unsigned char* o = reinterpret_cast<unsigned char*>(out);
  std::size_t n = 0;
  const std::size_t last = size - 1;

  // Blocks of kBlock input bytes while the room surely holds their output,
  // without room checks. Each input byte gives at most 3 bytes, and each
  // character is stored as the 4 bytes of its table entry (the spare byte is
  // overwritten by the next character or the zero). The last character of a
  // block starts at most kBlock - 1 bytes in (it may be a pair that ends one
  // byte past the block), so its output starts at most 3 * (kBlock - 1) bytes
  // in and its store reaches byte 3 * kBlock, the last byte allowed. The byte
  // after a character's first byte may be the terminating zero, never a byte
  // past it: a lead byte before the zero takes one byte only.
  constexpr std::size_t kBlock = 256;
  constexpr std::uint64_t kHighBits = 0x8080808080808080u;
  while (p < end && last - n >= 3 * kBlock) {
    const unsigned char* blockEnd =
        static_cast<std::size_t>(end - p) > kBlock ? p + kBlock : end;
    while (p < blockEnd) {
      const unsigned b = p[0], x = p[1];
      // The branches below are predicted well within runs of two-byte
      // characters or of ASCII, so the processor moves on to the next
      // character before the bytes of this one are in.
      if (GbkCharAdvance(b, x) == 2) {
        const Utf8Char& c = table[b << 8 | x];
        std::memcpy(o + n, &c, sizeof c);
        n += c.length;
        p += 2;
        continue;
      }
      // ASCII, 8 bytes at a time when that many follow; copied as they are.
      std::uint64_t word;
      if (b < 0x80 && blockEnd - p >= 8 &&
          (std::memcpy(&word, p, sizeof word), (word & kHighBits) == 0)) {
        std::memcpy(o + n, p, sizeof word);
        n += sizeof word;
        p += sizeof word;
        continue;
      }
      const Utf8Char& c = table[b << 8 | x];
      std::memcpy(o + n, &c, sizeof c);
      n += c.length;
      p += 1;
    }
  }
  // The rest, with a room check for each character.
  while (p < end) {
    unsigned b = p[0], x = p[1];
    const Utf8Char& c = table[b << 8 | x];
    if (c.length > last - n) break;
    std::memcpy(o + n, c.bytes, c.length);
    n += c.length;
    p += GbkCharAdvance(b, x);
  }
  o[n] = 0;
  return n;
}

// ---------------------------------------------------------------- GBK with references

int GbkCharOf(char16_t unit, char out[2]) {
  if (unit <= 0x7F) {
    out[0] = static_cast<char>(unit);
    return 1;
  }
  if (unit == 0x20AC) {
    out[0] = '\x80';
    return 1;
  }
  if (unit >= 0x148 && unit <= 0xFFE5) {
    if (std::uint16_t code = Gbk().encode[unit]) {
      out[0] = static_cast<char>(code >> 8);
      out[1] = static_cast<char>(code & 0xFF);
      return 2;
    }
  }
  out[0] = '?';
  return 1;
}

void WideToGbkRefs(const char16_t* wide, char* out, std::size_t size, bool useGbk) {
  if (out == nullptr || size == 0) return;
  std::memset(out, 0, size);
  if (wide == nullptr) return;
  // room counts the bytes still free; one of them always stays for the zero
  // (the plain loop would otherwise fill the buffer without a terminator).
  std::size_t room = size;
  for (; *wide != 0 && room > 1; ++wide) {
    char16_t u = *wide;
    if (u < 0x80) {
      *out++ = static_cast<char>(u);
      room -= 1;
      continue;
    }
    if (useGbk) {
      if (room < 2) break;
      char gbk[2];
      if (GbkCharOf(u, gbk) == 2) {
        if (room < 3) break;  // the zero needs the third byte
        *out++ = gbk[0];
        *out++ = gbk[1];
        room -= 2;
        continue;
      }
    }
    if (room < 8) break;
    char ref[8];
    std::size_t len = FormatRef(u, ref);
    if (len + 1 > room) break;  // "&#65535;" with exactly 8 bytes of room
    std::memcpy(out, ref, len);
    out += len;
    room -= len;
  }
}

void TextToGbkRefs(unsigned codePage, const char* text, char* out, std::size_t size, bool useGbk) {
  if (out == nullptr || size == 0) return;
  std::memset(out, 0, size);
  if (text == nullptr) return;
  std::vector<char16_t> wide = WideOf(text, codePage);
  // While more than 8 bytes are free, the longest write ("&#65535;", 8 bytes)
  // still leaves the zero's byte: the unchecked reference is safe.
  std::size_t room = size;
  for (const char16_t* w = wide.data(); *w != 0 && room > 8; ++w) {
    char16_t u = *w;
    if (u < 0x80) {
      *out++ = static_cast<char>(u);
      room -= 1;
      continue;
    }
    char gbk[2];
    if (useGbk && GbkCharOf(u, gbk) == 2) {
      *out++ = gbk[0];
      *out++ = gbk[1];
      room -= 2;
      continue;
    }
    std::size_t len = FormatRef(u, out);
    out += len;
    room -= len;
  }
}

void Utf8ToGbkRefs(const char* text, char* out, std::size_t maxLen) {
  if (out == nullptr || maxLen + 1 == 0) return;
  if (text == nullptr || *text == 0) {
    std::memset(out, 0, maxLen + 1);
    return;
  }
  TextToGbkRefs(kCodePageUtf8, text, out, maxLen + 1, true);
}

void Utf8ToGbkInPlace(char* text, bool fold, bool strict) {
  if (text == nullptr || *text == 0) return;
  if (strict ? !IsUtf8(text, false) : IsAscii(text)) return;
  std::size_t len = std::strlen(text);
  std::vector<char16_t> wide(len + 1);
  ToWide(text, wide.data(), wide.size(), kCodePageUtf8);
  if (fold) FoldLatin(wide.data());
  std::memset(text, 0, len + 1);
  ToGbk(wide.data(), text, len + 1);
}

namespace {

// FoldLatin's table for U+00C0..U+0261: the ASCII letter, or 0 for none.
constexpr unsigned kFoldFirst = 0xC0, kFoldLast = 0x261;
struct FoldTable {
  char letter[kFoldLast - kFoldFirst + 1];
};
constexpr FoldTable MakeFoldTable() {
  FoldTable t{};
  struct Item {
    unsigned first, last;
    char letter;
  };
  constexpr Item items[] = {
      {0xC0, 0xC6, 'A'}, {0x104, 0x104, 'A'}, {0xC7, 0xC7, 'C'}, {0x106, 0x106, 'C'},
      {0xC8, 0xCB, 'E'}, {0x118, 0x118, 'E'}, {0x152, 0x152, 'E'}, {0xCC, 0xCF, 'I'},
      {0xD0, 0xD0, 'D'}, {0xD1, 0xD1, 'N'}, {0x143, 0x143, 'N'}, {0xD2, 0xD6, 'O'},
      {0xD9, 0xDC, 'U'}, {0xDD, 0xDD, 'Y'}, {0x178, 0x178, 'Y'}, {0xDE, 0xDE, 'P'},
      {0xDF, 0xDF, 'B'}, {0xE0, 0xE6, 'a'}, {0x101, 0x101, 'a'}, {0x105, 0x105, 'a'},
      {0x1CE, 0x1CE, 'a'}, {0x251, 0x251, 'a'}, {0xE7, 0xE7, 'c'}, {0x107, 0x107, 'c'},
      {0xE8, 0xEB, 'e'}, {0x113, 0x113, 'e'}, {0x119, 0x119, 'e'}, {0x11B, 0x11B, 'e'},
      {0x153, 0x153, 'e'}, {0xEC, 0xEF, 'i'}, {0x12B, 0x12B, 'i'}, {0x1D0, 0x1D0, 'i'},
      {0xF0, 0xF0, 'd'}, {0xF1, 0xF1, 'n'}, {0x144, 0x144, 'n'}, {0x148, 0x148, 'n'},
      {0x1F9, 0x1F9, 'n'}, {0xF2, 0xF6, 'o'}, {0xF8, 0xF8, 'o'}, {0x14D, 0x14D, 'o'},
      {0x151, 0x151, 'o'}, {0x1D2, 0x1D2, 'o'}, {0xF9, 0xFC, 'u'}, {0x16B, 0x16B, 'u'},
      {0x1D4, 0x1D4, 'u'}, {0x1D6, 0x1D6, 'u'}, {0x1D8, 0x1D8, 'u'}, {0x1DA, 0x1DA, 'u'},
      {0x1DC, 0x1DC, 'u'}, {0xFD, 0xFD, 'y'}, {0xFF, 0xFF, 'y'}, {0xFE, 0xFE, 'p'},
      {0x141, 0x141, 'L'}, {0x142, 0x142, 'l'}, {0x15A, 0x15A, 'S'}, {0x160, 0x160, 'S'},
      {0x15B, 0x15B, 's'}, {0x161, 0x161, 's'}, {0x179, 0x179, 'Z'}, {0x17B, 0x17B, 'Z'},
      {0x17C, 0x17C, 'z'}, {0x192, 0x192, 'f'}, {0x261, 0x261, 'g'},
  };
  for (const Item& item : items) {
    for (unsigned u = item.first; u <= item.last; ++u) t.letter[u - kFoldFirst] = item.letter;
  }
  return t;
}
constexpr FoldTable kFold = MakeFoldTable();

}  // namespace

void FoldLatin(char16_t* wide) {
  if (wide == nullptr) return;
  for (; *wide != 0; ++wide) {
    char16_t u = *wide;
    if (u >= kFoldFirst && u <= kFoldLast && kFold.letter[u - kFoldFirst] != 0) {
      *wide = static_cast<char16_t>(kFold.letter[u - kFoldFirst]);
    }
  }
}

void GbkToWideRefs(const char* text, char16_t* out, std::size_t count, unsigned codePage) {
  if (out == nullptr || count == 0) return;
  ToWide(text, out, count, codePage);
  DecodeCharRefs(out);
}

void DecodeCharRefs(char16_t* wide) {
  if (wide == nullptr) return;
  // Numeric pass: r reads, o writes; the text never grows.
  std::size_t r = 0, o = 0;
  bool hasAmp = false;
  while (wide[r] != 0) {
    char16_t c = wide[r];
    if (c == '&' && wide[r + 1] == '#') {
      const char16_t* s = wide + r;
      if (s[2] == 'x') {
        // The && chains stop at the first unit that fails, so the zero is never passed.
        if (IsHexDigit(s[3]) && IsHexDigit(s[4]) && s[5] == ';') {
          unsigned v = HexValue(s[3]) << 4 | HexValue(s[4]);
          if (v != 0) {
            wide[o++] = static_cast<char16_t>(v);
            r += 6;
            continue;
          }
        } else if (IsHexDigit(s[3]) && IsHexDigit(s[4]) && IsHexDigit(s[5]) &&
                   IsHexDigit(s[6]) && s[7] == ';') {
          unsigned v = HexValue(s[3]) << 12 | HexValue(s[4]) << 8 | HexValue(s[5]) << 4 |
                       HexValue(s[6]);
          if (v != 0) {
            wide[o++] = static_cast<char16_t>(v);
            r += 8;
            continue;
          }
        }
      } else if (IsDecDigit(s[2])) {
        unsigned v = 0;
        for (std::size_t i = 2; IsDecDigit(s[i]); ++i) {
          if (v <= 65535) v = v * 10 + (s[i] - '0');  // saturates above 65535
        }
        if (v >= 10 && v <= 65535) {
          wide[o++] = static_cast<char16_t>(v);
          // The decoder skips "&#" and as many digits as the value has (leading
          // zeros stay in the text), then one ";" if present.
          r += 2 + DecimalDigits(v);
          if (wide[r] == ';') ++r;
          continue;
        }
      }
    }
    if (c == '&') hasAmp = true;
    wide[o++] = c;
    ++r;
  }
  wide[o] = 0;

  // Named pass: each entry in table order replaces all of its occurrences.
  // A replacement can form a new "&" (from "&amp;") that later entries see.
  if (!hasAmp) return;
  std::size_t count = 0;
  const NamedRef* refs = NamedRefs(&count);
  std::size_t length = o;
  for (std::size_t e = 0; e < count; ++e) {
    const NamedRef& ref = refs[e];
    bool found = false;
    r = 0;
    o = 0;
    while (r < length) {
      if (wide[r] == '&' && length - r >= ref.length) {
        std::size_t k = 1;
        while (k < ref.length && wide[r + k] == static_cast<unsigned char>(ref.name[k])) ++k;
        if (k == ref.length) {
          wide[o++] = ref.unit;
          r += ref.length;
          found = true;
          continue;
        }
      }
      wide[o++] = wide[r++];
    }
    if (found) {
      wide[o] = 0;
      length = o;
    }
  }
}

int CharRefLength(const char* text) {
  if (text == nullptr || text[0] != '&') return -1;
  int len = RefLengthAt(text);
  if (len > 0) return len;
  if (std::strchr(text, ';') == nullptr) return -2;
  return 0;
}

// ---------------------------------------------------------------- cutting and decoding

void CutText(char* text, std::size_t maxBytes) {
  if (text == nullptr) return;
  // Only the first maxBytes + 1 bytes matter for "longer than maxBytes".
  std::size_t len = 0;
  while (len <= maxBytes && text[len] != 0) ++len;
  if (len <= maxBytes) return;

  if (IsUtf8(text, false)) {
    std::size_t i = maxBytes;
    unsigned char removed = static_cast<unsigned char>(text[i]);
    text[i] = 0;
    while ((removed & 0xC0) == 0x80 && i > 0) {
      --i;
      removed = static_cast<unsigned char>(text[i]);
      text[i] = 0;
    }
    return;
  }

  std::size_t pos = 0;
  while (pos < maxBytes) {
    unsigned char b = static_cast<unsigned char>(text[pos]);
    if (b & 0x80) {
      if (pos + 2 > maxBytes) break;  // a double-byte character passes the limit by one
      pos += 2;
      continue;
    }
    if (b == '&') {
      int ref = RefLengthAt(text + pos);
      if (ref > 0) {
        std::size_t end = pos + static_cast<std::size_t>(ref);
        if (end >= maxBytes) {
          if (end == maxBytes) pos = end;
          break;
        }
        pos = end;
        continue;
      }
    }
    ++pos;
  }
  text[pos] = 0;
}

int Base64Decode(const char* text, std::size_t length, char* out, std::size_t outSize,
                 std::size_t* decodedLength) {
  if (decodedLength != nullptr) *decodedLength = 0;
  if (out != nullptr && outSize > 0) out[0] = 0;
  if (text == nullptr || out == nullptr || outSize == 0) return -1;
  std::size_t n = 0;
  while (n < length && text[n] != 0) ++n;  // never past the zero
  if (n == 0) return -1;

  std::string s(text, n);
  if (s.find_first_of("\r\n") != std::string::npos) {
    std::string kept;
    kept.reserve(s.size());
    for (char c : s) {
      if (c != '\r' && c != '\n') kept += c;
    }
    s.swap(kept);
  }
  if (s.find("\\u") != std::string::npos) {
    std::string kept;
    kept.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
      if (s.compare(i, 4, "\\u00") == 0 && i + 6 <= s.size() &&
          IsHexDigit(static_cast<unsigned char>(s[i + 4])) &&
          IsHexDigit(static_cast<unsigned char>(s[i + 5]))) {
        unsigned v = HexValue(static_cast<unsigned char>(s[i + 4])) << 4 |
                     HexValue(static_cast<unsigned char>(s[i + 5]));
        if (v < 0x80) {
          kept += static_cast<char>(v);
          i += 6;
          continue;
        }
      }
      kept += s[i++];
    }
    s.swap(kept);
  }
  std::size_t start = s.compare(0, 2, "+ ") == 0 ? 2 : 0;

  // Check every complete group first, so that a bad character leaves out empty.
  const std::size_t groupsEnd = start + (s.size() - start) / 4 * 4;
  for (std::size_t i = start; i < groupsEnd; i += 4) {
    for (std::size_t k = 0; k < 4; ++k) {
      unsigned char c = static_cast<unsigned char>(s[i + k]);
      if (Base64Value(c) < 0 && !(c == '=' && k >= 2)) return -1;
    }
  }
  const std::size_t last = outSize - 1;
  std::size_t w = 0;
  for (std::size_t i = start; i < groupsEnd && w < last; i += 4) {
    int v[4] = {0, 0, 0, 0};
    int valid = 4;
    for (std::size_t k = 0; k < 4; ++k) {
      unsigned char c = static_cast<unsigned char>(s[i + k]);
      if (c == '=') {
        valid = static_cast<int>(k);
        break;
      }
      v[k] = Base64Value(c);
    }
    unsigned char bytes[3];
    int count = 0;
    bytes[count++] = static_cast<unsigned char>(v[0] << 2 | v[1] >> 4);
    if (valid >= 3) bytes[count++] = static_cast<unsigned char>((v[1] & 0x0F) << 4 | v[2] >> 2);
    if (valid >= 4) bytes[count++] = static_cast<unsigned char>((v[2] & 0x03) << 6 | v[3]);
    for (int k = 0; k < count && w < last; ++k) out[w++] = static_cast<char>(bytes[k]);
  }
  out[w] = 0;
  if (decodedLength != nullptr) *decodedLength = w;
  return 0;
}

void DecodeWideText(const char* text, char16_t* out, std::size_t count) {
  if (out == nullptr || count == 0) return;
  out[0] = 0;
  if (text == nullptr) return;
  std::size_t length = std::strlen(text);
  if (IsBase64Wrapped(text, length)) {
    std::size_t bytes = (length - 3) / 4 * 3;
    std::vector<char> raw(bytes + 1);
    std::size_t decoded = 0;
    if (Base64Decode(text + 3, length - 3, raw.data(), raw.size(), &decoded) != 0) return;
    std::size_t units = 0;
    while (units < decoded / 2 &&
           (raw[2 * units] != 0 || raw[2 * units + 1] != 0)) {
      ++units;
    }
    if (units + 1 > count) return;  // does not fit: out stays empty
    for (std::size_t i = 0; i < units; ++i) {
      out[i] = static_cast<char16_t>(static_cast<unsigned char>(raw[2 * i]) |
                                     static_cast<unsigned char>(raw[2 * i + 1]) << 8);
    }
    out[units] = 0;
    return;
  }
  if (text[0] == 'x' && (length - 1) % 4 == 0) {
    std::size_t groups = (length - 1) / 4;
    if (groups >= count) return;
    for (std::size_t i = 1; i < length; ++i) {
      char c = text[i];
      if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return;
    }
    for (std::size_t g = 0; g < groups; ++g) {
      const unsigned char* d = reinterpret_cast<const unsigned char*>(text + 1 + 4 * g);
      unsigned low = HexValue(d[0]) << 4 | HexValue(d[1]);
      unsigned high = HexValue(d[2]) << 4 | HexValue(d[3]);
      out[g] = static_cast<char16_t>(high << 8 | low);
    }
    out[groups] = 0;
  }
}

void FieldToUtf8(const char* text, char* out, std::size_t utf8Size, int cutTo) {
  if (out == nullptr || utf8Size == 0) return;
  out[0] = 0;
  if (text == nullptr || text[0] == 0) return;
  if (text[0] == 7 || text[0] == 6) {
    std::size_t decoded = 0;
    Base64Decode(text + 1, std::strlen(text + 1), out, utf8Size, &decoded);
    return;
  }
  constexpr std::size_t kWideUnits = 4096;
  const std::size_t length = std::strlen(text);
  if (IsBase64Wrapped(text, length)) {
    std::vector<char16_t> wide(kWideUnits, 0);
    DecodeWideText(text, wide.data(), wide.size());
    ToUtf8(wide.data(), out, utf8Size);
  } else if (length < kWideUnits && std::memchr(text, '&', length) == nullptr) {
    // No "&", so no reference to decode; and a text shorter than the UTF-16
    // buffer (at most one unit per byte) is never cut by it. The direct
    // conversion then gives the same bytes without the UTF-16 detour.
    GbkToUtf8(text, out, utf8Size);
  } else {
    std::vector<char16_t> wide(kWideUnits, 0);
    GbkToWideRefs(text, wide.data(), wide.size(), kCodePageGbk);
    ToUtf8(wide.data(), out, utf8Size);
  }
  if (cutTo > 0) CutText(out, static_cast<std::size_t>(cutTo));
}
