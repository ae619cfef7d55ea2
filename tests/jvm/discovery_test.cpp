// Runtime discovery against the simulated registry: each broken installation gives its own error,
// and a good one extends PATH and loads the runtime library. No VM is created.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <functional>
#include <ostream>
#include <string>

#include "jvm/java_runtime.h"
#include "jvm/jvm_session.h"
#include "jvm/vm_attach.h"
#include "jvm_test_env.h"
#include "simdesktop/registry.h"

namespace xplug {
namespace {

using testing::LogCapture;
using testing::TempFolder;

constexpr char16_t kRuntimeKey[] = u"Software\\JavaSoft\\Java Runtime Environment";

std::u16string widen(const std::string& text) {
  return std::u16string(text.begin(), text.end());
}
std::string narrow(const std::u16string& text) {
  return std::string(text.begin(), text.end());
}

std::string pathVariable() {
  const char* path = std::getenv("PATH");
  return path != nullptr ? path : "";
}

class RuntimeDiscoveryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::prepareDesktop(temp_);
    testing::resetModuleState();
    ::setenv("PATH", "/usr/bin:/bin", 1);
  }

  TempFolder temp_;
};

struct BrokenRuntime {
  const char* name;
  std::function<void()> install;
  int error;
  // Whether discovery got far enough to record the lib folder, and to extend PATH.
  bool libDirSet;
  bool pathExtended;
};

// Test names and failure messages show the case by its name.
void PrintTo(const BrokenRuntime& param, std::ostream* out) {
  *out << param.name;
}

void setString(const std::u16string& key, const char16_t* name, const std::u16string& value) {
  simdesktop::setRegistryString(simdesktop::RegistryRoot::localMachine, key, name, value);
}
const std::u16string kVersionKey = std::u16string(kRuntimeKey) + u"\\17";

class BrokenRuntimeTest : public RuntimeDiscoveryTest, public ::testing::WithParamInterface<BrokenRuntime> {};

TEST_P(BrokenRuntimeTest, SetsItsErrorAndLogsIt) {
  GetParam().install();
  LogCapture log;
  locateJavaRuntime();

  const char* expected = javaMissingMessage(GetParam().error);
  ASSERT_NE(expected, nullptr);
  EXPECT_EQ(jvmSession.jvmError, expected);
  std::string ending = " (error " + std::to_string(GetParam().error) + ")";
  EXPECT_TRUE(std::string(expected).ends_with(ending)) << expected;
  EXPECT_TRUE(testing::containsInOrder(log.lines(), {expected}));
  EXPECT_EQ(jvmSession.runtimeLibrary, nullptr);
  EXPECT_EQ(jvmSession.entryPoints.createJavaVM, nullptr);
  EXPECT_EQ(jvmSession.javaLibDir.empty(), !GetParam().libDirSet);
  if (GetParam().pathExtended) {
    EXPECT_NE(pathVariable(), "/usr/bin:/bin");
  } else {
    EXPECT_EQ(pathVariable(), "/usr/bin:/bin");
  }
}

INSTANTIATE_TEST_SUITE_P(
    EachStep, BrokenRuntimeTest,
    ::testing::Values(
        BrokenRuntime{"NoJavaSoftKey", [] {}, 2, false, false},
        BrokenRuntime{"CurrentVersionIsANumber",
                      [] {
                        simdesktop::setRegistryDword(simdesktop::RegistryRoot::localMachine, kRuntimeKey,
                                                     u"CurrentVersion", 17);
                      },
                      3, false, false},
        BrokenRuntime{"CurrentVersionWithoutTerminator",
                      [] {
                        simdesktop::setRegistryRawValue(simdesktop::RegistryRoot::localMachine, kRuntimeKey,
                                                        u"CurrentVersion", simdesktop::kRegSz,
                                                        {'1', 0, '7', 0});
                      },
                      3, false, false},
        BrokenRuntime{"VersionKeyMissing", [] { setString(kRuntimeKey, u"CurrentVersion", u"17"); }, 4, false,
                      false},
        BrokenRuntime{"JavaHomeMissing",
                      [] {
                        setString(kRuntimeKey, u"CurrentVersion", u"17");
                        setString(kVersionKey, u"RuntimeLib", u"/opt/jre/lib/server/libjvm.so");
                      },
                      5, false, false},
        BrokenRuntime{"RuntimeLibMissing",
                      [] {
                        setString(kRuntimeKey, u"CurrentVersion", u"17");
                        setString(kVersionKey, u"JavaHome", u"/opt/jre");
                      },
                      6, true, false},
        BrokenRuntime{"RuntimeLibWithoutFolder",
                      [] { testing::registerRuntime(u"17", u"/opt/jre", u"libjvm.so"); }, 7, true, false},
        BrokenRuntime{"RuntimeLibDoesNotLoad",
                      [] { testing::registerRuntime(u"17", u"/opt/jre", u"/opt/jre/lib/server/libjvm.so"); },
                      8, true, true}),
    [](const ::testing::TestParamInfo<BrokenRuntime>& param) { return std::string(param.param.name); });

