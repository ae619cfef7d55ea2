// The log writer: where messages go, what the temp log records, and how failures are reported.
#include "log/plugin_log.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <future>
#include <regex>
#include <thread>

#include "log_fixture.h"
#include "platform/platform.h"

namespace xplug {
namespace {

using xplug::testing::readFile;

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

class PluginLogTest : public testing::LogFixture {
 protected:
  void startAs(const char* pluginName, const char* appTypeName) {
    hostSession.pluginName = pluginName;
    hostSession.appTypeName = appTypeName;
  }
  size_t countOf(const std::string& text, const std::string& piece) {
    size_t count = 0;
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++count;
    return count;
  }
};

TEST_F(PluginLogTest, EntryIsStampedOnStandardOutputAndInTheFile) {
  CaptureStdout();
  logMessage("value %d of %s\n", 7, "seven");
  logMessage("no line end");
  logMessage("next\n");
  std::string out = GetCapturedStdout();
  std::regex entry(
      R"(\(C\+\+ [A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9][0-9] [0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4}\) )");
  std::string expectedShape = "(C++ T) value 7 of seven\n(C++ T) no line end(C++ T) next\n";
  EXPECT_EQ(std::regex_replace(out, entry, "(C++ T) "), expectedShape);
  EXPECT_EQ(std::regex_replace(readFile(sharedLog()), entry, "(C++ T) "), expectedShape);
}

TEST_F(PluginLogTest, CurrentTimeTextHasTheCtimeForm) {
  std::string text = currentTimeText();
  EXPECT_EQ(text.size(), 24u);
  EXPECT_TRUE(
      std::regex_match(text, std::regex(R"([A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9][0-9] [0-9:]{8} [0-9]{4})")))
      << text;
}

TEST_F(PluginLogTest, UnknownApplicationTypeWritesTheSharedLogAndChoosesAgainEachMessage) {
  logMessage("first\n");
  EXPECT_TRUE(currentLogFilePath().empty());
  logMessage("second\n");
  EXPECT_EQ(entries(readFile(sharedLog())), (std::vector<std::string>{"first", "second"}));
  std::string header = "---Started temp log at ";
  std::vector<std::string> temp = entries(readFile(tempLog()));
  ASSERT_EQ(temp.size(), 4u);
  for (int i : {0, 2}) {
    EXPECT_EQ(temp[i].rfind(header, 0), 0u);
    EXPECT_NE(temp[i].find(" for Unknown / Unknown---"), std::string::npos) << temp[i];
    EXPECT_EQ(temp[i + 1], "Writing to log file at " + sharedLog());
  }
  // The message text itself never reaches the temp log.
  EXPECT_EQ(readFile(tempLog()).find("first"), std::string::npos);
}

TEST_F(PluginLogTest, KnownApplicationTypeStartsThePluginsOwnFileAfresh) {
  std::filesystem::create_directories(logFolder());
  std::ofstream(logFolder() + "Foo_Server.log") << "left by an earlier run\n";
  std::ofstream(sharedLog()) << "kept\n";
  startAs("Foo", "Server");
  logMessage("one\n");
  logMessage("two\n");
  std::string ownLog = logFolder() + "Foo_Server.log";
  EXPECT_EQ(entries(readFile(ownLog)), (std::vector<std::string>{"one", "two"}));
  EXPECT_EQ(currentLogFilePath(), wide(ownLog));
  EXPECT_EQ(readFile(sharedLog()), "kept\n");
  std::string temp = readFile(tempLog());
  EXPECT_EQ(countOf(temp, "---Started temp log at "), 1u);
  EXPECT_NE(temp.find(" for Foo / Server---"), std::string::npos);

  // After a reset (shutdown) the next message deletes and restarts the file.
  resetLogFilePath();
  EXPECT_TRUE(currentLogFilePath().empty());
  logMessage("three\n");
  EXPECT_EQ(entries(readFile(ownLog)), (std::vector<std::string>{"three"}));
  EXPECT_EQ(countOf(readFile(tempLog()), "---Started temp log at "), 2u);
}

TEST_F(PluginLogTest, PluginNamesThatCouldLeaveTheLogFolderUseTheSharedLog) {
  const char* names[] = {nullptr, "", "..", ".", "../escape", "a/b", "a\\b", "c:d", "line\nbreak"};
  for (const char* name : names) {
    SCOPED_TRACE(name ? name : "(absent)");
    startAs(name, "FMPro");
    logMessage("hello\n");
    EXPECT_EQ(entries(readFile(sharedLog())), std::vector<std::string>{"hello"});
    EXPECT_TRUE(currentLogFilePath().empty());
    std::filesystem::remove(sharedLog());
  }
  // Nothing but the shared log was ever created.
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root_)) {
    EXPECT_TRUE(entry.path().filename() == "Kvttemp.log" || entry.is_directory()) << entry.path();
  }
  // An absent name is reported as such in the temp log.
  EXPECT_NE(readFile(tempLog()).find("for unknown plugin name---"), std::string::npos);
}

