// The place-name replacement table read from Place_Trans.txt: GBK place
// names mapped to the UTF-16 names that outgoing messages use instead.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

class CPlaceTrans {
 public:
  static constexpr std::size_t kKeySize = 64;          // GBK key, zero included
  static constexpr std::size_t kReplacementSize = 64;  // UTF-16 units, zero included
  static constexpr std::size_t kMaxReplacementUnits = 62;

  struct Entry {
    char key[kKeySize];
    char16_t replacement[kReplacementSize];
  };

  // Replaces the table with the entries of a Place_Trans.txt text (UTF-8):
  // "<PLACE_TANS>" then "<D>key=replacement</D>" items up to "</PLACE_TANS>".
  // Returns the number of entries.
  std::size_t Load(std::string_view text);

  // The replacement of a GBK place name, matched without regard to ASCII
  // letter case; null when the name has no entry.
  const char16_t* Find(std::string_view name) const;

  std::size_t Count() const { return entries_.size(); }
  const std::vector<Entry>& Entries() const { return entries_; }
  void Clear() { entries_.clear(); }

 private:
  std::vector<Entry> entries_;  // ascending by case-folded key, folded keys unique
};
