#include "agent/host/config/place_trans.h"

#include <map>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

std::string Table(const std::vector<std::string>& items) {
  std::string text = "<?xml?>\r\n<PLACE_TANS>\r\n";
  for (const std::string& item : items) text += "<D>" + item + "</D>\r\n";
  return text + "</PLACE_TANS>\r\n";
}

std::u16string Found(const CPlaceTrans& table, std::string_view name) {
  const char16_t* r = table.Find(name);
  return r == nullptr ? u"<none>" : std::u16string(r);
}

TEST(PlaceTransTest, LoadsEntriesAndSkipsOrStopsOnBadOnes) {
  CPlaceTrans table;
  EXPECT_EQ(table.Load(Table({
                "Beijing=\xE5\x8C\x97\xE4\xBA\xAC",  // UTF-8 北京
                "Beijing=Peking",                    // same key again: ignored
                "=nothing",                          // empty key
                "Tianjin=",                          // empty replacement
                "Shanghai=\xE4\xB8\x8A\xE6\xB5\xB7", // 上海
                "abc",                               // no "=": loading ends here
                "Guangzhou=Canton",
            })),
            2u);
  EXPECT_EQ(Found(table, "Beijing"), u"\u5317\u4EAC");
  EXPECT_EQ(Found(table, "Shanghai"), u"\u4E0A\u6D77");
  EXPECT_EQ(Found(table, "Guangzhou"), u"<none>");
  EXPECT_EQ(Found(table, "Tianjin"), u"<none>");

  // A later Load replaces the table.
  EXPECT_EQ(table.Load(Table({"a=b"})), 1u);
  EXPECT_EQ(Found(table, "Beijing"), u"<none>");
}

TEST(PlaceTransTest, MissingTagsLoadNothing) {
  CPlaceTrans table;
  EXPECT_EQ(table.Load("<D>a=b</D></PLACE_TANS>"), 0u);
  EXPECT_EQ(table.Load("<PLACE_TANS><D>a=b</D>"), 0u);
  EXPECT_EQ(table.Load("</PLACE_TANS><PLACE_TANS><D>a=b</D>"), 0u);
  // An item cut by the end of the section is not read.
  EXPECT_EQ(table.Load("<PLACE_TANS><D>a=b</D><D>c=d</PLACE_TANS></D>"), 1u);
  EXPECT_EQ(Found(table, "c"), u"<none>");
  EXPECT_EQ(table.Load(""), 0u);
}

TEST(PlaceTransTest, NonAsciiKeysBecomeGbkAndMustFit) {
  const std::string bei = "\xE5\x8C\x97";  // 北 in UTF-8, B1 B1 in GBK
  std::string key31, key32;
  for (int i = 0; i < 31; ++i) key31 += bei;
  key32 = key31 + bei;
  CPlaceTrans table;
  EXPECT_EQ(table.Load(Table({
                "\xE5\x8C\x97\xE4\xBA\xAC=Beijing",  // 北京
                "Caf\xC3\xA9=Cafe",                  // é has no GBK form: "?"
                "\xF0\x9F\x98\x80=Smile",            // neither has an emoji
                key31 + "=62 bytes",
                key32 + "=64 bytes",
                std::string(63, 'x') + "=63 bytes",
                std::string(64, 'y') + "=64 bytes",
                "what?=question",
            })),
            3u);
  EXPECT_EQ(Found(table, "\xB1\xB1\xBE\xA9"), u"Beijing");
  std::string gbk31;
  for (int i = 0; i < 31; ++i) gbk31 += "\xB1\xB1";
  EXPECT_EQ(Found(table, gbk31), u"62 bytes");
  EXPECT_EQ(Found(table, gbk31 + "\xB1\xB1"), u"<none>");
  EXPECT_EQ(Found(table, std::string(63, 'X')), u"63 bytes");
  EXPECT_EQ(Found(table, "Caf?"), u"<none>");
}

TEST(PlaceTransTest, ReplacementsUpTo62Units) {
  CPlaceTrans table;
  EXPECT_EQ(table.Load(Table({"a=" + std::string(62, 'r'), "b=" + std::string(63, 'r')})), 1u);
  EXPECT_EQ(Found(table, "a"), std::u16string(62, u'r'));
  EXPECT_EQ(Found(table, "b"), u"<none>");
}

// Byte order puts "BETA" < "Zeta" < "_x" < "alpha", folded order "_x" <
// "alpha" < "beta" < "zeta": a table kept in byte order but searched without
// case would miss some of them.
TEST(PlaceTransTest, FindIgnoresAsciiCaseWhateverTheByteOrder) {
  CPlaceTrans table;
  ASSERT_EQ(table.Load(Table({"Zeta=z", "alpha=a", "_x=u", "BETA=b", "zeta=second"})), 4u);
  const std::pair<const char*, std::u16string> cases[] = {
      {"Zeta", u"z"},  {"zeta", u"z"},  {"ZETA", u"z"}, {"alpha", u"a"}, {"ALPHA", u"a"},
      {"_x", u"u"},    {"_X", u"u"},    {"BETA", u"b"}, {"beta", u"b"},  {"Beta", u"b"},
      {"gamma", u"<none>"}, {"", u"<none>"}, {"_", u"<none>"},
  };
  for (const auto& [name, expected] : cases) EXPECT_EQ(Found(table, name), expected) << name;
}

// The second byte of a GBK character can be a letter byte: 丄 is 81 41 ("A")
// and 乤 is 81 61 ("a"). They are different names and must stay apart.
TEST(PlaceTransTest, GbkTrailBytesAreNotFolded) {
  CPlaceTrans table;
  ASSERT_EQ(table.Load(Table({"\xE4\xB8\x84=upper", "\xE4\xB9\xA4=lower"})), 2u);
  EXPECT_EQ(Found(table, "\x81\x41"), u"upper");
  EXPECT_EQ(Found(table, "\x81\x61"), u"lower");
}

TEST(PlaceTransTest, EveryLoadedKeyIsFoundInAnyCase) {
  // Short keys from letters of both cases and the bytes between them, so
  // that many keys collide without case and byte order differs from folded order.
  std::mt19937 rng(7);
  const std::string alphabet = "aAbBzZ_[`{09";
  const auto lower = [](std::string s) {
    for (char& c : s) if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return s;
  };
  std::vector<std::string> items, keys;
  std::map<std::string, std::u16string> firstByFolded;
  for (int i = 0; i < 400; ++i) {
    std::string key;
    const int length = 1 + static_cast<int>(rng() % 4);
    for (int j = 0; j < length; ++j) key += alphabet[rng() % alphabet.size()];
    keys.push_back(key);
    items.push_back(key + "=" + std::to_string(i));
    const std::string n = std::to_string(i);
    firstByFolded.emplace(lower(key), std::u16string(n.begin(), n.end()));
  }
  CPlaceTrans table;
  EXPECT_EQ(table.Load(Table(items)), firstByFolded.size());
  for (const std::string& key : keys) {
    std::string flipped = key;
    for (char& c : flipped) {
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
      else if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    }
    EXPECT_EQ(Found(table, key), firstByFolded[lower(key)]) << key;
    EXPECT_EQ(Found(table, flipped), firstByFolded[lower(key)]) << flipped;
  }
}

}  // namespace
