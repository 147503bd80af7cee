#include "agent/text/json.h"

#include <climits>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Above these content lengths a string value is copied raw: unescaping would
// need work buffers far larger than any answer the agent reads.
constexpr std::size_t kUnescapeLimit = 4096;
constexpr std::size_t kUnescapeLimitLarge = 65536;

// Stands for a backslash that unescaping produced. Such a backslash is data
// and must never start another escape; a zero cannot occur in the content
// (the text ends at its first zero) and is turned back into "\" at the end.
constexpr char kLiteralBackslash = '\0';

constexpr char kHexUpper[] = "0123456789ABCDEF";

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

int HexValue16(char16_t c) { return c < 0x80 ? HexValue(static_cast<char>(c)) : -1; }

// Value of the count hexadecimal digits at text[at], or -1 when one is missing.
long HexNumber(std::string_view text, std::size_t at, std::size_t count) {
  if (at + count > text.size()) return -1;
  long value = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const int digit = HexValue(text[at + i]);
    if (digit < 0) return -1;
    value = value * 16 + digit;
  }
  return value;
}

void AppendCodePoint(std::u16string& out, unsigned long cp) {
  if (cp <= 0xFFFF) {
    out.push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  }
}

// Turns the numeric references "&#<decimal>;", "&#x<2 hex>;" and "&#x<4 hex>;"
// into the characters they name. Named references stay: a value may well
// contain "&amp;" meant literally. A reference to 0 would cut the text short
// and one beyond Unicode names nothing; both are kept as written.
std::u16string DecodeNumericRefs(const std::u16string& in) {
  std::u16string out;
  out.reserve(in.size());
  std::size_t i = 0;
  while (i < in.size()) {
    if (in[i] == u'&' && i + 2 < in.size() && in[i + 1] == u'#') {
      std::size_t j = i + 2;
      unsigned long value = 0;
      std::size_t digits = 0;
      if (in[j] == u'x') {
        ++j;
        while (j < in.size() && digits < 5 && HexValue16(in[j]) >= 0) {
          value = value * 16 + static_cast<unsigned long>(HexValue16(in[j]));
          ++j;
          ++digits;
        }
        if (digits != 2 && digits != 4) digits = 0;
      } else {
        while (j < in.size() && digits < 8 && IsDigit(in[j])) {
          value = value * 10 + (in[j] - u'0');
          ++j;
          ++digits;
        }
        if (digits > 7) digits = 0;
      }
      if (digits > 0 && j < in.size() && in[j] == u';' && value > 0 && value <= 0x10FFFF) {
        AppendCodePoint(out, value);
        i = j + 1;
        continue;
      }
    }
    out.push_back(in[i]);
    ++i;
  }
  return out;
}

// The value as UTF-16: one of the two wide-text wrappers, or text in codePage
// with its numeric references decoded. False when the code page conversion
// refuses a non-empty text.
bool ValueToWide(const char* value, unsigned codePage, std::u16string& wide) {
  if (codePage == kCodePageUtf16Le) {
    // Already UTF-16 (little-endian bytes, ending at a zero unit).
    std::size_t count = 0;
    while (value[2 * count] != '\0' || value[2 * count + 1] != '\0') ++count;
    std::vector<char16_t> units(count + 1, u'\0');
    const std::size_t converted = ToWide(value, units.data(), units.size(), codePage);
    wide = DecodeNumericRefs(std::u16string(units.data(), converted));
    return true;
  }
  const std::size_t length = std::strlen(value);
  std::vector<char16_t> units(length + 2, u'\0');
  DecodeWideText(value, units.data(), units.size());
  if (units[0] != u'\0') {
    wide.assign(units.data());
    return true;
  }
  if (codePage == 20932) codePage = kCodePageEucJp;
  const std::size_t count = ToWide(value, units.data(), units.size(), codePage);
  if (count == 0) return false;
  wide = DecodeNumericRefs(std::u16string(units.data(), count));
  return true;
}

// A GBK value that is neither of the two wide-text wrappers (both start with
// "x" or "?B?") and holds no reference ("&"): its UTF-8 form is then the plain
// code page conversion, which GbkToUtf8 does in one pass.
bool IsPlainGbk(const char* value, unsigned codePage) {
  return codePage == kCodePageGbk && value[0] != 'x' && std::strncmp(value, "?B?", 3) != 0 &&
         std::strchr(value, '&') == nullptr;
}

