// Loading a module on POSIX: dlopen by its absolute path.
#include <dlfcn.h>

#include <filesystem>
#include <string>

#include "fmsim/host_driver.h"

namespace fmsim {

bool HostDriver::load(const std::string& modulePath, std::string& error) {
  // FileMaker loads a plug-in by its full path, and the module hands its own path to Java, which binds
  // the natives only by an absolute one. A bare file name would also be looked up on the library
  // search path instead of in the current folder.
  std::error_code ignored;
  std::filesystem::path absolutePath = std::filesystem::absolute(modulePath, ignored);
  const std::string openedPath = absolutePath.empty() ? modulePath : absolutePath.lexically_normal().string();
  void* library = dlopen(openedPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    const char* reason = dlerror();
    error = "cannot load " + modulePath + ": " + (reason != nullptr ? reason : "unknown error");
    return false;
  }
  void* entry = dlsym(library, "FMExternCallProc");
  if (entry == nullptr) {
    error = modulePath + " is not a plug-in module: it has no FMExternCallProc";
    return false;
  }
  library_ = library;
  entry_ = reinterpret_cast<FmxExternCallProc>(entry);
  modulePath_ = modulePath;
  return true;
}

}  // namespace fmsim
