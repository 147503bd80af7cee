#include "agent/db/statement_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "agent/host/log/daily_log.h"
#include "tests/temp_folder.h"

namespace {

struct QuoteCase {
  const char* text;
  const char* quoted;
};

TEST(SqlQuoteTest, TrimsWhiteSpaceAndDoublesApostrophes) {
  const QuoteCase cases[] = {
      {"  O'Brien ", "O''Brien"},
      {"\t\r\n\v\fabc\f\v\n\r\t", "abc"},
      {"", ""},
      {"    ", ""},
      {" \t\r\n", ""},
      {"a b\tc", "a b\tc"},  // white space inside stays
      {"'", "''"},
      {"'''", "''''''"},
      {" it's 'x' ", "it''s ''x''"},
      {"\xb2\xe2 \xca\xd4", "\xb2\xe2 \xca\xd4"},  // GBK bytes pass unchanged
      {"\xa1\xa1x\xa1\xa1", "\xa1\xa1x\xa1\xa1"},  // only ASCII white space is trimmed
  };
  for (const QuoteCase& c : cases) {
    EXPECT_EQ(SqlQuote(c.text), c.quoted) << "text [" << c.text << "]";
    char buffer[64];
    ASSERT_TRUE(SqlQuote(c.text, buffer)) << "text [" << c.text << "]";
    EXPECT_STREQ(buffer, c.quoted);
  }
}

struct BoundedCase {
  const char* text;
  std::size_t size;
  bool fits;
  const char* quoted;  // when it fits
};

TEST(SqlQuoteTest, BufferFormRefusesWhatDoesNotFitWithoutWritingBeyond) {
  const BoundedCase cases[] = {
      {" O'Brien ", 9, true, "O''Brien"},   // exactly fits with its zero
      {" O'Brien ", 8, false, nullptr},
      {"ab'", 5, true, "ab''"},
      {"ab'", 4, false, nullptr},           // a cut would leave a lone apostrophe
      {"''''", 9, true, "''''''''"},
      {"''''", 8, false, nullptr},
      {"''''", 7, false, nullptr},
      {"   ", 1, true, ""},
      {"", 1, true, ""},
      {"x", 1, false, nullptr},
  };
  for (const BoundedCase& c : cases) {
    char buffer[32];
    std::memset(buffer, '#', sizeof buffer);
    const bool fits = SqlQuote(c.text, buffer, c.size);
    EXPECT_EQ(fits, c.fits) << "text [" << c.text << "] size " << c.size;
    if (c.fits) {
      EXPECT_STREQ(buffer, c.quoted);
    } else {
      EXPECT_EQ(buffer[0], '\0') << "a refused text leaves the buffer empty";
    }
    for (std::size_t i = c.size; i < sizeof buffer; ++i) {
      ASSERT_EQ(buffer[i], '#') << "byte " << i << " written for size " << c.size;
    }
  }
  char untouched = '#';
  EXPECT_FALSE(SqlQuote("x", &untouched, 0));
  EXPECT_EQ(untouched, '#');
  EXPECT_FALSE(SqlQuote("x", nullptr, 4));
}

TEST(SqlQuoteTest, ManyApostrophesNearTheEndOfABuffer) {
  // 100 apostrophes need 200 bytes and the zero: a 201-byte buffer holds
  // them, a 200-byte one is refused rather than cut in a pair.
  const std::string text(100, '\'');
  char exact[201];
  ASSERT_TRUE(SqlQuote(text, exact));
  EXPECT_EQ(std::string(exact), std::string(200, '\''));
  char shorter[200];
  EXPECT_FALSE(SqlQuote(text, shorter));
  EXPECT_STREQ(shorter, "");
  EXPECT_EQ(SqlQuote(text), std::string(200, '\''));
}

// Points the process-wide log at a fresh folder for one test.
class StatementLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(folder_.path().empty());
    g_log.SetFolder((folder_.path() + "/").c_str(), "LOG_WC", true);
    ASSERT_NE(g_log.Folder()[0], '\0');
  }
  void TearDown() override { g_log.SetFolder("", "", false); }

  // Everything the log folder holds, all files together.
  std::string LogText() const {
    std::string all;
    for (const auto& entry : std::filesystem::directory_iterator(folder_.path() + "/LOG_WC")) {
      std::ifstream in(entry.path(), std::ios::binary);
      std::ostringstream text;
      text << in.rdbuf();
      all += text.str();
    }
    return all;
  }

  TempFolder folder_;
};

TEST_F(StatementLogTest, FormatRefusesOneByteTooLongAndLogsIt) {
  struct {
    char text[16];
    char guard[8];
  } buffers;
  std::memset(&buffers, '#', sizeof buffers);

  // 15 characters and the zero fill the buffer exactly.
  ASSERT_TRUE(FormatStatement(buffers.text, "Fits", "SELECT %d,%s", 123, "abcd"));
  EXPECT_STREQ(buffers.text, "SELECT 123,abcd");
  // One character more is refused whole.
  EXPECT_FALSE(FormatStatement(buffers.text, "Update_Sign", "SELECT %d,%s", 1234, "abcd"));
  EXPECT_STREQ(buffers.text, "") << "a refused statement must not be cut";
  EXPECT_EQ(std::string(buffers.guard, sizeof buffers.guard), std::string(8, '#'));

  const std::string log = LogText();
  EXPECT_NE(log.find("statement Update_Sign too long (17 bytes, buffer 16), not run"),
            std::string::npos)
      << log;
  EXPECT_EQ(log.find("Fits"), std::string::npos) << "a text that fits is not logged";
}

TEST_F(StatementLogTest, FormatRefusesAValueFarBeyondTheBuffer) {
  char text[64];
  const std::string value(5000, 'x');
  EXPECT_FALSE(FormatStatement(text, "SetMess",
                               "{?=CALL qorvu.dbo.cp_wc_mess_set(%d,%d,%d,'%s','%s','%s','%s')}", 1,
                               2, 3, "", "", value.c_str(), ""));
  EXPECT_STREQ(text, "");
  EXPECT_NE(LogText().find("statement SetMess too long (5053 bytes, buffer 64), not run"),
            std::string::npos);
}

}  // namespace
