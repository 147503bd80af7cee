#include <sys/stat.h>
#include <utime.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "platform/env.h"
#include "platform/fake_env.h"
#include "tests/temp_folder.h"

namespace platform {
namespace {

TEST(EnvTest, FilesAndFolders) {
  TempFolder tmp;
  Env* env = Env::Default();
  std::string sub = tmp.path() + "/sub";
  std::string file = tmp.path() + "/a.txt";

  EXPECT_FALSE(env->Exists(sub));
  ASSERT_TRUE(env->CreateFolder(sub));
  EXPECT_TRUE(env->Exists(sub));
  EXPECT_FALSE(env->CreateFolder(sub));  // already there

  {
    auto f = env->OpenAppend(file);
    ASSERT_NE(f, nullptr);
    EXPECT_TRUE(f->Append("one"));
  }
  {
    auto f = env->OpenAppend(file);
    ASSERT_NE(f, nullptr);
    EXPECT_TRUE(f->Append(std::string_view("\0two", 4)));
  }
  std::string data;
  ASSERT_TRUE(env->ReadFile(file, 1000, &data));
  EXPECT_EQ(data, std::string("one\0two", 7));
  ASSERT_TRUE(env->ReadFile(file, 2, &data));
  EXPECT_EQ(data, "on");

  std::vector<FolderEntry> entries;
  ASSERT_TRUE(env->ListFolder(tmp.path(), &entries));
  std::sort(entries.begin(), entries.end(),
            [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].name, "a.txt");
  EXPECT_FALSE(entries[0].isFolder);
  EXPECT_TRUE(entries[0].statusKnown);
  EXPECT_EQ(entries[1].name, "sub");
  EXPECT_TRUE(entries[1].isFolder);

  EXPECT_TRUE(env->DeleteFile(file));
  EXPECT_FALSE(env->DeleteFile(file));
  EXPECT_FALSE(env->ReadFile(file, 10, &data));
  EXPECT_FALSE(env->ListFolder(tmp.path() + "/missing", &entries));
  EXPECT_EQ(env->OpenAppend(tmp.path() + "/missing/x.txt"), nullptr);
}

TEST(EnvTest, ProgramPathAndFolder) {
  Env* env = Env::Default();
  std::string path = env->ProgramPath();
  ASSERT_FALSE(path.empty());
  EXPECT_TRUE(env->Exists(path));
  std::string folder = ProgramFolder(env);
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), kPathSeparator);
  EXPECT_EQ(path.compare(0, folder.size(), folder), 0);

  FakeClockEnv fake;
  fake.SetProgramPath("");
  EXPECT_EQ(ProgramFolder(&fake), "");
  fake.SetProgramPath("/opt/qorvu/CSTessaly");
  EXPECT_EQ(ProgramFolder(&fake), "/opt/qorvu/");
}

TEST(EnvTest, FakeClockCrossesMidnight) {
  FakeClockEnv env;
  env.SetLocalTime({2026, 12, 31, 23, 59, 59, 900});
  LocalTime t = env.LocalNow();
  EXPECT_EQ(t.year, 2026);
  EXPECT_EQ(t.second, 59);
  EXPECT_EQ(t.millisecond, 900);
  std::uint64_t tick = env.TickCount();
  env.Advance(200);
  t = env.LocalNow();
  EXPECT_EQ(t.year, 2027);
  EXPECT_EQ(t.month, 1);
  EXPECT_EQ(t.day, 1);
  EXPECT_EQ(t.hour, 0);
  EXPECT_EQ(t.minute, 0);
  EXPECT_EQ(t.second, 0);
  EXPECT_EQ(t.millisecond, 100);
  EXPECT_EQ(env.TickCount() - tick, 200u);
  LocalTime back = env.ToLocal(env.WallSeconds());
  EXPECT_EQ(back.day, 1);
}

TEST(EnvTest, RealClockMovesForward) {
  Env* env = Env::Default();
  std::uint64_t a = env->TickCount();
  std::uint64_t b = env->TickCount();
  EXPECT_LE(a, b);
  LocalTime t = env->LocalNow();
  EXPECT_GE(t.year, 2024);
  EXPECT_LT(t.millisecond, 1000);
}

}  // namespace
}  // namespace platform
