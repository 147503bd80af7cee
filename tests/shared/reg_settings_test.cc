#include <array>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "platform/registry.h"
#include "shared/reg_settings.h"

namespace shared {
namespace {

using Value = std::array<unsigned char, kRegValueSize>;

// A value whose header says step, pos and count, all other bytes zero.
Value Header(int step, int pos, int count) {
  Value v{};
  v[0] = static_cast<unsigned char>(step ^ 0xDC);
  v[1] = static_cast<unsigned char>(static_cast<unsigned char>(pos) ^ 0x4C);
  v[2] = static_cast<unsigned char>(static_cast<unsigned char>(count) ^ 0x12);
  return v;
}

std::string Text(const Value& v) {
  return std::string(reinterpret_cast<const char*>(v.data()),
                     ::strnlen(reinterpret_cast<const char*>(v.data()), v.size()));
}

TEST(UnscrambleRegValueTest, HeaderChecksAtTheirBounds) {
  struct Case {
    int step, pos, count, expected;
  } cases[] = {
      {2, 10, 5, 1},   {26, 10, 5, 1},  {0, 10, 5, 1},  {255, 10, 5, 1},  // step outside 3..25
      {3, 10, 5, 0},   {25, 10, 5, 0},
      {3, 10, 65, 2},  {3, 10, 127, 2}, {3, 10, 64, 0},                  // count above 64
      {3, 10, -5, 0},                                                     // negative: short form
      {3, 4, 5, 3},    {3, 127, 5, 3},  {3, -1, 5, 3},  {3, -128, 5, 3},  // pos outside 5..126
      {3, 5, 5, 0},    {3, 126, 5, 0},
      {2, 4, 65, 1},   {3, 4, 65, 2},                                     // first failing check wins
  };
  for (const Case& c : cases) {
    Value v = Header(c.step, c.pos, c.count);
    Value before = v;
    EXPECT_EQ(UnscrambleRegValue(v.data(), v.size()), c.expected)
        << "step " << c.step << " pos " << c.pos << " count " << c.count;
    if (c.expected != 0) {
      EXPECT_EQ(v, before) << "a malformed value is left alone";
    }
  }
  unsigned char tiny[2] = {0, 0};
  EXPECT_EQ(UnscrambleRegValue(tiny, sizeof tiny), 1);
  EXPECT_EQ(UnscrambleRegValue(nullptr, 128), 1);
}

TEST(UnscrambleRegValueTest, ReadsHandBuiltValues) {
  {
    // step 3, pos 10, "qorvu": the key byte sits at 10; the other characters
    // are at 3, 6, 9 and, once the key byte is taken out, 12 (stored at 13).
    Value v = Header(3, 10, 5);
    unsigned char key = 'q' ^ 10;
    v[10] = key;
    v[3] = 'o' ^ key;
    v[6] = 'r' ^ key;
    v[9] = 'v' ^ key;
    v[13] = 'u' ^ key;
    v[12] = 0xEE;  // shifted away with the key byte's removal
    ASSERT_EQ(UnscrambleRegValue(v.data(), v.size()), 0);
    EXPECT_EQ(Text(v), "qorvu");
    for (std::size_t i = 5; i < v.size(); ++i) EXPECT_EQ(v[i], 0) << i;
  }
  {
    // step 25, pos 100, ten characters: pass 0 reads 3, 28, 53, 78, 103 (stored
    // at 104), pass 1 reads 4, 29, 54, 79.
    const std::string text = "ABCDEFGHIJ";
    Value v = Header(25, 100, 10);
    unsigned char key = 'A' ^ 100;
    v[100] = key;
    const int stored[] = {3, 28, 53, 78, 104, 4, 29, 54, 79};
    for (int i = 0; i < 9; ++i) v[stored[i]] = static_cast<unsigned char>(text[i + 1]) ^ key;
    ASSERT_EQ(UnscrambleRegValue(v.data(), v.size()), 0);
    EXPECT_EQ(Text(v), text);
  }
  {
    // One character: written over the header, the rest left as it was.
    Value v = Header(3, 20, 1);
    v[20] = 'x' ^ 20;
    ASSERT_EQ(UnscrambleRegValue(v.data(), v.size()), 0);
    EXPECT_EQ(Text(v), "x");
  }
  {
    // Two characters, and a count of 0 or below reads two as well.
    for (int count : {2, 0, -7}) {
      Value v = Header(3, 20, count);
      unsigned char key = 's' ^ 20;
      v[20] = key;
      v[3] = 'a' ^ key;
      ASSERT_EQ(UnscrambleRegValue(v.data(), v.size()), 0);
      EXPECT_EQ(Text(v), "sa") << count;
    }
  }
}

TEST(ScrambleRegValueTest, EveryLengthReadsBackExactly) {
  std::mt19937 random(20240611);
  std::uniform_int_distribution<int> byte(1, 255);
  for (std::size_t length = 0; length <= kRegMaxTextLength; ++length) {
    for (int round = 0; round < 40; ++round) {
      std::string text;
      for (std::size_t i = 0; i < length; ++i) text += static_cast<char>(byte(random));
      unsigned char value[kRegValueSize];
      ASSERT_TRUE(ScrambleRegValue(text, random(), value));
      ASSERT_EQ(UnscrambleRegValue(value, sizeof value), 0) << "length " << length;
      ASSERT_EQ(std::string(reinterpret_cast<const char*>(value),
                            ::strnlen(reinterpret_cast<const char*>(value), sizeof value)),
                text)
          << "length " << length << " round " << round;
    }
  }
  unsigned char value[kRegValueSize];
  EXPECT_FALSE(ScrambleRegValue(std::string(kRegMaxTextLength + 1, 'a'), 1, value));
  EXPECT_FALSE(ScrambleRegValue(std::string("a\0b", 3), 1, value));
}

class ReadRegSettingsTest : public ::testing::Test {
 protected:
  static std::string Scrambled(std::string_view text) {
    unsigned char value[kRegValueSize];
    EXPECT_TRUE(ScrambleRegValue(text, 42, value));
    return std::string(reinterpret_cast<const char*>(value), sizeof value);
  }

