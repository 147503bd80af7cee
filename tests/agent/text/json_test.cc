#include "agent/text/json.h"

#include <climits>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/temp_folder.h"

namespace {

// GBK and UTF-8 forms of the texts used below.
constexpr const char* kNiHaoGbk = "\xC4\xE3\xBA\xC3";                    // 你好
constexpr const char* kNiHaoUtf8 = "\xE4\xBD\xA0\xE5\xA5\xBD";          // 你好
constexpr const char* kZhongWenGbk = "\xD6\xD0\xCE\xC4";                 // 中文
constexpr const char* kZhongWenUtf8 = "\xE4\xB8\xAD\xE6\x96\x87";       // 中文

std::string WriteString(const char* value, unsigned codePage, bool comma = false,
                        JsonStringOptions options = {}) {
  char buffer[512];
  JsonWriter writer(buffer, sizeof buffer);
  EXPECT_TRUE(writer.String("v", value, comma, codePage, options));
  return std::string(writer.text());
}

struct StringCase {
  const char* label;
  const char* value;
  unsigned codePage;
  std::string expected;  // the whole member
};

TEST(JsonWriterTest, StringValuesAreConvertedAndEscaped) {
  const StringCase cases[] = {
      {"GBK to UTF-8 unescaped", kNiHaoGbk, 936, std::string("\"v\":\"") + kNiHaoUtf8 + "\""},
      {"every slash", "https://a.cn/x?y=1", 936, R"("v":"https:\u002F\u002Fa.cn\u002Fx?y=1")"},
      {"line feed", "a\nb", 936, R"("v":"a\u000Ab")"},
      {"quote and backslash", "say \"hi\" C:\\", 936, R"("v":"say \u0022hi\u0022 C:\u005C")"},
      {"named control bytes", "\b\f\r\t", 936, R"("v":"\u0008\u000C\u000D\u0009")"},
      {"other control bytes and DEL", "\x01\x07\x0B\x0E\x1F\x7F", 936,
       R"("v":"\u0001\u0007\u000B\u000E\u001F\u007F")"},
      {"UTF-8 kept byte for byte", "\xE4\xB8\xAD/\xC3\xA9\xF0\x9F\x98\x80", 65001,
       "\"v\":\"\xE4\xB8\xAD\\u002F\xC3\xA9\xF0\x9F\x98\x80\""},
      {"empty value", "", 936, R"("v":"")"},
      {"decimal reference", "caf&#233;", 936, "\"v\":\"caf\xC3\xA9\""},
      {"hex references of 2 and 4 digits", "&#x41;&#x4e2d;", 936, "\"v\":\"A\xE4\xB8\xAD\""},
      {"reference beyond 16 bits", "&#128512;", 936, "\"v\":\"\xF0\x9F\x98\x80\""},
      {"named and malformed references kept", "&amp;&#0;&#x123;&#12", 936,
       R"("v":"&amp;&#0;&#x123;&#12")"},
      {"hexadecimal UTF-16 wrapper", "x41004200", 936, R"("v":"AB")"},
      {"base64 UTF-16 wrapper", "?B?LU4=", 936, "\"v\":\"\xE4\xB8\xAD\""},
      {"wrapper of digits only", "x4100", 936, R"("v":"A")"},
      {"lower-case hex is plain text", "x4e2d", 936, R"("v":"x4e2d")"},
      {"not a wrapper", "xyz", 936, R"("v":"xyz")"},
      {"UTF-16LE text", "A\0\x2D\x4E\0", 1200, "\"v\":\"A\xE4\xB8\xAD\""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WriteString(c.value, c.codePage), c.expected) << c.label;
  }
}

TEST(JsonWriterTest, NullValueCommaAndOptions) {
  EXPECT_EQ(WriteString(nullptr, 936), R"("v":null)");
  EXPECT_EQ(WriteString(nullptr, 936, true), R"("v":null,)");
  EXPECT_EQ(WriteString("ok", 936, true), R"("v":"ok",)");
  EXPECT_EQ(WriteString("a/b\r\nc", 936, false, {true, true}), R"("v":"a/b c")");
}

TEST(JsonWriterTest, IntegersQuotedAndUnquoted) {
  struct IntCase {
    int number;
    bool comma;
    bool quoted;
    const char* expected;
  };
  const IntCase cases[] = {
      {0, false, false, R"("n":0)"},
      {1700000000, true, false, R"("n":1700000000,)"},
      {-40001, false, true, R"("n":"-40001")"},
      {INT_MIN, true, true, R"("n":"-2147483648",)"},
  };
  for (const auto& c : cases) {
    char buffer[64];
    JsonWriter writer(buffer, sizeof buffer);
    EXPECT_TRUE(writer.Int("n", c.number, c.comma, c.quoted));
    EXPECT_STREQ(buffer, c.expected);
  }
}

TEST(JsonWriterTest, ChainedFormsBuildABody) {
  char buffer[256];
  char* const end = buffer + sizeof buffer;
  char* p = JsonAppend(buffer, end, "{");
  p = JsonString(p, end, "ext", "", true);
  p = JsonString(p, end, "msg", kZhongWenUtf8, true, 65001);
  p = JsonAppend(p, end, "\"tel\":{");
  p = JsonString(p, end, "mobile", "13800000000", true);
  p = JsonString(p, end, "nationcode", "86", false);
  p = JsonAppend(p, end, "},");
  p = JsonInt(p, end, "time", 1700000000, true);
  p = JsonInt(p, end, "type", 0, false);
  p = JsonAppend(p, end, "}");
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(std::string(buffer, p),
            std::string(R"({"ext":"","msg":")") + kZhongWenUtf8 +
                R"(","tel":{"mobile":"13800000000","nationcode":"86"},"time":1700000000,"type":0})");
  EXPECT_EQ(*p, '\0');

  // An empty append leaves everything as it was, the byte at pos included.
  char untouched[4] = {'#', '#', '#', '#'};
  EXPECT_EQ(JsonAppend(untouched, untouched + 4, ""), untouched);
  EXPECT_EQ(untouched[0], '#');
  // A broken chain stays broken.
  EXPECT_EQ(JsonString(nullptr, end, "a", "b", false), nullptr);
  EXPECT_EQ(JsonAppend(nullptr, end, "x"), nullptr);
}

TEST(JsonWriterTest, UnknownCodePageRefusesTheMember) {
  char buffer[64];
  JsonWriter writer(buffer, sizeof buffer);
  EXPECT_TRUE(writer.Append("{"));
  EXPECT_FALSE(writer.String("v", "abc", false, 437));
  EXPECT_STREQ(buffer, "{");
}

// Writes a template-message shaped body with the writer into size bytes and
// returns the member boundaries that a complete run passes.
std::vector<std::size_t> WriteBody(JsonWriter& writer) {
  std::vector<std::size_t> ends;
  auto step = [&](bool written) {
    if (written) ends.push_back(writer.length());
  };
  step(writer.Append("{"));
  step(writer.String("touser", "oAbCdEfGhIjKlMnOpQrStUvWxYz0", true));
  step(writer.String("url", "http://q.cn/t?id=1", true));
  step(writer.Append("\"data\":{\"first\":{"));
  step(writer.String("value", kNiHaoGbk, true));
  step(writer.String("color", "#FF0000", false));
  step(writer.Append("}"));
  step(writer.Int("n", 12345, false, true));
  step(writer.Append("}}"));
  return ends;
}

TEST(JsonWriterTest, AMemberThatDoesNotFitIsRefusedWithinTheBuffer) {
  char full[512];
  JsonWriter reference(full, sizeof full);
  const std::vector<std::size_t> ends = WriteBody(reference);
  ASSERT_TRUE(reference.ok());
  const std::string whole(reference.text());

  // Every room from nothing to one byte more than needed, in heap blocks of
  // exactly that size so that the sanitizer sees any byte written past them.
  for (std::size_t size = 0; size <= whole.size() + 1; ++size) {
    auto buffer = std::make_unique<char[]>(size == 0 ? 1 : size);
    JsonWriter writer(size == 0 ? nullptr : buffer.get(), size);
    WriteBody(writer);
    std::size_t expected = 0;
    for (std::size_t end : ends) {
      if (end < size) expected = end;
    }
    EXPECT_EQ(writer.ok(), size > whole.size()) << size;
    EXPECT_EQ(writer.length(), expected) << size;
    if (size > 0) {
      EXPECT_EQ(std::string(buffer.get()), whole.substr(0, expected)) << size;
    }
  }

  // The chained form says the same with nullptr and a terminated prefix.
  char small[20];
  char* const end = small + sizeof small;
  char* p = JsonAppend(small, end, "{");
  p = JsonString(p, end, "touser", "0123456789", true);  // 23 bytes: does not fit
  EXPECT_EQ(p, nullptr);
  EXPECT_STREQ(small, "{");
}

// Runs python3's json module on text and returns its canonical ASCII dump.
std::string PythonCanonical(const std::string& text) {
  TempFolder folder;
  const std::string path = folder.path() + "/body.json";
  std::ofstream(path, std::ios::binary) << text;
  const std::string command =
      "python3 -c 'import json,sys; d=json.load(open(sys.argv[1],encoding=\"utf-8\")); "
      "print(json.dumps(d,ensure_ascii=True,sort_keys=True))' " + path + " 2>&1";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  if (!pipe) return "popen failed";
  std::string output;
  char chunk[256];
  while (std::fgets(chunk, sizeof chunk, pipe.get()) != nullptr) output += chunk;
  return output;
}

TEST(JsonWriterTest, OutputIsAcceptedByARealJsonParser) {
  std::string controls;
  for (int c = 1; c < 0x20; ++c) controls.push_back(static_cast<char>(c));
  controls += "\x7F\"\\/";
  char buffer[1024];
  JsonWriter writer(buffer, sizeof buffer);
  writer.Append("{");
  writer.String("controls", controls.c_str(), true);
  writer.String("gbk", kZhongWenGbk, true);
  writer.String("utf8", "\xC3\xA9\xF0\x9F\x98\x80", true, 65001);
  writer.String("refs", "&#8364;&#x4e2d;", true);
  writer.String("empty", "", true);
  writer.String("none", nullptr, true);
  writer.Int("n", -7, true);
  writer.Int("q", 42, false, true);
  writer.Append("}");
  ASSERT_TRUE(writer.ok());

  EXPECT_EQ(PythonCanonical(std::string(writer.text())),
            R"({"controls": "\u0001\u0002\u0003\u0004\u0005\u0006\u0007\b\t\n\u000b\f\r)"
            R"(\u000e\u000f\u0010\u0011\u0012\u0013\u0014\u0015\u0016\u0017\u0018\u0019)"
            R"(\u001a\u001b\u001c\u001d\u001e\u001f\u007f\"\\/", "empty": "", )"
            R"("gbk": "\u4e2d\u6587", "n": -7, "none": null, "q": "42", )"
            R"("refs": "\u20ac\u4e2d", "utf8": "\u00e9\ud83d\ude00"})"
            "\n");
}

