#include "testsupport/fmsim_command_test.h"

#include "testsupport/test_folder.h"

namespace xplug::testing {

void FmsimCommandTest::SetUp() {
  root_ = makeTestFolder(folderStem_);
  ASSERT_FALSE(root_.empty()) << "cannot make a folder for " << folderStem_;
  std::filesystem::create_directories(root_ / "temp");
}

void FmsimCommandTest::TearDown() {
  if (!root_.empty()) std::filesystem::remove_all(root_);
}

CommandResult FmsimCommandTest::fmsim(std::vector<std::string> arguments) const {
  arguments.insert(arguments.begin(), {"--documents", documents().string()});
  return runCommand(FMSIM_PATH, arguments, {"TEMP=" + (root_ / "temp").string()});
}

}  // namespace xplug::testing
