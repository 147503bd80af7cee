#include "agent/db/db_settings.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(DbSettingTest, HoldsWhatFitsAndRefusesMore) {
  char setting[kPwdSize] = "qorvu";
  const std::string longest(kPwdSize - 1, 'd');
  ASSERT_TRUE(SetDbSetting(setting, longest));
  EXPECT_EQ(std::string(setting), longest);

  ASSERT_TRUE(SetDbSetting(setting, "sa"));
  EXPECT_FALSE(SetDbSetting(setting, std::string(kPwdSize, 'd')));
  EXPECT_FALSE(SetDbSetting(setting, std::string("a\0b", 3)));
  EXPECT_STREQ(setting, "sa") << "a refused value leaves the setting as it was";

  char dsn[kDsnSize] = "qorvu";
  EXPECT_FALSE(SetDbSetting(dsn, std::string(kDsnSize, 'd')));
  EXPECT_TRUE(SetDbSetting(dsn, std::string(kDsnSize - 1, 'd')));

  ASSERT_TRUE(SetDbSetting(setting, ""));
  EXPECT_STREQ(setting, "");
}

}  // namespace
