#include "agent/host/log/daily_log.h"

#include <sys/stat.h>
#include <utime.h>

#include <string>

#include <gtest/gtest.h>

#include "platform/fake_env.h"
#include "tests/temp_folder.h"

namespace {

using platform::LocalTime;

// Counts the file operations that reach the real files.
class CountingEnv : public platform::FakeClockEnv {
 public:
  std::unique_ptr<platform::AppendFile> OpenAppend(std::string_view path) override {
    ++opens;
    return FakeClockEnv::OpenAppend(path);
  }
  bool ListFolder(std::string_view path, std::vector<platform::FolderEntry>* e) override {
    ++lists;
    return FakeClockEnv::ListFolder(path, e);
  }
  bool DeleteFile(std::string_view path) override {
    ++deletes;
    return FakeClockEnv::DeleteFile(path);
  }
  int opens = 0, lists = 0, deletes = 0;
};

class DailyLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    env_.SetLocalTime({2026, 12, 9, 8, 0, 0, 0});
    base_ = tmp_.path() + "/";
    log_.SetFolder(base_.c_str(), "LOG_WC", true);
    ASSERT_STREQ(log_.Folder(), (tmp_.path() + "/LOG_WC").c_str());
  }

  std::string Read(const std::string& name) {
    std::string data;
    if (!env_.ReadFile(tmp_.path() + "/LOG_WC/" + name, 1 << 20, &data)) return "<missing>";
    return data;
  }

  TempFolder tmp_;
  std::string base_;
  CountingEnv env_;
  CDailyLog log_{31, 0, &env_};
};

TEST_F(DailyLogTest, EntriesStartWithCrCrLfAndStampAndNothingAfter) {
  log_.Write("first");
  env_.Advance(5000);
  log_.Write("second");
  EXPECT_EQ(Read("2026_12_09.txt"), "\r\r\n[08:00:00]first\r\r\n[08:00:05]second");
}

TEST_F(DailyLogTest, LineBreaksInsideTextBecomeCrLf) {
  log_.Write("a\nb", nullptr, false);
  log_.Write("c\r\nd", "", false);  // an empty tag is the main file
  EXPECT_EQ(Read("2026_12_09.txt"), "\r\r\na\r\nb\r\r\nc\r\r\nd");
}

TEST_F(DailyLogTest, MidnightStartsANewDailyFile) {
  env_.SetLocalTime({2026, 12, 9, 23, 59, 59, 900});
  log_.Write("late", "_Send");
  env_.Advance(200);
  log_.Write("early", "_Send");
  EXPECT_EQ(Read("_Send_2026_12_09.txt"), "\r\r\n[23:59:59]late");
  EXPECT_EQ(Read("_Send_2026_12_10.txt"), "\r\r\n[00:00:00]early");
}

TEST_F(DailyLogTest, MonthlyFilesCarryTheDayInTheStamp) {
  env_.SetLocalTime({2026, 12, 5, 8, 7, 6, 0});
  log_.WriteRaw("model", "_WCInit", true);
  log_.Write("plain", "_WCInit", false, true);
  EXPECT_EQ(Read("_WCInit_2026_12.txt"), "\r\r\n[05 08:07:06]model\r\r\nplain");
}

TEST_F(DailyLogTest, Utf8IsStoredAsGbkByWriteOnly) {
  const char* utf8 = "\xE4\xB8\xAD\xE6\x96\x87 ok";  // "中文 ok"
  log_.Write(utf8, "w", false);
  log_.WriteRaw(utf8, "r");
  log_.Write("plain ascii", "a", false);
  log_.Write("\xD6\xD0", "g", false);  // already GBK: two high bytes are not UTF-8
  EXPECT_EQ(Read("w_2026_12_09.txt"), "\r\r\n\xD6\xD0\xCE\xC4 ok");
  EXPECT_EQ(Read("r_2026_12_09.txt"), std::string("\r\r\n[08:00:00]") + utf8);
  EXPECT_EQ(Read("a_2026_12_09.txt"), "\r\r\nplain ascii");
  EXPECT_EQ(Read("g_2026_12_09.txt"), "\r\r\n\xD6\xD0");
}

TEST_F(DailyLogTest, CharactersWithoutGbkFormBecomeQuestionMarks) {
  log_.Write("\xC3\xA9t\xC3\xA9", nullptr, false);  // "été": U+00E9 has no GBK form here
  EXPECT_EQ(Read("2026_12_09.txt"), "\r\r\n?t?");
}

