#include "archive/attached_jar.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>
#include <vector>

#include "log/plugin_log.h"
#include "platform/platform.h"
#include "session/host_session.h"

namespace xplug {

std::string modulePath;
char jarPath[260] = {};
bool jarWritten = false;

namespace {

constexpr size_t kJarPathCapacity = sizeof jarPath;
// Blocks this large let the C library hand each read and write straight to the system; small blocks go
// through the stream buffers, copy every byte twice and cost a system call per 4 KiB.
constexpr size_t kCopyBlockSize = 128 * 1024;
constexpr char kJarExtension[] = ".jar";

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using OwnedFile = std::unique_ptr<std::FILE, FileCloser>;

// The copy's path: the temporary folder, a separator, and the module's file name with its extension
// replaced by ".jar". The extension is looked for in the file name alone, so that a name without one
// is refused rather than cutting into the folder part and writing somewhere else.
std::optional<std::string> copyPathFor(const std::string& module, const std::string& folder) {
  const size_t separator = module.rfind(platform::kPathSeparator);
  if (separator == std::string::npos) return std::nullopt;
  const std::string fileName = module.substr(separator + 1);
  const size_t dot = fileName.rfind('.');
  if (dot == std::string::npos) return std::nullopt;
  return folder + platform::kPathSeparator + fileName.substr(0, dot) + kJarExtension;
}

// Copies from the current position of `from` to its end; false when a read or a write failed.
bool copyToEnd(std::FILE* from, std::FILE* to) {
  // On the heap: the host's threads may have small stacks.
  std::vector<char> block(kCopyBlockSize);
  size_t got = 0;
  do {
    got = std::fread(block.data(), 1, block.size(), from);
    if (got > 0 && std::fwrite(block.data(), 1, got, to) != got) return false;
  } while (got == block.size());
  return std::ferror(from) == 0;
}

int writeAttachedJarFileOrThrow() {
  const ExternCallRecord* record = currentCallRecord.load();
  if (record == nullptr) return 0;
  std::optional<std::string> moduleName = platform::moduleFileName(record->instanceID);
  if (!moduleName || moduleName->empty()) {
    logMessage("writeAttachedJarFile: the module's own file name cannot be found\n");
    return 0;
  }
  if (moduleName->size() >= kJarPathCapacity) {
    logMessage("writeAttachedJarFile: module path is longer than %u bytes: %s\n",
               static_cast<unsigned>(kJarPathCapacity - 1), moduleName->c_str());
    return 0;
  }
  modulePath = *moduleName;

  const std::optional<std::string> copyPath = copyPathFor(modulePath, temporaryFolder());
  if (!copyPath) {
    logMessage("writeAttachedJarFile: the module file name has no extension to replace with .jar: %s\n",
               modulePath.c_str());
    return 0;
  }
  if (copyPath->size() >= kJarPathCapacity) {
    logMessage("writeAttachedJarFile: jar path is longer than %u bytes: %s\n",
               static_cast<unsigned>(kJarPathCapacity - 1), copyPath->c_str());
    return 0;
  }
  std::memcpy(jarPath, copyPath->c_str(), copyPath->size() + 1);

  logMessage("writeAttachedJarFile(): writing jar %s\n", jarPath);
  OwnedFile module(platform::openFile(modulePath.c_str(), "rb"));
  if (!module) {
    logMessage("writeAttachedJarFile: failed to open %s\n", modulePath.c_str());
    return 0;
  }
  // The temporary folder may be shared: a file someone else put at the copy's path is never written
  // through, nor loaded as the plug-in.
  OwnedFile copy(platform::createFileExclusive(jarPath));
  if (!copy) {
    if (platform::lastCRuntimeError() == platform::kPlantedFileError) {
      logMessage(
          "writeAttachedJarFile: %s is already there and is not this user's own file; the plug-in is "
          "not started from it. Delete it, or set TEMP to a folder of your own\n",
          jarPath);
    } else {
      logMessage("writeAttachedJarFile: failed to open %s\n", jarPath);
    }
    return 0;
  }
  if (std::fseek(module.get(), attachedJarOffset, SEEK_SET) != 0) {
    logMessage("writeAttachedJarFile: fseek failed\n");
    return 0;
  }
  // A copy that was cut short would be read later as a damaged archive; report it here instead.
  const bool copied = copyToEnd(module.get(), copy.get());
  const bool closed = std::fclose(copy.release()) == 0;
  if (!copied || !closed) {
    logMessage("writeAttachedJarFile: failed to copy the jar from %s to %s\n", modulePath.c_str(), jarPath);
    return 0;
  }
  jarWritten = true;
  return 1;
}

}  // namespace

// An unset or empty TEMP would otherwise put the copy at the root of the file system, so both fall back
// to the platform's temporary folder.
std::string temporaryFolder() {
  std::optional<std::string> temp = platform::getEnvironment("TEMP");
  if (!temp || temp->empty()) return platform::kTempFallback;
  return *temp;
}

int writeAttachedJarFile() {
  try {
    return writeAttachedJarFileOrThrow();
  } catch (const std::exception& error) {
    logMessage("writeAttachedJarFile: %s\n", error.what());
    return 0;
  }
}

}  // namespace xplug
