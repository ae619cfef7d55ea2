// The VM's start options as createJvm builds and logs them, from the marker files, the host type and
// the runtime's version. The runtime library is left unloaded, so creation stops after the options
// are logged (error 1) and no VM is created.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "jvm/jvm_session.h"
#include "jvm/vm_creation.h"
#include "jvm_test_env.h"
#include "log/plugin_log.h"
#include "simdesktop/registry.h"

namespace xplug {
namespace {

using testing::LogCapture;
using testing::TempFolder;

// The logging configuration is read from the plug-in's temporary folder, shown here as "<TEMP>".
const std::string kLogging = "-Djava.util.logging.config.file=<TEMP>/logging.properties";
const std::string kBoot =
    "-Xbootclasspath/a:/opt/jre/lib/deploy.jar:/opt/jre/lib/plugin.jar:/opt/jre/lib/javaws.jar";
const std::string kExtDirs =
    "-Djava.ext.dirs=/opt/jre/lib/ext:/opt/jre/lib:/opt/jre/lib/deploy:/usr/java/packages/lib/ext:";
const std::string kDebug = "-Xdebug";
std::string jdwp(int port, char suspend = 'n') {
  return "-Xrunjdwp:transport=dt_socket,address=" + std::to_string(port) + ",server=y,suspend=" + suspend;
}

struct Marker {
  std::string name;
  std::string content;
  bool folder = false;
};

struct OptionCase {
  const char* name;
  std::vector<Marker> markers;
  const char16_t* runtimeVersion;
  bool serverHost;
  std::vector<std::string> options;
  std::vector<std::string> alsoLogged;
};

// Test names and failure messages show the case by its name.
void PrintTo(const OptionCase& param, std::ostream* out) {
  *out << param.name;
}

// The "<index>: <text>" lines, in order, as the option texts.
std::vector<std::string> loggedOptions(const std::vector<std::string>& lines) {
  std::vector<std::string> options;
  for (const std::string& line : lines) {
    std::string prefix = std::to_string(options.size()) + ": ";
    if (line.rfind(prefix, 0) != 0) continue;
    std::string option = line.substr(prefix.size());
    const char* temp = std::getenv("TEMP");
    size_t at = temp != nullptr && *temp != '\0' ? option.find(temp) : std::string::npos;
    if (at != std::string::npos) option.replace(at, std::strlen(temp), "<TEMP>");
    options.push_back(option);
  }
  return options;
}

class VmOptionsTest : public ::testing::TestWithParam<OptionCase> {
 protected:
  void SetUp() override {
    testing::prepareDesktop(temp_);
    testing::resetModuleState();
    jvmSession.javaLibDir = u"/opt/jre/lib";
  }

  void placeMarkers(const std::vector<Marker>& markers) {
    for (const Marker& marker : markers) {
      std::string path = testing::markerFolder(temp_) + marker.name;
      if (marker.folder) {
        std::filesystem::create_directories(path);
      } else {
        testing::writeFile(path, marker.content);
      }
    }
  }