void AppendEscape(std::string& out, unsigned char byte) {
  const char escape[] = {'\\', 'u', '0', '0', kHexUpper[byte >> 4], kHexUpper[byte & 0x0F]};
  out.append(escape, sizeof escape);
}

// The UTF-8 bytes with backslash, quote, slash, the control bytes and DEL
// escaped as \u00XX; every other byte, 0x80 and above included, is kept.
void AppendEscaped(std::string& out, std::string_view utf8, const JsonStringOptions& options) {
  for (const char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    if (options.linesAsSpaces && byte == '\r') continue;
    if (options.linesAsSpaces && byte == '\n') {
      out.push_back(' ');
    } else if (byte == '\\' || byte == '"' || (byte == '/' && !options.keepSlash) ||
               byte < 0x20 || byte == 0x7F) {
      AppendEscape(out, byte);
    } else {
      out.push_back(c);
    }
  }
}

// ---- reader ----

// Skips tab, LF, CR, space and the URL-encoded space "%20".
std::size_t SkipSpace(std::string_view text, std::size_t at) {
  while (at < text.size()) {
    const char c = text[at];
    if (c == '\t' || c == '\n' || c == '\r' || c == ' ') {
      ++at;
    } else if (text.compare(at, 3, "%20") == 0) {
      at += 3;
    } else {
      break;
    }
  }
  return at;
}

bool EndsBareValue(char c) {
  return c == '\t' || c == '\n' || c == '\r' || c == ' ' || c == ',' || c == ']' || c == '}';
}

// Copies GBK text into out (max bytes and a zero). A byte with the high bit
// set goes with the byte after it; a pair that would pass max is left out
// whole, and so is a lead byte that has no byte after it.
std::size_t CopyGbk(std::string_view text, char* out, std::size_t max) {
  std::size_t n = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    if (static_cast<unsigned char>(text[i]) < 0x80) {
      if (n + 1 > max) break;
      out[n++] = text[i++];
    } else {
      if (i + 1 >= text.size() || n + 2 > max) break;
      out[n++] = text[i++];
      out[n++] = text[i++];
    }
  }
  out[n] = '\0';
  return n;
}

// Puts the byte that an escape stands for; a backslash is marked as data.
void PutUnescaped(std::string& out, char byte) {
  out.push_back(byte == '\\' ? kLiteralBackslash : byte);
}

// Single-character escapes. \a, \b and \f become spaces; any other escape
// (\u, \x, ...) is kept for the later steps.
std::string UnescapeSimple(std::string_view content) {
  std::string out;
  out.reserve(content.size());
  for (std::size_t i = 0; i < content.size(); ++i) {
    const char c = content[i];
    if (c != '\\' || i + 1 >= content.size()) {
      out.push_back(c);
      continue;
    }
    const char next = content[i + 1];
    switch (next) {
      case '"': case '\'': case '/': case '\\': PutUnescaped(out, next); break;
      case 'n': out.push_back('\n'); break;
      case 'r': out.push_back('\r'); break;
      case 't': out.push_back('\t'); break;
      case 'a': case 'b': case 'f': out.push_back(' '); break;
      default: out.push_back(c); out.push_back(next); break;
    }
    ++i;
  }
  return out;
}

// "\x" with two hexadecimal digits becomes that byte, unless it is zero.
std::string UnescapeHexBytes(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'x') {
      const long value = HexNumber(text, i + 2, 2);
      if (value > 0) {
        PutUnescaped(out, static_cast<char>(value));
        i += 3;
        continue;
      }
    }
    out.push_back(text[i]);
  }
  return out;
}

// "\u00XX" naming an ASCII character (other than zero) becomes that byte.
std::string UnescapeAsciiUnits(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 5 < text.size() && text[i + 1] == 'u' && text[i + 2] == '0' &&
        text[i + 3] == '0') {
      const long value = HexNumber(text, i + 4, 2);
      if (value > 0 && value < 0x80) {
        PutUnescaped(out, static_cast<char>(value));
        i += 5;
        continue;
      }
    }
    out.push_back(text[i]);
  }
  return out;
}

void RestoreBackslashes(std::string& text) {
  for (char& c : text) {
    if (c == kLiteralBackslash) c = '\\';
  }
}

