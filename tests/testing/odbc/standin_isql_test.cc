// unixODBC's own isql, a client none of us wrote, reaches the stand-in
// through a private DSN and runs statements fed on its standard input.
#include <cstdio>
#include <fstream>

#include "tests/testing/odbc/odbc_test_util.h"

namespace standin_test {
namespace {

// Extra environment for the child when the driver it loads is instrumented.
std::string SanitizerEnvironment() {
#ifdef QORVU_ASAN_RUNTIME
  return std::string("'LD_PRELOAD=") + QORVU_ASAN_RUNTIME + "' 'ASAN_OPTIONS=detect_leaks=0' ";
#else
  return "";
#endif
}

std::string RunIsql(const std::string& sql) {
  const std::string input = Standin().folder() + "/isql_input.sql";
  std::ofstream(input) << sql;
  std::string command;
  for (const std::string& assignment : Standin().EnvironmentForChild()) command += "'" + assignment + "' ";
  command = "env " + SanitizerEnvironment() + command + "isql -v -b -d'|' " + Standin().dsn() + " < '" + input + "' 2>&1";
  std::string output;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    ::pclose(pipe);
  }
  return output;
}

TEST_F(StandinTest, IsqlConnectsAndRunsQueries) {
  const std::string output = RunIsql(
      "INSERT INTO qorvu.dbo.sys_dict(dcname,dcvalue) VALUES('55','1en')\n"
      "SELECT TOP 1 dcname, dcvalue, LEN(dcvalue) FROM qorvu.dbo.sys_dict WHERE dcname='55'\n"
      "SELECT DATEDIFF(d,GETDATE(),GETDATE())\n");
  EXPECT_NE(std::string::npos, output.find("55|1en|3")) << output;
  EXPECT_NE(std::string::npos, output.find("DATEDIFF is not supported")) << output;
  const std::vector<std::string> logged = Standin().Statements();
  ASSERT_EQ(3u, logged.size());
  EXPECT_EQ("SELECT DATEDIFF(d,GETDATE(),GETDATE())", logged[2]);
}

}  // namespace
}  // namespace standin_test
