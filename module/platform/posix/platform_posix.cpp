// The POSIX backend: real POSIX for environment, files, loading and the module's path; the simulated
// desktop for the registry, code pages, message box, debugger output, threads, windows, the message
// loop, global memory and the clipboard. Wide text is UTF-16 and
// narrow text UTF-8 on this platform, so wide paths and names are converted to UTF-8 before use.
#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "platform/platform.h"
#include "simdesktop/clipboard.h"
#include "simdesktop/code_pages.h"
#include "simdesktop/registry.h"
#include "simdesktop/threads.h"
#include "simdesktop/user_interface.h"
#include "simdesktop/windows.h"

namespace xplug::platform {
namespace {

std::string narrowPath(std::u16string_view text) {
  return simdesktop::utf8FromUtf16(text);
}

// Platform calls report failure by value, as the system calls they stand for do; converting a path
// may run out of memory, which becomes an ordinary failure with ENOMEM.
template <typename Result, typename Body>
Result failingWith(Result failure, Body body) noexcept {
  try {
    return body();
  } catch (...) {
    errno = ENOMEM;
    return failure;
  }
}

// Window handles are 32 bits wide; as on 64-bit Windows, only the low half of a passed handle counts.
simdesktop::WindowHandle desktopWindow(WindowHandle window) {
  return static_cast<simdesktop::WindowHandle>(window & 0xFFFFFFFFu);
}

WindowHandle moduleWindow(simdesktop::WindowHandle window) {
  return static_cast<WindowHandle>(window);
}

simdesktop::Message desktopMessage(const WindowMessage& message) {
  return simdesktop::Message{desktopWindow(message.window),
                             message.message,
                             message.wParam,
                             message.lParam,
                             message.time,
                             message.pointX,
                             message.pointY};
}

simdesktop::RegistryRoot desktopRoot(RegistryRoot root) {
  return root == RegistryRoot::localMachine ? simdesktop::RegistryRoot::localMachine
                                            : simdesktop::RegistryRoot::currentUser;
}

struct DescriptorCloser {
  int fd;
  ~DescriptorCloser() {
    if (fd >= 0) ::close(fd);
  }
  int release() {
    int result = fd;
    fd = -1;
    return result;
  }
};

}  // namespace

// ---- Environment ----

std::optional<std::u16string> getEnvironmentWide(std::u16string_view name) {
  std::string narrowName = narrowPath(name);
  const char* value = std::getenv(narrowName.c_str());
  if (!value) return std::nullopt;
  return simdesktop::utf16FromUtf8(value);
}

bool setEnvironmentWide(std::u16string_view name, std::u16string_view value) {
  return failingWith<bool>(false, [&]() -> bool {
    std::string narrowName = narrowPath(name);
    if (narrowName.empty() || narrowName.find('=') != std::string::npos) return false;
    return ::setenv(narrowName.c_str(), narrowPath(value).c_str(), 1) == 0;
  });
}

// ---- Files ----
// POSIX has no text mode: "\n" is written as it stands, and every open file is shared.

std::FILE* openFile(const char* path, const char* mode) {
  if (!path || !mode) {
    errno = EINVAL;
    return nullptr;
  }
  return std::fopen(path, mode);
}

std::FILE* openFileShared(std::u16string_view path, const char* mode) {
  return failingWith<std::FILE*>(nullptr, [&]() -> std::FILE* {
    if (!mode) {
      errno = EINVAL;
      return nullptr;
    }
    return std::fopen(narrowPath(path).c_str(), mode);
  });
}

namespace {

// A file another user could have planted in a shared folder is never taken over: only a regular file
// of this user with no other name (a hard link would let its owner read or change what is written).
bool isOwnPlainFile(int descriptor) {
  struct stat status;
  return ::fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode) && status.st_uid == ::geteuid() &&
         status.st_nlink == 1;
}

// Opens an existing file without following a link and without waiting on a FIFO; -1 unless it is this
// user's own plain file, with errno EEXIST for a file that is someone else's or no plain file.
int openOwnExisting(const char* path, int flags) {
  DescriptorCloser descriptor{::open(path, flags | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK)};
  if (descriptor.fd < 0) {
    if (errno == ELOOP || errno == ENXIO || errno == EISDIR) errno = EEXIST;
    return -1;
  }
  if (!isOwnPlainFile(descriptor.fd)) {
    errno = EEXIST;
    return -1;
  }
  int statusFlags = ::fcntl(descriptor.fd, F_GETFL);
  if (statusFlags < 0 || ::fcntl(descriptor.fd, F_SETFL, statusFlags & ~O_NONBLOCK) != 0) return -1;
  return descriptor.release();
}

std::FILE* streamFor(int descriptor, const char* mode) {
  if (descriptor < 0) return nullptr;
  std::FILE* stream = ::fdopen(descriptor, mode);
  if (!stream) {
    int error = errno;
    ::close(descriptor);
    errno = error;
  }
  return stream;
}

constexpr int kCreateNew = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
constexpr mode_t kPrivateFile = 0600;

}  // namespace

