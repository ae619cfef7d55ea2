// The main of every test executable: GoogleTest with the simulated host's strict checks. After each
// test, every call on a dead, deleted or wrongly typed object, every write to a host-owned view and
// every object the plug-in made and left alive fails that test, unless the test took the reports
// itself (fmsim::takeDeadObjectReports). Runs on the thread that runs the tests.
#include <gtest/gtest.h>

#include "fmsim/test_support.h"

namespace {

class StrictHostCheck : public ::testing::EmptyTestEventListener {
  void OnTestEnd(const ::testing::TestInfo&) override {
    fmsim::recordObjectsLeftAlive("the end of the test");
    for (const fmsim::DeadObjectReport& report : fmsim::takeDeadObjectReports()) {
      ADD_FAILURE() << "simulated host: " << fmsim::formatDeadObjectReport(report);
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // After the result printer, which must see the failures this check adds.
  ::testing::UnitTest::GetInstance()->listeners().Append(new StrictHostCheck);
  return RUN_ALL_TESTS();
}
