// The fixture of the host services' end-to-end tests: a private folder and desktop, a packed plug-in
// (XPLUG_TEST_MODULE: the services' test plug-in or the example) loaded by the host driver and started (which
// creates this process's one VM), SV_Run calls the way FileMaker makes them, and a check of the console
// output for JNI warnings (the tests run with -Xcheck:jni). The test thread plays FileMaker's thread;
// single-threaded test code.
#ifndef XPLUG_TESTS_SERVICES_SVC_VM_FIXTURE_H
#define XPLUG_TESTS_SERVICES_SVC_VM_FIXTURE_H

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

#include "fmsim/calculation.h"
#include "fmsim/host_driver.h"
#include "fmsim/test_support.h"
#include "fmsim/values.h"
#include "fmx/fmx_extern.h"
#include "simdesktop/threads.h"
#include "testsupport/vm_machine_test.h"

namespace xplug::test {

// Large enough that FileMaker's thread identifier has bit 31 set, so every test sees how one travels.
inline constexpr uint32_t kFileMakerThreadId = 0x80000005u;

class SvcVmTest : public xplug::testing::VmMachineTest {
 protected:
  SvcVmTest() : VmMachineTest({.folderStem = "services-", .removeFolder = true}) {}

  void SetUp() override {
    simdesktop::setNextThreadId(kFileMakerThreadId);
    ASSERT_EQ(simdesktop::currentThreadId(), kFileMakerThreadId);
    VmMachineTest::SetUp();
    if (HasFatalFailure()) return;
    startPlugin(XPLUG_TEST_MODULE);
  }

  // The module's log lines so far (they go to standard output as well as to the log file).
  std::string moduleLog() {
    finishCapture();
    return stdout_;
  }

  // Every log file of the plug-in: the bridge's own lines go there only.
  std::string logFiles() const {
    std::stringstream text;
    std::error_code ignored;
    for (const auto& entry :
         std::filesystem::directory_iterator(temp_ / "Documents" / "KvtPlugin Logs", ignored)) {
      std::ifstream in(entry.path(), std::ios::binary);
      text << in.rdbuf();
    }
    return text.str();
  }

  static size_t count(const std::string& text, const std::string& piece) {
    size_t found = 0;
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + piece.size()))
      ++found;
    return found;
  }

  // Calls a registered function as FileMaker's calculation engine does, with texts as parameters;
  // returns the text of its result, and its error code in *code (which must be 0 when code is null).
  std::string call(const std::u16string& name, const std::vector<std::string>& arguments,
                   int16_t* code = nullptr) {
    std::vector<FmxData*> parameters;
    for (const std::string& argument : arguments) parameters.push_back(fmsim::makeTextDataUtf8(argument));
    const fmsim::RegisteredFunction* function = findFunction(name);
    EXPECT_NE(function, nullptr);
    FmxDataVect* vector = fmsim::makeDataVect(parameters);
    if (function == nullptr) {
      fmsim::deleteDataVect(vector);
      return "";
    }
    FmxExprEnv* env = fmsim::makeExprEnv();
    FmxData* result = fmsim::makeEmptyData();
    int16_t answer = fmsim::callFunction(*function, env, vector, result);
    if (code != nullptr) {
      *code = answer;
    } else {
      EXPECT_EQ(answer, 0) << fmsim::utf16ToUtf8(name);
    }
    std::string text = fmsim::displayText(result);
    fmsim::deleteData(result);
    fmsim::deleteExprEnv(env);
    fmsim::deleteDataVect(vector);
    return text;
  }

  // SV_Run of the test plug-in: the scenario, then its arguments.
  std::string run(const std::string& scenario, std::initializer_list<std::string> arguments = {}) {
    std::vector<std::string> parameters{scenario};
    parameters.insert(parameters.end(), arguments.begin(), arguments.end());
    return call(u"SV_Run", parameters);
  }
};

}  // namespace xplug::test

#endif  // XPLUG_TESTS_SERVICES_SVC_VM_FIXTURE_H