  platform::RegResult Read() {
    std::snprintf(dsn_, sizeof dsn_, "qorvu");
    std::snprintf(pwd_, sizeof pwd_, "8067");
    std::snprintf(uid_, sizeof uid_, "sa");
    return ReadRegSettings(registry_, {dsn_, sizeof dsn_}, {pwd_, sizeof pwd_},
                           {uid_, sizeof uid_}, &report_);
  }

  platform::FakeRegistry registry_;
  char dsn_[32];
  char pwd_[64];
  char uid_[32];
  RegSettingsReport report_;
};

TEST_F(ReadRegSettingsTest, MissingKeyReadsNothing) {
  EXPECT_EQ(Read().code, platform::RegErrc::kKeyMissing);
  EXPECT_STREQ(dsn_, "qorvu");
  EXPECT_STREQ(pwd_, "8067");
  EXPECT_STREQ(uid_, "sa");
}

TEST_F(ReadRegSettingsTest, GoodValuesReplaceDefaultsAndBadOnesKeepThem) {
  registry_.exists = true;
  registry_.values = {{"Item1", Scrambled("courier")},
                      {"Item2", Scrambled(std::string(63, 'p'))},
                      {"Item5", Scrambled("operator")},
                      {"Item0", "unused"}};
  ASSERT_TRUE(Read().ok());
  EXPECT_STREQ(dsn_, "courier");
  EXPECT_EQ(std::string(pwd_), std::string(63, 'p'));
  EXPECT_STREQ(uid_, "operator");
  EXPECT_EQ(report_.dsn.status, RegItemStatus::kSet);

  Value malformed = Header(2, 10, 5);
  registry_.values = {
      {"Item1", std::string(reinterpret_cast<const char*>(malformed.data()), malformed.size())},
      {"Item2", Scrambled(std::string(64, 'p'))},   // 64 characters do not fit 64 bytes
      {"Item5", Scrambled("x") + "z"},              // 129 bytes: more than the read buffer
  };
  ASSERT_TRUE(Read().ok());
  EXPECT_STREQ(dsn_, "qorvu");
  EXPECT_STREQ(pwd_, "8067");
  EXPECT_STREQ(uid_, "sa");
  EXPECT_EQ(report_.dsn.status, RegItemStatus::kMalformed);
  EXPECT_EQ(report_.dsn.unscrambleResult, 1);
  EXPECT_EQ(report_.password.status, RegItemStatus::kTooLong);
  EXPECT_EQ(report_.password.textLength, 64u);
  EXPECT_EQ(report_.user.status, RegItemStatus::kUnreadable);

  registry_.values = {{"Item1", Scrambled("db").substr(0, 24)}};  // a short value reads as zero-padded
  ASSERT_TRUE(Read().ok());
  EXPECT_EQ(report_.password.status, RegItemStatus::kMissing);
  EXPECT_EQ(report_.user.status, RegItemStatus::kMissing);
  EXPECT_STREQ(uid_, "sa");
}

}  // namespace
}  // namespace shared
