#include "agent/host/config/place_trans.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "agent/text/encoding.h"

namespace {

constexpr std::string_view kSectionOpen = "<PLACE_TANS>";
constexpr std::string_view kSectionClose = "</PLACE_TANS>";
constexpr std::string_view kItemOpen = "<D>";
constexpr std::string_view kItemClose = "</D>";

// A key with its ASCII letters folded to lower case. Only single-byte
// characters are folded: the second byte of a GBK character may lie in the
// range of the ASCII letters, and folding it would merge different names.
// Entries are ordered, compared and deduplicated on this form, so the
// binary search of Find always agrees with the order of the table.
using FoldedKey = std::string;

FoldedKey Fold(std::string_view key) {
  FoldedKey out(key);
  for (std::size_t i = 0; i < out.size(); ++i) {
    const auto b = static_cast<unsigned char>(out[i]);
    if (b >= 0x81 && i + 1 < out.size()) {
      ++i;  // lead byte: its trail byte stays as it is
    } else if (b >= 'A' && b <= 'Z') {
      out[i] = static_cast<char>(b - 'A' + 'a');
    }
  }
  return out;
}

// Byte order of the folded keys (std::string compares bytes as unsigned char).
int CompareFolded(const FoldedKey& a, const FoldedKey& b) { return a.compare(b); }

// The UTF-16 form of a UTF-8 text; empty when it cannot be converted.
std::u16string Utf8ToWide(const std::string& text) {
  std::u16string wide(text.size() + 1, u'\0');
  const std::size_t units = ToWide(text.c_str(), wide.data(), wide.size(), kCodePageUtf8);
  wide.resize(units);
  return wide;
}

// The GBK key of an entry, or false when it has none that fits or when a
// character has no GBK form (the conversion writes "?" for it).
bool MakeKey(const std::string& utf8, char (&key)[CPlaceTrans::kKeySize]) {
  std::string gbk;
  if (IsAscii(utf8.c_str())) {
    gbk = utf8;
  } else {
    const std::u16string wide = Utf8ToWide(utf8);
    if (wide.empty()) return false;
    std::string out(2 * wide.size() + 1, '\0');
    out.resize(ToGbk(wide.c_str(), out.data(), out.size()));
    gbk = std::move(out);
  }
  if (gbk.empty() || gbk.size() >= CPlaceTrans::kKeySize) return false;
  if (gbk.find('?') != std::string::npos) return false;
  std::memcpy(key, gbk.data(), gbk.size());
  key[gbk.size()] = '\0';
  return true;
}

bool MakeReplacement(const std::string& utf8,
                     char16_t (&replacement)[CPlaceTrans::kReplacementSize]) {
  const std::u16string wide = Utf8ToWide(utf8);
  if (wide.empty() || wide.size() > CPlaceTrans::kMaxReplacementUnits) return false;
  std::copy(wide.begin(), wide.end(), replacement);
  replacement[wide.size()] = u'\0';
  return true;
}

}  // namespace

std::size_t CPlaceTrans::Load(std::string_view text) {
  entries_.clear();
  text = text.substr(0, text.find('\0'));
  const std::size_t open = text.find(kSectionOpen);
  if (open == std::string_view::npos) return 0;
  std::string_view section = text.substr(open + kSectionOpen.size());
  const std::size_t close = section.find(kSectionClose);
  if (close == std::string_view::npos) return 0;
  section = section.substr(0, close);

  struct Loaded {
    FoldedKey folded;
    Entry entry;
  };
  std::vector<Loaded> loaded;
  while (true) {
    const std::size_t itemOpen = section.find(kItemOpen);
    if (itemOpen == std::string_view::npos) break;
    section.remove_prefix(itemOpen + kItemOpen.size());
    const std::size_t itemClose = section.find(kItemClose);
    if (itemClose == std::string_view::npos) break;
    const std::string_view item = section.substr(0, itemClose);
    section.remove_prefix(itemClose + kItemClose.size());

    const std::size_t eq = item.find('=');
    if (eq == std::string_view::npos) break;  // a malformed item ends the table
    const std::string key(item.substr(0, eq));
    const std::string replacement(item.substr(eq + 1));
    if (key.empty() || replacement.empty()) continue;
    Loaded l{};
    if (!MakeKey(key, l.entry.key) || !MakeReplacement(replacement, l.entry.replacement)) {
      continue;
    }
    l.folded = Fold(l.entry.key);
    loaded.push_back(std::move(l));
  }

  // Stable order keeps the file order among equal keys, so the first wins.
  std::stable_sort(loaded.begin(), loaded.end(), [](const Loaded& a, const Loaded& b) {
    return CompareFolded(a.folded, b.folded) < 0;
  });
  entries_.reserve(loaded.size());
  for (std::size_t i = 0; i < loaded.size(); ++i) {
    if (i > 0 && CompareFolded(loaded[i - 1].folded, loaded[i].folded) == 0) continue;
    entries_.push_back(loaded[i].entry);
  }
  return entries_.size();
}

const char16_t* CPlaceTrans::Find(std::string_view name) const {
  name = name.substr(0, name.find('\0'));
  if (name.empty() || name.size() >= kKeySize) return nullptr;
  const FoldedKey wanted = Fold(name);
  std::size_t low = 0, high = entries_.size();
  while (low < high) {
    const std::size_t mid = low + (high - low) / 2;
    const int c = CompareFolded(wanted, Fold(entries_[mid].key));
    if (c == 0) return entries_[mid].replacement;
    if (c < 0) {
      high = mid;
    } else {
      low = mid + 1;
    }
  }
  return nullptr;
}
