// Tests of the text encoding helpers.
#include "agent/text/encoding.h"

#include <iconv.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "agent/text/encoding_internal.h"
#include "agent/text/json.h"

namespace {

using qorvu_text_internal::GbkUserDefinedUnit;
using qorvu_text_internal::NamedRefs;

// iconv's CP936 as the reference, one conversion at a time.
class Cp936 {
 public:
  Cp936()
      : enc_(iconv_open("CP936", "UTF-16LE")), dec_(iconv_open("UTF-16LE", "CP936")) {}
  ~Cp936() {
    if (ok()) {
      iconv_close(enc_);
      iconv_close(dec_);
    }
  }
  bool ok() const {
    return enc_ != reinterpret_cast<iconv_t>(-1) && dec_ != reinterpret_cast<iconv_t>(-1);
  }
  // The bytes of one unit, or "" when CP936 has none.
  std::string Encode(char16_t unit) {
    unsigned char in[2] = {static_cast<unsigned char>(unit & 0xFF),
                           static_cast<unsigned char>(unit >> 8)};
    char outBytes[8];
    char* ip = reinterpret_cast<char*>(in);
    char* op = outBytes;
    std::size_t il = 2, ol = sizeof outBytes;
    if (iconv(enc_, &ip, &il, &op, &ol) == static_cast<std::size_t>(-1)) return "";
    return std::string(outBytes, op);
  }
  // The unit of a two-byte code, or 0 when CP936 has none.
  char16_t Decode(unsigned code) {
    char in[2] = {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
    unsigned char outBytes[8];
    char* ip = in;
    char* op = reinterpret_cast<char*>(outBytes);
    std::size_t il = 2, ol = sizeof outBytes;
    if (iconv(dec_, &ip, &il, &op, &ol) == static_cast<std::size_t>(-1) || il != 0 ||
        op - reinterpret_cast<char*>(outBytes) != 2) {
      return 0;
    }
    return static_cast<char16_t>(outBytes[0] | outBytes[1] << 8);
  }

 private:
  iconv_t enc_;
  iconv_t dec_;
};

std::u16string Wide(const char* text, unsigned codePage) {
  std::vector<char16_t> buf(std::strlen(text) + 1);
  ToWide(text, buf.data(), buf.size(), codePage);
  return std::u16string(buf.data());
}

std::string Utf8Of(const std::u16string& wide) {
  std::vector<char> buf(wide.size() * 3 + 1);
  ToUtf8(wide.c_str(), buf.data(), buf.size());
  return std::string(buf.data());
}

std::string Hex(const std::string& s) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string r;
  for (unsigned char c : s) {
    r += kDigits[c >> 4];
    r += kDigits[c & 15];
    r += ' ';
  }
  return r;
}

// The user-defined area as unit -> code.
std::map<char16_t, unsigned> UserDefinedArea() {
  std::map<char16_t, unsigned> area;
  for (unsigned code = 0x8140; code <= 0xFEFE; ++code) {
    if (char16_t u = GbkUserDefinedUnit(static_cast<std::uint16_t>(code))) area[u] = code;
  }
  return area;
}

// ------------------------------------------------------------------ GBK table

TEST(GbkTable, UserDefinedAreaCoversE000ToE864OnceEach) {
  std::map<char16_t, unsigned> area = UserDefinedArea();
  EXPECT_EQ(area.size(), 0xE865u - 0xE000u);
  EXPECT_EQ(area.begin()->first, 0xE000);
  EXPECT_EQ(area.rbegin()->first, 0xE864);
  // Block starts and published fixed points of the same assignment.
  EXPECT_EQ(GbkUserDefinedUnit(0xAAA1), 0xE000);
  EXPECT_EQ(GbkUserDefinedUnit(0xAFFE), 0xE233);
  EXPECT_EQ(GbkUserDefinedUnit(0xF8A1), 0xE234);
  EXPECT_EQ(GbkUserDefinedUnit(0xFEFE), 0xE4C5);
  EXPECT_EQ(GbkUserDefinedUnit(0xA140), 0xE4C6);
  EXPECT_EQ(GbkUserDefinedUnit(0xA7A0), 0xE765);
  EXPECT_EQ(GbkUserDefinedUnit(0xA2AB), 0xE766);
  EXPECT_EQ(GbkUserDefinedUnit(0xA8BC), 0xE7C7);
  EXPECT_EQ(GbkUserDefinedUnit(0xD7FA), 0xE810);
  EXPECT_EQ(GbkUserDefinedUnit(0xFE51), 0xE816);
  EXPECT_EQ(GbkUserDefinedUnit(0xFEA0), 0xE864);
  EXPECT_EQ(GbkUserDefinedUnit(0xB0A1), 0);  // an ordinary hanzi
}

// GbkCharOf for every UTF-16 unit against iconv's CP936 (plus the
// user-defined area, which iconv lacks).
TEST(GbkTable, GbkCharOfMatchesIconvForEveryUnit) {
  Cp936 ref;
  ASSERT_TRUE(ref.ok());
  std::map<char16_t, unsigned> area = UserDefinedArea();
  int mismatches = 0, twoByte = 0;
  for (unsigned u = 0; u <= 0xFFFF; ++u) {
    std::string expected;
    if (u <= 0x7F) {
      expected = std::string(1, static_cast<char>(u));
    } else if (u == 0x20AC) {
      expected = "\x80";
    } else if (u >= 0x148 && u <= 0xFFE5 && !(u >= 0xD800 && u <= 0xDFFF)) {
      std::string bytes = ref.Encode(static_cast<char16_t>(u));
      if (bytes.size() == 2) {
        expected = bytes;
      } else if (area.count(static_cast<char16_t>(u))) {
        unsigned code = area[static_cast<char16_t>(u)];
        expected = {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
      }
    }
    if (expected.empty()) expected = "?";
    char out[2] = {0, 0};
    int n = GbkCharOf(static_cast<char16_t>(u), out);
    std::string got(out, static_cast<std::size_t>(n));
    if (got != expected && ++mismatches <= 10) {
      ADD_FAILURE() << "U+" << std::hex << u << ": got " << Hex(got) << " expected " << Hex(expected);
    }
    if (n == 2) ++twoByte;
  }
  EXPECT_EQ(mismatches, 0);
  EXPECT_GT(twoByte, 21000);  // GBK has about 21,900 two-byte codes
  char out[2];
  EXPECT_EQ(GbkCharOf(0x00E9, out), 1);  // below U+0148: no GBK form here
  EXPECT_EQ(out[0], '?');
  EXPECT_EQ(GbkCharOf(0x00B7, out), 1);
  EXPECT_EQ(GbkCharOf(0x4E2D, out), 2);
  EXPECT_EQ(std::string(out, 2), "\xD6\xD0");
  EXPECT_EQ(GbkCharOf(0x2014, out), 2);
  EXPECT_EQ(std::string(out, 2), "\xA1\xAA");
}

// Every two-byte code decoded by ToWide(936) against iconv.
TEST(GbkTable, ToWideDecodesEveryPairLikeIconv) {
  Cp936 ref;
  ASSERT_TRUE(ref.ok());
  int mismatches = 0, valid = 0;
  for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
    for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail == 0x7F) continue;
      unsigned code = lead << 8 | trail;
      char16_t expected = ref.Decode(code);
      if (expected == 0) expected = GbkUserDefinedUnit(static_cast<std::uint16_t>(code));
      if (expected == 0) expected = 0xFFFD;
      char text[3] = {static_cast<char>(lead), static_cast<char>(trail), 0};
      char16_t out[3] = {1, 1, 1};
      std::size_t n = ToWide(text, out, 3, kCodePageGbk);
      if ((n != 1 || out[0] != expected || out[1] != 0) && ++mismatches <= 10) {
        ADD_FAILURE() << "code " << std::hex << code << ": got " << out[0] << " expected "
                      << expected;
      }
      if (expected != 0xFFFD) {
        ++valid;
        // And back, wherever the unit has a two-byte form.
        if (expected >= 0x148 && expected <= 0xFFE5) {
          char back[2];
          if (GbkCharOf(expected, back) != 2 ||
              (static_cast<unsigned>(static_cast<unsigned char>(back[0])) << 8 |
               static_cast<unsigned char>(back[1])) != code) {
            if (++mismatches <= 10) ADD_FAILURE() << "round trip of " << std::hex << code;
          }
        }
      }
    }
  }
  EXPECT_EQ(mismatches, 0);
  EXPECT_GT(valid, 23000);  // 21,886 assigned codes plus 1,894 user-defined ones
}