// Java 9 and later register under JRE or JDK instead of the old key; the old key is read first.
TEST_F(RuntimeDiscoveryTest, NewerRuntimesAreFoundUnderTheJreAndJdkKeys) {
  for (const char16_t* key : {u"Software\\JavaSoft\\JRE", u"Software\\JavaSoft\\JDK"}) {
    simdesktop::deleteRegistryKey(simdesktop::RegistryRoot::localMachine, kRuntimeKey);
    simdesktop::deleteRegistryKey(simdesktop::RegistryRoot::localMachine, u"Software\\JavaSoft\\JRE");
    setString(key, u"CurrentVersion", u"21");
    setString(std::u16string(key) + u"\\21", u"JavaHome", u"/opt/jdk21");
    setString(std::u16string(key) + u"\\21", u"RuntimeLib", widen(testing::jdkRuntimeLibrary()));
    jvmSession.jvmError = nullptr;
    locateJavaRuntime();
    EXPECT_EQ(jvmSession.jvmError, nullptr) << narrow(key);
    EXPECT_EQ(narrow(jvmSession.javaLibDir), "/opt/jdk21/lib") << narrow(key);
  }
  setString(kRuntimeKey, u"CurrentVersion", u"1.8");
  setString(std::u16string(kRuntimeKey) + u"\\1.8", u"JavaHome", u"/opt/jre8");
  locateJavaRuntime();
  EXPECT_EQ(jvmSession.jvmError, javaMissingMessage(6)) << "the old key is read before the newer ones";
  EXPECT_EQ(narrow(jvmSession.javaLibDir), "/opt/jre8/lib");
}

TEST(JavaMissingMessage, NamesWhereToGetJavaAndTheErrorNumber) {
  for (int error = 1; error <= 8; ++error) {
    std::string text = javaMissingMessage(error);
    EXPECT_TRUE(
        text.starts_with("Kvantrel plugins require Java 8 or later, which is not installed on this "
                         "computer. Download it from https://"))
        << text;
    EXPECT_TRUE(text.ends_with(" (error " + std::to_string(error) + ")")) << text;
  }
  EXPECT_EQ(javaMissingMessage(0), nullptr);
  EXPECT_EQ(javaMissingMessage(9), nullptr);
}

// The runtime library's folder as the registry names it; discovery adds it to PATH.
std::string libraryFolder() {
  std::string library = testing::jdkRuntimeLibrary();
  return library.substr(0, library.rfind('/'));
}

struct PathCase {
  const char* name;
  const char* pathBefore;  // null: unset
  const char* javaHome;
  const char* pathAfterPrefix;
};

// Test names and failure messages show the case by its name.
void PrintTo(const PathCase& param, std::ostream* out) {
  *out << param.name;
}

class PathExtensionTest : public RuntimeDiscoveryTest, public ::testing::WithParamInterface<PathCase> {};