TEST_F(PluginLogTest, MissingDocumentsFolderFallsBackToTheServerLogFolders) {
  simdesktop::deleteRegistryValue(simdesktop::RegistryRoot::currentUser, testing::kShellFolders, u"Personal");
  std::filesystem::create_directories(root_ + "/server2");
  std::ofstream(root_ + "/server2/Event.log") << "";
  startAs("Foo", "Server");
  logMessage("second probe\n");
  EXPECT_EQ(entries(readFile(root_ + "/server2/KvtPlugin Logs/Foo_Server.log")),
            std::vector<std::string>{"second probe"});

  // The first probe wins when both are there.
  std::filesystem::create_directories(root_ + "/server1");
  std::ofstream(root_ + "/server1/Event.log") << "";
  resetLogFilePath();
  logMessage("first probe\n");
  EXPECT_EQ(entries(readFile(root_ + "/server1/KvtPlugin Logs/Foo_Server.log")),
            std::vector<std::string>{"first probe"});
}

TEST_F(PluginLogTest, UnusableDocumentsValuesCountAsNoFolder) {
  std::filesystem::create_directories(root_ + "/server1");
  std::ofstream(root_ + "/server1/Event.log") << "";
  using simdesktop::RegistryRoot;
  // A number, a text too long for the 260-unit buffer, an empty text.
  const std::vector<std::function<void()>> values = {
      [] { simdesktop::setRegistryDword(RegistryRoot::currentUser, testing::kShellFolders, u"Personal", 1); },
      [] {
        simdesktop::setRegistryString(RegistryRoot::currentUser, testing::kShellFolders, u"Personal",
                                      u"/" + std::u16string(259, u'd'));
      },
      [] {
        simdesktop::setRegistryString(RegistryRoot::currentUser, testing::kShellFolders, u"Personal", u"");
      },
  };
  for (size_t i = 0; i < values.size(); ++i) {
    SCOPED_TRACE(i);
    values[i]();
    logMessage("message %zu\n", i);
    EXPECT_EQ(entries(readFile(root_ + "/server1/KvtPlugin Logs/miscellaneous.log")).back(),
              "message " + std::to_string(i));
  }
  // An expandable string is taken as stored.
  simdesktop::setRegistryExpandString(RegistryRoot::currentUser, testing::kShellFolders, u"Personal",
                                      wide(documents_));
  logMessage("expand\n");
  EXPECT_EQ(entries(readFile(sharedLog())), std::vector<std::string>{"expand"});
}

