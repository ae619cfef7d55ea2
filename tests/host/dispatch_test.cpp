// The entry point's dispatch: which selectors do anything, the idle gate, the start-up result and the
// closing steps of shutdown, all through FMExternCallProc with the real handlers behind it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "host/entry.h"
#include "host_test_env.h"
#include "log/plugin_log.h"
#include "session/host_session.h"

namespace xplug {
namespace {

class Dispatch : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(test::prepareTestFolder().empty()); }
};

class IgnoredSelector : public Dispatch, public ::testing::WithParamInterface<int> {};

TEST_P(IgnoredSelector, ChangesNothingAndLogsNothing) {
  ExternCallRecord record = test::makeRecord(static_cast<uint8_t>(GetParam()), 7);
  record.bufferCapacity = 33;
  record.result = 0x1234;
  ExternCallRecord before;
  std::memcpy(&before, &record, sizeof(record));
  const HostSession sessionBefore = hostSession;

  testing::internal::CaptureStdout();
  FMExternCallProc(&record);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

  EXPECT_EQ(std::memcmp(&before, &record, sizeof(record)), 0);
  EXPECT_EQ(currentCallRecord.load(), &record);
  EXPECT_EQ(hostSession.appType, sessionBefore.appType);
  EXPECT_EQ(hostSession.appTypeName, sessionBefore.appTypeName);
  EXPECT_EQ(hostSession.pluginName, sessionBefore.pluginName);
}

INSTANTIATE_TEST_SUITE_P(Selectors, IgnoredSelector, ::testing::Values(2, 3, 6, 8, 255));

TEST_F(Dispatch, NullRecordIsIgnored) {
  ExternCallRecord record = test::makeRecord(2);
  FMExternCallProc(&record);
  FMExternCallProc(nullptr);
  EXPECT_EQ(currentCallRecord.load(), &record);
}

TEST_F(Dispatch, IdleIsGatedByUnsafeCallsAndTheServerHost) {
  ExternCallRecord record = test::makeRecord(kFmxSelectorIdle);
  record.unsafeCalls = 1;
  testing::internal::CaptureStdout();
  FMExternCallProc(&record);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

  record.unsafeCalls = 0;
  hostSession.appType = kFmxAppServer;
  testing::internal::CaptureStdout();
  FMExternCallProc(&record);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(currentCallRecord.load(), &record);
}

// Without a Java runtime in the simulated registry no VM can start, so start-up answers do-not-enable;
// these cases therefore run the VM paths of the lifecycle handlers.
TEST_F(Dispatch, DoNotEnableIsStoredSignExtended) {
  ExternCallRecord record = test::makeRecord(kFmxSelectorInit, kFmxAppServer);
  testing::internal::CaptureStdout();
  FMExternCallProc(&record);
  std::string output = testing::internal::GetCapturedStdout();
  EXPECT_EQ(static_cast<uint32_t>(record.result), 0xFFFFFFFEu) << output;
  EXPECT_EQ(static_cast<intptr_t>(record.result), -2);
}

TEST_F(Dispatch, IdleBeforeStartUpReachesTheHandler) {
  ASSERT_EQ(hostSession.appType, -1);
  ExternCallRecord record = test::makeRecord(kFmxSelectorIdle);
  testing::internal::CaptureStdout();
  FMExternCallProc(&record);
  std::string output = testing::internal::GetCapturedStdout();
  EXPECT_NE(output.find("Will skip idle handler because a JVM error occurred: "), std::string::npos)
      << output;
}

TEST_F(Dispatch, ShutdownLogsItsEndAndForgetsTheLogFile) {
  hostSession.pluginName = "Dispatch";
  hostSession.appTypeName = "FMPro";
  ExternCallRecord record = test::makeRecord(kFmxSelectorShutdown);
  testing::internal::CaptureStdout();
  FMExternCallProc(&record);
  std::string output = testing::internal::GetCapturedStdout();
  const std::string closing = "Shutdown complete\n";
  ASSERT_GE(output.size(), closing.size()) << output;
  EXPECT_EQ(output.substr(output.size() - closing.size()), closing) << output;
  EXPECT_TRUE(currentLogFilePath().empty());

  // The next line chooses a file again.
  logMessage("after shutdown\n");
  EXPECT_FALSE(currentLogFilePath().empty());
}

}  // namespace
}  // namespace xplug
