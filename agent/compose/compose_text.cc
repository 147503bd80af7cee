#include "agent/compose/compose_text.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "agent/text/encoding.h"

namespace compose_text {
namespace {

constexpr std::string_view kIdeographicSpace = "\xA1\xA1";  // "　"

bool IsAsciiSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsWithNoCase(std::string_view text, std::size_t pos, std::string_view what) {
  if (text.size() - pos < what.size()) return false;
  for (std::size_t i = 0; i < what.size(); ++i) {
    if (LowerAscii(text[pos + i]) != LowerAscii(what[i])) return false;
  }
  return true;
}

std::size_t FindNoCase(std::string_view text, std::string_view what, std::size_t from) {
  for (std::size_t i = from; i + what.size() <= text.size(); ++i) {
    if (StartsWithNoCase(text, i, what)) return i;
  }
  return std::string_view::npos;
}

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Length of the character reference at text[pos], or 0. CharRefLength reads
// up to a zero byte, so it gets a zero-terminated copy of the few bytes a
// reference can span.
std::size_t RefLengthAt(std::string_view text, std::size_t pos) {
  constexpr std::size_t kLongestRef = 10;
  char probe[kLongestRef + 2] = {};
  const std::size_t n = std::min(kLongestRef + 1, text.size() - pos);
  std::memcpy(probe, text.data() + pos, n);
  const int len = CharRefLength(probe);
  return len > 0 && static_cast<std::size_t>(len) <= n ? static_cast<std::size_t>(len) : 0;
}

// First pass of PlainText: entities that stand for spaces, comments, scripts
// and tags.
std::string StripMarkup(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c == '&' && (text.compare(i, 6, "&nbsp;") == 0 || text.compare(i, 6, "&#160;") == 0)) {
      out.push_back(' ');
      i += 6;
      continue;
    }
    if (c == '<') {
      if (text.compare(i, 4, "<!--") == 0) {
        const std::size_t end = text.find("-->", i + 4);
        i = end == std::string_view::npos ? text.size() : end + 3;
        continue;
      }
      if (StartsWithNoCase(text, i, "<script")) {
        const std::size_t end = FindNoCase(text, "</script>", i + 7);
        i = end == std::string_view::npos ? text.size() : end + 9;
        continue;
      }
      if (i + 1 < text.size() &&
          (IsAsciiLetter(text[i + 1]) || text[i + 1] == '/' || text[i + 1] == '?')) {
        const std::size_t end = text.find('>', i + 1);
        if (end != std::string_view::npos) {  // "<br>" and "<br/>" included
          out.push_back(' ');
          i = end + 1;
          continue;
        }
      }
    }
    const std::size_t n = GbkUnitLength(text, i);
    out.append(text.data() + i, n);
    i += n;
  }
  return out;
}

}  // namespace

std::size_t GbkCutLength(std::string_view text, std::size_t maxBytes) {
  if (text.size() <= maxBytes) return text.size();
  std::size_t pos = 0;
  while (pos < maxBytes) {
    std::size_t n = GbkUnitLength(text, pos);
    if (text[pos] == '&') {
      const std::size_t ref = RefLengthAt(text, pos);
      if (ref > 0) n = ref;
    }
    if (pos + n > maxBytes) break;
    pos += n;
  }
  return pos;
}

std::size_t GbkFind(std::string_view text, std::string_view what, std::size_t from) {
  if (what.empty()) return from <= text.size() ? from : std::string_view::npos;
  std::size_t candidate = text.find(what, from);
  std::size_t pos = from;
  while (candidate != std::string_view::npos) {
    while (pos < candidate) pos += GbkUnitLength(text, pos);
    if (pos == candidate) return candidate;
    // The match began inside a double-byte character: look again after it.
    candidate = text.find(what, pos);
  }
  return std::string_view::npos;
}

