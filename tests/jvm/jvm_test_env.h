// Shared set-up of the Java VM hosting tests: a private temporary folder per test, the simulated
// desktop filled as an installed machine would be (documents folder, shared application data, the
// Java runtime's keys), and the module's state put back to that of a new process. Test threads only.
#ifndef XPLUG_TESTS_JVM_JVM_TEST_ENV_H
#define XPLUG_TESTS_JVM_JVM_TEST_ENV_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testsupport/read_file.h"

namespace xplug::testing {

// A new folder under XPLUG_TEST_TMP (or the system's temporary folder), removed again by the owner.
class TempFolder {
 public:
  TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  ~TempFolder();
  const std::string& path() const { return path_; }
  // path() + "/" + name.
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Writes a file (creating its folder), failing the test when it cannot.
void writeFile(const std::string& path, const std::string& content);

// Empties the simulated registry and points the user's documents folder (where the log goes) and the
// shared application-data folder into `root`; TEMP too.
void prepareDesktop(const TempFolder& root);
// Registers a Java runtime with explicit values, as an installer would.
void registerRuntime(const std::u16string& version, const std::u16string& javaHome,
                     const std::u16string& runtimeLib);
// The installed JDK's home and runtime library, as the build found them.
std::string jdkHome();
std::string jdkRuntimeLibrary();

// The marker folder createJvm reads under the shared application-data folder of `root`.
std::string markerFolder(const TempFolder& root);

// The messages the module logs while the capture runs, without their timestamp prefix, one per line.
class LogCapture {
 public:
  LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;
  ~LogCapture();
  // Ends the capture (once) and returns the messages.
  const std::vector<std::string>& lines();

 private:
  bool running_ = true;
  std::vector<std::string> lines_;
};

// The messages of a log text, without their "(C++ <time>) " prefixes.
std::vector<std::string> logMessages(const std::string& text);
// Whether `lines` holds `expected` in this order (other lines may come between them).
::testing::AssertionResult containsInOrder(const std::vector<std::string>& lines,
                                           const std::vector<std::string>& expected);

// The module's process-wide VM and host state back to their first values (no VM may exist).
void resetModuleState();

}  // namespace xplug::testing

#endif  // XPLUG_TESTS_JVM_JVM_TEST_ENV_H
