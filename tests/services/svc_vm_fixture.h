// The fixture of the host services' end-to-end tests: a private folder and desktop, a packed plug-in
// (XPLUG_TEST_MODULE: the services' test plug-in or the example) loaded by the host driver and started (which
// creates this process's one VM), SV_Run calls the way FileMaker makes them, and a check of the console
// output for JNI warnings (the tests run with -Xcheck:jni). The test thread plays FileMaker's thread;
// single-threaded test code.
#ifndef XPLUG_TESTS_SERVICES_SVC_VM_FIXTURE_H
#define XPLUG_TESTS_SERVICES_SVC_VM_FIXTURE_H

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

#include "fmsim/calculation.h"
#include "fmsim/desktop_setup.h"
#include "fmsim/host_driver.h"
#include "fmsim/test_support.h"
#include "fmsim/values.h"
#include "fmx/fmx_extern.h"
#include "simdesktop/registry.h"
#include "simdesktop/threads.h"

namespace xplug::test {

// Large enough that FileMaker's thread identifier has bit 31 set, so every test sees how one travels.
inline constexpr uint32_t kFileMakerThreadId = 0x80000005u;

class SvcVmTest : public ::testing::Test {
 protected:
  void SetUp() override {
    namespace fs = std::filesystem;
    simdesktop::setNextThreadId(kFileMakerThreadId);
    ASSERT_EQ(simdesktop::currentThreadId(), kFileMakerThreadId);
    const char* base = std::getenv("XPLUG_TEST_TMP");
    fs::path root = base != nullptr && *base != '\0' ? fs::path(base) : fs::temp_directory_path();
    fs::create_directories(root);
    std::string pattern = (root / "services-XXXXXX").string();
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
    // The preferences root would otherwise be made in the real home folder; the JNI checks are asked
    // for here too, so that they run however the test is started.
    const char* tool = std::getenv("JAVA_TOOL_OPTIONS");
    std::string options = tool != nullptr ? tool : "";
    if (options.find("-Xcheck:jni") == std::string::npos) options += " -Xcheck:jni";
    options += " -Djava.util.prefs.userRoot=" + (temp_ / "prefs").string();
    ::setenv("JAVA_TOOL_OPTIONS", options.c_str(), 1);

    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    capturing_ = true;

    ASSERT_TRUE(driver_.load(XPLUG_TEST_MODULE, error)) << error;
    driver_.getString(kFmxStringName);
    ASSERT_EQ(driver_.startup(kFmxAppPro), 0);
    driver_.idle(0);
    baseline_ = fmsim::totalLiveCount();
  }

  void TearDown() override {
    finishCapture();
    if (HasFailure())
      std::fprintf(stderr, "--- stdout:\n%s\n--- stderr:\n%s\n", stdout_.c_str(), stderr_.c_str());
    for (const std::string* output : {&stdout_, &stderr_}) {
      EXPECT_EQ(output->find("WARNING"), std::string::npos) << *output;
      EXPECT_EQ(output->find("FATAL ERROR"), std::string::npos) << *output;
    }
    std::error_code ignored;
    std::filesystem::remove_all(temp_, ignored);
  }

  void finishCapture() {
    if (!capturing_) return;
    capturing_ = false;
    stdout_ = ::testing::internal::GetCapturedStdout();
    stderr_ = ::testing::internal::GetCapturedStderr();
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
    int16_t answer = function->callback(function->functionId, env, vector, result);
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

  void expectNothingLeft() {
    EXPECT_EQ(fmsim::totalLiveCount(), baseline_);
    EXPECT_TRUE(fmsim::deadObjectReports().empty())
        << fmsim::deadObjectReports().front().operation << " " << fmsim::deadObjectReports().front().reason;
  }

  std::filesystem::path temp_;
  fmsim::HostDriver driver_;
  int64_t baseline_ = 0;
  bool capturing_ = false;
  std::string stdout_;
  std::string stderr_;

 private:
  static const fmsim::RegisteredFunction* findFunction(const std::u16string& name) {
    static std::vector<fmsim::RegisteredFunction> functions;
    functions = fmsim::registeredFunctions();
    for (const fmsim::RegisteredFunction& function : functions) {
      if (function.name == name) return &function;
    }
    return nullptr;
  }
};

}  // namespace xplug::test

#endif  // XPLUG_TESTS_SERVICES_SVC_VM_FIXTURE_H