  TempFolder temp_;
};

TEST_P(VmOptionsTest, BuildsAndLogsTheOptionTable) {
  const OptionCase& c = GetParam();
  placeMarkers(c.markers);
  jvmSession.runtimeVersion = c.runtimeVersion;
  if (c.serverHost) {
    jvmSession.headless = true;
    jvmSession.debugPort = 4412;
  }
  LogCapture log;
  createJvm();

  EXPECT_EQ(loggedOptions(log.lines()), c.options);
  EXPECT_TRUE(testing::containsInOrder(log.lines(), c.alsoLogged));
  // Without a runtime library nothing can be created.
  EXPECT_TRUE(testing::containsInOrder(log.lines(), {"*** SEVERE: Could not locate JNI_CreateJavaVM routine",
                                                     "Error while creating JVM: -1"}));
  EXPECT_EQ(jvmSession.jvmError, javaMissingMessage(1));
  EXPECT_EQ(jvmSession.vm, nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Markers, VmOptionsTest,
    ::testing::Values(
        OptionCase{"NoMarkers", {}, u"1.8", false, {kLogging, "vfprintf", kBoot, kExtDirs}, {}},
        // Java 9 and later refuse the extension folder option.
        OptionCase{"NoMarkersCurrentJava", {}, u"17", false, {kLogging, "vfprintf", kBoot}, {}},
        OptionCase{"Debug",
                   {{"debug", ""}},
                   u"1.8",
                   false,
                   {kDebug, jdwp(4410), kLogging, "vfprintf", kBoot, kExtDirs},
                   {"Enabling debugger", "Enabling Java debugger on port 4410"}},
        // A debug marker file may choose the port and make the VM wait for the debugger.
        OptionCase{"DebugMarkerSetsPortAndSuspend",
                   {{"debug", "# attach from the IDE\r\nport = 5005\r\n\r\nsuspend=y\r\n"}},
                   u"17",
                   true,
                   {kDebug, jdwp(5005, 'y'), "-Djava.awt.headless=true", kLogging, "vfprintf", kBoot},
                   {"Enabling debugger", "Enabling Java debugger on port 5005",
                    "The Java VM waits for a debugger to attach on port 5005 before the plug-in starts"}},
        OptionCase{"DebugMarkerLinesThatDoNotParseAreIgnored",
                   {{"debug", "port=70000\nsuspend=yes\nverbose\nport=4500"}},
                   u"17",
                   false,
                   {kDebug, jdwp(4500), kLogging, "vfprintf", kBoot},
                   {"Enabling debugger", "Enabling Java debugger on port 4500"}},
        OptionCase{"DebugMarkerIsAFolder",
                   {{"debug", "", true}},
                   u"17",
                   false,
                   {kDebug, jdwp(4410), kLogging, "vfprintf", kBoot},
                   {"Enabling debugger"}},
        OptionCase{"Profile",
                   {{"profile", ""}},
                   u"1.8",
                   false,
                   {"-agentlib:yjpagent", kLogging, "vfprintf", kBoot, kExtDirs},
                   {"Enabling profiler"}},
        OptionCase{"DebugAndProfile",
                   {{"debug", ""}, {"profile", ""}},
                   u"1.8",
                   false,
                   {"-agentlib:yjpagent", kLogging, "vfprintf", kBoot, kExtDirs},
                   {"Enabling debugger", "Enabling profiler"}},
        OptionCase{"HeadlessMarker",
                   {{"headless", ""}},
                   u"1.8",
                   false,
                   {"-Djava.awt.headless=true", kLogging, "vfprintf", kBoot, kExtDirs},
                   {"Forcing headless mode", "Enabling headless mode"}},
        OptionCase{"MemorySize",
                   {{"memorysize", "512"}},
                   u"1.8",
                   false,
                   {"-Xmx512m", kLogging, "vfprintf", kBoot, kExtDirs},
                   {"Found custom memory file, -Xmx512m"}},
        // The VM refuses a heap size with a line break in it; the line break is not part of the size.
        OptionCase{"MemorySizeWithLineBreak",
                   {{"memorysize", "512\n"}},
                   u"1.8",
                   false,
                   {"-Xmx512m", kLogging, "vfprintf", kBoot, kExtDirs},
                   {"Found custom memory file, -Xmx512m"}},
        OptionCase{"MemorySizeWithWindowsLineBreakAndMoreLines",
                   {{"memorysize", "1024\r\n2048\r\n"}},
                   u"17",
                   false,
                   {"-Xmx1024m", kLogging, "vfprintf", kBoot},
                   {}},
        OptionCase{"EmptyMemorySize",
                   {{"memorysize", ""}},
                   u"1.8",
                   false,
                   {kLogging, "vfprintf", kBoot, kExtDirs},
                   {}},
        OptionCase{"MemorySizeTooLong",
                   {{"memorysize", std::string(27, '1')}},
                   u"17",
                   false,
                   {kLogging, "vfprintf", kBoot},
                   {}},
        OptionCase{"ServerHostWithDebug",
                   {{"debug", ""}},
                   u"1.8",
                   true,
                   {kDebug, jdwp(4412), "-Djava.awt.headless=true", kLogging, "vfprintf", kBoot, kExtDirs},
                   {"Enabling debugger", "Enabling Java debugger on port 4412", "Enabling headless mode"}},
        OptionCase{"Everything",
                   {{"debug", ""}, {"headless", ""}, {"memorysize", "64"}},
                   u"1.6.0_45",
                   false,
                   {kDebug, jdwp(4410), "-Djava.awt.headless=true", "-Xmx64m", kLogging, "vfprintf", kBoot,
                    kExtDirs},
                   {}}),
    [](const ::testing::TestParamInfo<OptionCase>& param) { return std::string(param.param.name); });

class VmMarkerTest : public VmOptionsTest {};

TEST_F(VmMarkerTest, DebugMarkerLinesThatDoNotParseAreLoggedWithTheFile) {
  placeMarkers({{"debug", "port=70000\nsuspend=yes\nverbose\n"}});
  LogCapture log;
  const VmMarkers markers = readVmMarkers(testing::markerFolder(temp_));
  EXPECT_TRUE(markers.debug);
  EXPECT_FALSE(markers.debugPort.has_value());
  EXPECT_FALSE(markers.debugSuspend);
  const std::string tail = " of the debug marker " + testing::markerFolder(temp_) +
                           "debug: it takes port=NUMBER (1 to 65535) and suspend=y or suspend=n";
  EXPECT_TRUE(testing::containsInOrder(
      log.lines(), {"Enabling debugger", "Ignoring the line \"port=70000\"" + tail,
                    "Ignoring the line \"suspend=yes\"" + tail, "Ignoring the line \"verbose\"" + tail}));
}

TEST_F(VmMarkerTest, HeadlessMarkerStaysInForceForLaterCreations) {
  placeMarkers({{"headless", ""}});
  jvmSession.runtimeVersion = u"17";
  {
    LogCapture log;
    createJvm();
  }
  EXPECT_TRUE(jvmSession.headless);
  std::filesystem::remove(testing::markerFolder(temp_) + "headless");
  LogCapture log;
  createJvm();
  EXPECT_EQ(loggedOptions(log.lines()),
            (std::vector<std::string>{"-Djava.awt.headless=true", kLogging, "vfprintf", kBoot}));
}

TEST_F(VmMarkerTest, WithoutTheSharedFolderNoMarkerIsRead) {
  placeMarkers({{"debug", ""}, {"memorysize", "512"}});
  simdesktop::deleteRegistryValue(simdesktop::RegistryRoot::localMachine,
                                  u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                                  u"Common AppData");
  jvmSession.runtimeVersion = u"17";
  LogCapture log;
  createJvm();
  EXPECT_EQ(loggedOptions(log.lines()), (std::vector<std::string>{kLogging, "vfprintf", kBoot}));
  EXPECT_EQ(simdesktop::openRegistryHandleCount(), 0u);
}

TEST(VmOptionList, PassesTheLogHookWithTheVfprintfOption) {
  VmOptionInputs inputs;
  inputs.javaLibDir = u"/opt/jre/lib";
  inputs.runtimeVersion = u"17";
  std::optional<std::vector<VmOption>> options = buildVmOptions(inputs);
  ASSERT_TRUE(options.has_value());
  int hooks = 0;
  for (const VmOption& option : *options) {
    if (option.text == "vfprintf") {
      EXPECT_EQ(option.extraInfo, reinterpret_cast<void*>(&vmMessageHook));
      ++hooks;
    } else {
      EXPECT_EQ(option.extraInfo, nullptr) << option.text;
    }
  }
  EXPECT_EQ(hooks, 1);
}

}  // namespace
}  // namespace xplug