TEST(GbkTable, SingleBytesAndBrokenPairs) {
  EXPECT_EQ(Wide("\x80", kCodePageGbk), u"\u20AC");
  EXPECT_EQ(Wide("\xFF", kCodePageGbk), u"\uFFFD");
  EXPECT_EQ(Wide("A\xD6\xD0" "B", kCodePageGbk), u"A\u4E2DB");
  // A lead byte followed by a byte that cannot trail uses only the lead byte.
  EXPECT_EQ(Wide("\xD6&#20013;", kCodePageGbk), u"\uFFFD&#20013;");
  EXPECT_EQ(Wide("\xD6", kCodePageGbk), u"\uFFFD");
  EXPECT_EQ(Wide("\x81\xFFx", kCodePageGbk), u"\uFFFD\uFFFDx");
  // Every well-formed pair is assigned once the user-defined area is added.
  EXPECT_EQ(Wide("\xA2\xA0x", kCodePageGbk), u"\uE585x");
}

TEST(GbkTable, ConcurrentFirstUseGivesOneTable) {
  // Each test runs in its own process, so this may be the tables' first use.
  std::vector<std::thread> threads;
  std::vector<int> results(4, 0);
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([&results, i] {
      char out[2];
      results[i] = GbkCharOf(0x4E2D, out) == 2 && out[0] == '\xD6' && out[1] == '\xD0';
    });
  }
  for (auto& t : threads) t.join();
  for (int r : results) EXPECT_EQ(r, 1);
}

// ------------------------------------------------------------------ tests of texts

TEST(Tests, IsAsciiAndLeadLength) {
  EXPECT_TRUE(IsAscii("plain text"));
  EXPECT_TRUE(IsAscii(""));
  EXPECT_FALSE(IsAscii("a\xD6\xD0"));
  EXPECT_EQ(Utf8LeadLength('A'), 0);
  EXPECT_EQ(Utf8LeadLength(0x80), 1);
  EXPECT_EQ(Utf8LeadLength(0xC3), 2);
  EXPECT_EQ(Utf8LeadLength(0xE4), 3);
  EXPECT_EQ(Utf8LeadLength(0xF0), 4);
  EXPECT_EQ(Utf8LeadLength(0xFE), 7);
  EXPECT_EQ(Utf8LeadLength(0xFF), 8);
}

TEST(Tests, IsUtf8Cases) {
  struct Case {
    const char* text;
    bool threeByteOnly;
    bool expected;
  };
  const Case cases[] = {
      {"\xD6\xD0", false, false},            // one GBK character
      {"\xE4\xB8\xAD", false, true},         // 中 in UTF-8
      {"hello", false, false},               // pure ASCII
      {"", false, false},
      {"\xE4", false, false},                // shorter than 2
      {"\xC3\xA9", false, false},            // 2 high bytes: taken as GBK
      {"\xC3\xA9", true, false},             // 2-byte sequence with threeByteOnly
      {"a\xC3\xA9", false, true},
      {"a\xC3\xA9", true, false},
      {"\xD6\xD0\xCE\xC4", false, false},    // 4 high bytes: two GBK characters
      {"\xF0\x9F\x98\x80", false, false},    // 4 high bytes even if valid UTF-8
      {"\xF0\x9F\x98\x80", true, false},
      {"x\xF0\x9F\x98\x80", false, true},
      {"\xEF\xBB\xBF" "abc", false, false},  // BOM skipped, no multi-byte left
      {"\xEF\xBB\xBF\xE4\xB8\xAD", false, true},
      {"\xEF\xBB\xBF", false, true},         // 3 bytes: no skip, U+FEFF itself
      {"a\xE0\x9F\x80", false, false},       // overlong
      {"a\xE0\xA0\x80", false, true},
      {"a\xED\xA0\x80", false, false},       // surrogate
      {"a\xEF\xBF\xBE", false, false},       // U+FFFE
      {"a\xEF\xBF\xBD", false, true},
      {"a\xF0\x8F\xBF\xBF", false, false},
      {"a\xF4\x90\x80\x80", false, false},
      {"a\xF4\x8F\xBF\xBF", false, true},
      {"a\xF5\x80\x80\x80", false, false},
      {"a\xC1\xBF", false, false},
      {"a\xC2\x80", false, true},
      {"a\xE4\xB8", false, false},           // truncated
      {"a\x80", false, false},               // lone continuation
      {"\xE4\xB8\xAD\xD6\xD0", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Hex(c.text));
    EXPECT_EQ(IsUtf8(c.text, c.threeByteOnly), c.expected);
  }
}

