#include "jvm_test_env.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "fmsim/desktop_setup.h"
#include "jvm/jvm_session.h"
#include "log/plugin_log.h"
#include "session/host_session.h"
#include "simdesktop/registry.h"
#include "simdesktop/user_interface.h"
#include "testsupport/test_folder.h"

namespace xplug::testing {

TempFolder::TempFolder() : path_(makeTestFolder("jvm-").string()) {
  if (path_.empty()) ADD_FAILURE() << "cannot make a test folder";
}

TempFolder::~TempFolder() {
  std::error_code error;
  std::filesystem::remove_all(path_, error);
}

void writeFile(const std::string& path, const std::string& content) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream out(path, std::ios::binary);
  out << content;
  ASSERT_TRUE(out.good()) << "cannot write " << path;
}

void prepareDesktop(const TempFolder& root) {
  simdesktop::clearRegistry();
  simdesktop::clearMessageBoxes();
  std::string documents = root / "Documents";
  std::string appData = root / "ProgramData";
  std::filesystem::create_directories(documents);
  std::filesystem::create_directories(appData);
  fmsim::registerDocumentsFolder(documents);
  fmsim::registerCommonAppData(appData);
  std::string temp = root / "Temp";
  std::filesystem::create_directories(temp);
  ::setenv("TEMP", temp.c_str(), 1);
}

void registerRuntime(const std::u16string& version, const std::u16string& javaHome,
                     const std::u16string& runtimeLib) {
  simdesktop::setRegistryString(simdesktop::RegistryRoot::localMachine, fmsim::kJavaRuntimeKey,
                                u"CurrentVersion", version);
  std::u16string versionKey = std::u16string(fmsim::kJavaRuntimeKey) + u"\\" + version;
  simdesktop::setRegistryString(simdesktop::RegistryRoot::localMachine, versionKey, u"JavaHome", javaHome);
  simdesktop::setRegistryString(simdesktop::RegistryRoot::localMachine, versionKey, u"RuntimeLib",
                                runtimeLib);
}

std::string jdkHome() {
  return XPLUG_TEST_JAVA_HOME;
}
std::string jdkRuntimeLibrary() {
  return XPLUG_TEST_JVM_LIBRARY;
}

std::string markerFolder(const TempFolder& root) {
  return root / "ProgramData/Kvantrel/";
}

LogCapture::LogCapture() {
  ::testing::internal::CaptureStdout();
}

LogCapture::~LogCapture() {
  lines();
}

const std::vector<std::string>& LogCapture::lines() {
  if (running_) {
    running_ = false;
    lines_ = logMessages(::testing::internal::GetCapturedStdout());
  }
  return lines_;
}

std::vector<std::string> logMessages(const std::string& text) {
  std::vector<std::string> messages;
  std::istringstream in(text);
  std::string line;
  static const std::regex prefix(R"(\(C\+\+ .{24}\) )");
  while (std::getline(in, line)) {
    // A message without a line break of its own has the next one's prefix inside its line.
    messages.push_back(std::regex_replace(line, prefix, ""));
  }
  return messages;
}

::testing::AssertionResult containsInOrder(const std::vector<std::string>& lines,
                                           const std::vector<std::string>& expected) {
  std::size_t next = 0;
  for (const std::string& line : lines) {
    if (next < expected.size() && line == expected[next]) ++next;
  }
  if (next == expected.size()) return ::testing::AssertionSuccess();
  std::string shown;
  for (const std::string& line : lines) shown += "  " + line + "\n";
  return ::testing::AssertionFailure() << "missing \"" << expected[next] << "\" (in order) in:\n" << shown;
}

void resetModuleState() {
  jvmSession = JvmSession{};
  hostSession = HostSession{};
  resetLogFilePath();
}

}  // namespace xplug::testing