TEST_P(PathExtensionTest, AddsTheBinAndLibraryFoldersAndLoadsTheLibrary) {
  const PathCase& c = GetParam();
  if (c.pathBefore != nullptr) {
    ::setenv("PATH", c.pathBefore, 1);
  } else {
    ::unsetenv("PATH");
  }
  testing::registerRuntime(u"17", widen(c.javaHome), widen(testing::jdkRuntimeLibrary()));
  LogCapture log;
  locateJavaRuntime();

  EXPECT_EQ(jvmSession.jvmError, nullptr);
  EXPECT_EQ(narrow(jvmSession.javaLibDir), "/opt/jre/lib");
  EXPECT_EQ(pathVariable(), std::string(c.pathAfterPrefix) + "/opt/jre/bin:" + libraryFolder());
  EXPECT_NE(jvmSession.runtimeLibrary, nullptr);
  EXPECT_NE(jvmSession.entryPoints.createJavaVM, nullptr);
  EXPECT_NE(jvmSession.entryPoints.getCreatedJavaVMs, nullptr);
  EXPECT_EQ(narrow(jvmSession.runtimeVersion), "17");
  EXPECT_TRUE(testing::containsInOrder(log.lines(), {"Found JVM dll at " + testing::jdkRuntimeLibrary()}));
}

INSTANTIATE_TEST_SUITE_P(
    Paths, PathExtensionTest,
    ::testing::Values(PathCase{"HomeWithoutSeparator", "/usr/bin:/bin", "/opt/jre", "/usr/bin:/bin:"},
                      PathCase{"HomeWithSeparator", "/usr/bin:/bin", "/opt/jre/", "/usr/bin:/bin:"},
                      PathCase{"PathEndingInSeparator", "/usr/bin:", "/opt/jre", "/usr/bin:"},
                      // An empty element would put the current folder on PATH.
                      PathCase{"EmptyPath", "", "/opt/jre", ""},
                      PathCase{"UnsetPath", nullptr, "/opt/jre", ""}),
    [](const ::testing::TestParamInfo<PathCase>& param) { return std::string(param.param.name); });

TEST_F(RuntimeDiscoveryTest, EveryStartUpRepeatsTheDiscovery) {
  testing::registerRuntime(u"17", u"/opt/jre", widen(testing::jdkRuntimeLibrary()));
  locateJavaRuntime();
  locateJavaRuntime();
  EXPECT_EQ(pathVariable(),
            "/usr/bin:/bin:/opt/jre/bin:" + libraryFolder() + ":/opt/jre/bin:" + libraryFolder());

  // A runtime removed since leaves the error of the latest attempt.
  simdesktop::deleteRegistryKey(simdesktop::RegistryRoot::localMachine, kRuntimeKey);
  locateJavaRuntime();
  EXPECT_EQ(jvmSession.jvmError, javaMissingMessage(2));
}

TEST_F(RuntimeDiscoveryTest, LibraryWithoutTheInvocationFunctionsCannotStartAVm) {
  testing::registerRuntime(u"17", u"/opt/jre", widen(XPLUG_TEST_OTHER_LIBRARY));
  LogCapture log;
  locateJavaRuntime();
  EXPECT_EQ(jvmSession.jvmError, nullptr);
  EXPECT_NE(jvmSession.runtimeLibrary, nullptr);
  EXPECT_EQ(jvmSession.entryPoints.createJavaVM, nullptr);
  EXPECT_EQ(jvmSession.entryPoints.getCreatedJavaVMs, nullptr);

  bool attachedNow = true;
  EXPECT_EQ(obtainJvmEnv(&attachedNow), nullptr);
  EXPECT_FALSE(attachedNow);
  EXPECT_EQ(jvmSession.jvmError, javaMissingMessage(1));
  EXPECT_TRUE(testing::containsInOrder(
      log.lines(),
      {"The runtime library " + std::string(XPLUG_TEST_OTHER_LIBRARY) +
           " lacks the Java invocation functions",
       "*** SEVERE: Could not locate JNI_GetCreatedJavaVMs routine", "No existing JVM found; creating one.",
       "*** SEVERE: Could not locate JNI_CreateJavaVM routine", "Error while creating JVM: -1",
       "Failed to create JVM because of an error: " + std::string(javaMissingMessage(1))}));
}

}  // namespace
}  // namespace xplug