std::FILE* createFileExclusive(const char* path) {
  if (!path) {
    errno = EINVAL;
    return nullptr;
  }
  int descriptor = ::open(path, kCreateNew, kPrivateFile);
  if (descriptor < 0 && errno == EEXIST) {
    // An earlier file of this user's is replaced by a new one, so that no handle to the old file
    // reaches what is written now; anything else at the path stays as it is and is refused.
    DescriptorCloser earlier{openOwnExisting(path, O_RDONLY)};
    if (earlier.fd < 0) return nullptr;
    if (::unlink(path) != 0) return nullptr;
    descriptor = ::open(path, kCreateNew, kPrivateFile);
  }
  return streamFor(descriptor, "wb");
}

std::FILE* openFileAppendOwn(const char* path) {
  if (!path) {
    errno = EINVAL;
    return nullptr;
  }
  int descriptor = ::open(path, kCreateNew | O_APPEND, kPrivateFile);
  if (descriptor < 0 && errno == EEXIST) descriptor = openOwnExisting(path, O_WRONLY | O_APPEND);
  return streamFor(descriptor, "a");
}

bool pathExists(const char* path) {
  struct stat status;
  return path && ::stat(path, &status) == 0;
}

bool createDirectory(std::u16string_view path) {
  return failingWith<bool>(false, [&]() -> bool { return ::mkdir(narrowPath(path).c_str(), 0777) == 0; });
}

bool deleteFile(std::u16string_view path) {
  return failingWith<bool>(false, [&]() -> bool { return ::unlink(narrowPath(path).c_str()) == 0; });
}

int lastCRuntimeError() {
  return errno;
}

bool canWriteToStream(std::FILE* stream) {
  return stream && ::fileno(stream) >= 0;
}

// ---- Module file and paths ----

std::optional<std::string> moduleFileName(uintptr_t instance) {
  // The host passes the module's dlopen handle; null is no module at all.
  if (instance == 0) return std::nullopt;
  struct link_map* map = nullptr;
  if (::dlinfo(reinterpret_cast<void*>(instance), RTLD_DI_LINKMAP, &map) != 0 || !map || !map->l_name ||
      map->l_name[0] == '\0') {
    return std::nullopt;
  }
  std::string path(map->l_name);
  // A host that loaded the module by a relative path gets the full path back, as Windows reports it:
  // Java binds the module's natives only through an absolute path. The loader recorded the folder the
  // module came from when it was loaded, whatever the current folder is now.
  if (path.front() != '/') {
    char origin[PATH_MAX] = {};
    if (::dlinfo(reinterpret_cast<void*>(instance), RTLD_DI_ORIGIN, origin) != 0 || origin[0] != '/') {
      return std::nullopt;
    }
    const size_t slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    path = (std::filesystem::path(origin) / name).lexically_normal().string();
  }
  return path;
}

std::optional<std::string> longPathName(const std::string& path) {
  std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr), &std::free);
  if (!resolved) return std::nullopt;
  return std::string(resolved.get());
}

// ---- Dynamic loading ----

LibraryHandle loadLibrary(std::u16string_view path) {
  return failingWith<LibraryHandle>(nullptr, [&]() -> LibraryHandle {
    if (path.empty()) return nullptr;
    return ::dlopen(narrowPath(path).c_str(), RTLD_NOW | RTLD_GLOBAL);
  });
}

void* findSymbol(LibraryHandle library, const char* name) {
  if (!library || !name) return nullptr;
  return ::dlsym(library, name);
}

void* findHostSymbol(const char* name) {
  if (name == nullptr) return nullptr;
  return ::dlsym(RTLD_DEFAULT, name);
}

// ---- Registry ----

RegistryKey& RegistryKey::operator=(RegistryKey&& other) noexcept {
  if (this != &other) {
    if (handle_) simdesktop::closeRegistryKey(handle_);
    handle_ = other.handle_;
    other.handle_ = nullptr;
  }
  return *this;
}

RegistryKey::~RegistryKey() {
  if (handle_) simdesktop::closeRegistryKey(handle_);
}

std::optional<RegistryKey> openRegistryKey(RegistryRoot root, std::u16string_view path) {
  simdesktop::RegistryHandle handle = nullptr;
  if (simdesktop::openRegistryKey(desktopRoot(root), path, &handle) != simdesktop::kErrorSuccess)
    return std::nullopt;
  return RegistryKey(handle);
}

std::optional<RegistryKey> openRegistryKey(const RegistryKey& parent, std::u16string_view path) {
  simdesktop::RegistryHandle handle = nullptr;
  if (simdesktop::openRegistrySubKey(parent.handle(), path, &handle) != simdesktop::kErrorSuccess)
    return std::nullopt;
  return RegistryKey(handle);
}

