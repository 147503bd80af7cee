// Runs the built qorvu_regset against a registry file in a temporary folder
// and reads the result back the way both server programs do.
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "platform/registry.h"
#include "shared/reg_settings.h"
#include "tests/temp_folder.h"

namespace {

class RegsetTest : public ::testing::Test {
 protected:
  int Regset(const std::string& arguments) {
    std::string command = "QORVU_REGISTRY='" + file_ + "' '" REGSET_PATH "' " + arguments +
                          " >/dev/null 2>&1";
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  TempFolder tmp_;
  std::string file_ = tmp_.path() + "/etc/registry";
};

TEST_F(RegsetTest, WritesSettingsThatReadBackExactly) {
  platform::FileRegistry registry(file_);
  ASSERT_TRUE(platform::SetRegistryValue(registry, "SQLPort", std::string("\x99\x05\0\0", 4)).ok());

  ASSERT_EQ(Regset("--dsn qorvu2 --user 'op er' --password 's3cr%t'"), 0);
  char dsn[32] = "qorvu", pwd[64] = "8067", uid[32] = "sa";
  shared::RegSettingsReport report;
  ASSERT_TRUE(shared::ReadRegSettings(registry, {dsn, sizeof dsn}, {pwd, sizeof pwd},
                                      {uid, sizeof uid}, &report)
                  .ok());
  EXPECT_STREQ(dsn, "qorvu2");
  EXPECT_STREQ(uid, "op er");
  EXPECT_STREQ(pwd, "s3cr%t");

  // Only the given value changes; other values of the key stay.
  ASSERT_EQ(Regset("--password ''"), 0);
  ASSERT_TRUE(shared::ReadRegSettings(registry, {dsn, sizeof dsn}, {pwd, sizeof pwd},
                                      {uid, sizeof uid}, &report)
                  .ok());
  EXPECT_STREQ(dsn, "qorvu2");
  EXPECT_STREQ(pwd, "");
  platform::RegValues values;
  ASSERT_TRUE(registry.Load(&values).ok());
  EXPECT_EQ(values.at("SQLPort"), std::string("\x99\x05\0\0", 4));
  EXPECT_EQ(values.at("Item1").size(), shared::kRegValueSize);

  struct stat st {};
  ASSERT_EQ(::stat(file_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
}

TEST_F(RegsetTest, RefusesBadCommandLinesAndWritesNothing) {
  const char* bad[] = {
      "",                                   // nothing to write
      "--dsn",                              // no value
      "--colour red",                       // unknown option
      "--dsn 0123456789012345678901234567890123456789",   // longer than the agent's 31
      "--password 0123456789012345678901234567890123456789012345678901234567890123",  // 64
  };
  for (const char* arguments : bad) {
    EXPECT_EQ(Regset(arguments), 2) << arguments;
  }
  struct stat st {};
  EXPECT_NE(::stat(file_.c_str(), &st), 0);
}

}  // namespace
