// Loading a module on Windows: LoadLibraryW by its full path, as FileMaker loads a plug-in. The module
// then finds its FM_ operations in the FMWrapper.dll already loaded beside fmsim.exe.
#include <windows.h>

#include <string>
#include <vector>

#include "fmsim/host_driver.h"

namespace fmsim {
namespace {

std::wstring wideFromUtf8(const std::string& text) {
  if (text.empty()) return {};
  int needed = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring result(static_cast<size_t>(needed > 0 ? needed : 0), L'\0');
  if (needed > 0)
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), needed);
  return result;
}

std::string systemMessage(DWORD error) {
  char* text = nullptr;
  DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message =
      length > 0 && text != nullptr ? std::string(text, length) : "error " + std::to_string(error);
  if (text != nullptr) LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ')) {
    message.pop_back();
  }
  return message;
}

}  // namespace

bool HostDriver::load(const std::string& modulePath, std::string& error) {
  // A full path: the module hands its own path to Java, which binds the natives only by an absolute one.
  const std::wstring path = wideFromUtf8(modulePath);
  DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  std::wstring fullPath(needed, L'\0');
  DWORD written = needed > 0 ? GetFullPathNameW(path.c_str(), needed, fullPath.data(), nullptr) : 0;
  fullPath.resize(written > 0 && written < needed ? written : 0);
  HMODULE library = LoadLibraryW(fullPath.empty() ? path.c_str() : fullPath.c_str());
  if (library == nullptr) {
    error = "cannot load " + modulePath + ": " + systemMessage(GetLastError());
    return false;
  }
  FARPROC entry = GetProcAddress(library, "FMExternCallProc");
  if (entry == nullptr) {
    error = modulePath + " is not a plug-in module: it has no FMExternCallProc";
    return false;
  }
  library_ = library;
  entry_ = reinterpret_cast<FmxExternCallProc>(reinterpret_cast<void (*)()>(entry));
  modulePath_ = modulePath;
  return true;
}

}  // namespace fmsim
