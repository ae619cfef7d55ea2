// The fixture of the fmsim command-line tests: a private folder per test holding fmsim's documents
// folder and TEMP, and fmsim run as a child process with them. Test threads only.
#ifndef XPLUG_TESTS_SUPPORT_FMSIM_COMMAND_TEST_H
#define XPLUG_TESTS_SUPPORT_FMSIM_COMMAND_TEST_H

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "testsupport/run_command.h"

namespace xplug::testing {

class FmsimCommandTest : public ::testing::Test {
 protected:
  // `folderStem` names the test's folder, so that a folder left behind tells which area made it.
  explicit FmsimCommandTest(std::string folderStem) : folderStem_(std::move(folderStem)) {}

  void SetUp() override;
  void TearDown() override;

  // fmsim with `arguments`, its documents folder and TEMP inside the test's folder.
  CommandResult fmsim(std::vector<std::string> arguments) const;

  std::filesystem::path documents() const { return root_ / "documents"; }
  // Where the module writes its logs below the documents folder.
  std::filesystem::path logFolder() const { return documents() / "KvtPlugin Logs"; }

  std::filesystem::path root_;

 private:
  std::string folderStem_;
};

}  // namespace xplug::testing

#endif  // XPLUG_TESTS_SUPPORT_FMSIM_COMMAND_TEST_H