// ---- reader ----

std::string Get(const char* name, std::string_view text, std::size_t max = 255) {
  std::vector<char> out(max + 1, '#');
  const std::size_t length = JsonGetString(name, text, out.data(), max);
  EXPECT_EQ(out[length], '\0');
  return std::string(out.data(), length);
}

struct ReadCase {
  const char* label;
  const char* name;
  std::string text;
  std::string expected;
};

TEST(JsonReaderTest, FindsMembersByTheirQuotedName) {
  const ReadCase cases[] = {
      {"plain", "errmsg", R"({"errcode":0,"errmsg":"ok"})", "ok"},
      {"absent", "errmsg", R"({"errcode":0})", ""},
      {"nested object", "mobile", R"({"tel":{"mobile":"138"}})", "138"},
      {"first element of an array", "list", R"({"list": [ "first", "second"]})", "first"},
      {"bare number in an array", "ids", R"({"ids":[12,13]})", "12"},
      {"bare number", "msgid", R"({"msgid":2147483648999,"x":1})", "2147483648999"},
      {"bare word", "ok", R"({"ok":true})", "true"},
      {"%20 as white space", "errmsg", R"({"errmsg"%20:%20 "ok"})", "ok"},
      {"null", "url", R"({"url":null})", ""},
      {"empty string", "errmsg", R"({"errmsg":""})", ""},
      {"unterminated string", "errmsg", R"({"errmsg":"abc)", ""},
      {"no colon", "errmsg", R"({"errmsg" "ok"})", ""},
      {"nothing after colon", "errmsg", R"({"errmsg":)", ""},
      {"first occurrence is a value", "errmsg", R"({"a":"errmsg","errmsg":"x"})", ""},
      {"text ends at its zero", "errmsg", std::string("{\"a\":1}\0{\"errmsg\":\"x\"}", 23), ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Get(c.name, c.text), c.expected) << c.label;
  }
}