TEST_F(DailyLogTest, PathThatWouldNotFitLosesTheEntry) {
  std::string tag(CDailyLog::kPathSize, 'x');
  log_.Write("lost", tag.c_str());
  // Longest tag that still fits: folder + "/" + tag + "_2026_12_09.txt" = 255 bytes.
  std::string folder = log_.Folder();
  std::string fits(255 - folder.size() - 1 - std::string("_2026_12_09.txt").size(), 't');
  log_.Write("kept", fits.c_str(), false);
  EXPECT_EQ(Read(fits + "_2026_12_09.txt"), "\r\r\nkept");
  std::string longer = fits + "t";
  log_.Write("lost", longer.c_str(), false);
  EXPECT_EQ(Read(longer + "_2026_12_09.txt"), "<missing>");
}

void SetModified(const std::string& path, const LocalTime& t) {
  struct utimbuf times;
  times.actime = times.modtime = static_cast<time_t>(platform::LocalToEpoch(t));
  ASSERT_EQ(::utime(path.c_str(), &times), 0) << path;
}

TEST_F(DailyLogTest, PurgeDeletesOldFilesWhateverTheirNameButNeverFolders) {
  const std::string dir = tmp_.path() + "/LOG_WC/";
  env_.SetLocalTime({2026, 11, 8, 23, 0, 0, 0});
  log_.Write("old");                       // 2026_11_08.txt
  env_.SetLocalTime({2026, 11, 9, 0, 30, 0, 0});
  log_.Write("kept");                      // 2026_11_09.txt
  SetModified(dir + "2026_11_08.txt", {2026, 11, 8, 23, 0, 0, 0});
  SetModified(dir + "2026_11_09.txt", {2026, 11, 9, 0, 30, 0, 0});
  { auto f = env_.OpenAppend(dir + "foreign.dat"); }
  SetModified(dir + "foreign.dat", {2025, 1, 1, 12, 0, 0, 0});
  ASSERT_TRUE(env_.CreateFolder(dir + "old_folder"));
  SetModified(dir + "old_folder", {2025, 1, 1, 12, 0, 0, 0});

  env_.SetLocalTime({2026, 12, 9, 18, 0, 0, 0});
  log_.Purge(0);  // keep-days 31: cutoff 2026-11-08
  EXPECT_FALSE(env_.Exists(dir + "2026_11_08.txt"));
  EXPECT_FALSE(env_.Exists(dir + "foreign.dat"));
  EXPECT_TRUE(env_.Exists(dir + "2026_11_09.txt"));
  EXPECT_TRUE(env_.Exists(dir + "old_folder"));

  log_.Purge(-3);  // days <= 0 also means keep-days
  EXPECT_TRUE(env_.Exists(dir + "2026_11_09.txt"));
  log_.Purge(30);
  EXPECT_FALSE(env_.Exists(dir + "2026_11_09.txt"));
}

TEST(DailyLogOffTest, FolderThatCannotBeCreatedTurnsLoggingOff) {
  TempFolder tmp;
  CountingEnv env;
  {
    // A file stands where the folder's parent should be, so creation fails.
    auto f = env.OpenAppend(tmp.path() + "/blocker");
  }
  {
    CDailyLog log(31, 0, &env);
    std::string base = tmp.path() + "/blocker/";
    log.SetFolder(base.c_str(), "LOG_WC", true);
    EXPECT_STREQ(log.Folder(), "");
    log.Write("nothing");
    log.WriteRaw("nothing", "_WCInit", true);
    log.Purge(1);
  }  // the destructor purges too
  EXPECT_EQ(env.opens, 1);  // only the blocker above
  EXPECT_EQ(env.lists, 0);
  EXPECT_EQ(env.deletes, 0);

  CDailyLog noCreate(31, 0, &env);
  std::string base = tmp.path() + "/";
  noCreate.SetFolder(base.c_str(), "LOG_WC", false);
  EXPECT_STREQ(noCreate.Folder(), "");
  EXPECT_FALSE(env.Exists(tmp.path() + "/LOG_WC"));

  CDailyLog tooLong(31, 0, &env);
  std::string longName(CDailyLog::kPathSize, 'n');
  tooLong.SetFolder(base.c_str(), longName.c_str(), true);
  EXPECT_STREQ(tooLong.Folder(), "");
}

}  // namespace
