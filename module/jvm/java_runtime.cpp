#include "jvm/java_runtime.h"

#include <utility>

#include "jvm/jvm_session.h"
#include "log/plugin_log.h"

namespace xplug {

namespace {

void failDiscovery(int errorNumber) {
  jvmSession.jvmError = javaMissingMessage(errorNumber);
  logMessage("%s\n", jvmSession.jvmError);
}

}  // namespace

std::optional<std::u16string> readRegistryText(const platform::RegistryKey& key, std::u16string_view name) {
  platform::RegistryString value = platform::readRegistryString(key, name, kRegistryTextCapacity);
  if (value.status != platform::kErrorSuccess) return std::nullopt;
  return std::move(value.text);
}

std::u16string readPathVariable() {
  std::u16string path = platform::getEnvironmentWide(u"PATH").value_or(std::u16string());
  std::size_t end = path.find(u'\0');
  if (end != std::u16string::npos) path.resize(end);
  return path;
}

void locateJavaRuntime() {
  std::u16string path = readPathVariable();

  // The first runtime key that opens is the one read; error 2 means that none of them is there.
  std::optional<platform::RegistryKey> runtimeKey;
  for (const char16_t* keyPath : platform::kJavaRuntimeKeys) {
    runtimeKey = platform::openRegistryKey(platform::RegistryRoot::localMachine, keyPath);
    if (runtimeKey) break;
  }
  if (!runtimeKey) return failDiscovery(2);

  std::optional<std::u16string> currentVersion = readRegistryText(*runtimeKey, u"CurrentVersion");
  if (!currentVersion) return failDiscovery(3);
  std::optional<platform::RegistryKey> versionKey = platform::openRegistryKey(*runtimeKey, *currentVersion);
  if (!versionKey) return failDiscovery(4);
  jvmSession.runtimeVersion = *currentVersion;

  std::optional<std::u16string> homeValue = readRegistryText(*versionKey, u"JavaHome");
  if (!homeValue) return failDiscovery(5);
  std::u16string javaHome = *homeValue;
  if (javaHome.empty() || javaHome.back() != platform::kPathSeparatorWide) {
    javaHome += platform::kPathSeparatorWide;
  }
  jvmSession.javaLibDir = javaHome + u"lib";
  std::u16string binFolder = javaHome + u"bin";

  std::optional<std::u16string> libValue = readRegistryText(*versionKey, u"RuntimeLib");
  if (!libValue) return failDiscovery(6);
  const std::u16string& runtimeLib = *libValue;
  std::size_t lastSeparator = runtimeLib.rfind(platform::kPathSeparatorWide);
  if (lastSeparator == std::u16string::npos) return failDiscovery(7);
  std::u16string runtimeFolder = runtimeLib.substr(0, lastSeparator);

  // An empty element in a POSIX PATH names the current folder, so an empty PATH gets no leading
  // separator.
  if (!path.empty() && path.back() != platform::kPathListSeparator) path += platform::kPathListSeparator;
  path += binFolder;
  path += platform::kPathListSeparator;
  path += runtimeFolder;
  if (!platform::setEnvironmentWide(u"PATH", path)) {
    logMessage("Could not extend PATH with the Java runtime's folders\n");
  }

  jvmSession.runtimeLibrary = platform::loadLibrary(runtimeLib);
  jvmSession.entryPoints = findRuntimeEntryPoints(jvmSession.runtimeLibrary);
  if (jvmSession.runtimeLibrary == nullptr) return failDiscovery(8);
  logMessage("Found JVM dll at %s\n", logText(runtimeLib).c_str());
  if (jvmSession.entryPoints.createJavaVM == nullptr || jvmSession.entryPoints.getCreatedJavaVMs == nullptr) {
    logMessage("The runtime library %s lacks the Java invocation functions\n", logText(runtimeLib).c_str());
  }
}

}  // namespace xplug
