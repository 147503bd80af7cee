// The stand-in courier database of a test program. The unixODBC driver
// manager reads its configuration once per process, so one installation
// serves every test of the program and each test resets the data it uses.
// A GoogleTest global environment installs it in a temporary folder and
// activates it before the first test; after the last one it removes it.
//
//   const auto* const kStandin = standin_test::AddStandinEnvironment();
//   class MyTest : public standin_test::StandinTest { ... Standin() ... };
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>

#include "testing/odbc/standin.h"
#include "tests/temp_folder.h"

namespace standin_test {

class StandinEnvironment final : public ::testing::Environment {
 public:
  // release, when given, runs after the last test while the installation
  // still exists (the agent's tests free their ODBC environment there).
  explicit StandinEnvironment(standin::Options options, void (*release)())
      : options_(std::move(options)), release_(release) {}

  void SetUp() override {
    std::string error;
    folder_.emplace();
    installation_ = standin::Installation::Create(folder_->path(), options_, &error);
    ASSERT_TRUE(installation_) << "stand-in installation: " << error;
    ASSERT_TRUE(installation_->Activate(&error)) << "stand-in activation: " << error;
  }

  void TearDown() override {
    if (release_ != nullptr) release_();
    installation_.reset();
    folder_.reset();
  }

  // The installation, from the environment's set-up to its tear-down.
  static const standin::Installation& installation() {
    if (!installation_) {
      std::fputs("the stand-in is used outside its test environment\n", stderr);
      std::abort();
    }
    return *installation_;
  }

 private:
  standin::Options options_;
  void (*release_)();
  static inline std::optional<TempFolder> folder_;
  static inline std::optional<standin::Installation> installation_;
};

// Registers the stand-in environment; once per test program, at namespace
// scope (a second registration fails its activation).
inline ::testing::Environment* AddStandinEnvironment(standin::Options options = {},
                                                     void (*release)() = nullptr) {
  return ::testing::AddGlobalTestEnvironment(new StandinEnvironment(std::move(options), release));
}

inline const standin::Installation& Standin() { return StandinEnvironment::installation(); }

// Fresh, empty databases, no faults and an empty statement log per test.
class StandinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(Standin().ResetDatabases(&error)) << error;
    ASSERT_TRUE(Standin().ClearFaults(&error)) << error;
    Standin().ClearStatements();
  }
};

}  // namespace standin_test
