#include "fmsim/desktop_setup.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "simdesktop/code_pages.h"
#include "simdesktop/registry.h"

namespace fmsim {
namespace {

namespace fs = std::filesystem;

std::u16string wide(const std::string& text) {
  return simdesktop::utf16FromUtf8(text);
}

// The major version from the runtime's "release" file (JAVA_VERSION="17.0.15"); Java 8 and older
// number themselves 1.x and keep that form, as their registry entries do.
std::string runtimeVersion(const fs::path& home) {
  std::ifstream release(home / "release");
  std::string line;
  while (std::getline(release, line)) {
    const std::string key = "JAVA_VERSION=\"";
    if (line.rfind(key, 0) != 0) continue;
    std::string version = line.substr(key.size());
    version = version.substr(0, version.find('"'));
    if (version.rfind("1.", 0) == 0) return version.substr(0, version.find('.', 2));
    return version.substr(0, version.find('.'));
  }
  return "17";
}

}  // namespace

std::optional<std::string> defaultJavaHome() {
  std::error_code ignored;
#ifdef FMSIM_BUILD_JAVA_HOME
  if (fs::exists(fs::path(FMSIM_BUILD_JAVA_HOME) / "lib/server/libjvm.so", ignored))
    return FMSIM_BUILD_JAVA_HOME;
#endif
  if (const char* home = std::getenv("JAVA_HOME"); home != nullptr && *home != '\0') return std::string(home);
  const char* path = std::getenv("PATH");
  std::string list = path != nullptr ? path : "";
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(':', start);
    if (end == std::string::npos) end = list.size();
    fs::path java = fs::path(list.substr(start, end - start)) / "java";
    if (!java.parent_path().empty() && fs::exists(java, ignored)) {
      fs::path real = fs::canonical(java, ignored);
      if (!ignored) return real.parent_path().parent_path().string();
    }
    start = end + 1;
  }
  return std::nullopt;
}

bool registerJavaRuntime(const std::string& javaHome, std::string& error) {
  const fs::path home(javaHome);
  const fs::path library = home / "lib" / "server" / "libjvm.so";
  std::error_code ignored;
  if (!fs::exists(library, ignored)) {
    error = "no Java runtime at " + javaHome + " (" + library.string() + " is missing)";
    return false;
  }
  const std::string version = runtimeVersion(home);
  const std::u16string versionKey = std::u16string(kJavaRuntimeKey) + u"\\" + wide(version);
  simdesktop::setRegistryString(simdesktop::RegistryRoot::localMachine, kJavaRuntimeKey, u"CurrentVersion",
                                wide(version));
  simdesktop::setRegistryString(simdesktop::RegistryRoot::localMachine, versionKey, u"JavaHome",
                                wide(javaHome));
  simdesktop::setRegistryString(simdesktop::RegistryRoot::localMachine, versionKey, u"RuntimeLib",
                                wide(library.string()));
  return true;
}

void registerDocumentsFolder(const std::string& folder) {
  std::error_code ignored;
  fs::create_directories(folder, ignored);
  simdesktop::setRegistryString(simdesktop::RegistryRoot::currentUser, kShellFoldersKey, u"Personal",
                                wide(folder));
}

void registerCommonAppData(const std::string& folder) {
  simdesktop::setRegistryString(simdesktop::RegistryRoot::localMachine, kShellFoldersKey, u"Common AppData",
                                wide(folder));
}

std::string userDocumentsFolder() {
  if (const char* documents = std::getenv("XDG_DOCUMENTS_DIR"); documents != nullptr && *documents != '\0') {
    return documents;
  }
  const char* home = std::getenv("HOME");
  return (fs::path(home != nullptr && *home != '\0' ? home : "/tmp") / "Documents").string();
}

}  // namespace fmsim