TEST_F(PluginLogTest, UnwritableLogFolderIsReportedForEveryMessage) {
  // A documents "folder" that is a file: the log folder cannot be made beneath it.
  std::string blocked = root_ + "/not-a-folder";
  std::ofstream(blocked) << "";
  setDocumentsFolder(blocked);
  startAs("Foo", "FMPro");
  CaptureStdout();
  logMessage("lost %d\n", 1);
  logMessage("lost %d\n", 2);
  std::string out = GetCapturedStdout();
  std::string failure = "Could not open log file at " + blocked +
                        "/KvtPlugin Logs/Foo_FMPro.log because of error code " + std::to_string(ENOTDIR);
  EXPECT_EQ(entries(out), (std::vector<std::string>{"lost 1", failure, "lost 2", failure}));
  std::vector<std::string> temp = entries(readFile(tempLog()));
  EXPECT_EQ(countOf(readFile(tempLog()), "---Started temp log at "), 2u);
  EXPECT_EQ(temp.back(), failure);
  EXPECT_TRUE(currentLogFilePath().empty());
}

TEST_F(PluginLogTest, TempLogFailureIsReportedAndTheMessageStillLogged) {
  std::string missing = root_ + "/no-such-temp";
  ::setenv("TEMP", missing.c_str(), 1);
  CaptureStdout();
  logMessage("still here\n");
  std::string out = GetCapturedStdout();
  EXPECT_NE(out.find("Couldn't open temp log at " + missing + "/Kvttemp.log\n"), std::string::npos) << out;
  EXPECT_EQ(entries(readFile(sharedLog())), std::vector<std::string>{"still here"});
}

TEST_F(PluginLogTest, TempLogIsNeverWrittenThroughAPlantedLink) {
  std::string target = root_ + "/target";
  std::ofstream(target) << "precious";
  ASSERT_EQ(::symlink(target.c_str(), tempLog().c_str()), 0);
  CaptureStdout();
  logMessage("message\n");
  std::string out = GetCapturedStdout();
  EXPECT_NE(out.find("Couldn't open temp log at " + tempLog()), std::string::npos);
  EXPECT_EQ(readFile(target), "precious");
  EXPECT_EQ(entries(readFile(sharedLog())), std::vector<std::string>{"message"});
}

TEST_F(PluginLogTest, TooLongLogPathIsRefusedNotCut) {
  // Measured from the limit, whatever the depth of the test's own folder: the log folder itself fits
  // (so it is made), the file name takes the path past the limit.
  constexpr size_t kLogPathLimit = 255;
  const std::string logFolderPart = "/KvtPlugin Logs/";
  const std::string pluginName = "PluginWithAVeryLongNameIndeedThatGoesOnAndOn";
  const size_t deepLength = kLogPathLimit - logFolderPart.size() - 8;
  if (documents_.size() + 1 >= deepLength) GTEST_SKIP() << "no room under the limit below " << documents_;
  std::string deep = documents_ + "/";
  // Components are kept short enough for any file system's name limit.
  while (deep.size() < deepLength) {
    deep += std::string(std::min<size_t>(deepLength - deep.size(), 100), 'd');
    if (deep.size() < deepLength) deep += '/';
  }
  ASSERT_EQ(deep.size(), deepLength);
  ASSERT_GT(deep.size() + logFolderPart.size() + pluginName.size() + std::string("_FMAdvanced.log").size(),
            kLogPathLimit);
  std::filesystem::create_directories(deep);
  setDocumentsFolder(deep);
  startAs(pluginName.c_str(), "FMAdvanced");
  CaptureStdout();
  logMessage("too long\n");
  std::string out = GetCapturedStdout();
  EXPECT_NE(out.find("because of error code " + std::to_string(ENAMETOOLONG)), std::string::npos) << out;
  EXPECT_TRUE(currentLogFilePath().empty());
  // Nothing was created or deleted under a cut name.
  EXPECT_TRUE(std::filesystem::is_empty(deep + "/KvtPlugin Logs"));
}

TEST_F(PluginLogTest, WithoutTempTheFallbackFolderIsUsed) {
  ::unsetenv("TEMP");
  logMessage("no TEMP\n");
  EXPECT_EQ(entries(readFile(sharedLog())), std::vector<std::string>{"no TEMP"});
  std::string fallbackTempLog = std::string(platform::kTempFallback) + "/Kvttemp.log";
  EXPECT_NE(readFile(fallbackTempLog).find("Writing to log file at " + sharedLog()), std::string::npos);
}