bool ReplaceInField(char* field, std::size_t size, std::string_view from, std::string_view to,
                    bool gbk) {
  if (size == 0 || from.empty()) return true;
  const std::string_view text(field, strnlen(field, size));
  auto find = [&](std::size_t at) { return gbk ? GbkFind(text, from, at) : text.find(from, at); };
  std::size_t hit = find(0);
  if (hit == std::string_view::npos) return true;
  // The result is built aside (on the stack for the record's fields) and
  // copied back only when it fits whole.
  constexpr std::size_t kLocal = 4096;
  char local[kLocal];
  std::unique_ptr<char[]> heap;
  char* result = local;
  if (size > kLocal) {
    heap.reset(new char[size]);
    result = heap.get();
  }
  std::size_t length = 0;
  auto put = [&](std::string_view bytes) {
    if (bytes.size() >= size - length) return false;
    if (!bytes.empty()) std::memcpy(result + length, bytes.data(), bytes.size());
    length += bytes.size();
    return true;
  };
  std::size_t done = 0;
  while (hit != std::string_view::npos) {
    if (!put(text.substr(done, hit - done)) || !put(to)) return false;
    done = hit + from.size();
    hit = find(done);
  }
  if (!put(text.substr(done))) return false;
  std::memcpy(field, result, length);
  field[length] = '\0';
  return true;
}

std::string_view TrimSpaces(std::string_view text) {
  std::size_t begin = 0;
  std::size_t end = 0;  // end of the last character that is not a space
  bool leading = true;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t n = GbkUnitLength(text, i);
    const std::string_view ch = text.substr(i, n);
    const bool space = ch == kIdeographicSpace || (n == 1 && IsAsciiSpace(ch[0]));
    if (!space) {
      leading = false;
      end = i + n;
    } else if (leading) {
      begin = i + n;
    }
    i += n;
  }
  return leading ? std::string_view() : text.substr(begin, end - begin);
}

std::string PlainText(std::string_view text) {
  const std::string stripped = StripMarkup(text);
  std::string out;
  out.reserve(stripped.size());
  bool inSpace = false;
  for (std::size_t i = 0; i < stripped.size();) {
    const char c = stripped[i];
    if (IsAsciiSpace(c)) {
      if (!inSpace) out.push_back(' ');
      inSpace = true;
      ++i;
      continue;
    }
    inSpace = false;
    if (c == '&') {
      static constexpr struct {
        std::string_view name;
        char ch;
      } kEntities[] = {{"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}};
      bool decoded = false;
      for (const auto& e : kEntities) {
        if (stripped.compare(i, e.name.size(), e.name) == 0) {
          out.push_back(e.ch);
          i += e.name.size();
          decoded = true;
          break;
        }
      }
      if (decoded) continue;
    }
    const std::size_t n = GbkUnitLength(stripped, i);
    out.append(stripped, i, n);
    i += n;
  }
  return std::string(TrimSpaces(out));
}

std::string ReadElement(std::string_view block, std::string_view name, std::size_t limit) {
  const std::string open = "<" + std::string(name) + ">";
  const std::string close = "</" + std::string(name) + ">";
  std::size_t start = block.find(open);
  if (start != std::string_view::npos) {
    start += open.size();
  } else {
    // A start tag with attributes: skip them up to the ">" outside quotes.
    const std::string openWithAttributes = "<" + std::string(name) + " ";
    std::size_t i = block.find(openWithAttributes);
    if (i == std::string_view::npos) return {};
    bool quoted = false;
    for (i += openWithAttributes.size(); i < block.size(); ++i) {
      if (block[i] == '"') quoted = !quoted;
      if (block[i] == '>' && !quoted) break;
    }
    if (i >= block.size()) return {};
    start = i + 1;
  }
  const std::size_t end = block.find(close, start);
  if (end == std::string_view::npos) return {};
  std::string_view content = block.substr(start, end - start);

  constexpr std::string_view kCdataOpen = "<![CDATA[";
  constexpr std::string_view kCdataClose = "]]>";
  std::string_view inner = content;
  while (!inner.empty() && IsAsciiSpace(inner.front())) inner.remove_prefix(1);
  while (!inner.empty() && IsAsciiSpace(inner.back())) inner.remove_suffix(1);
  const bool cdata = inner.size() >= kCdataOpen.size() + kCdataClose.size() &&
                     inner.substr(0, kCdataOpen.size()) == kCdataOpen &&
                     inner.substr(inner.size() - kCdataClose.size()) == kCdataClose;
  std::size_t counted = content.size();
  if (cdata) {
    inner = inner.substr(kCdataOpen.size(),
                         inner.size() - kCdataOpen.size() - kCdataClose.size());
    counted -= kCdataOpen.size() + kCdataClose.size();
    content = inner;
  }
  if (counted > limit) return {};
  return PlainText(content);
}

}  // namespace compose_text
