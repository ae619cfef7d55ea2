#include "jvm/vm_creation.h"

#include <jni.h>

#include <cinttypes>
#include <cstdio>
#include <memory>
#include <string>

#include "archive/attached_jar.h"
#include "jvm/java_runtime.h"
#include "jvm/jvm_session.h"
#include "log/plugin_log.h"
#include "platform/platform.h"
#include "text/string_conversions.h"

namespace xplug {

namespace {

constexpr char16_t kShellFoldersKey[] =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
// The narrow marker folder's limit, as the C library's conversion is given it.
constexpr std::size_t kMarkerFolderCapacity = 256;

// The marker paths are narrow ANSI text; only the platform knows how to hand such a path to the system.
bool entryExists(const std::string& path) {
  return platform::pathExists(path.c_str());
}

struct FileCloser {
  void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};

// The first line of the memorysize file, without its line break: the VM refuses "-Xmx512\nm", and the
// administrator's editor adds that line break as often as not.
std::string readMemorySize(const std::string& path) {
  std::unique_ptr<std::FILE, FileCloser> file(platform::openFile(path.c_str(), "r"));
  if (!file) return {};
  char line[64] = {};
  if (std::fgets(line, sizeof line, file.get()) == nullptr) return {};
  std::string text(line);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  if (text.size() > kMaxMemorySizeLength) {
    logMessage("Ignoring the custom memory file %s: its first line is longer than %zu characters\n",
               path.c_str(), kMaxMemorySizeLength);
    return {};
  }
  return text;
}

std::string trimmed(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

bool isVersionOneRuntime(const std::u16string& version) {
  return version.rfind(u"1.", 0) == 0;
}

}  // namespace

std::optional<std::string> vmMarkerFolder() {
  std::optional<platform::RegistryKey> key =
      platform::openRegistryKey(platform::RegistryRoot::localMachine, kShellFoldersKey);
  if (!key) return std::nullopt;
  std::optional<std::u16string> commonAppData = readRegistryText(*key, u"Common AppData");
  if (!commonAppData) return std::nullopt;
  std::u16string folder = *commonAppData;
  folder += platform::kPathSeparatorWide;
  folder += u"Kvantrel";
  folder += platform::kPathSeparatorWide;
  std::optional<std::string> narrow = wideToAnsi(folder.c_str());
  if (!narrow || narrow->size() >= kMarkerFolderCapacity) {
    logMessage("The marker folder under %s cannot be used; no marker files are read\n",
               logText(*commonAppData).c_str());
    return std::nullopt;
  }
  return narrow;
}

void readDebugSettings(const std::string& path, VmMarkers& markers) {
  std::unique_ptr<std::FILE, FileCloser> file(platform::openFile(path.c_str(), "r"));
  if (!file) return;
  char line[128] = {};
  while (std::fgets(line, sizeof line, file.get()) != nullptr) {
    const std::string text = trimmed(line);
    if (text.empty() || text[0] == '#') continue;
    const std::size_t equals = text.find('=');
    const std::string key = equals == std::string::npos ? text : trimmed(text.substr(0, equals));
    const std::string value = equals == std::string::npos ? std::string() : trimmed(text.substr(equals + 1));
    if (key == "port" && !value.empty() && value.size() <= 5 &&
        value.find_first_not_of("0123456789") == std::string::npos && std::stoi(value) >= 1 &&
        std::stoi(value) <= 65535) {
      markers.debugPort = std::stoi(value);
    } else if (key == "suspend" && (value == "y" || value == "n")) {
      markers.debugSuspend = value == "y";
    } else {
      logMessage(
          "Ignoring the line \"%s\" of the debug marker %s: it takes port=NUMBER (1 to 65535) and "
          "suspend=y or suspend=n\n",
          text.c_str(), path.c_str());
    }
  }
}

VmMarkers readVmMarkers(const std::string& markerFolder) {
  VmMarkers markers;
  if (entryExists(markerFolder + "debug")) {
    markers.debug = true;
    logMessage("Enabling debugger\n");
    readDebugSettings(markerFolder + "debug", markers);
  }
  if (entryExists(markerFolder + "profile")) {
    markers.profile = true;
    logMessage("Enabling profiler\n");
  }
  if (entryExists(markerFolder + "headless")) {
    markers.headless = true;
    logMessage("Forcing headless mode\n");
  }
  markers.memorySize = readMemorySize(markerFolder + "memorysize");
  return markers;
}

std::optional<std::vector<VmOption>> buildVmOptions(const VmOptionInputs& inputs) {
  std::vector<VmOption> options;
  // A profiler and a debugger agent cannot share the VM; the profiler wins.
  bool debug = inputs.markers.debug && !inputs.markers.profile;
  if (debug) {
    options.push_back({"-Xdebug"});
    const int port = static_cast<int>(inputs.markers.debugPort.value_or(inputs.debugPort));
    logMessage("Enabling Java debugger on port %d\n", port);
    if (inputs.markers.debugSuspend) {
      logMessage("The Java VM waits for a debugger to attach on port %d before the plug-in starts\n", port);
    }
    char agent[96];
    std::snprintf(agent, sizeof agent, "-Xrunjdwp:transport=dt_socket,address=%d,server=y,suspend=%c", port,
                  inputs.markers.debugSuspend ? 'y' : 'n');
    options.push_back({agent});
  }
  if (inputs.markers.profile) options.push_back({"-agentlib:yjpagent"});
  if (inputs.headless) {
    logMessage("Enabling headless mode\n");
    options.push_back({"-Djava.awt.headless=true"});
  }
  if (!inputs.markers.memorySize.empty()) {
    std::string memory = "-Xmx" + inputs.markers.memorySize + "m";
    logMessage("Found custom memory file, %s\n", memory.c_str());
    options.push_back({memory});
  }
  // From the plug-in's own temporary folder: a fixed path in a shared folder is one any local user could
  // fill with a configuration of their choosing.
  options.push_back({std::string("-Djava.util.logging.config.file=") + temporaryFolder() +
                     platform::kPathSeparator + platform::kLoggingConfigFileName});
  // The VM calls the hook as a JNI vfprintf hook: jint (JNICALL*)(FILE*, const char*, va_list). The
  // initialisation does not compile when the hook's type or calling convention differs.
  jint(JNICALL* const hook)(std::FILE*, const char*, va_list) = &vmMessageHook;
  options.push_back({"vfprintf", reinterpret_cast<void*>(hook)});

  const std::u16string& lib = inputs.javaLibDir;
  const char16_t sep = platform::kPathSeparatorWide;
  const char16_t list = platform::kPathListSeparator;
  std::u16string bootClassPath = u"-Xbootclasspath/a:" + lib + sep + u"deploy.jar" + list + lib + sep +
                                 u"plugin.jar" + list + lib + sep + u"javaws.jar";
  std::optional<std::string> bootOption = wideToAnsi(bootClassPath.c_str());
  if (!bootOption) {
    logMessage("The boot class path option cannot be written in the ANSI code page\n");
    return std::nullopt;
  }
  options.push_back({*bootOption});

  // Java 9 and later refuse to start with an extension folder option.
  if (isVersionOneRuntime(inputs.runtimeVersion)) {
    std::u16string extDirs = u"-Djava.ext.dirs=" + lib + sep + u"ext" + list + lib + list + lib + sep +
                             u"deploy" + list + platform::kSystemJavaExtFolder + list;
    std::optional<std::string> extOption = wideToAnsi(extDirs.c_str());
    if (!extOption) {
      logMessage("The extension folder option cannot be written in the ANSI code page\n");
      return std::nullopt;
    }
    options.push_back({*extOption});
  }
  return options;
}

void createJvm() {
  VmMarkers markers;
  if (std::optional<std::string> folder = vmMarkerFolder()) markers = readVmMarkers(*folder);
  if (markers.headless) jvmSession.headless = true;

  VmOptionInputs inputs{jvmSession.javaLibDir, jvmSession.runtimeVersion, jvmSession.headless,
                        jvmSession.debugPort, markers};
  std::optional<std::vector<VmOption>> options = buildVmOptions(inputs);

  jint result = -1;
  if (options) {
    std::vector<JavaVMOption> table(options->size());
    for (std::size_t i = 0; i < options->size(); ++i) {
      table[i].optionString = (*options)[i].text.data();
      table[i].extraInfo = (*options)[i].extraInfo;
      logMessage("%d: %s\n", static_cast<int>(i), table[i].optionString);
    }
    if (jvmSession.entryPoints.createJavaVM == nullptr) {
      logMessage("*** SEVERE: Could not locate JNI_CreateJavaVM routine\n");
    } else {
      JavaVMInitArgs arguments{};
      arguments.version = JNI_VERSION_1_4;
      arguments.nOptions = static_cast<jint>(table.size());
      arguments.options = table.data();
      arguments.ignoreUnrecognized = JNI_FALSE;
      void* environment = nullptr;
      result = jvmSession.entryPoints.createJavaVM(&jvmSession.vm, &environment, &arguments);
    }
  }
  if (result != 0) {
    logMessage("Error while creating JVM: %d\n", static_cast<int>(result));
    jvmSession.vm = nullptr;
    jvmSession.jvmError = javaMissingMessage(1);
    return;
  }
  logMessage("JVM started successfully - jvm references is %" PRIuPTR "\n",
             reinterpret_cast<uintptr_t>(jvmSession.vm));
}

}  // namespace xplug
