// Test fixture for code that logs: a private documents folder in the simulated registry, a private
// TEMP, FileMaker Server probes pointed into the test's folder, and the host's names reset, so every
// message lands in files the test can read. Used by the log and text tests; one thread.
#ifndef XPLUG_TESTS_MODULE_LOG_LOG_FIXTURE_H
#define XPLUG_TESTS_MODULE_LOG_LOG_FIXTURE_H

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "log/log_testing.h"
#include "log/plugin_log.h"
#include "session/host_session.h"
#include "simdesktop/desktop.h"
#include "testsupport/read_file.h"
#include "testsupport/test_folder.h"

namespace xplug::testing {

inline constexpr char16_t kShellFolders[] =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

class LogFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    simdesktop::resetDesktop();
    root_ = makeTestFolder("log_").string();
    ASSERT_FALSE(root_.empty());
    documents_ = root_ + "/docs";
    temp_ = root_ + "/temp";
    std::filesystem::create_directories(documents_);
    std::filesystem::create_directories(temp_);
    if (const char* oldTemp = std::getenv("TEMP")) savedTemp_ = oldTemp;
    ::setenv("TEMP", temp_.c_str(), 1);
    setDocumentsFolder(documents_);
    savedSession_ = hostSession;
    hostSession.pluginName = "Unknown";
    hostSession.appTypeName = "Unknown";
    resetLogFilePath();
    // The real server folders are never probed by tests.
    setServerLogProbes({wide(root_ + "/server1/Event.log"), wide(root_ + "/server1")},
                       {wide(root_ + "/server2/Event.log"), wide(root_ + "/server2")});
  }

  void TearDown() override {
    restoreServerLogProbes();
    resetLogFilePath();
    hostSession = savedSession_;
    if (savedTemp_) {
      ::setenv("TEMP", savedTemp_->c_str(), 1);
    } else {
      ::unsetenv("TEMP");
    }
    simdesktop::resetDesktop();
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }

  static std::u16string wide(const std::string& text) { return simdesktop::utf16FromUtf8(text); }

  static void setDocumentsFolder(const std::string& folder) {
    simdesktop::setRegistryString(simdesktop::RegistryRoot::currentUser, kShellFolders, u"Personal",
                                  wide(folder));
  }

  std::string logFolder() const { return documents_ + "/KvtPlugin Logs/"; }
  std::string sharedLog() const { return logFolder() + "miscellaneous.log"; }
  std::string tempLog() const { return temp_ + "/Kvttemp.log"; }

  // The lines of a log with each entry's "(C++ <timestamp>) " prefix checked and removed; a line
  // without the prefix is kept whole.
  static std::vector<std::string> entries(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) result.push_back(withoutPrefix(line));
    return result;
  }

  static std::string withoutPrefix(const std::string& line) {
    constexpr size_t kPrefixLength = 5 + 24 + 2;  // "(C++ " timestamp ") "
    if (line.rfind("(C++ ", 0) == 0 && line.size() >= kPrefixLength && line.compare(29, 2, ") ") == 0)
      return line.substr(kPrefixLength);
    return line;
  }

  std::string root_;
  std::string documents_;
  std::string temp_;

 private:
  std::optional<std::string> savedTemp_;
  HostSession savedSession_;
};

}  // namespace xplug::testing

#endif  // XPLUG_TESTS_MODULE_LOG_LOG_FIXTURE_H