TEST(JsonReaderTest, UnescapesStringValues) {
  const ReadCase cases[] = {
      {"escaped quote does not end", "v", R"({"v":"a\"b"})", "a\"b"},
      {"two backslashes end", "v", R"({"v":"a\\","w":1})", "a\\"},
      {"three backslashes do not", "v", R"({"v":"a\\\"b"})", "a\\\"b"},
      {"single escapes", "v", R"({"v":"\/\'\n\r\t"})", "/'\n\r\t"},
      {"a b f give spaces", "v", R"({"v":"1\a2\b3\f4"})", "1 2 3 4"},
      {"\\x bytes", "v", R"({"v":"\x41\x7a\x00"})", "Az\\x00"},
      {"\\u ASCII", "v", R"({"v":"\u0041\u002F\u0000"})", "A/\\u0000"},
      {"\\u to GBK", "v", R"({"v":"\u4e2d\u6587!"})", kZhongWenGbk + std::string("!")},
      {"\\u without GBK form", "v", R"({"v":"\u00e9x"})", "?x"},
      {"UTF-8 to GBK", "errmsg", std::string("{\"errmsg\":\"") + kZhongWenUtf8 + "\"}",
       kZhongWenGbk},
      {"UTF-8 with \\u escapes", "v", "{\"v\":\"\xE4\xB8\xAD\\u6587\"}", kZhongWenGbk},
      {"GBK kept", "v", std::string("{\"v\":\"") + kZhongWenGbk + "\"}", kZhongWenGbk},
      {"escaped backslash starts no escape", "v", R"({"v":"\\u0041\\x41\\n"})",
       "\\u0041\\x41\\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Get(c.name, c.text), c.expected) << c.label;
  }
}

