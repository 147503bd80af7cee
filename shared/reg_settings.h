// The database settings that both server programs keep in the registry key
// SOFTWARE\QORVU: "Item1" (data source name), "Item2" (password) and "Item5"
// (user name), each stored scrambled in a 128-byte value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/registry.h"

namespace shared {

inline constexpr std::size_t kRegValueSize = 128;
inline constexpr std::string_view kRegItemDsn = "Item1";
inline constexpr std::string_view kRegItemPassword = "Item2";
inline constexpr std::string_view kRegItemUser = "Item5";

// Turns a scrambled value of length bytes into its NUL-terminated text in
// place. Returns 0, or 1 (bad step), 2 (bad count), 3 (bad key position) for
// a malformed value, which is then left as it was.
int UnscrambleRegValue(unsigned char* s, std::size_t length);

// The longest text a 128-byte value can carry.
inline constexpr std::size_t kRegMaxTextLength = kRegValueSize / 2;

// Scrambles text into a 128-byte value that UnscrambleRegValue turns back
// into exactly that text. seed chooses the free parts (step, key position,
// filler bytes). False when the text is longer than kRegMaxTextLength or
// holds a NUL byte.
bool ScrambleRegValue(std::string_view text, std::uint64_t seed,
                      unsigned char (&value)[kRegValueSize]);

// A caller's fixed-size text buffer; it holds the default on the way in.
struct TextBuffer {
  char* data;
  std::size_t size;  // including room for the terminating zero
};

enum class RegItemStatus {
  kSet,         // the value's text replaced the default
  kMissing,     // no such value: the default stays (no error for the agent)
  kUnreadable,  // the value is longer than 128 bytes or could not be read
  kMalformed,   // UnscrambleRegValue refused it (see unscrambleResult)
  kTooLong,     // its text does not fit the caller's buffer; the default stays
};

struct RegItemReport {
  RegItemStatus status = RegItemStatus::kMissing;
  int unscrambleResult = 0;  // 1, 2 or 3 when kMalformed
  std::size_t textLength = 0;  // the unscrambled length when kTooLong
};

struct RegSettingsReport {
  RegItemReport dsn;
  RegItemReport password;
  RegItemReport user;
};

// Opens the key and reads the three settings into the caller's buffers; a
// setting whose value is missing, unreadable, malformed or too long for its
// buffer keeps the buffer's default, and the report says which and why.
// Returns the result of opening the key: when that fails, nothing is read.
platform::RegResult ReadRegSettings(platform::Registry& registry, TextBuffer dsn,
                                    TextBuffer password, TextBuffer user,
                                    RegSettingsReport* report);

// Words for an item's status, for a log line.
const char* RegItemStatusText(RegItemStatus status);

}  // namespace shared
