#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/service_manager.h"
#include "tests/temp_folder.h"

namespace platform {
namespace {

// Stands in for systemctl: records each command and answers from a script.
class ScriptedRunner : public CommandRunner {
 public:
  int Run(const std::vector<std::string>& args, std::string* out, std::string* err) override {
    std::string line;
    for (const std::string& arg : args) line += (line.empty() ? "" : " ") + arg;
    commands.push_back(line);
    for (const Answer& answer : answers) {
      if (line.find(answer.contains) != std::string::npos) {
        *out = answer.out;
        *err = answer.err;
        return answer.status;
      }
    }
    out->clear();
    err->clear();
    return 0;
  }

  struct Answer {
    std::string contains;
    int status;
    std::string out;
    std::string err;
  };
  std::vector<Answer> answers;
  std::vector<std::string> commands;
};

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class SystemdManagerTest : public ::testing::Test {
 protected:
  SystemdManagerTest() {
    ::mkdir(marker_.c_str(), 0755);
    ::mkdir(units_.c_str(), 0755);
    SystemdOptions options;
    options.unitFolder = units_;
    options.bootedMarker = marker_;
    options.runner = &runner_;
    manager_ = NewSystemdServiceManager(options);
  }

  ServiceConfig Config() const {
    ServiceConfig config;
    config.name = "CSTessaly";
    config.description = "CS Tessaly - Qorvu courier notification agent";
    config.programPath = "/opt/qorvu/CSTessaly";
    return config;
  }

  TempFolder tmp_;
  std::string marker_ = tmp_.path() + "/systemd-running";
  std::string units_ = tmp_.path() + "/units";
  std::string unitFile_ = units_ + "/CSTessaly.service";
  ScriptedRunner runner_;
  std::unique_ptr<ServiceManager> manager_;
};

TEST_F(SystemdManagerTest, OpenNeedsARunningSystemd) {
  EXPECT_TRUE(manager_->Open().ok());
  SystemdOptions options;
  options.bootedMarker = tmp_.path() + "/absent";
  options.runner = &runner_;
  ServiceResult r = NewSystemdServiceManager(options)->Open();
  EXPECT_EQ(r.code, ServiceErrc::kNoServiceManager);
  EXPECT_EQ(ServiceErrorText(r),
            "systemd is not running (no /run/systemd/system), so there is no service manager");
}

TEST_F(SystemdManagerTest, CreateWritesAnEnabledNotifyUnit) {
  ServiceConfig config = Config();
  config.account = ".\\qorvu";
  ASSERT_TRUE(manager_->Create(config).ok());
  EXPECT_EQ(ReadAll(unitFile_),
            "# Installed by \"CSTessaly -i\" and removed by \"CSTessaly -u\".\n"
            "[Unit]\n"
            "Description=CS Tessaly - Qorvu courier notification agent\n"
            "Wants=network-online.target\n"
            "After=network-online.target\n"
            "\n[Service]\n"
            "Type=notify\n"
            "NotifyAccess=main\n"
            "ExecStart=\"/opt/qorvu/CSTessaly\"\n"
            "Restart=on-failure\n"
            "User=qorvu\n"
            "\n[Install]\n"
            "WantedBy=multi-user.target\n");
  EXPECT_EQ(runner_.commands, (std::vector<std::string>{"systemctl daemon-reload",
                                                         "systemctl enable CSTessaly.service"}));
  EXPECT_EQ(manager_->Create(config).code, ServiceErrc::kServiceExists);
}

TEST_F(SystemdManagerTest, CreateQuotesThePathAndRefusesWhatAUnitCannotHold) {
  ServiceConfig config = Config();
  config.programPath = "/opt/my \"q\" 100%\\$HOME/CSTessaly";
  ASSERT_TRUE(manager_->Create(config).ok());
  EXPECT_NE(ReadAll(unitFile_).find(
                "ExecStart=\"/opt/my \\\"q\\\" 100%%\\\\$$HOME/CSTessaly\"\n"),
            std::string::npos);
  EXPECT_EQ(ReadAll(unitFile_).find("User="), std::string::npos);

  struct Case {
    const char* name;
    const char* path;
    const char* account;
    ServiceErrc expected;
  } cases[] = {
      {"Other", "relative/CSTessaly", "", ServiceErrc::kInvalidPath},
      {"Other", "/opt/a\nExecStartPre=/bin/evil", "", ServiceErrc::kInvalidPath},
      {"Other", "/opt/CSTessaly", "root\nExecStartPre=/bin/evil", ServiceErrc::kInvalidAccount},
      {"Other", "/opt/CSTessaly", "DOMAIN\\user", ServiceErrc::kInvalidAccount},
      {"Other", "/opt/CSTessaly", "-flag", ServiceErrc::kInvalidAccount},
      {"../evil", "/opt/CSTessaly", "", ServiceErrc::kInvalidName},
  };
  for (const Case& c : cases) {
    ServiceConfig bad = Config();
    bad.name = c.name;
    bad.programPath = c.path;
    bad.account = c.account;
    EXPECT_EQ(manager_->Create(bad).code, c.expected) << c.path << " " << c.account;
  }
  EXPECT_FALSE(std::ifstream(units_ + "/Other.service").good());
}

TEST_F(SystemdManagerTest, FailedEnableLeavesNothingInstalled) {
  runner_.answers = {{"enable", 1, "", "Failed to enable unit: Access denied\n"}};
  ServiceResult r = manager_->Create(Config());
  EXPECT_EQ(r.code, ServiceErrc::kAccessDenied);
  EXPECT_EQ(r.detail, "Failed to enable unit: Access denied");
  EXPECT_FALSE(std::ifstream(unitFile_).good());
  EXPECT_EQ(runner_.commands.back(), "systemctl daemon-reload");
}

TEST_F(SystemdManagerTest, DeleteDisablesRemovesAndReloads) {
  EXPECT_EQ(manager_->Delete("CSTessaly").code, ServiceErrc::kNoSuchService);
  ASSERT_TRUE(manager_->Create(Config()).ok());
  runner_.commands.clear();
  ASSERT_TRUE(manager_->Delete("CSTessaly").ok());
  EXPECT_FALSE(std::ifstream(unitFile_).good());
  EXPECT_EQ(runner_.commands, (std::vector<std::string>{"systemctl disable --now CSTessaly.service",
                                                         "systemctl daemon-reload"}));
}

TEST_F(SystemdManagerTest, StatesComeFromActiveState) {
  struct Case {
    const char* active;
    ServiceState state;
  } cases[] = {{"active", ServiceState::kRunning},         {"reloading", ServiceState::kRunning},
               {"activating", ServiceState::kStartPending}, {"deactivating", ServiceState::kStopPending},
               {"inactive", ServiceState::kStopped},        {"failed", ServiceState::kStopped}};
  for (const Case& c : cases) {
    runner_.answers = {{"ActiveState", 0, std::string(c.active) + "\n", ""}};
    ServiceState state = ServiceState::kPaused;
    ASSERT_TRUE(manager_->QueryState("CSTessaly", &state).ok()) << c.active;
    EXPECT_EQ(state, c.state) << c.active;
  }
  runner_.answers = {{"ActiveState", 0, "maintenance\n", ""}};
  ServiceState state;
  EXPECT_EQ(manager_->QueryState("CSTessaly", &state).code, ServiceErrc::kUnknownState);
}

TEST_F(SystemdManagerTest, StartAndStopAskWithoutWaitingAndOnlyWhenUseful) {
  runner_.answers = {{"ActiveState", 0, "active\n", ""}};
  EXPECT_EQ(manager_->Start("CSTessaly").code, ServiceErrc::kAlreadyRunning);
  ASSERT_TRUE(manager_->SendStop("CSTessaly").ok());
  EXPECT_EQ(runner_.commands.back(), "systemctl stop --no-block CSTessaly.service");

  runner_.answers = {{"ActiveState", 0, "inactive\n", ""}};
  EXPECT_EQ(manager_->SendStop("CSTessaly").code, ServiceErrc::kNotActive);
  ASSERT_TRUE(manager_->Start("CSTessaly").ok());
  EXPECT_EQ(runner_.commands.back(), "systemctl start --no-block CSTessaly.service");

  // Right after the request the job may not have begun: that is still pending.
  ServiceState state;
  runner_.answers = {{"ActiveState", 0, "inactive\n", ""}};
  ASSERT_TRUE(manager_->QueryState("CSTessaly", &state).ok());
  EXPECT_EQ(state, ServiceState::kStartPending);
  runner_.answers = {{"ActiveState", 0, "failed\n", ""}};
  ASSERT_TRUE(manager_->QueryState("CSTessaly", &state).ok());
  EXPECT_EQ(state, ServiceState::kStopped);
  runner_.answers = {{"ActiveState", 0, "inactive\n", ""}};
  ASSERT_TRUE(manager_->QueryState("CSTessaly", &state).ok());
  EXPECT_EQ(state, ServiceState::kStopped) << "the wait ended with the failure";

  runner_.answers = {{"ActiveState", 0, "active\n", ""}};
  ASSERT_TRUE(manager_->SendStop("CSTessaly").ok());
  ASSERT_TRUE(manager_->QueryState("CSTessaly", &state).ok());
  EXPECT_EQ(state, ServiceState::kStopPending);

  runner_.answers = {{"LoadState", 0, "not-found\n", ""}};
  EXPECT_EQ(manager_->Find("CSTessaly").code, ServiceErrc::kNoSuchService);
  runner_.answers = {{"LoadState", 0, "loaded\n", ""}};
  EXPECT_TRUE(manager_->Find("CSTessaly").ok());
}

TEST(NotifyMessageTest, StatesBecomeSdNotifyFields) {
  ServiceStatus status;
  status.state = ServiceState::kRunning;
  EXPECT_EQ(NotifyMessage(status), "READY=1\nSTATUS=Running\n");
  status.state = ServiceState::kStartPending;
  status.checkPoint = 2;
  status.waitHint = 3000;
  EXPECT_EQ(NotifyMessage(status), "STATUS=Starting (check point 2)\nEXTEND_TIMEOUT_USEC=3000000\n");
  status.state = ServiceState::kStopped;
  status.checkPoint = 0;
  status.serviceExitCode = 7;
  EXPECT_EQ(NotifyMessage(status), "STATUS=Stopped (exit code 7)\n");
}

TEST(SystemdDispatcherTest, FailsWhenNotStartedBySystemd) {
  const char* old = std::getenv("NOTIFY_SOCKET");
  std::string saved = old != nullptr ? old : "";
  ::unsetenv("NOTIFY_SOCKET");
  auto manager = NewSystemdServiceManager();
  bool ran = false;
  ServiceCallbacks callbacks;
  callbacks.main = [&ran](int, char**) { ran = true; };
  EXPECT_EQ(manager->RunDispatcher("CSTessaly", 0, nullptr, callbacks).code,
            ServiceErrc::kNotStartedByManager);
  EXPECT_FALSE(ran);
  EXPECT_EQ(manager->SetStatus(ServiceStatus{}).code, ServiceErrc::kNotStartedByManager);
  if (old != nullptr) ::setenv("NOTIFY_SOCKET", saved.c_str(), 1);
}

}  // namespace
}  // namespace platform
