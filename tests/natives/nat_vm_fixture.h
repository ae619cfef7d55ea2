// The fixture of the end-to-end tests of the natives and the relay: a private folder and desktop, the
// packed test plug-in loaded by the host driver and started (which creates this process's one VM),
// helpers that call the plug-in's functions the way FileMaker does, and a check of the VM's console
// output for JNI warnings (the tests run with -Xcheck:jni). Single-threaded test code.
#ifndef XPLUG_TESTS_NATIVES_NAT_VM_FIXTURE_H
#define XPLUG_TESTS_NATIVES_NAT_VM_FIXTURE_H

#include <gtest/gtest.h>
#include <stdlib.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "fmsim/calculation.h"
#include "fmsim/host_driver.h"
#include "fmsim/test_support.h"
#include "fmsim/values.h"
#include "fmx/fmx_extern.h"
#include "testsupport/vm_machine_test.h"

namespace xplug::test {

// One call of a registered function: its error code and its result value (owned by the outcome).
struct FunctionOutcome {
  int16_t code = 0;
  FmxData* result = nullptr;

  FunctionOutcome() = default;
  FunctionOutcome(const FunctionOutcome&) = delete;
  FunctionOutcome& operator=(const FunctionOutcome&) = delete;
  FunctionOutcome(FunctionOutcome&& other) noexcept : code(other.code), result(other.result) {
    other.result = nullptr;
  }
  ~FunctionOutcome() {
    if (result != nullptr) fmsim::deleteData(result);
  }
  std::string text() const { return fmsim::displayText(result); }
};

class NatVmTest : public xplug::testing::VmMachineTest {
 protected:
  NatVmTest() : VmMachineTest({.folderStem = "natives-"}) {}

  void SetUp() override {
    VmMachineTest::SetUp();
    if (HasFatalFailure()) return;
    ::setenv("XPLUG_NATTEST_HOOKS", XPLUG_TEST_HOOKS, 1);
    startPlugin(XPLUG_TEST_NATIVES_MODULE);
  }

  // Calls NT_Run the way FileMaker's calculation engine does: the scenario's name and parameter values
  // the test built (handed over to the call and deleted with its parameter vector).
  FunctionOutcome run(const char* scenario, std::initializer_list<FmxData*> more = {}) {
    std::vector<FmxData*> parameters{fmsim::makeTextDataUtf8(scenario)};
    parameters.insert(parameters.end(), more.begin(), more.end());
    FunctionOutcome outcome;
    const fmsim::RegisteredFunction* function = findFunction(u"NT_Run");
    EXPECT_NE(function, nullptr);
    if (function == nullptr) return outcome;
    FmxDataVect* vector = fmsim::makeDataVect(parameters);
    FmxExprEnv* env = fmsim::makeExprEnv();
    outcome.result = fmsim::makeEmptyData();
    outcome.code = fmsim::callFunction(*function, env, vector, outcome.result);
    fmsim::deleteExprEnv(env);
    fmsim::deleteDataVect(vector);
    return outcome;
  }
};

}  // namespace xplug::test

#endif  // XPLUG_TESTS_NATIVES_NAT_VM_FIXTURE_H