TEST(JsonReaderTest, MaxNeverSplitsADoubleByteCharacter) {
  const std::string gbk = std::string("{\"v\":\"") + kZhongWenGbk + "\"}";
  const std::string utf8 = std::string("{\"v\":\"") + kZhongWenUtf8 + "\"}";
  EXPECT_EQ(Get("v", gbk, 0), "");
  EXPECT_EQ(Get("v", gbk, 1), "");
  EXPECT_EQ(Get("v", gbk, 3), "\xD6\xD0");
  EXPECT_EQ(Get("v", utf8, 3), "\xD6\xD0");
  EXPECT_EQ(Get("v", utf8, 4), kZhongWenGbk);
  EXPECT_EQ(Get("v", R"({"v":"hello"})", 3), "hel");
  EXPECT_EQ(Get("v", R"({"v":123456})", 2), "12");
  // A lead byte with nothing after it is no character.
  EXPECT_EQ(Get("v", "{\"v\":\"ab\xD6\"}"), "ab");
}

TEST(JsonReaderTest, LongContentIsUnescapedOnlyWithRoomForIt) {
  const std::string content = "\\u0041" + std::string(5000, 'b');
  const std::string text = "{\"v\":\"" + content + "\"}";
  EXPECT_EQ(Get("v", text, 10), "\\u0041bbbb");
  EXPECT_EQ(Get("v", text, 4096), "A" + std::string(4095, 'b'));
  const std::string huge = "{\"v\":\"\\u0041" + std::string(70000, 'b') + "\"}";
  EXPECT_EQ(Get("v", huge, 8000).substr(0, 7), "\\u0041b");
}

TEST(JsonReaderTest, IntegersFromNumbersAndStrings) {
  struct IntCase {
    const char* label;
    const char* name;
    const char* text;
    int expected;
  };
  const IntCase cases[] = {
      {"zero", "errcode", R"({"errcode":0,"errmsg":"ok"})", 0},
      {"negative", "errcode", R"({"errcode":-40001,"errmsg":"invalid"})", -40001},
      {"absent", "errcode", R"({"access_token":"T"})", 77},
      {"quoted number", "expires_in", R"({"access_token":"T","expires_in":"7200"})", 7200},
      {"plus sign and spaces", "n", R"({"n":" +15"})", 15},
      {"leading number only", "n", R"({"n":"12ab"})", 12},
      {"no digits", "n", R"({"n":"abc"})", 0},
      {"null", "n", R"({"n":null})", 77},
      {"empty string", "n", R"({"n":""})", 77},
      {"too large", "n", R"({"n":99999999999})", INT_MAX},
      {"too small", "n", R"({"n":-99999999999})", INT_MIN},
      {"int limits", "n", R"({"n":-2147483648})", INT_MIN},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(JsonGetInt(c.name, c.text, 77), c.expected) << c.label;
  }
}

}  // namespace