// Position of the next "\u" with four hexadecimal digits naming a non-zero unit.
std::size_t FindUnitEscape(const std::string& text, std::size_t from, long* unit) {
  for (std::size_t i = text.find("\\u", from); i != std::string::npos;
       i = text.find("\\u", i + 1)) {
    const long value = HexNumber(text, i + 2, 4);
    if (value > 0) {
      *unit = value;
      return i;
    }
  }
  return std::string::npos;
}

// Appends a run of plain text converted from codePage.
void AppendSegment(std::u16string& wide, std::string segment, unsigned codePage) {
  if (segment.empty()) return;
  RestoreBackslashes(segment);
  std::vector<char16_t> units(segment.size() + 1, u'\0');
  const std::size_t count = ToWide(segment.c_str(), units.data(), units.size(), codePage);
  wide.append(units.data(), count);
}

// Converts text (UTF-8 or GBK, as told) whose "\uXXXX" escapes are still in
// it into GBK; characters GBK cannot hold become "?".
std::string ToGbkDecodingUnits(const std::string& text, unsigned codePage) {
  std::u16string wide;
  std::size_t from = 0;
  long unit = 0;
  for (std::size_t at = FindUnitEscape(text, 0, &unit); at != std::string::npos;
       at = FindUnitEscape(text, from, &unit)) {
    AppendSegment(wide, text.substr(from, at - from), codePage);
    wide.push_back(static_cast<char16_t>(unit));
    from = at + 6;
  }
  AppendSegment(wide, text.substr(from), codePage);
  std::vector<char> gbk(wide.size() * 2 + 1, '\0');
  const std::size_t length = ToGbk(wide.c_str(), gbk.data(), gbk.size());
  return std::string(gbk.data(), length);
}

// Unescapes the content of a string value into GBK text in out.
std::size_t ReadStringContent(std::string_view content, char* out, std::size_t max) {
  const bool unescape = content.size() < kUnescapeLimit ||
                        (max >= kUnescapeLimit && content.size() < kUnescapeLimitLarge);
  if (!unescape) return CopyGbk(content, out, max);

  std::string text = UnescapeAsciiUnits(UnescapeHexBytes(UnescapeSimple(content)));
  std::string plain = text;
  RestoreBackslashes(plain);
  const bool utf8 = IsUtf8(plain.c_str(), false);
  long unit = 0;
  const bool hasUnits = FindUnitEscape(text, 0, &unit) != std::string::npos;
  if (!utf8 && !hasUnits) return CopyGbk(plain, out, max);
  // A UTF-8 answer may still carry \u escapes next to raw characters; both
  // are decoded so that no escape reaches the caller as text.
  return CopyGbk(ToGbkDecodingUnits(text, utf8 ? kCodePageUtf8 : kCodePageGbk), out, max);
}

}  // namespace

// ---- writer ----

JsonWriter::JsonWriter(char* buffer, std::size_t size) noexcept
    : buffer_(buffer), size_(buffer != nullptr ? size : 0), ok_(size_ > 0) {
  if (ok_) buffer_[0] = '\0';
}

bool JsonWriter::Put(std::string_view bytes) {
  if (bytes.size() >= size_ - length_) return false;  // the zero needs a byte too
  std::memcpy(buffer_ + length_, bytes.data(), bytes.size());
  length_ += bytes.size();
  buffer_[length_] = '\0';
  return true;
}

bool JsonWriter::Refuse(std::size_t memberStart) {
  length_ = memberStart;
  if (size_ > 0) buffer_[length_] = '\0';
  ok_ = false;
  return false;
}

bool JsonWriter::Append(std::string_view text) {
  if (!ok_) return false;
  return Put(text) || Refuse(length_);
}

