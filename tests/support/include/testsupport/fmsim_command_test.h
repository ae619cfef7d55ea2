// The fixture of the command-line tests: a private folder per test holding fmsim's documents folder,
// TEMP and, when asked, HOME, and fmsim or another command run as a child process with them. Test
// threads only.
#ifndef XPLUG_TESTS_SUPPORT_FMSIM_COMMAND_TEST_H
#define XPLUG_TESTS_SUPPORT_FMSIM_COMMAND_TEST_H

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "testsupport/run_command.h"

namespace xplug::testing {

// What the command-line fixtures choose differently.
struct FmsimCommandOptions {
  // Names the test's folder, so that a folder left behind tells which area made it.
  std::string folderStem;
  // Gives every command a home folder inside the test's folder, for commands (the Java VM, the JDK's
  // tools) that write below HOME.
  bool privateHome = false;
};

class FmsimCommandTest : public ::testing::Test {
 protected:
  explicit FmsimCommandTest(FmsimCommandOptions options) : options_(std::move(options)) {}

  void SetUp() override;
  void TearDown() override;

  // `program` with `arguments` and the test's environment: TEMP (and HOME) inside the test's folder.
  CommandResult run(const std::string& program, const std::vector<std::string>& arguments,
                    const std::string& input = {}) const;
  // fmsim with `arguments` and its documents folder inside the test's folder.
  CommandResult fmsim(std::vector<std::string> arguments, const std::string& input = {}) const;

  std::filesystem::path documents() const { return root_ / "documents"; }
  // Where the module writes its logs below the documents folder.
  std::filesystem::path logFolder() const { return documents() / "KvtPlugin Logs"; }

  std::filesystem::path root_;

 private:
  FmsimCommandOptions options_;
};

}  // namespace xplug::testing

#endif  // XPLUG_TESTS_SUPPORT_FMSIM_COMMAND_TEST_H
