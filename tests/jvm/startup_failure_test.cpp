// Start-up, idle, preferences and shutdown when no Java runtime can be had: the user is told once per
// process (never on a server host or when headless), the host gets do-not-enable, and nothing calls
// into Java. No VM is created.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "fmx/fmx_extern.h"
#include "host/lifecycle.h"
#include "jvm/jvm_session.h"
#include "jvm_test_env.h"
#include "session/host_session.h"
#include "simdesktop/user_interface.h"

namespace xplug {
namespace {

using testing::LogCapture;
using testing::TempFolder;

std::string text(const char* message) {
  return message;
}
std::u16string wide(const char* message) {
  return std::u16string(message, message + std::char_traits<char>::length(message));
}

class NoRuntimeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::prepareDesktop(temp_);
    testing::resetModuleState();
  }

  int16_t startUp(uint16_t appType) { return handleInit(57, appType, 0, false, nullptr, nullptr); }

  TempFolder temp_;
};

TEST_F(NoRuntimeTest, StartUpReportsTheMissingRuntimeAndDoesNotEnable) {
  LogCapture log;
  EXPECT_EQ(startUp(kFmxAppPro), kFmxDoNotEnable);

  const std::vector<std::string>& lines = log.lines();
  ASSERT_FALSE(lines.empty());
  EXPECT_TRUE(lines[0].starts_with(" *** INIT for Unknown_FMPro at ")) << lines[0];
  EXPECT_TRUE(lines[0].ends_with(", headless mode 0")) << lines[0];
  EXPECT_TRUE(testing::containsInOrder(
      lines, {text(javaMissingMessage(2)), "*** SEVERE: Could not locate JNI_GetCreatedJavaVMs routine",
              "No existing JVM found; creating one.", "*** SEVERE: Could not locate JNI_CreateJavaVM routine",
              "Error while creating JVM: -1", "Serious error, could not find JVM after creating it.",
              "Failed to create JVM because of an error: " + text(javaMissingMessage(1)),
              "jvmError: " + text(javaMissingMessage(1)), "Returning kDoNotEnable(-2) and detaching JVM"}));

  std::vector<simdesktop::MessageBoxRecord> boxes = simdesktop::recordedMessageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, wide(javaMissingMessage(1)));
  EXPECT_TRUE(boxes[0].defaultCaption);
  EXPECT_TRUE(hostSession.errorBoxShown);
}

TEST_F(NoRuntimeTest, ASecondFailingStartUpShowsNoSecondBox) {
  EXPECT_EQ(startUp(kFmxAppPro), kFmxDoNotEnable);
  LogCapture log;
  EXPECT_EQ(startUp(kFmxAppPro), kFmxDoNotEnable);
  EXPECT_TRUE(testing::containsInOrder(log.lines(), {"jvmError: " + text(javaMissingMessage(1)),
                                                     "Returning kDoNotEnable(-2) and detaching JVM"}));
  EXPECT_EQ(simdesktop::recordedMessageBoxes().size(), 1u);
}

struct SilentHost {
  const char* name;
  uint16_t appType;
  const char* typeName;
};

// Test names and failure messages show the case by its name.
void PrintTo(const SilentHost& param, std::ostream* out) {
  *out << param.name;
}

class SilentHostTest : public NoRuntimeTest, public ::testing::WithParamInterface<SilentHost> {};

TEST_P(SilentHostTest, ShowsNoBox) {
  LogCapture log;
  EXPECT_EQ(startUp(GetParam().appType), kFmxDoNotEnable);
  ASSERT_FALSE(log.lines().empty());
  EXPECT_TRUE(log.lines()[0].starts_with(std::string(" *** INIT for Unknown_") + GetParam().typeName))
      << log.lines()[0];
  EXPECT_TRUE(log.lines()[0].ends_with(", headless mode 1")) << log.lines()[0];
  EXPECT_TRUE(testing::containsInOrder(log.lines(), {"Returning kDoNotEnable(-2) and detaching JVM"}));
  EXPECT_TRUE(simdesktop::recordedMessageBoxes().empty());
  EXPECT_FALSE(hostSession.errorBoxShown);
}

INSTANTIATE_TEST_SUITE_P(ServerHosts, SilentHostTest,
                         ::testing::Values(SilentHost{"Server", kFmxAppServer, "Server"},
                                           SilentHost{"WebPublishing", kFmxAppWebPublishing, "WPE"}),
                         [](const ::testing::TestParamInfo<SilentHost>& param) {
                           return std::string(param.param.name);
                         });

TEST_F(NoRuntimeTest, HeadlessMarkerShowsNoBox) {
  testing::writeFile(testing::markerFolder(temp_) + "headless", "");
  EXPECT_EQ(startUp(kFmxAppPro), kFmxDoNotEnable);
  EXPECT_TRUE(simdesktop::recordedMessageBoxes().empty());
  EXPECT_TRUE(jvmSession.headless);
}

TEST_F(NoRuntimeTest, UnknownApplicationTypeKeepsTheNameInForce) {
  LogCapture log;
  startUp(7);
  ASSERT_FALSE(log.lines().empty());
  EXPECT_TRUE(log.lines()[0].starts_with(" *** INIT for Unknown_Unknown at ")) << log.lines()[0];
  EXPECT_EQ(hostSession.appType, 7);
  EXPECT_STREQ(hostSession.appTypeName, "Unknown");
}

TEST_F(NoRuntimeTest, IdleSkipsJavaAndRetriesTheCreationEachTime) {
  startUp(kFmxAppPro);
  for (int call = 0; call < 2; ++call) {
    LogCapture log;
    handleIdle(0, nullptr, nullptr);
    EXPECT_TRUE(testing::containsInOrder(
        log.lines(), {"No existing JVM found; creating one.", "Error while creating JVM: -1",
                      "Will skip idle handler because a JVM error occurred: " + text(javaMissingMessage(1))}))
        << "idle call " << call;
  }
  EXPECT_EQ(simdesktop::recordedMessageBoxes().size(), 1u);
}

TEST_F(NoRuntimeTest, PreferencesAndShutdownLogAndReturn) {
  hostSession.pluginName = "Probe";
  startUp(kFmxAppPro);
  LogCapture log;
  handlePreferences(0, nullptr, nullptr);
  handleShutdown(0, nullptr, nullptr);
  EXPECT_TRUE(testing::containsInOrder(
      log.lines(), {"No existing JVM found; creating one.", "*** DO PREFS ***",
                    "No existing JVM found; creating one.", "*** SHUTDOWN Probe_FMPro ***"}));
}

}  // namespace
}  // namespace xplug
