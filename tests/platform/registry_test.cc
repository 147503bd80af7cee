#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "platform/registry.h"
#include "tests/temp_folder.h"

namespace platform {
namespace {

std::string AllBytes() {
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
  return bytes;
}

class FileRegistryTest : public ::testing::Test {
 protected:
  TempFolder tmp_;
  std::string path_ = tmp_.path() + "/qorvu/registry";  // folder created by Save
};

TEST_F(FileRegistryTest, BinaryValuesRoundTripAndFileIsOwnerOnly) {
  FileRegistry registry(path_);
  RegValues values{{"Item1", std::string("a\0b\n=\r", 6)},
                   {"Item2", AllBytes()},
                   {"Empty", ""},
                   {"SQLPort", std::string("\x99\x05\0\0", 4)}};
  ASSERT_TRUE(registry.Save(values).ok());

  struct stat st {};
  ASSERT_EQ(::stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);

  RegValues back;
  ASSERT_TRUE(registry.Load(&back).ok());
  EXPECT_EQ(back, values);

  // A file that an operator loosened to 0644 is tightened again by a write.
  ::chmod(path_.c_str(), 0644);
  ASSERT_TRUE(SetRegistryValue(registry, "Item1", "x").ok());
  ASSERT_EQ(::stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  ASSERT_TRUE(registry.Load(&back).ok());
  EXPECT_EQ(back.at("Item1"), "x");
  EXPECT_EQ(back.at("Item2"), AllBytes());  // the other values stay
}

TEST_F(FileRegistryTest, MissingFileIsAMissingKey) {
  FileRegistry registry(path_);
  RegistryKey key;
  EXPECT_EQ(key.Open(registry).code, RegErrc::kKeyMissing);
  EXPECT_EQ(DeleteRegistryValue(registry, "Item1").code, RegErrc::kKeyMissing);
  // Setting a value creates the key.
  ASSERT_TRUE(SetRegistryValue(registry, "Item1", "v").ok());
  EXPECT_TRUE(key.Open(registry).ok());
  EXPECT_EQ(DeleteRegistryValue(registry, "Other").code, RegErrc::kNotFound);
  EXPECT_TRUE(DeleteRegistryValue(registry, "Item1").ok());
}

TEST_F(FileRegistryTest, RefusesFilesOthersMayWrite) {
  FileRegistry registry(path_);
  ASSERT_TRUE(registry.Save({{"Item1", "v"}}).ok());
  RegValues values;
  for (mode_t mode : {0620, 0602, 0666}) {
    ::chmod(path_.c_str(), mode);
    EXPECT_EQ(registry.Load(&values).code, RegErrc::kUnsafeFile) << std::oct << mode;
  }
  ::chmod(path_.c_str(), 0644);  // readable by others is allowed, writable is not
  EXPECT_TRUE(registry.Load(&values).ok());

  FileRegistry folder(tmp_.path());  // not a regular file
  EXPECT_EQ(folder.Load(&values).code, RegErrc::kUnsafeFile);
}

TEST(RegistryKeyTest, QueryReportsMissingAndTooLongValues) {
  FakeRegistry registry;
  registry.exists = true;
  registry.values = {{"Item1", std::string("ab\0d", 4)}};
  RegistryKey key;
  ASSERT_TRUE(key.Open(registry).ok());

  char buffer[8] = "-------";
  std::size_t length = 99;
  EXPECT_EQ(key.Query("Item9", buffer, sizeof buffer, &length).code, RegErrc::kNotFound);

  EXPECT_EQ(key.Query("Item1", buffer, 3, &length).code, RegErrc::kMoreData);
  EXPECT_EQ(length, 4u);
  EXPECT_EQ(std::string(buffer, 7), "-------");  // not cut silently

  ASSERT_TRUE(key.Query("Item1", buffer, 4, &length).ok());
  EXPECT_EQ(length, 4u);
  EXPECT_EQ(std::string(buffer, 5), std::string("ab\0d-", 5));
}

TEST(RegistryTextTest, ParsesWhatItFormatsAndRefusesDamage) {
  RegValues values{{"A", "\x01\xff"}, {"Item1", ""}};
  std::string text = FormatRegistryText(values);
  EXPECT_EQ(text, "QORVU-REGISTRY 1\nA=01ff\nItem1=\n");
  RegValues back;
  ASSERT_TRUE(ParseRegistryText(text, &back).ok());
  EXPECT_EQ(back, values);
  ASSERT_TRUE(ParseRegistryText("QORVU-REGISTRY 1\r\nA=01FF\r\n", &back).ok());
  EXPECT_EQ(back.at("A"), "\x01\xff");

  const char* damaged[] = {
      "",                                    // empty file
      "A=01\n",                              // no header
      "QORVU-REGISTRY 2\n",                  // unknown version
      "QORVU-REGISTRY 1\nA=0\n",             // odd number of digits
      "QORVU-REGISTRY 1\nA=0g\n",            // not a hex digit
      "QORVU-REGISTRY 1\nA=01\nA=02\n",      // a name twice
      "QORVU-REGISTRY 1\nA=01",              // cut-off line
      "QORVU-REGISTRY 1\nA B=01\n",          // space in a name
      "QORVU-REGISTRY 1\n=01\n",             // empty name
      "QORVU-REGISTRY 1\nnovalue\n",         // no '='
  };
  for (const char* text : damaged) {
    EXPECT_EQ(ParseRegistryText(text, &back).code, RegErrc::kBadFormat) << text;
    EXPECT_TRUE(back.empty());
  }
  FakeRegistry fake;
  EXPECT_EQ(SetRegistryValue(fake, "bad=name", "v").code, RegErrc::kBadName);
  EXPECT_EQ(SetRegistryValue(fake, std::string(256, 'n'), "v").code, RegErrc::kBadName);
}

TEST(RegistryPathTest, EnvironmentOverridesTheDefault) {
  const char* old = std::getenv("QORVU_REGISTRY");
  std::string saved = old != nullptr ? old : "";
  ::unsetenv("QORVU_REGISTRY");
  EXPECT_EQ(DefaultRegistryPath(), "/etc/qorvu/registry");
  ::setenv("QORVU_REGISTRY", "/tmp/other", 1);
  EXPECT_EQ(DefaultRegistryPath(), "/tmp/other");
  if (old != nullptr) ::setenv("QORVU_REGISTRY", saved.c_str(), 1); else ::unsetenv("QORVU_REGISTRY");
}

}  // namespace
}  // namespace platform
