// The fixture of the end-to-end tests of the natives and the relay: a private folder and desktop, the
// packed test plug-in loaded by the host driver and started (which creates this process's one VM),
// helpers that call the plug-in's functions the way FileMaker does, and a check of the VM's console
// output for JNI warnings (the tests run with -Xcheck:jni). Single-threaded test code.
#ifndef XPLUG_TESTS_NATIVES_NAT_VM_FIXTURE_H
#define XPLUG_TESTS_NATIVES_NAT_VM_FIXTURE_H

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include "fmsim/calculation.h"
#include "fmsim/desktop_setup.h"
#include "fmsim/host_driver.h"
#include "fmsim/test_support.h"
#include "fmsim/values.h"
#include "fmx/fmx_extern.h"
#include "simdesktop/registry.h"

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

class NatVmTest : public ::testing::Test {
 protected:
  void SetUp() override {
    namespace fs = std::filesystem;
    const char* base = std::getenv("XPLUG_TEST_TMP");
    fs::path root = base != nullptr && *base != '\0' ? fs::path(base) : fs::temp_directory_path();
    fs::create_directories(root);
    std::string pattern = (root / "natives-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    temp_ = pattern;

    simdesktop::clearRegistry();
    fmsim::registerDocumentsFolder((temp_ / "Documents").string());
    fs::create_directories(temp_ / "ProgramData");
    fmsim::registerCommonAppData((temp_ / "ProgramData").string());
    std::string error;
    ASSERT_TRUE(fmsim::registerJavaRuntime(XPLUG_TEST_JAVA_HOME, error)) << error;
    fs::create_directories(temp_ / "Temp");
    ::setenv("TEMP", (temp_ / "Temp").c_str(), 1);
    ::setenv("XPLUG_NATTEST_HOOKS", XPLUG_TEST_HOOKS, 1);
    // The preferences root the module asks for would otherwise be made in the real home folder. The
    // VM's JNI checks are asked for here too, so that they run however the test is started.
    const char* tool = std::getenv("JAVA_TOOL_OPTIONS");
    std::string options = tool != nullptr ? tool : "";
    if (options.find("-Xcheck:jni") == std::string::npos) options += " -Xcheck:jni";
    options += " -Djava.util.prefs.userRoot=" + (temp_ / "prefs").string();
    ::setenv("JAVA_TOOL_OPTIONS", options.c_str(), 1);

    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    capturing_ = true;

    ASSERT_TRUE(driver_.load(XPLUG_TEST_NATIVES_MODULE, error)) << error;
    driver_.getString(kFmxStringName);
    ASSERT_EQ(driver_.startup(kFmxAppPro), 0);
    // Objects made during start-up stay until the first function call or idle ends.
    driver_.idle(0);
    baseline_ = fmsim::totalLiveCount();
  }

  void TearDown() override {
    finishCapture();
    // Failure messages printed while the output was captured would be lost otherwise.
    if (HasFailure())
      std::fprintf(stderr, "--- stdout:\n%s\n--- stderr:\n%s\n", stdout_.c_str(), stderr_.c_str());
    // Under -Xcheck:jni the VM reports every JNI misuse on the host's console.
    for (const std::string* output : {&stdout_, &stderr_}) {
      EXPECT_EQ(output->find("WARNING"), std::string::npos) << *output;
      EXPECT_EQ(output->find("FATAL ERROR"), std::string::npos) << *output;
    }
  }

  void finishCapture() {
    if (!capturing_) return;
    capturing_ = false;
    stdout_ = ::testing::internal::GetCapturedStdout();
    stderr_ = ::testing::internal::GetCapturedStderr();
  }

  static const fmsim::RegisteredFunction* findFunction(const std::u16string& name) {
    static std::vector<fmsim::RegisteredFunction> functions;
    functions = fmsim::registeredFunctions();
    for (const fmsim::RegisteredFunction& function : functions) {
      if (function.name == name) return &function;
    }
    return nullptr;
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
    outcome.code = function->callback(function->functionId, env, vector, outcome.result);
    fmsim::deleteExprEnv(env);
    fmsim::deleteDataVect(vector);
    return outcome;
  }

  // Nothing of a call is left behind: no host object beyond those alive before it, no call on a dead one.
  void expectNothingLeft(int64_t allowed = 0) {
    EXPECT_EQ(fmsim::totalLiveCount(), baseline_ + allowed);
    EXPECT_TRUE(fmsim::deadObjectReports().empty())
        << fmsim::deadObjectReports().front().operation << " " << fmsim::deadObjectReports().front().reason;
  }

  std::filesystem::path temp_;
  fmsim::HostDriver driver_;
  int64_t baseline_ = 0;
  bool capturing_ = false;
  std::string stdout_;
  std::string stderr_;
};

}  // namespace xplug::test

#endif  // XPLUG_TESTS_NATIVES_NAT_VM_FIXTURE_H
