// Base fixture of the tests that start a Java VM in their process: a private folder, the simulated machine
// set up as an installed one, the console captured and checked for the VM's JNI-check reports, and a
// packed plug-in started through the host driver. Test threads only; one VM test per process.
#ifndef XPLUG_TESTS_SUPPORT_VM_MACHINE_TEST_H
#define XPLUG_TESTS_SUPPORT_VM_MACHINE_TEST_H

#include <gtest/gtest.h>
#include <jni.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "fmsim/calculation.h"
#include "fmsim/host_driver.h"

namespace xplug::testing {

// What the fixtures of the VM test areas choose differently.
struct VmMachineOptions {
  // Names the test's folder, so that a folder left behind tells which area made it.
  std::string folderStem;
  // Adds -Xcheck:jni to the VM's options when the environment does not ask for it already, so that the
  // checks run however the test is started.
  bool requireJniChecks = true;
  // Console texts that fail the test: what the VM's JNI checks print on a misuse.
  std::vector<std::string> consoleFailures = {"WARNING", "FATAL ERROR"};
  // Prints the captured console when the test failed, since failure messages printed while capturing
  // would be lost otherwise.
  bool printConsoleOnFailure = true;
  // Removes the test's folder after the test; left when the VM still writes there until the process ends.
  bool removeFolder = false;
};

class VmMachineTest : public ::testing::Test {
 protected:
  explicit VmMachineTest(VmMachineOptions options) : options_(std::move(options)) {}

  // Set-up and capture; a fixture that adds to it calls this first and stops on a fatal failure.
  void SetUp() override;
  // Ends the capture and checks the console.
  void TearDown() override;

  // Ends the capture, so that the test can read stdout_ and stderr_; later calls do nothing.
  void finishCapture();

  // Loads the packed plug-in `module` and starts it as FileMaker does, which creates this process's VM.
  // What is alive after the first idle (which releases start-up's objects) is the baseline.
  void startPlugin(const std::string& module);
  // Nothing of a call is left behind: no host object beyond the baseline and `allowed`, no call on a
  // dead one.
  void expectNothingLeft(int64_t allowed = 0);
  // The registered function of that name; null when the plug-in registered none.
  static const fmsim::RegisteredFunction* findFunction(const std::u16string& name);

  fmsim::HostDriver driver_;
  int64_t baseline_ = 0;
  std::filesystem::path temp_;
  bool capturing_ = false;
  std::string stdout_;
  std::string stderr_;

 private:
  VmMachineOptions options_;
};

// The VM the module created in this process, found the way any native code would: through the runtime
// library under `javaHome`, already loaded. Null when there is none.
JavaVM* createdJavaVm(const std::string& javaHome);

}  // namespace xplug::testing

#endif  // XPLUG_TESTS_SUPPORT_VM_MACHINE_TEST_H