long queryRegistryValue(const RegistryKey& key, std::u16string_view name, uint32_t* type, void* data,
                        uint32_t* byteSize) {
  return simdesktop::queryRegistryValue(key.handle(), name, type, data, byteSize);
}

// ---- Code pages ----

int multiByteToWideChar(uint32_t codePage, uint32_t flags, const char* text, int length, char16_t* output,
                        int capacity) {
  return simdesktop::multiByteToWideChar(codePage, flags, text, length, output, capacity);
}

int wideCharToMultiByte(uint32_t codePage, uint32_t flags, const char16_t* text, int length, char* output,
                        int capacity) {
  return simdesktop::wideCharToMultiByte(codePage, flags, text, length, output, capacity, nullptr, nullptr);
}

// ---- Time ----

bool localTime(std::time_t moment, std::tm* result) {
  return result && ::localtime_r(&moment, result);
}

// ---- User interface ----

void showMessageBox(const char16_t* text, const char16_t* caption) {
  simdesktop::showMessageBox(text, caption);
}

void outputDebugString(const char16_t* text) {
  simdesktop::outputDebugString(text);
}

// ---- Threads ----

uint32_t getCurrentThreadId() {
  return simdesktop::currentThreadId();
}

uint32_t getLastError() {
  return simdesktop::getLastError();
}

void setLastError(uint32_t error) {
  simdesktop::setLastError(error);
}

// ---- Windows ----

WindowHandle getForegroundWindow() {
  return moduleWindow(simdesktop::getForegroundWindow());
}

bool setForegroundWindow(WindowHandle window) {
  return simdesktop::setForegroundWindow(desktopWindow(window));
}

WindowHandle getParent(WindowHandle window) {
  return moduleWindow(simdesktop::getParent(desktopWindow(window)));
}

WindowHandle setParent(WindowHandle child, WindowHandle newParent) {
  return moduleWindow(simdesktop::setParent(desktopWindow(child), desktopWindow(newParent)));
}

int getWindowText(WindowHandle window, char16_t* buffer, int count) {
  return simdesktop::getWindowText(desktopWindow(window), buffer, count);
}

bool enableWindow(WindowHandle window, bool enable) {
  return simdesktop::enableWindow(desktopWindow(window), enable);
}

bool isWindowEnabled(WindowHandle window) {
  return simdesktop::isWindowEnabled(desktopWindow(window));
}

uint32_t getWindowThreadId(WindowHandle window) {
  return simdesktop::getWindowThreadProcessId(desktopWindow(window), nullptr);
}

int32_t getWindowLong(WindowHandle window, int index) {
  return simdesktop::getWindowLong(desktopWindow(window), index);
}

// ---- Message loop ----

int getMessage(WindowMessage* message, WindowHandle filter, uint32_t first, uint32_t last) {
  if (!message) return simdesktop::getMessage(nullptr, desktopWindow(filter), first, last);
  simdesktop::Message received;
  int result = simdesktop::getMessage(&received, desktopWindow(filter), first, last);
  if (result != -1) {
    *message = WindowMessage{moduleWindow(received.window),
                             received.message,
                             received.wParam,
                             received.lParam,
                             received.time,
                             received.pointX,
                             received.pointY};
  }
  return result;
}

bool postMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  return simdesktop::postMessage(desktopWindow(window), message, wParam, lParam);
}

bool translateMessage(const WindowMessage* message) {
  if (!message) return false;
  simdesktop::Message translated = desktopMessage(*message);
  return simdesktop::translateMessage(&translated);
}

intptr_t dispatchMessage(const WindowMessage* message) {
  if (!message) return 0;
  simdesktop::Message dispatched = desktopMessage(*message);
  return simdesktop::dispatchMessage(&dispatched);
}

// ---- Global memory and clipboard ----

GlobalMemory globalAlloc(uint32_t flags, std::size_t bytes) {
  return simdesktop::globalAlloc(flags, bytes);
}

void* globalLock(GlobalMemory block) {
  return simdesktop::globalLock(block);
}

bool globalUnlock(GlobalMemory block) {
  return simdesktop::globalUnlock(block);
}

std::size_t globalSize(GlobalMemory block) {
  return simdesktop::globalSize(block);
}

GlobalMemory globalFree(GlobalMemory block) {
  return simdesktop::globalFree(block);
}

bool openClipboard(WindowHandle owner) {
  return simdesktop::openClipboard(desktopWindow(owner));
}

bool closeClipboard() {
  return simdesktop::closeClipboard();
}

bool emptyClipboard() {
  return simdesktop::emptyClipboard();
}

int countClipboardFormats() {
  return simdesktop::countClipboardFormats();
}

uint32_t enumClipboardFormats(uint32_t format) {
  return simdesktop::enumClipboardFormats(format);
}

GlobalMemory getClipboardData(uint32_t format) {
  return simdesktop::getClipboardData(format);
}

GlobalMemory setClipboardData(uint32_t format, GlobalMemory block) {
  return simdesktop::setClipboardData(format, block);
}

}  // namespace xplug::platform
