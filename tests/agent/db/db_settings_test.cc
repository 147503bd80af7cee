#include "agent/db/db_settings.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(DbSettingTest, HoldsWhatARegistryValueGivesAndRefusesMore) {
  char setting[kDbSettingSize] = "qorvu";
  const std::string longest(kDbSettingSize - 1, 'd');
  ASSERT_TRUE(SetDbSetting(setting, longest));
  EXPECT_EQ(std::string(setting), longest);

  ASSERT_TRUE(SetDbSetting(setting, "sa"));
  EXPECT_FALSE(SetDbSetting(setting, std::string(kDbSettingSize, 'd')));
  EXPECT_FALSE(SetDbSetting(setting, std::string("a\0b", 3)));
  EXPECT_STREQ(setting, "sa") << "a refused value leaves the setting as it was";

  ASSERT_TRUE(SetDbSetting(setting, ""));
  EXPECT_STREQ(setting, "");
}

}  // namespace
