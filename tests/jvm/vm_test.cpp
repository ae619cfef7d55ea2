// The Java VM scenarios, each in a process of its own: start-up through a packed module and the host
// driver, the running VM and bridge reused after shutdown, idle on a thread that was not attached, a
// jar without the bridge classes, and a plug-in whose start-up throws. Every run is checked for JNI
// warnings, since the VM runs with -Xcheck:jni.
#include <gtest/gtest.h>
#include <jni.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "fmsim/host_driver.h"
#include "fmx/fmx_extern.h"
#include "simdesktop/user_interface.h"
#include "testsupport/read_file.h"
#include "testsupport/vm_machine_test.h"

namespace {

namespace fs = std::filesystem;

using xplug::testing::createdJavaVm;
using xplug::testing::readFile;

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::size_t countOf(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
    ++count;
  return count;
}

// The VM the module created in this process.
JavaVM* createdVm() {
  return createdJavaVm(XPLUG_TEST_JAVA_HOME);
}

jint environmentStatus(JavaVM* vm) {
  void* env = nullptr;
  return vm->GetEnv(&env, JNI_VERSION_1_4);
}

class VmScenarioTest : public xplug::testing::VmMachineTest {
 protected:
  // The JNI checks come from the test's environment, and the console is checked for the VM's own
  // reports of a misuse.
  VmScenarioTest()
      : VmMachineTest({.folderStem = "jvm-vm-",
                       .requireJniChecks = false,
                       .consoleFailures = {"WARNING in native method", "exceeds capacity",
                                           "FATAL ERROR in native method"},
                       .printConsoleOnFailure = false,
                       // The VM keeps running in this process; its files are left for the process's end.
                       .removeFolder = false}) {}

  void SetUp() override {
    VmMachineTest::SetUp();
    if (HasFatalFailure()) return;
    simdesktop::clearMessageBoxes();
    ::setenv("XPLUG_PROBE_OUT", probeFile().c_str(), 1);
    ::unsetenv("XPLUG_PROBE_MODE");
  }

  void load(const char* module) {
    std::string error;
    ASSERT_TRUE(driver_.load(module, error)) << error;
    // FileMaker asks for the plug-in's name before it starts the plug-in.
    driver_.getString(kFmxStringName);
  }

