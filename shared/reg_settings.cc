#include "shared/reg_settings.h"

#include <cstdint>
#include <cstring>
#include <random>

namespace shared {
namespace {

// Header bytes: step, key position and character count, each hidden by XOR.
constexpr unsigned char kStepMask = 0xDC;
constexpr unsigned char kPosMask = 0x4C;
constexpr unsigned char kCountMask = 0x12;

// Calls take(position) for the positions that hold the characters after the
// first, in reading order, until wanted - 1 positions were given. The value
// has length bytes and its key byte already removed. Reading and writing walk
// the same order, so the two can never disagree.
template <typename Take>
void WalkCharacterPositions(std::size_t length, long step, long wanted, Take take) {
  long have = 1;  // the first character comes from the key
  for (long r = 0; have < wanted; ++r) {
    long limit = static_cast<long>(length) - 6 - r;
    if (limit <= 0) break;  // every later pass is shorter still
    for (long offset = 0; offset < limit; offset += step) {
      take(static_cast<std::size_t>(3 + r + offset));
      if (++have >= wanted) return;
    }
  }
}

RegItemReport ReadItem(const platform::RegistryKey& key, std::string_view name,
                       TextBuffer target) {
  RegItemReport report;
  unsigned char value[kRegValueSize] = {};
  std::size_t length = 0;
  platform::RegResult r = key.Query(name, value, sizeof value, &length);
  if (r.code == platform::RegErrc::kNotFound) {
    report.status = RegItemStatus::kMissing;
    return report;
  }
  if (!r.ok()) {
    report.status = RegItemStatus::kUnreadable;
    return report;
  }
  int unscrambled = UnscrambleRegValue(value, sizeof value);
  if (unscrambled != 0) {
    report.status = RegItemStatus::kMalformed;
    report.unscrambleResult = unscrambled;
    return report;
  }
  std::size_t textLength = ::strnlen(reinterpret_cast<const char*>(value), sizeof value);
  if (target.data == nullptr || textLength >= target.size) {
    report.status = RegItemStatus::kTooLong;
    report.textLength = textLength;
    return report;
  }
  std::memcpy(target.data, value, textLength);
  target.data[textLength] = '\0';
  report.status = RegItemStatus::kSet;
  return report;
}

}  // namespace

int UnscrambleRegValue(unsigned char* s, std::size_t length) {
  if (s == nullptr || length < 3) return 1;  // no step can pass with such a length
  long step = s[0] ^ kStepMask;
  long count = static_cast<long>(static_cast<std::int8_t>(s[2])) ^ kCountMask;
  long pos = static_cast<long>(static_cast<std::int8_t>(s[1])) ^ kPosMask;
  if (static_cast<std::size_t>(step) > length / 5 || step < 3) return 1;
  if (count > 0 && static_cast<std::size_t>(count) > length / 2) return 2;
  if (pos < 5 || static_cast<std::size_t>(pos) > length - 2) return 3;

  unsigned char key = s[pos];
  unsigned char out[kRegValueSize] = {};
  out[0] = static_cast<unsigned char>(static_cast<unsigned char>(pos) ^ key);
  if (count == 1) {
    s[0] = out[0];
    s[1] = 0;
    return 0;
  }
  if (count <= 2) {
    out[1] = s[3] ^ key;
  } else {
    for (std::size_t i = static_cast<std::size_t>(pos); i + 1 < length; ++i) s[i] = s[i + 1];
    std::size_t next = 1;
    WalkCharacterPositions(length, step, count, [&](std::size_t at) { out[next++] = s[at] ^ key; });
  }
  std::memset(s, 0, length);
  // count is at most 127, so out always ends with a zero; the copy also
  // leaves room for one in s.
  std::size_t textLength = ::strnlen(reinterpret_cast<const char*>(out), sizeof out);
  if (textLength > length - 1) textLength = length - 1;
  std::memcpy(s, out, textLength);
  return 0;
}

bool ScrambleRegValue(std::string_view text, std::uint64_t seed,
                      unsigned char (&value)[kRegValueSize]) {
  if (text.size() > kRegMaxTextLength || text.find('\0') != std::string_view::npos) return false;
  std::mt19937_64 random(seed);
  auto randomByte = [&random] { return static_cast<unsigned char>(random() & 0xFF); };

  // The value before its key byte goes in: filler everywhere, then the
  // header and the characters after the first.
  unsigned char plain[kRegValueSize];
  for (unsigned char& byte : plain) byte = randomByte();
  long step = 3 + static_cast<long>(random() % (kRegValueSize / 5 - 2));  // 3..25
  long pos = 5 + static_cast<long>(random() % (kRegValueSize - 6));      // 5..126
  long count = text.empty() ? 1 : static_cast<long>(text.size());
  unsigned char first = text.empty() ? 0 : static_cast<unsigned char>(text[0]);
  unsigned char key = static_cast<unsigned char>(first ^ static_cast<unsigned char>(pos));
  plain[0] = static_cast<unsigned char>(step ^ kStepMask);
  plain[1] = static_cast<unsigned char>(pos ^ kPosMask);
  plain[2] = static_cast<unsigned char>(count ^ kCountMask);

  if (count <= 2) {
    // Short texts are read without taking the key byte out.
    if (count == 2) plain[3] = static_cast<unsigned char>(text[1]) ^ key;
    std::memcpy(value, plain, sizeof plain);
    value[pos] = key;
    return true;
  }
  std::size_t next = 1;
  WalkCharacterPositions(kRegValueSize, step, count, [&](std::size_t at) {
    plain[at] = static_cast<unsigned char>(text[next++]) ^ key;
  });
  // The reader removes the key byte by moving the bytes after it down one.
  for (long i = 0; i < pos; ++i) value[i] = plain[i];
  value[pos] = key;
  for (std::size_t i = static_cast<std::size_t>(pos) + 1; i < kRegValueSize; ++i) {
    value[i] = plain[i - 1];
  }
  return true;
}

platform::RegResult ReadRegSettings(platform::Registry& registry, TextBuffer dsn,
                                    TextBuffer password, TextBuffer user,
                                    RegSettingsReport* report) {
  RegSettingsReport local;
  if (report == nullptr) report = &local;
  *report = RegSettingsReport{};
  platform::RegistryKey key;
  platform::RegResult opened = key.Open(registry);
  if (!opened.ok()) return opened;
  report->dsn = ReadItem(key, kRegItemDsn, dsn);
  report->password = ReadItem(key, kRegItemPassword, password);
  report->user = ReadItem(key, kRegItemUser, user);
  return opened;
}

const char* RegItemStatusText(RegItemStatus status) {
  switch (status) {
    case RegItemStatus::kSet: return "set";
    case RegItemStatus::kMissing: return "missing";
    case RegItemStatus::kUnreadable: return "unreadable";
    case RegItemStatus::kMalformed: return "malformed";
    case RegItemStatus::kTooLong: return "too long";
  }
  return "unknown";
}

}  // namespace shared
