// The relay in a process where no Java runtime can be found: FileMaker gets a non-zero code, Java is
// never called, and the objects listed so far (such as those made during start-up) are still deleted.
#include <gtest/gtest.h>

#include "fmsim/calculation.h"
#include "fmsim/test_support.h"
#include "fmsim/values.h"
#include "host_test_env.h"
#include "natives/values/call_scope.h"
#include "natives/values/host_objects.h"
#include "relay/function_relay.h"

namespace xplug {
namespace {

TEST(RelayWithoutJava, ReturnsAnErrorCodeAndStillReleasesTheCallScope) {
  test::prepareTestFolder();
  fmsim::resetTestSupport();
  int64_t baseline = fmsim::totalLiveCount();
  trackText(hostCall(FM_Text_Constructor1));
  trackData(hostCall(FM_Data_Constructor1));

  FmxDataVect* parameters = fmsim::makeDataVect({fmsim::makeTextDataUtf8("x")});
  FmxExprEnv* env = fmsim::makeExprEnv();
  FmxData* result = fmsim::makeEmptyData();
  EXPECT_EQ(relayExternalFunction(3, env, parameters, result), kRelayFailure);
  EXPECT_TRUE(fmsim::isEmpty(result));
  fmsim::deleteData(result);
  fmsim::deleteExprEnv(env);
  fmsim::deleteDataVect(parameters);

  EXPECT_EQ(callScopeCounts().total(), 0u);
  EXPECT_EQ(fmsim::totalLiveCount(), baseline);
  EXPECT_TRUE(fmsim::deadObjectReports().empty());
}

}  // namespace
}  // namespace xplug
