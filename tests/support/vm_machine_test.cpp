#include "testsupport/vm_machine_test.h"

#include <dlfcn.h>
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>

#include "fmsim/desktop_setup.h"
#include "fmsim/test_support.h"
#include "fmx/fmx_extern.h"
#include "simdesktop/registry.h"
#include "testsupport/test_folder.h"

namespace xplug::testing {

void VmMachineTest::SetUp() {
  namespace fs = std::filesystem;
  temp_ = makeTestFolder(options_.folderStem);
  ASSERT_FALSE(temp_.empty()) << "cannot make a folder for " << options_.folderStem;

  simdesktop::clearRegistry();
  fmsim::registerDocumentsFolder((temp_ / "Documents").string());
  fs::create_directories(temp_ / "ProgramData");
  fmsim::registerCommonAppData((temp_ / "ProgramData").string());
  std::string error;
  ASSERT_TRUE(fmsim::registerJavaRuntime(XPLUG_TEST_JAVA_HOME, error)) << error;
  fs::create_directories(temp_ / "Temp");
  ::setenv("TEMP", (temp_ / "Temp").c_str(), 1);
  // The preferences root the module asks for would otherwise be made in the real home folder.
  const char* tool = std::getenv("JAVA_TOOL_OPTIONS");
  std::string javaOptions = tool != nullptr ? tool : "";
  if (options_.requireJniChecks && javaOptions.find("-Xcheck:jni") == std::string::npos)
    javaOptions += " -Xcheck:jni";
  javaOptions += " -Djava.util.prefs.userRoot=" + (temp_ / "prefs").string();
  ::setenv("JAVA_TOOL_OPTIONS", javaOptions.c_str(), 1);

  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  capturing_ = true;
}

void VmMachineTest::TearDown() {
  finishCapture();
  if (options_.printConsoleOnFailure && HasFailure())
    std::fprintf(stderr, "--- stdout:\n%s\n--- stderr:\n%s\n", stdout_.c_str(), stderr_.c_str());
  // Under -Xcheck:jni the VM reports every JNI misuse on the host's console.
  for (const std::string* output : {&stdout_, &stderr_}) {
    for (const std::string& failure : options_.consoleFailures)
      EXPECT_EQ(output->find(failure), std::string::npos) << *output;
  }
  if (options_.removeFolder && !temp_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(temp_, ignored);
  }
}

void VmMachineTest::finishCapture() {
  if (!capturing_) return;
  capturing_ = false;
  stdout_ = ::testing::internal::GetCapturedStdout();
  stderr_ = ::testing::internal::GetCapturedStderr();
}

void VmMachineTest::startPlugin(const std::string& module) {
  std::string error;
  ASSERT_TRUE(driver_.load(module, error)) << error;
  // FileMaker asks for the plug-in's name before it starts the plug-in.
  driver_.getString(kFmxStringName);
  ASSERT_EQ(driver_.startup(kFmxAppPro), 0);
  // Objects made during start-up stay until the first function call or idle ends.
  driver_.idle(0);
  baseline_ = fmsim::totalLiveCount();
}

void VmMachineTest::expectNothingLeft(int64_t allowed) {
  EXPECT_EQ(fmsim::totalLiveCount(), baseline_ + allowed);
  EXPECT_TRUE(fmsim::deadObjectReports().empty())
      << fmsim::deadObjectReports().front().operation << " " << fmsim::deadObjectReports().front().reason;
}

const fmsim::RegisteredFunction* VmMachineTest::findFunction(const std::u16string& name) {
  // The pointer handed out stays valid until the next lookup.
  static std::vector<fmsim::RegisteredFunction> functions;
  functions = fmsim::registeredFunctions();
  for (const fmsim::RegisteredFunction& function : functions) {
    if (function.name == name) return &function;
  }
  return nullptr;
}

JavaVM* createdJavaVm(const std::string& javaHome) {
  const std::string library = javaHome + "/lib/server/libjvm.so";
  void* handle = ::dlopen(library.c_str(), RTLD_LAZY | RTLD_NOLOAD);
  if (handle == nullptr) return nullptr;
  auto getCreated =
      reinterpret_cast<jint(JNICALL*)(JavaVM**, jsize, jsize*)>(::dlsym(handle, "JNI_GetCreatedJavaVMs"));
  ::dlclose(handle);
  JavaVM* vm = nullptr;
  jsize count = 0;
  if (getCreated == nullptr || getCreated(&vm, 1, &count) != JNI_OK || count < 1) return nullptr;
  return vm;
}

}  // namespace xplug::testing