  std::string probeFile() const { return (temp_ / "probe.txt").string(); }
  std::vector<std::string> probeLines() const { return linesOf(readFile(probeFile())); }
  std::string logOf(const std::string& fileName) const {
    return readFile(temp_ / "Documents" / "KvtPlugin Logs" / fileName);
  }
};

TEST_F(VmScenarioTest, StartUpCreatesTheVmAndReturnsThePluginsAnswer) {
  load(XPLUG_TEST_PROBE_MODULE);
  ::setenv("XPLUG_PROBE_MODE", "answer=7", 1);
  EXPECT_EQ(driver_.startup(kFmxAppPro), 7);
  finishCapture();

  std::string log = logOf("JVM Probe_FMPro.log");
  std::vector<std::string> lines = linesOf(log);
  ASSERT_FALSE(lines.empty()) << stdout_;
  EXPECT_NE(lines[0].find(")  *** INIT for JVM Probe_FMPro at "), std::string::npos) << lines[0];
  EXPECT_NE(lines[0].find(", headless mode 0"), std::string::npos) << lines[0];
  for (const std::string& expected :
       {std::string(") Found JVM dll at ") + XPLUG_TEST_JAVA_HOME + "/lib/server/libjvm.so\n",
        std::string(") No existing JVM found; creating one.\n"),
        std::string(") 0: -Djava.util.logging.config.file=") + std::getenv("TEMP") + "/logging.properties\n",
        std::string(") 1: vfprintf\n"), std::string(") 2: -Xbootclasspath/a:"),
        std::string(") JVM started successfully - jvm references is ")}) {
    EXPECT_EQ(countOf(log, expected), 1u) << expected << " in\n" << log;
  }
  // A current runtime refuses the extension folder option, so there is no fourth.
  EXPECT_EQ(countOf(log, ") 3: "), 0u) << log;
  EXPECT_EQ(probeLines().size(), 2u);
  EXPECT_TRUE(simdesktop::recordedMessageBoxes().empty());
  JavaVM* vm = createdVm();
  ASSERT_NE(vm, nullptr);
  // Start-up leaves FileMaker's thread attached.
  EXPECT_EQ(environmentStatus(vm), JNI_OK);
}

TEST_F(VmScenarioTest, JarInAFolderWithUrlCharactersIsLoaded) {
  // Characters a URL reads as something else, and one that is not ASCII.
  fs::path temp = temp_ / "Temp #1 100% a?b \xC3\xBC";
  fs::create_directories(temp);
  ::setenv("TEMP", temp.c_str(), 1);
  load(XPLUG_TEST_PROBE_MODULE);
  EXPECT_EQ(driver_.startup(kFmxAppPro), 0);
  finishCapture();
  EXPECT_TRUE(fs::exists(temp / "JvmProbe.jar"));
  EXPECT_EQ(probeLines().size(), 2u) << logOf("JVM Probe_FMPro.log");
}

TEST_F(VmScenarioTest, ExamplePluginStartsEndToEnd) {
  load(XPLUG_TEST_EXAMPLE_MODULE);
  EXPECT_EQ(driver_.startup(kFmxAppPro), 0);
  finishCapture();
  std::string log = logOf("XPlug Example_FMPro.log");
  EXPECT_EQ(countOf(log, "JVM started successfully"), 1u) << log;
  // The bridge logs every failure of the plug-in with its stack trace.
  EXPECT_EQ(countOf(log, "(Java "), 0u) << log;
}

TEST_F(VmScenarioTest, SecondStartUpAfterShutdownReusesTheVmAndTheBridge) {
  load(XPLUG_TEST_PROBE_MODULE);
  EXPECT_EQ(driver_.startup(kFmxAppPro), 0);
  driver_.shutdown();
  EXPECT_EQ(driver_.startup(kFmxAppPro), 0);
  finishCapture();

  std::vector<std::string> probe = probeLines();
  ASSERT_EQ(probe.size(), 4u) << readFile(probeFile());
  std::string identity = probe[0].substr(std::string("constructed ").size());
  EXPECT_EQ(probe, (std::vector<std::string>{"constructed " + identity, "init " + identity,
                                             "shutdown " + identity, "init " + identity}));
  // The log file starts afresh at the second start-up, which finds the running VM.
  std::string log = logOf("JVM Probe_FMPro.log");
  EXPECT_EQ(countOf(log, "  *** INIT for JVM Probe_FMPro"), 1u) << log;
  EXPECT_EQ(countOf(log, "No existing JVM found"), 0u) << log;
  EXPECT_EQ(countOf(stdout_, "No existing JVM found; creating one."), 1u) << stdout_;
  EXPECT_EQ(countOf(stdout_, "*** SHUTDOWN JVM Probe_FMPro ***"), 1u) << stdout_;
}

TEST_F(VmScenarioTest, IdleOnAnUnattachedThreadAttachesItForTheCallOnly) {
  load(XPLUG_TEST_PROBE_MODULE);
  ASSERT_EQ(driver_.startup(kFmxAppPro), 0);
  JavaVM* vm = createdVm();
  ASSERT_NE(vm, nullptr);

  jint before = JNI_OK;
  jint after = JNI_OK;
  std::thread other([&] {
    before = environmentStatus(vm);
    driver_.idle(3);
    after = environmentStatus(vm);
  });
  other.join();
  EXPECT_EQ(before, JNI_EDETACHED);
  EXPECT_EQ(after, JNI_EDETACHED);

  // FileMaker's own thread was attached before, and stays so.
  driver_.idle(4);
  EXPECT_EQ(environmentStatus(vm), JNI_OK);
  std::vector<std::string> probe = probeLines();
  ASSERT_EQ(probe.size(), 4u);
  EXPECT_EQ(probe[2], "idle 3 daemon=true");
  EXPECT_EQ(probe[3], "idle 4 daemon=false");
}

TEST_F(VmScenarioTest, PreferencesReachThePlugin) {
  load(XPLUG_TEST_PROBE_MODULE);
  ASSERT_EQ(driver_.startup(kFmxAppPro), 0);
  driver_.preferences();
  finishCapture();
  std::vector<std::string> probe = probeLines();
  ASSERT_EQ(probe.size(), 3u);
  EXPECT_EQ(probe[2], "preferences daemon=false");
  EXPECT_EQ(countOf(logOf("JVM Probe_FMPro.log"), ") *** DO PREFS ***\n"), 1u);
}

TEST_F(VmScenarioTest, JarWithoutTheBridgeIsNotEnabled) {
  load(XPLUG_TEST_NO_BRIDGE_MODULE);
  EXPECT_EQ(driver_.startup(kFmxAppPro), kFmxDoNotEnable);
  // Idle retries the loading and still reaches no Java code.
  driver_.idle(0);
  finishCapture();
  std::string log = logOf("No Bridge_FMPro.log");
  EXPECT_EQ(
      countOf(log,
              ") An error occurred while trying to load com.kelvo.xplug.PluginBridge. Make sure that it "
              "is loaded in a jar called 'plugin.jar'\n"),
      2u)
      << log;
  EXPECT_EQ(countOf(stderr_, "java.lang.ClassNotFoundException: com.kelvo.xplug.PluginBridge"), 2u)
      << stderr_;
  EXPECT_TRUE(readFile(probeFile()).empty());
  EXPECT_TRUE(simdesktop::recordedMessageBoxes().empty());
}

TEST_F(VmScenarioTest, PluginThatThrowsAtStartUpIsNotEnabledAndItsTraceIsLogged) {
  load(XPLUG_TEST_PROBE_MODULE);
  ::setenv("XPLUG_PROBE_MODE", "throw-init", 1);
  EXPECT_EQ(driver_.startup(kFmxAppPro), kFmxDoNotEnable);
  finishCapture();
  std::string log = logOf("JVM Probe_FMPro.log");
  EXPECT_EQ(countOf(log, "The plug-in failed to start"), 1u) << log;
  EXPECT_EQ(countOf(log, "java.lang.IllegalStateException: The probe refuses to start"), 1u) << log;
  EXPECT_NE(log.find("at com.kelvo.xplug.probe.ProbePlugin.init("), std::string::npos) << log;
  // The bridge caught it: nothing reached the module as a pending exception.
  EXPECT_EQ(countOf(stderr_, "Exception in thread"), 0u) << stderr_;
  EXPECT_EQ(countOf(stderr_, "IllegalStateException"), 0u) << stderr_;
}

TEST_F(VmScenarioTest, ExceptionsFromTheBridgeArePrintedAndCleared) {
  load(XPLUG_TEST_THROWING_BRIDGE_MODULE);
  // A call that ended in an exception yields 0; the host gets that value.
  EXPECT_EQ(driver_.startup(kFmxAppPro), 0);
  driver_.idle(0);
  driver_.preferences();
  driver_.shutdown();
  finishCapture();
  for (const char* method : {"fmxInit", "fmxIdle", "fmxDoAppPreferences", "fmxShutdown"}) {
    EXPECT_EQ(countOf(stderr_, std::string("java.lang.IllegalStateException: ") + method + " fails"), 1u)
        << method << "\n"
        << stderr_;
  }
  EXPECT_EQ(countOf(stdout_, "*** DO PREFS ***"), 1u) << stdout_;
  EXPECT_EQ(countOf(stdout_, "Shutdown complete"), 1u) << stdout_;
}

}  // namespace
