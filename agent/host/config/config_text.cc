#include "agent/host/config/config_text.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

constexpr std::size_t kMaxTimePiece = 15;
constexpr std::size_t kMinMaskLength = 6;
constexpr std::size_t kMaxMaskLength = 20;

// "<短信号掩码开始>" and "<短信号掩码结束>"
constexpr std::string_view kMaskBegin =
    "<\xB6\xCC\xD0\xC5\xBA\xC5\xD1\xDA\xC2\xEB\xBF\xAA\xCA\xBC>";
constexpr std::string_view kMaskEnd =
    "<\xB6\xCC\xD0\xC5\xBA\xC5\xD1\xDA\xC2\xEB\xBD\xE1\xCA\xF8>";
constexpr std::string_view kFullWidthSpace = "\xA1\xA1";  // "　"

// The text as C code sees it: everything before the first zero byte.
std::string_view UpToZero(std::string_view text) {
  return text.substr(0, text.find('\0'));
}

bool IsLineBreak(char c) { return c == '\r' || c == '\n'; }

// Bytes 1..32: controls and the space. Bytes of GBK characters (0x40 and up)
// never fall in this range, so trimming cannot split a character.
bool IsBlankByte(char c) {
  const auto b = static_cast<unsigned char>(c);
  return b >= 1 && b <= 32;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsDecimalSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Position of the key at the very start of the text or right after CR or LF.
std::size_t FindAtLineStart(std::string_view text, std::string_view key) {
  std::size_t from = 0;
  while (true) {
    const std::size_t at = text.find(key, from);
    if (at == std::string_view::npos) return at;
    if (at == 0 || IsLineBreak(text[at - 1])) return at;
    from = at + key.size();
  }
}

// The raw value after the key: quoted up to its closing quote, otherwise up
// to the line end or a "#" comment.
std::string_view ValueAfter(std::string_view text, std::size_t start) {
  std::size_t i = start;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  char quote = '\0';
  if (i < text.size() && (text[i] == '\'' || text[i] == '"')) quote = text[i++];
  const std::size_t begin = i;
  for (; i < text.size() && !IsLineBreak(text[i]); ++i) {
    const char c = text[i];
    if (quote != '\0') {
      if (c == quote && text[i - 1] != '\\') break;
      continue;
    }
    const bool hashFollows = i + 1 < text.size() && text[i + 1] == '#';
    if (!hashFollows) continue;
    if (c == '\t') break;
    if (c == ' ' && (text[i - 1] == ' ' || text[i - 1] == '\t')) break;
  }
  return text.substr(begin, i - begin);
}

std::string_view TrimBlankBytes(std::string_view v) {
  while (!v.empty() && IsBlankByte(v.front())) v.remove_prefix(1);
  while (!v.empty() && IsBlankByte(v.back())) v.remove_suffix(1);
  return v;
}

// Length of the GBK character at the start of s: 2 for a lead byte with a
// byte after it, else 1.
std::size_t GbkCharLength(std::string_view s) {
  return static_cast<unsigned char>(s[0]) >= 0x81 && s.size() >= 2 ? 2 : 1;
}

bool IsMaskBlank(std::string_view ch) {
  return ch == kFullWidthSpace ||
         (ch.size() == 1 && (ch[0] == '\t' || ch[0] == '\r' || ch[0] == '\n' || ch[0] == ' '));
}

// A mask line without the bytes 1..32 in front and without tabs, line
// breaks, spaces and full-width spaces at either end. The end is found by
// walking whole GBK characters, so the trail byte A1 of a character is
// never mistaken for half a full-width space.
std::string_view TrimMaskLine(std::string_view line) {
  while (!line.empty() && IsBlankByte(line.front())) line.remove_prefix(1);
  std::size_t keepEnd = 0;  // end of the last character that is not blank
  bool leading = true;
  std::size_t begin = 0;
  for (std::size_t i = 0; i < line.size();) {
    const std::size_t n = GbkCharLength(line.substr(i));
    const bool blank = IsMaskBlank(line.substr(i, n));
    if (leading && blank) {
      begin = i + n;
    } else if (!blank) {
      leading = false;
      keepEnd = i + n;
    }
    i += n;
  }
  if (leading) return {};
  return line.substr(begin, keepEnd - begin);
}

std::uint32_t ReadTime(std::string_view piece) {
  std::uint32_t parts[3] = {0, 0, 0};
  for (std::uint32_t& part : parts) {
    const std::size_t colon = piece.find(':');
    part = static_cast<std::uint32_t>(ReadDecimal(piece.substr(0, colon)));
    if (colon == std::string_view::npos) break;
    piece.remove_prefix(colon + 1);
  }
  // Unsigned arithmetic: absurd numbers wrap instead of overflowing.
  return parts[0] * 10000u + parts[1] * 100u + parts[2];
}

}  // namespace

std::size_t GetKeyValue(std::string_view key, std::string_view text, char* dst,
                        std::size_t dstSize, std::size_t minLen, std::size_t maxLen,
                        bool trim) {
  if (dst == nullptr || dstSize == 0) return 0;
  dst[0] = '\0';
  text = UpToZero(text);
  key = UpToZero(key);
  if (key.empty() || text.empty()) return 0;
  const std::size_t at = FindAtLineStart(text, key);
  if (at == std::string_view::npos) return 0;
  std::string_view value = ValueAfter(text, at + key.size());
  if (trim) value = TrimBlankBytes(value);
  if (value.size() < minLen || value.size() > maxLen || value.size() >= dstSize) return 0;
  std::memcpy(dst, value.data(), value.size());
  dst[value.size()] = '\0';
  return value.size();
}

int ReadDecimal(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsDecimalSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative) value = -value;
  return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

int ParseTimeList(std::string_view text, std::vector<std::uint32_t>* list) {
  list->clear();
  text = UpToZero(text);
  while (true) {
    const std::size_t comma = text.find(',');
    const std::string_view piece = text.substr(0, comma);
    if (!piece.empty() && piece.size() <= kMaxTimePiece) {
      const std::uint32_t t = ReadTime(piece);
      list->insert(std::lower_bound(list->begin(), list->end(), t), t);
    }
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  return static_cast<int>(list->size());
}

int ParseSmsMasks(std::string_view text, std::vector<std::string>* masks) {
  masks->clear();
  text = UpToZero(text);
  const std::size_t open = text.find(kMaskBegin);
  if (open == std::string_view::npos) return 0;
  std::string_view section = text.substr(open + kMaskBegin.size());
  const std::size_t close = section.find(kMaskEnd);
  if (close == std::string_view::npos) return 0;
  section = section.substr(0, close);
  // The marker's own line break: at most two bytes, and only line-break bytes,
  // so a file with bare LF line ends keeps the first byte of its first mask.
  for (int skipped = 0; skipped < 2 && !section.empty() && IsLineBreak(section.front());
       ++skipped) {
    section.remove_prefix(1);
  }
  while (!section.empty()) {
    std::size_t end = 0;
    while (end < section.size() && !IsLineBreak(section[end])) ++end;
    const std::string_view mask = TrimMaskLine(section.substr(0, end));
    if (mask.size() >= kMinMaskLength && mask.size() <= kMaxMaskLength) {
      masks->emplace_back(mask);
    }
    section.remove_prefix(end < section.size() ? end + 1 : end);
  }
  return static_cast<int>(masks->size());
}
