// Tests that misuse the simulated host and take no report: the strict check at the end of every test
// must fail them. Not a test area of its own; StrictHostCheck runs it and reads its outcome.
#include <gtest/gtest.h>

#include "fmsim/test_support.h"
#include "fmx/fmx.h"

namespace {

TEST(StrictCheckProbe, UsesADeletedObject) {
  HostErrorRecord err{1, 0};
  FmxText* text = FM_Text_Constructor1(&err);
  FM_Text_Delete(text, &err);
  FM_Text_GetSize(text, &err);
}

TEST(StrictCheckProbe, LeavesAnObjectAlive) {
  HostErrorRecord err{1, 0};
  FM_FixPt_Constructor1(7, 0, &err);
}

TEST(StrictCheckProbe, TakesWhatItProvoked) {
  HostErrorRecord err{1, 0};
  FM_Text_GetSize(nullptr, &err);
  EXPECT_EQ(fmsim::takeDeadObjectReports().size(), 1u);
}

}  // namespace
