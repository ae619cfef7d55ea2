// The check every test executable ends each test with: a misuse of the simulated host that the test did
// not take fails that test, by itself. Runs the probe tests as a child process.
#include <gtest/gtest.h>

#include <string>

#include "testsupport/run_command.h"

namespace {

using xplug::testing::runCommand;

TEST(StrictHostCheck, FailsEveryTestThatLeftAMisuseUntaken) {
  struct Case {
    const char* test;
    int status;
    const char* report;  // what the failure says; empty for a test that passes
  };
  const Case cases[] = {
      {"UsesADeletedObject", 1, ": deleted Text"},
      {"LeavesAnObjectAlive", 1, "simulated host: the end of the test: left alive: 1 FixPt"},
      {"TakesWhatItProvoked", 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.test);
    auto run = runCommand(STRICT_CHECK_PROBE, {std::string("--gtest_filter=StrictCheckProbe.") + c.test});
    EXPECT_EQ(run.status, c.status) << run.out;
    if (*c.report != '\0') {
      EXPECT_NE(run.out.find(c.report), std::string::npos) << run.out;
    } else {
      EXPECT_EQ(run.out.find("simulated host:"), std::string::npos) << run.out;
    }
  }
}

}  // namespace
