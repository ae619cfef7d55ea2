#include "testsupport/fmsim_command_test.h"

#include "testsupport/test_folder.h"

namespace xplug::testing {

void FmsimCommandTest::SetUp() {
  root_ = makeTestFolder(options_.folderStem);
  ASSERT_FALSE(root_.empty()) << "cannot make a folder for " << options_.folderStem;
  std::filesystem::create_directories(root_ / "temp");
  if (options_.privateHome) std::filesystem::create_directories(root_ / "home");
}

void FmsimCommandTest::TearDown() {
  std::error_code ignored;
  if (!root_.empty()) std::filesystem::remove_all(root_, ignored);
}

CommandResult FmsimCommandTest::run(const std::string& program, const std::vector<std::string>& arguments,
                                    const std::string& input) const {
  std::vector<std::string> environment{"TEMP=" + (root_ / "temp").string()};
  if (options_.privateHome) environment.push_back("HOME=" + (root_ / "home").string());
  return runCommand(program, arguments, environment, input);
}

CommandResult FmsimCommandTest::fmsim(std::vector<std::string> arguments, const std::string& input) const {
  arguments.insert(arguments.begin(), {"--documents", documents().string()});
  return run(FMSIM_PATH, arguments, input);
}

}  // namespace xplug::testing