bool JsonWriter::String(std::string_view name, const char* value, bool comma, unsigned codePage,
                        JsonStringOptions options) {
  if (!ok_) return false;
  std::string member;
  member.reserve(name.size() + 8);
  member.push_back('"');
  member.append(name);
  member.append("\":");
  if (value == nullptr) {
    member.append("null");
  } else {
    member.push_back('"');
    const bool empty = codePage == kCodePageUtf16Le ? value[0] == '\0' && value[1] == '\0'
                                                    : value[0] == '\0';
    if (!empty) {
      std::vector<char> utf8;
      std::size_t length = 0;
      if (IsPlainGbk(value, codePage)) {
        utf8.assign(std::strlen(value) * 3 + 1, '\0');  // at most 3 bytes a byte
        length = GbkToUtf8(value, utf8.data(), utf8.size());
      } else {
        std::u16string wide;
        if (!ValueToWide(value, codePage, wide)) return Refuse(length_);
        utf8.assign(wide.size() * 3 + 1, '\0');
        length = ToUtf8(wide.c_str(), utf8.data(), utf8.size());
      }
      AppendEscaped(member, std::string_view(utf8.data(), length), options);
    }
    member.push_back('"');
  }
  if (comma) member.push_back(',');
  return Put(member) || Refuse(length_);
}

bool JsonWriter::Int(std::string_view name, int number, bool comma, bool quoted) {
  if (!ok_) return false;
  std::string member;
  member.push_back('"');
  member.append(name);
  member.append("\":");
  if (quoted) member.push_back('"');
  member.append(std::to_string(number));
  if (quoted) member.push_back('"');
  if (comma) member.push_back(',');
  return Put(member) || Refuse(length_);
}

namespace {

std::size_t Room(const char* pos, const char* end) {
  return pos != nullptr && end != nullptr && pos < end ? static_cast<std::size_t>(end - pos) : 0;
}

}  // namespace

char* JsonAppend(char* pos, char* end, std::string_view text) {
  if (pos == nullptr) return nullptr;
  if (text.empty()) return pos;
  JsonWriter writer(pos, Room(pos, end));
  return writer.Append(text) ? writer.position() : nullptr;
}

char* JsonString(char* pos, char* end, std::string_view name, const char* value, bool comma,
                 unsigned codePage) {
  JsonWriter writer(pos, Room(pos, end));
  return writer.String(name, value, comma, codePage) ? writer.position() : nullptr;
}

char* JsonInt(char* pos, char* end, std::string_view name, int number, bool comma, bool quoted) {
  JsonWriter writer(pos, Room(pos, end));
  return writer.Int(name, number, comma, quoted) ? writer.position() : nullptr;
}

// ---- reader ----

std::size_t JsonGetString(std::string_view name, std::string_view text, char* out,
                          std::size_t max) {
  if (out == nullptr) return 0;
  out[0] = '\0';
  text = text.substr(0, text.find('\0'));

  std::string pattern;
  pattern.reserve(name.size() + 2);
  pattern.push_back('"');
  pattern.append(name);
  pattern.push_back('"');
  const std::size_t found = text.find(pattern);
  if (found == std::string_view::npos) return 0;

  std::size_t at = SkipSpace(text, found + pattern.size());
  if (at >= text.size() || text[at] != ':') return 0;
  at = SkipSpace(text, at + 1);
  if (at < text.size() && text[at] == '[') at = SkipSpace(text, at + 1);
  if (at >= text.size()) return 0;

  if (text[at] == '"') {
    const std::size_t begin = at + 1;
    std::size_t backslashes = 0;
    for (std::size_t i = begin; i < text.size(); ++i) {
      if (text[i] == '\\') {
        ++backslashes;
        continue;
      }
      if (text[i] == '"' && backslashes % 2 == 0) {
        if (i == begin) return 0;
        return ReadStringContent(text.substr(begin, i - begin), out, max);
      }
      backslashes = 0;
    }
    return 0;  // the string never ends
  }
  if (text.compare(at, 4, "null") == 0) return 0;

  std::size_t end = at;
  while (end < text.size() && !EndsBareValue(text[end])) ++end;
  return CopyGbk(text.substr(at, end - at), out, max);
}

int JsonGetInt(std::string_view name, std::string_view text, int defaultValue) {
  char value[64];
  if (JsonGetString(name, text, value, sizeof value - 1) == 0) return defaultValue;

  const char* p = value;
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  const bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  // Accumulate towards the negative side, which holds INT_MIN too.
  long long number = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    number = number * 10 - (*p - '0');
    if (number < INT_MIN) {
      number = INT_MIN;
      break;
    }
  }
  if (negative) return static_cast<int>(number);
  return number <= -static_cast<long long>(INT_MAX) ? INT_MAX : static_cast<int>(-number);
}