// ------------------------------------------------------------------ ToWide / ToGbk / ToUtf8

TEST(Convert, ToWideUtf8ReplacesInvalidSequences) {
  EXPECT_EQ(Wide("a\xE4\xB8\xAD", kCodePageUtf8), u"a\u4E2D");
  EXPECT_EQ(Wide("\xF0\x9F\x98\x80", kCodePageUtf8), u"\U0001F600");
  EXPECT_EQ(Wide("a\x80z", kCodePageUtf8), u"a\uFFFDz");
  EXPECT_EQ(Wide("\xE4\xB8z", kCodePageUtf8), u"\uFFFDz");      // truncated: one U+FFFD
  EXPECT_EQ(Wide("\xED\xA0\x80", kCodePageUtf8), u"\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(Wide("\xC0\xAF", kCodePageUtf8), u"\uFFFD\uFFFD");
  EXPECT_EQ(Wide("\xD6\xD0", kCodePageUtf8), u"\uFFFD\uFFFD");  // GBK read as UTF-8
}

TEST(Convert, ToWideOtherCodePages) {
  const char utf16[] = {'A', 0, 0x2D, 0x4E, 0, 0};
  char16_t out[8];
  EXPECT_EQ(ToWide(utf16, out, 8, kCodePageUtf16Le), 2u);
  EXPECT_EQ(std::u16string(out), u"A\u4E2D");
  // EUC-JP: あ is A4 A2; 20932 stands for 51932.
  EXPECT_EQ(Wide("\xA4\xA2x", kCodePageEucJp), u"\u3042x");
  EXPECT_EQ(Wide("\xA4\xA2x", 20932), u"\u3042x");
  // An unknown code page converts nothing.
  out[0] = 'z';
  EXPECT_EQ(ToWide("abc", out, 8, 12345), 0u);
  EXPECT_EQ(out[0], 0);
  // Output bounded by outUnits, zero included; pairs stay whole.
  EXPECT_EQ(ToWide("abcdef", out, 4, kCodePageGbk), 3u);
  EXPECT_EQ(std::u16string(out), u"abc");
  EXPECT_EQ(ToWide("a\xF0\x9F\x98\x80", out, 3, kCodePageUtf8), 1u);
  EXPECT_EQ(std::u16string(out), u"a");
  EXPECT_EQ(ToWide("abc", out, 1, kCodePageUtf8), 0u);
  EXPECT_EQ(out[0], 0);
}

TEST(Convert, ToGbkWritesQuestionMarks) {
  char out[16];
  EXPECT_EQ(ToGbk(u"A\u4E2D\u00E9\u20AC", out, sizeof out), 5u);
  EXPECT_STREQ(out, "A\xD6\xD0?\x80");
  // Never splits a double-byte character.
  EXPECT_EQ(ToGbk(u"A\u4E2D", out, 3), 1u);
  EXPECT_STREQ(out, "A");
  EXPECT_EQ(ToGbk(u"\U0001F600", out, sizeof out), 2u);  // one "?" per unit
  EXPECT_STREQ(out, "??");
}

TEST(Convert, ToUtf8LeavesOutWhatDoesNotFit) {
  char out[8];
  EXPECT_EQ(ToUtf8(u"a\u4E2D", out, sizeof out), 4u);
  EXPECT_STREQ(out, "a\xE4\xB8\xAD");
  EXPECT_EQ(ToUtf8(u"a\u4E2Db", out, 4), 1u);  // 中 needs 3 + the zero
  EXPECT_STREQ(out, "a");
  EXPECT_EQ(ToUtf8(u"\U0001F600", out, sizeof out), 4u);
  EXPECT_STREQ(out, "\xF0\x9F\x98\x80");
  EXPECT_EQ(ToUtf8(u"\xD800x", out, sizeof out), 4u);  // unpaired surrogate
  EXPECT_STREQ(out, "\xEF\xBF\xBDx");
  EXPECT_EQ(ToUtf8(u"\u00E9", out, 2), 0u);
  EXPECT_STREQ(out, "");
}

// The block path of ToUtf8 (roomy buffers) and its checked path agree, and a
// long text comes out as iconv writes it.
TEST(Convert, ToUtf8BlockAndCheckedPathsAgreeOnLongText) {
  std::u16string wide;
  for (int i = 0; i < 3000; ++i) {
    static const char16_t kPieces[] = {'a',    0x00E9, 0x4E2D, 0xD83D, 0xDE00, 0xDC00,
                                       '~',    0x07FF, 0x0800, 0xFFFF, 0xD800};
    wide += kPieces[i % 11];
  }
  std::vector<char> roomy(wide.size() * 4 + 8);
  std::size_t n = ToUtf8(wide.c_str(), roomy.data(), roomy.size());
  for (std::size_t size : {n + 1, n, n / 2, std::size_t{200}, std::size_t{199}}) {
    SCOPED_TRACE(size);
    auto exact = std::make_unique<char[]>(size);
    std::size_t m = ToUtf8(wide.c_str(), exact.get(), size);
    EXPECT_LT(m, size);
    EXPECT_EQ(std::string(exact.get(), m), std::string(roomy.data(), m));
  }
  std::string gbk;
  for (int i = 0; i < 5000; ++i) gbk += i % 7 ? "\xD6\xD0" : "x";
  std::u16string decoded = Wide(gbk.c_str(), kCodePageGbk);
  std::string utf8 = Utf8Of(decoded);
  iconv_t cd = iconv_open("UTF-8", "CP936");
  ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
  std::string expected(gbk.size() * 2, '\0');
  char* ip = &gbk[0];
  std::size_t il = gbk.size();
  char* op = &expected[0];
  std::size_t ol = expected.size();
  iconv(cd, &ip, &il, &op, &ol);
  iconv_close(cd);
  expected.resize(expected.size() - ol);
  EXPECT_EQ(utf8, expected);
}

// ------------------------------------------------------------------ direct GBK -> UTF-8

// What GbkToUtf8 must equal: ToWide(936) into a buffer for the whole text, then
// ToUtf8 into size bytes. The zero is part of the result.
std::string TwoPass(const std::string& gbk, std::size_t size) {
  std::vector<char16_t> wide(gbk.size() + 1);
  ToWide(gbk.c_str(), wide.data(), wide.size(), kCodePageGbk);
  auto out = std::make_unique<char[]>(size);
  std::size_t n = ToUtf8(wide.data(), out.get(), size);
  return std::string(out.get(), n + 1);
}

// GbkToUtf8 into exactly size bytes (so the sanitizer sees any write past
// them); the returned count must be the text's length.
std::string Direct(const std::string& gbk, std::size_t size) {
  auto out = std::make_unique<char[]>(size);
  std::size_t n = GbkToUtf8(gbk.c_str(), out.get(), size);
  EXPECT_LT(n, size);
  EXPECT_EQ(std::strlen(out.get()), n);
  return std::string(out.get(), n + 1);
}

// Every first byte with every byte after it (zero: a single byte at the end),
// followed by "!" so that a pair taken as one byte, or the reverse, shows.
TEST(Direct, EqualsTwoPassForEveryByteAndPair) {
  int mismatches = 0;
  for (unsigned b = 1; b <= 0xFF; ++b) {
    for (unsigned x = 0; x <= 0xFF; ++x) {
      std::string text{static_cast<char>(b)};
      if (x != 0) text += static_cast<char>(x);
      text += '!';
      if (Direct(text, 16) != TwoPass(text, 16) && ++mismatches <= 10) {
        ADD_FAILURE() << "bytes " << Hex(text);
      }
    }
  }
  EXPECT_EQ(mismatches, 0);
}

TEST(Direct, InvalidBytesAndUserDefinedArea) {
  struct Case {
    const char* gbk;
    const char* utf8;
  } cases[] = {
      {"\xD6\xD0" "a", "\xE4\xB8\xAD" "a"},                // 中
      {"\x80", "\xE2\x82\xAC"},                           // the euro sign, one byte
      {"\xFF" "a", "\xEF\xBF\xBD" "a"},
      {"a\xD6", "a\xEF\xBF\xBD"},                           // lead byte at the end
      {"\xD6" "0\xD6\x7F", "\xEF\xBF\xBD" "0\xEF\xBF\xBD\x7F"},  // bad trails stay
      {"\x81\xFF" "b", "\xEF\xBF\xBD\xEF\xBF\xBD" "b"},
      {"\xAA\xA1\xFE\xFE", "\xEE\x80\x80\xEE\x93\x85"},   // U+E000, U+E4C5
      {"\xA1\xE8", "\xC2\xA4"},                           // a two-byte UTF-8 form
      {"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Hex(c.gbk));
    EXPECT_EQ(Direct(c.gbk, 32), std::string(c.utf8) + '\0');
    EXPECT_EQ(TwoPass(c.gbk, 32), std::string(c.utf8) + '\0');
  }
  char out[4] = {'z', 'z', 'z', 'z'};
  EXPECT_EQ(GbkToUtf8("\xD6\xD0", out, 0), 0u);  // no room: nothing written
  EXPECT_EQ(out[0], 'z');
  EXPECT_EQ(GbkToUtf8(nullptr, out, sizeof out), 0u);
  EXPECT_STREQ(out, "");
}

// Every output size cuts where ToUtf8 cuts: a character that does not fit
// whole is left out with all after it, even when a shorter one would fit.
TEST(Direct, SmallOutputSizesCutLikeTwoPass) {
  const std::string text = "a\xD6\xD0\xA1\xE8\x80" "b\xFF\xD6" "0";
  for (std::size_t size = 1; size <= 20; ++size) {
    SCOPED_TRACE(size);
    EXPECT_EQ(Direct(text, size), TwoPass(text, size));
  }
  EXPECT_EQ(Direct(text, 5), std::string("a\xE4\xB8\xAD") + '\0');
}

// Random texts over bytes that matter (ASCII runs, lead and trail bytes, 0x80,
// 0xFF), long enough for the unchecked blocks, into roomy and tight outputs.
TEST(Direct, RandomTextsEqualTwoPass) {
  std::mt19937 rng(20240611);
  const unsigned char kBytes[] = {'a', '0', ' ', '&', 0x40, 0x7E, 0x7F, 0x80, 0x81,
                                  0xA1, 0xAA, 0xB0, 0xD6, 0xD0, 0xF8, 0xFE, 0xFF};
  int mismatches = 0;
  for (int round = 0; round < 3000; ++round) {
    std::size_t length = rng() % (round % 10 == 0 ? 2000 : 40);
    std::string text;
    while (text.size() < length) {
      unsigned r = rng();
      if (r % 4 == 0) {
        text.append(1 + r / 4 % 20, static_cast<char>('A' + r / 128 % 26));  // an ASCII run
      } else if (r % 4 == 1) {
        text += static_cast<char>(0xB0 + r / 4 % 39);  // a common hanzi
        text += static_cast<char>(0xA1 + r / 256 % 94);
      } else {
        text += static_cast<char>(r % 3 ? kBytes[r / 4 % sizeof kBytes] : 1 + r / 4 % 255);
      }
    }
    std::size_t roomy = text.size() * 3 + 1;
    for (std::size_t size : {roomy, 1 + rng() % roomy}) {
      if (Direct(text, size) != TwoPass(text, size) && ++mismatches <= 5) {
        ADD_FAILURE() << "size " << size << " text " << Hex(text);
      }
    }
  }
  EXPECT_EQ(mismatches, 0);
}

// FieldToUtf8 and the JSON writer take the direct path for a GBK text without
// "&": their output must stay that of the UTF-16 path, including FieldToUtf8's
// limit of 4095 units.
TEST(Direct, FieldToUtf8AndJsonKeepTheirOutput) {
  std::string unit = "\xD6\xD0z\xFF\x80";  // 4 characters in 5 bytes
  for (std::size_t length : {4090u, 4095u, 4096u, 4100u, 5000u}) {
    std::string text;
    while (text.size() < length) text += unit;
    text.resize(length);
    for (std::size_t size : {std::size_t{20000}, std::size_t{100}}) {
      for (int cutTo : {0, 50}) {
        SCOPED_TRACE(testing::Message() << length << " " << size << " " << cutTo);
        std::vector<char16_t> wide(4096);
        GbkToWideRefs(text.c_str(), wide.data(), wide.size(), kCodePageGbk);
        std::vector<char> expected(size);
        ToUtf8(wide.data(), expected.data(), size);
        if (cutTo > 0) CutText(expected.data(), static_cast<std::size_t>(cutTo));
        std::vector<char> out(size);
        FieldToUtf8(text.c_str(), out.data(), size, cutTo);
        EXPECT_STREQ(out.data(), expected.data());
      }
    }
  }
  // A reference sends a value through the UTF-16 path; with it, the same
  // value must come out with just the referenced "A" added.
  for (const char* value : {"\xD6\xD0/\\\"\x01", "\xD6", "\xFF\x80?B", "a\xAA\xA1"}) {
    SCOPED_TRACE(Hex(value));
    char plain[128], withRef[128];
    char* end = JsonString(plain, plain + sizeof plain, "v", value, false);
    ASSERT_NE(end, nullptr);
    std::string referenced = std::string(value) + "&#65;";
    ASSERT_NE(JsonString(withRef, withRef + sizeof withRef, "v", referenced.c_str(), false),
              nullptr);
    std::string expected(plain, end - 1);  // without the closing quote
    EXPECT_EQ(std::string(withRef), expected + "A\"");
  }
}

// ------------------------------------------------------------------ GBK with references

TEST(Refs, WideToGbkRefsPartExample) {
  char out[32];
  WideToGbkRefs(u"A\u00E9\u4E2D", out, sizeof out, true);
  EXPECT_STREQ(out, "A&#233;\xD6\xD0");
  WideToGbkRefs(u"A\u00E9\u4E2D", out, sizeof out, false);
  EXPECT_STREQ(out, "A&#233;&#20013;");
  WideToGbkRefs(u"\u20AC", out, sizeof out, true);  // one byte in GBK: not "two bytes"
  EXPECT_STREQ(out, "&#8364;");
}

TEST(Refs, WideToGbkRefsStopsWhenRoomRunsOut) {
  struct Case {
    const char16_t* wide;
    std::size_t size;
    const char* expected;
  };
  const Case cases[] = {
      {u"ABC", 1, ""},
      {u"ABC", 2, "A"},
      {u"ABC", 3, "AB"},
      {u"\u4E2D", 2, ""},
      {u"\u4E2D", 3, "\xD6\xD0"},
      {u"A\u4E2D", 3, "A"},
      {u"\u00E9", 7, ""},          // room below 8
      {u"\u00E9", 8, "&#233;"},
      {u"\uFFFF", 8, ""},          // "&#65535;" needs 9 with the zero
      {u"\uFFFF", 9, "&#65535;"},
      {u"\uFFFFA", 9, "&#65535;"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    auto out = std::make_unique<char[]>(c.size);  // exact size for the sanitizer
    WideToGbkRefs(c.wide, out.get(), c.size, true);
    EXPECT_STREQ(out.get(), c.expected);
  }
}

TEST(Refs, TextToGbkRefsKeepsNineBytesOfRoom) {
  struct Case {
    unsigned codePage;
    const char* text;
    std::size_t size;
    const char* expected;
  };
  const Case cases[] = {
      {kCodePageUtf8, "\xEF\xBF\xBF", 9, "&#65535;"},   // exactly fits with the zero
      {kCodePageUtf8, "\xEF\xBF\xBF", 8, ""},           // loop needs more than 8 free
      {kCodePageUtf8, "abcdefghijkl", 9, "a"},
      {kCodePageUtf8, "abcdefghijkl", 12, "abcd"},
      {kCodePageUtf8, "a\xC3\xA9\xE4\xB8\xAD", 32, "a&#233;\xD6\xD0"},
      {kCodePageGbk, "a\xD6\xD0&#1;", 32, "a\xD6\xD0&#1;"},
      {kCodePageUtf8, "x", 1, ""},
      {kCodePageUtf8, "x", 2, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    auto out = std::make_unique<char[]>(c.size);
    TextToGbkRefs(c.codePage, c.text, out.get(), c.size, true);
    EXPECT_STREQ(out.get(), c.expected);
  }
  char out[32];
  TextToGbkRefs(kCodePageUtf8, "\xE4\xB8\xAD", out, sizeof out, false);
  EXPECT_STREQ(out, "&#20013;");
  Utf8ToGbkRefs("\xE4\xB8\xAD\xF0\x9F\x98\x80", out, 31);
  EXPECT_STREQ(out, "\xD6\xD0&#55357;&#56832;");
  Utf8ToGbkRefs("", out, 31);
  EXPECT_STREQ(out, "");
}

TEST(Refs, Utf8ToGbkInPlaceStrictAndNot) {
  char text[32];
  std::strcpy(text, "caf\xC3\xA9 \xE4\xB8\xAD");
  Utf8ToGbkInPlace(text, false, true);
  EXPECT_STREQ(text, "caf? \xD6\xD0");
  std::strcpy(text, "caf\xC3\xA9 \xE4\xB8\xAD");
  Utf8ToGbkInPlace(text, true, true);
  EXPECT_STREQ(text, "cafe \xD6\xD0");
  // Strict: a GBK text is not UTF-8 and stays.
  std::strcpy(text, "a\xD6\xD0");
  Utf8ToGbkInPlace(text, false, true);
  EXPECT_STREQ(text, "a\xD6\xD0");
  // Not strict: any non-ASCII text is decoded as UTF-8, so GBK bytes become "?".
  Utf8ToGbkInPlace(text, false, false);
  EXPECT_STREQ(text, "a??");
  // Two bytes that are UTF-8 but taken as GBK by the UTF-8 test.
  std::strcpy(text, "\xC3\xA9");
  Utf8ToGbkInPlace(text, true, true);
  EXPECT_STREQ(text, "\xC3\xA9");
  Utf8ToGbkInPlace(text, true, false);
  EXPECT_STREQ(text, "e");
  std::strcpy(text, "plain");
  Utf8ToGbkInPlace(text, true, false);
  EXPECT_STREQ(text, "plain");
  text[0] = 0;
  Utf8ToGbkInPlace(text, true, true);
  EXPECT_STREQ(text, "");
}

TEST(Refs, FoldLatinTable) {
  struct Case {
    char16_t unit;
    char16_t letter;
  };
  const Case cases[] = {
      {0xC0, 'A'}, {0xC6, 'A'}, {0x104, 'A'}, {0xC7, 'C'}, {0x106, 'C'}, {0xC8, 'E'},
      {0xCB, 'E'}, {0x118, 'E'}, {0x152, 'E'}, {0xCC, 'I'}, {0xCF, 'I'}, {0xD0, 'D'},
      {0xD1, 'N'}, {0x143, 'N'}, {0xD2, 'O'}, {0xD6, 'O'}, {0xD9, 'U'}, {0xDC, 'U'},
      {0xDD, 'Y'}, {0x178, 'Y'}, {0xDE, 'P'}, {0xDF, 'B'}, {0xE0, 'a'}, {0xE6, 'a'},
      {0x101, 'a'}, {0x105, 'a'}, {0x1CE, 'a'}, {0x251, 'a'}, {0xE7, 'c'}, {0x107, 'c'},
      {0xE8, 'e'}, {0xEB, 'e'}, {0x113, 'e'}, {0x119, 'e'}, {0x11B, 'e'}, {0x153, 'e'},
      {0xEC, 'i'}, {0xEF, 'i'}, {0x12B, 'i'}, {0x1D0, 'i'}, {0xF0, 'd'}, {0xF1, 'n'},
      {0x144, 'n'}, {0x148, 'n'}, {0x1F9, 'n'}, {0xF2, 'o'}, {0xF6, 'o'}, {0xF8, 'o'},
      {0x14D, 'o'}, {0x151, 'o'}, {0x1D2, 'o'}, {0xF9, 'u'}, {0xFC, 'u'}, {0x16B, 'u'},
      {0x1D4, 'u'}, {0x1D6, 'u'}, {0x1D8, 'u'}, {0x1DA, 'u'}, {0x1DC, 'u'}, {0xFD, 'y'},
      {0xFF, 'y'}, {0xFE, 'p'}, {0x141, 'L'}, {0x142, 'l'}, {0x15A, 'S'}, {0x160, 'S'},
      {0x15B, 's'}, {0x161, 's'}, {0x179, 'Z'}, {0x17B, 'Z'}, {0x17C, 'z'}, {0x192, 'f'},
      {0x261, 'g'},
      // Not folded.
      {0xD7, 0xD7}, {0xD8, 0xD8}, {0xF7, 0xF7}, {0x4E2D, 0x4E2D}, {'x', 'x'}, {0x17A, 0x17A},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<unsigned>(c.unit));
    char16_t text[2] = {c.unit, 0};
    FoldLatin(text);
    EXPECT_EQ(text[0], c.letter);
  }
}

// ------------------------------------------------------------------ references

TEST(NamedRefs, TableHas281EntriesInThePartsOrder) {
  std::size_t count = 0;
  const auto* refs = NamedRefs(&count);
  ASSERT_EQ(count, 281u);
  EXPECT_STREQ(refs[0].name, "&nbsp;");
  EXPECT_EQ(refs[0].unit, u' ');
  EXPECT_STREQ(refs[32].name, "&tilde;");
  EXPECT_EQ(refs[32].unit, u'~');
  EXPECT_STREQ(refs[33].name, "&nbsp;");  // first HTML 4.01 entry
  EXPECT_EQ(refs[33].unit, 0xA0);
  EXPECT_STREQ(refs[33 + 95].name, "&yuml;");
  EXPECT_STREQ(refs[33 + 96].name, "&fnof;");
  EXPECT_STREQ(refs[33 + 96 + 123].name, "&diams;");
  EXPECT_STREQ(refs[33 + 96 + 124].name, "&OElig;");
  EXPECT_STREQ(refs[280].name, "&euro;");
  std::map<std::string, char16_t> first;
  for (std::size_t i = 0; i < count; ++i) {
    EXPECT_EQ(refs[i].length, std::strlen(refs[i].name));
    EXPECT_EQ(refs[i].name[0], '&');
    EXPECT_EQ(refs[i].name[refs[i].length - 1], ';');
    first.emplace(refs[i].name, refs[i].unit);
  }
  EXPECT_EQ(first.size(), 278u);  // nbsp, circ, tilde appear twice
  EXPECT_EQ(first["&lang;"], 0x2329);
  EXPECT_EQ(first["&rang;"], 0x232A);
  EXPECT_EQ(first["&euro;"], 0x20AC);
  EXPECT_EQ(first["&thetasym;"], 0x3D1);
  EXPECT_EQ(first["&image;"], 0x2111);
  EXPECT_EQ(first["&weierp;"], 0x2118);
  EXPECT_EQ(first["&Sigma;"], 0x3A3);
  EXPECT_EQ(first["&crarr;"], 0x21B5);
  EXPECT_EQ(first["&sdot;"], 0x22C5);
  EXPECT_EQ(first["&loz;"], 0x25CA);
  EXPECT_EQ(first["&Yuml;"], 0x178);
  EXPECT_EQ(first.count("&quot;"), 1u);
  EXPECT_EQ(first["&quot;"], u'"');  // only the ASCII entry
}

TEST(NamedRefs, DecodeCharRefsCases) {
  struct Case {
    const char16_t* text;
    const char16_t* expected;
  };
  const Case cases[] = {
      {u"&#20013;&amp;&nbsp;x", u"\u4E2D& x"},  // mixed numeric and named references
      {u"&#5;", u"&#5;"},                        // below 10 stays
      {u"&#10;", u"\n"},
      {u"&#65535;", u"\uFFFF"},
      {u"&#65536;", u"&#65536;"},
      {u"&#99999999999999999999;", u"&#99999999999999999999;"},
      {u"&#20013x", u"\u4E2Dx"},                 // ";" may be missing after digits
      {u"&#0065;", u"A65;"},                     // skip as many digits as the value has
      {u"&#x41;", u"A"},
      {u"&#x4e2D;", u"\u4E2D"},
      {u"&#x00;", u"&#x00;"},                    // value 0 stays
      {u"&#x0000;", u"&#x0000;"},
      {u"&#x123;", u"&#x123;"},                  // three digits: other shape
      {u"&#x41", u"&#x41"},
      {u"&#xG1;", u"&#xG1;"},
      {u"&lang;&rang;&euro;", u"\u2329\u232A\u20AC"},
      {u"&circ;&tilde;&nbsp;", u"^~ "},          // the ASCII entries win
      {u"&amp;lt;", u"<"},                       // "&" formed by an earlier entry
      {u"&lt;&amp;", u"<&"},
      {u"&unknown;&", u"&unknown;&"},
      {u"&#123;&#125;", u"{}"},
      {u"&&#38;amp;", u"&&"},
      {u"", u""},
      {u"&", u"&"},
      {u"&#", u"&#"},
      {u"&#x", u"&#x"},
  };
  for (const Case& c : cases) {
    std::u16string text(c.text);
    SCOPED_TRACE(Utf8Of(text));
    DecodeCharRefs(&text[0]);
    EXPECT_EQ(std::u16string(text.c_str()), std::u16string(c.expected));
  }
}

TEST(NamedRefs, GbkToWideRefsDecodesAfterConverting) {
  char16_t out[32];
  GbkToWideRefs("\xD6\xD0&#233;&euro;", out, 32, kCodePageGbk);
  EXPECT_EQ(std::u16string(out), u"\u4E2D\u00E9\u20AC");
  GbkToWideRefs("abcdef", out, 3, kCodePageGbk);
  EXPECT_EQ(std::u16string(out), u"ab");
}

TEST(NamedRefs, CharRefLengthCases) {
  struct Case {
    const char* text;
    int expected;
  };
  const Case cases[] = {
      {"abc", -1},       {"", -1},           {"&abc", -2},        {"&amp;x", 5},
      {"&nbsp;", 6},     {"&thetasym;", 10}, {"&#20013;", 8},     {"&#x4E2D;", 8},
      {"&#65535;x", 8},  {"&#123456;", 0},   {"&#x12345;", 0},    {"&#1;", 4},
      {"&#x;", 0},       {"&#;", 0},         {"&ab;", 0},         {"&unknown;", 0},
      {"&#12a;", 0},     {"&#xZZ;", 0},      {"&verylongname;", 0}, {"&#123;", 6},
      {"&lang; ;", 6},   {"&#20013", -2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(CharRefLength(c.text), c.expected);
  }
}

// ------------------------------------------------------------------ cutting

TEST(Cut, CutTextCases) {
  struct Case {
    const char* text;
    std::size_t maxBytes;
    const char* expected;
  };
  const Case cases[] = {
      // GBK whose 10th and 11th bytes form one character: 9 bytes kept.
      {"abcdefghi\xD6\xD0xyz", 10, "abcdefghi"},
      {"abcdefgh\xD6\xD0xyz", 10, "abcdefgh\xD6\xD0"},
      // A reference that would cross the limit is dropped whole.
      {"abcd&#20013;xyz", 10, "abcd"},
      {"ab&#20013;xyz", 10, "ab&#20013;"},       // ends exactly at the limit
      {"abcd&#2001xyz", 10, "abcd&#2001"},       // not a reference: bytes count 1
      {"\xD6\xD0&amp;\xD6\xD0", 7, "\xD6\xD0&amp;"},
      {"short", 10, "short"},
      {"exactly10!", 10, "exactly10!"},
      {"abc", 0, ""},
      // UTF-8: characters are removed whole.
      {"ab\xE4\xB8\xAD\xE4\xB8\xAD", 4, "ab"},
      {"ab\xE4\xB8\xAD\xE4\xB8\xAD", 5, "ab\xE4\xB8\xAD"},
      {"ab\xE4\xB8\xAD\xE4\xB8\xAD", 6, "ab\xE4\xB8\xAD"},
      {"\xE4\xB8\xAD\xE4\xB8\xAD", 2, ""},
      {"ab\xC3\xA9z", 3, "ab"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::string buf(c.text);
    CutText(&buf[0], c.maxBytes);
    EXPECT_STREQ(buf.c_str(), c.expected);
  }
}

// ------------------------------------------------------------------ Base64

std::pair<int, std::string> Decode64(const std::string& text, std::size_t outSize = 64) {
  auto out = std::make_unique<char[]>(outSize);
  std::size_t n = 999;
  int rc = Base64Decode(text.c_str(), text.size(), out.get(), outSize, &n);
  std::string got(out.get(), n);
  EXPECT_EQ(std::strlen(out.get()) <= n, true);
  return {rc, got};
}

TEST(Base64, MainPaths) {
  EXPECT_EQ(Decode64("SGVsbG8="), std::make_pair(0, std::string("Hello")));
  EXPECT_EQ(Decode64("SGVsbA=="), std::make_pair(0, std::string("Hell")));
  EXPECT_EQ(Decode64("SGVs"), std::make_pair(0, std::string("Hel")));
  EXPECT_EQ(Decode64("SGVsbG8"), std::make_pair(0, std::string("Hel")));  // tail ignored
  EXPECT_EQ(Decode64("SGVs\r\nbG8h"), std::make_pair(0, std::string("Hello!")));
  EXPECT_EQ(Decode64("SGVs\\u002Bbbw=="), std::make_pair(0, std::string("Hel\xF9\xB6\xF0")));
  EXPECT_EQ(Decode64("YS\\u002Fx"), std::make_pair(0, std::string("a/\xF1")));
  EXPECT_EQ(Decode64("YS\\u00C0x").first, -1);  // not below 0x80: left as it is
  EXPECT_EQ(Decode64("+ SGVs"), std::make_pair(0, std::string("Hel")));
  EXPECT_EQ(Decode64("+/+/"), std::make_pair(0, std::string("\xFB\xFF\xBF", 3)));
  EXPECT_EQ(Decode64("AAEC"), std::make_pair(0, std::string("\0\1\2", 3)));
}

TEST(Base64, Errors) {
  EXPECT_EQ(Decode64("").first, -1);
  EXPECT_EQ(Decode64("SG!s").first, -1);
  EXPECT_EQ(Decode64("SG\xC3\xA9").first, -1);
  EXPECT_EQ(Decode64("S===").first, -1);  // "=" only in the third or fourth place
  EXPECT_EQ(Decode64("SGVs SGVs").first, -1);
  char out[4] = "xyz";
  std::size_t n = 7;
  EXPECT_EQ(Base64Decode("SGVs", 4, out, 0, &n), -1);
  EXPECT_STREQ(out, "xyz");
  EXPECT_EQ(n, 0u);
  // The length bounds the input; a zero before it ends it.
  EXPECT_EQ(Base64Decode("SGVsbG8h", 4, out, sizeof out, &n), 0);
  EXPECT_STREQ(out, "Hel");
  EXPECT_EQ(Base64Decode("SGVs\0bG8h", 9, out, sizeof out, &n), 0);
  EXPECT_EQ(n, 3u);
}

TEST(Base64, SmallOutputsNeverOverflow) {
  for (std::size_t size : {1u, 2u, 8u, 9u}) {
    SCOPED_TRACE(size);
    auto r = Decode64("SGVsbG8gd29ybGQh", size);
    EXPECT_EQ(r.first, 0);
    EXPECT_EQ(r.second, std::string("Hello world!").substr(0, size - 1));
  }
}

// ------------------------------------------------------------------ wrapped UTF-16

TEST(WideText, DecodeWideTextCases) {
  char16_t out[8];
  DecodeWideText("x41004200", out, 8);
  EXPECT_EQ(std::u16string(out), u"AB");
  DecodeWideText("x2D4E", out, 8);
  EXPECT_EQ(std::u16string(out), u"\u4E2D");
  // "?B?" + base64 of UTF-16LE "AB".
  DecodeWideText("?B?QQBCAA==", out, 8);
  EXPECT_EQ(std::u16string(out), u"AB");
  DecodeWideText("?B?LU4=", out, 8);
  EXPECT_EQ(std::u16string(out), u"\u4E2D");
  const char* empties[] = {
      "x2d4e",          // lower-case hex
      "x41004",         // not a multiple of 4
      "y41004200",
      "?B?QQBCAA=",     // length not 3 + 4k
      "?B?QQB{AA==",    // "{" is above "z"
      "?B?QQB[AA==",    // in range but not base64
      "plain",
      "",
  };
  for (const char* text : empties) {
    SCOPED_TRACE(text);
    out[0] = 'z';
    DecodeWideText(text, out, 8);
    EXPECT_EQ(out[0], 0);
  }
  // Fits only with room for the zero.
  out[0] = 'z';
  DecodeWideText("x41004200", out, 2);
  EXPECT_EQ(out[0], 0);
  DecodeWideText("x41004200", out, 3);
  EXPECT_EQ(std::u16string(out), u"AB");
  out[0] = 'z';
  DecodeWideText("?B?QQBCAA==", out, 2);
  EXPECT_EQ(out[0], 0);
}

TEST(WideText, FieldToUtf8Paths) {
  char out[64];
  FieldToUtf8("\xD6\xD0&#233;&amp;", out, sizeof out, 0);
  EXPECT_STREQ(out, "\xE4\xB8\xAD\xC3\xA9&");
  FieldToUtf8("\x07" "SGVsbG8=", out, sizeof out, 0);  // base64 straight into out
  EXPECT_STREQ(out, "Hello");
  FieldToUtf8("\x06" "5Lit", out, sizeof out, 0);
  EXPECT_STREQ(out, "\xE4\xB8\xAD");
  FieldToUtf8("?B?LU4=", out, sizeof out, 0);
  EXPECT_STREQ(out, "\xE4\xB8\xAD");
  FieldToUtf8("\xD6\xD0\xD6\xD0", out, sizeof out, 4);  // cut, UTF-8 rule
  EXPECT_STREQ(out, "\xE4\xB8\xAD");
  FieldToUtf8("\xD6\xD0\xD6\xD0", out, 5, 0);  // bounded by utf8Size
  EXPECT_STREQ(out, "\xE4\xB8\xAD");
  FieldToUtf8("", out, sizeof out, 0);
  EXPECT_STREQ(out, "");
  FieldToUtf8("\x07" "!!!!", out, sizeof out, 0);  // bad base64
  EXPECT_STREQ(out, "");
  FieldToUtf8("x41004200", out, sizeof out, 0);  // only "?B?" is unwrapped here
  EXPECT_STREQ(out, "x41004200");
}

// ------------------------------------------------------------------ hostile sizes

TEST(Bounds, SmallOutputSizesNeverOverflow) {
  const char* narrow[] = {"\xD6\xD0&#20013;\xE4\xB8\xAD\xF0\x9F\x98\x80 abc &amp; ?B?QQBCAA==",
                          "?B?QQBCAA==", "\x07SGVsbG8gd29ybGQh", "x410042004300",
                          "&#65535;&#65535;", "\xFF\x80\x81"};
  const char16_t* wide = u"A\u00E9\u4E2D\uFFFF\U0001F600&#20013;";
  for (std::size_t size : {1u, 2u, 3u, 8u, 9u, 10u}) {
    SCOPED_TRACE(size);
    for (const char* text : narrow) {
      auto out = std::make_unique<char[]>(size);
      auto wout = std::make_unique<char16_t[]>(size);
      for (unsigned cp : {kCodePageGbk, kCodePageUtf8, kCodePageEucJp}) {
        ToWide(text, wout.get(), size, cp);
        EXPECT_EQ(wout[size - 1], 0);
        GbkToWideRefs(text, wout.get(), size, cp);
        EXPECT_EQ(wout[size - 1], 0);
        TextToGbkRefs(cp, text, out.get(), size, true);
        EXPECT_EQ(out[size - 1], 0);
      }
      Utf8ToGbkRefs(text, out.get(), size - 1);
      EXPECT_EQ(out[size - 1], 0);
      DecodeWideText(text, wout.get(), size);
      FieldToUtf8(text, out.get(), size, 0);
      EXPECT_LT(std::strlen(out.get()), size);
      FieldToUtf8(text, out.get(), size, 3);
      EXPECT_LT(std::strlen(out.get()), size);
      std::size_t n = 0;
      Base64Decode(text, std::strlen(text), out.get(), size, &n);
      EXPECT_LT(n, size);
    }
    auto out = std::make_unique<char[]>(size);
    WideToGbkRefs(wide, out.get(), size, true);
    EXPECT_EQ(out[size - 1], 0);
    WideToGbkRefs(wide, out.get(), size, false);
    EXPECT_EQ(out[size - 1], 0);
    EXPECT_LT(ToGbk(wide, out.get(), size), size);
    EXPECT_LT(ToUtf8(wide, out.get(), size), size);
  }
}

}  // namespace