TEST_F(PluginLogTest, MessagesFromManyThreadsArriveWholeAndChooseOnce) {
  std::filesystem::create_directories(logFolder());
  startAs("Foo", "FMPro");
  constexpr int kThreads = 4;
  constexpr int kMessages = 50;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int m = 0; m < kMessages; ++m) logMessage("thread %d message %d\n", t, m);
    });
  }
  for (auto& thread : threads) thread.join();
  std::vector<std::string> lines = entries(readFile(logFolder() + "Foo_FMPro.log"));
  ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kMessages));
  std::regex whole(R"(thread [0-9] message [0-9]+)");
  for (const std::string& line : lines) EXPECT_TRUE(std::regex_match(line, whole)) << line;
  EXPECT_EQ(countOf(readFile(tempLog()), "---Started temp log at "), 1u);
}

int callHook(std::FILE* stream, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  int result = vmMessageHook(stream, format, arguments);
  va_end(arguments);
  return result;
}

TEST_F(PluginLogTest, VmHookWritesToAStreamWithADescriptor) {
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(callHook(file, "VM says %s %d\n", "hello", 5), 16);
  std::rewind(file);
  char line[32] = {};
  ASSERT_NE(std::fgets(line, sizeof line, file), nullptr);
  EXPECT_STREQ(line, "VM says hello 5\n");
  std::fclose(file);
  EXPECT_TRUE(simdesktop::recordedDebugOutput().empty());
  EXPECT_FALSE(std::filesystem::exists(sharedLog()));
}

TEST_F(PluginLogTest, VmHookSendsTextWithoutADescriptorToTheDebuggerUnchanged) {
  char buffer[8];
  std::FILE* memory = ::fmemopen(buffer, sizeof buffer, "w");
  ASSERT_NE(memory, nullptr);
  EXPECT_EQ(callHook(memory, "caf\xE9 %s\n", "ok"), 8);
  EXPECT_EQ(callHook(nullptr, "%s", std::string(3000, 'v').c_str()), 1023);
  std::fclose(memory);
  auto output = simdesktop::recordedDebugOutput();
  ASSERT_EQ(output.size(), 2u);
  EXPECT_EQ(output[0], u"caf\u00e9 ok\n");  // widened byte for byte, no prefix
  EXPECT_EQ(output[1], std::u16string(1023, u'v'));
  EXPECT_FALSE(std::filesystem::exists(sharedLog()));
}

TEST_F(PluginLogTest, LogTextShowsWideTextAsUtf8) {
  EXPECT_EQ(logText(u"K\u00e4se \U0001F600"), "K\xC3\xA4se \xF0\x9F\x98\x80");
  EXPECT_EQ(logText(u"a\xD800"), "a\xEF\xBF\xBD");
  EXPECT_EQ(logText(u""), "");
}

TEST_F(PluginLogTest, AMessageDoesNotWaitForAStreamAnotherThreadHolds) {
  // Another thread holds a stream of its own locked, as a thread blocked reading standard input does.
  std::FILE* foreign = std::tmpfile();
  ASSERT_NE(foreign, nullptr);
  std::promise<void> locked;
  std::promise<void> release;
  std::thread holder([&] {
    ::flockfile(foreign);
    locked.set_value();
    release.get_future().wait();
    ::funlockfile(foreign);
  });
  locked.get_future().wait();
  auto logged = std::async(std::launch::async, [] { logMessage("while another stream is held\n"); });
  // Generous: a writer that flushes every stream never returns while the stream is held.
  bool returned = logged.wait_for(std::chrono::seconds(60)) == std::future_status::ready;
  release.set_value();
  holder.join();
  logged.wait();
  std::fclose(foreign);
  EXPECT_TRUE(returned);
  EXPECT_EQ(entries(readFile(sharedLog())), std::vector<std::string>{"while another stream is held"});
}

}  // namespace
}  // namespace xplug
