// The Windows backend: every platform operation is the Win32 or C runtime call it is named after. Wide
// text is UTF-16 on both sides, so wchar_t and char16_t buffers are the same units; narrow text is in
// the calling thread's ANSI code page, as the narrow Win32 and C runtime functions take it.
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <windows.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

#include "platform/platform.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide text is UTF-16");

namespace xplug::platform {
namespace {

const wchar_t* wide(const char16_t* text) {
  return reinterpret_cast<const wchar_t*>(text);
}

wchar_t* wide(char16_t* text) {
  return reinterpret_cast<wchar_t*>(text);
}

// A view is not terminated; Win32 takes terminated text.
std::wstring terminated(std::u16string_view text) {
  return std::wstring(reinterpret_cast<const wchar_t*>(text.data()), text.size());
}

template <typename Result, typename Body>
Result failingWith(Result failure, Body body) noexcept {
  try {
    return body();
  } catch (...) {
    errno = ENOMEM;
    return failure;
  }
}

// Window handles keep 32 significant bits on 64-bit Windows too; Windows gives them sign-extended, so
// a handle from Java is sign-extended from its low half before it goes back to Windows.
HWND win32Window(WindowHandle window) {
  return reinterpret_cast<HWND>(static_cast<intptr_t>(static_cast<int32_t>(window & 0xFFFFFFFFu)));
}

WindowHandle moduleWindow(HWND window) {
  return static_cast<WindowHandle>(reinterpret_cast<uintptr_t>(window) & 0xFFFFFFFFu);
}

HKEY win32Root(RegistryRoot root) {
  return root == RegistryRoot::localMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

int errnoOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    default:
      return EINVAL;
  }
}

// Owns a file handle until a C runtime descriptor takes it over.
struct FileHandleOwner {
  HANDLE handle;
  ~FileHandleOwner() {
    if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
  }
  HANDLE release() {
    HANDLE result = handle;
    handle = INVALID_HANDLE_VALUE;
    return result;
  }
};

// A plain disk file with one name: no folder, no reparse point (a symbolic link or junction), no
// second name through which someone else could read or change what is written.
bool isPlainSingleFile(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION information;
  return ::GetFileType(file) == FILE_TYPE_DISK && ::GetFileInformationByHandle(file, &information) &&
         (information.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) == 0 &&
         information.nNumberOfLinks == 1;
}

// Opens `path` without following a reparse point; folders open too, so that they can be refused.
HANDLE openNoFollow(const char* path, DWORD access, DWORD disposition) {
  return ::CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                       nullptr);
}

// Creates `path` exclusively; INVALID_HANDLE_VALUE when something is there already (with errno
// kPlantedFileError) or the creation failed.
HANDLE createNew(const char* path, DWORD access) {
  HANDLE file = openNoFollow(path, access, CREATE_NEW);
  if (file == INVALID_HANDLE_VALUE) {
    DWORD error = ::GetLastError();
    bool exists = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ||
                  (error == ERROR_ACCESS_DENIED && ::GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES);
    errno = exists ? kPlantedFileError : errnoOf(error);
  }
  return file;
}

// Hands an open file to a C runtime stream.
std::FILE* streamOf(FileHandleOwner& file, int descriptorFlags, const char* mode) {
  int descriptor = ::_open_osfhandle(reinterpret_cast<intptr_t>(file.handle), descriptorFlags);
  if (descriptor < 0) return nullptr;
  file.release();
  std::FILE* stream = ::_fdopen(descriptor, mode);
  if (!stream) {
    int error = errno;
    ::_close(descriptor);
    errno = error;
  }
  return stream;
}

}  // namespace

// ---- Environment ----

std::optional<std::u16string> getEnvironmentWide(std::u16string_view name) {
  return failingWith<std::optional<std::u16string>>(std::nullopt, [&]() -> std::optional<std::u16string> {
    std::wstring wideName = terminated(name);
    DWORD needed = ::GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
    if (needed == 0) return std::nullopt;
    // The variable may change between the two calls; read until the buffer holds all of it.
    for (;;) {
      std::u16string value(needed, u'\0');
      DWORD written = ::GetEnvironmentVariableW(wideName.c_str(), wide(value.data()), needed);
      if (written == 0) return std::u16string();
      if (written < needed) {
        value.resize(written);
        return value;
      }
      needed = written;
    }
  });
}

bool setEnvironmentWide(std::u16string_view name, std::u16string_view value) {
  return failingWith<bool>(false, [&]() -> bool {
    if (name.empty() || name.find(u'=') != std::u16string_view::npos) return false;
    return ::SetEnvironmentVariableW(terminated(name).c_str(), terminated(value).c_str()) != 0;
  });
}

// ---- Files ----

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
    std::wstring wideMode(mode, mode + std::strlen(mode));
    return ::_wfsopen(terminated(path).c_str(), wideMode.c_str(), _SH_DENYNO);
  });
}

std::FILE* createFileExclusive(const char* path) {
  if (!path) {
    errno = EINVAL;
    return nullptr;
  }
  FileHandleOwner file{createNew(path, GENERIC_WRITE)};
  if (file.handle == INVALID_HANDLE_VALUE && errno == kPlantedFileError) {
    // An earlier plain file is replaced by a new one; anything else there stays and is refused.
    {
      FileHandleOwner earlier{openNoFollow(path, FILE_READ_ATTRIBUTES, OPEN_EXISTING)};
      if (earlier.handle == INVALID_HANDLE_VALUE || !isPlainSingleFile(earlier.handle)) {
        errno = kPlantedFileError;
        return nullptr;
      }
    }
    if (!::DeleteFileA(path)) {
      errno = errnoOf(::GetLastError());
      return nullptr;
    }
    file.handle = createNew(path, GENERIC_WRITE);
  }
  if (file.handle == INVALID_HANDLE_VALUE) return nullptr;
  return streamOf(file, _O_BINARY, "wb");
}

std::FILE* openFileAppendOwn(const char* path) {
  if (!path) {
    errno = EINVAL;
    return nullptr;
  }
  constexpr DWORD kAppend = FILE_APPEND_DATA | SYNCHRONIZE;
  FileHandleOwner file{createNew(path, kAppend)};
  if (file.handle == INVALID_HANDLE_VALUE && errno == kPlantedFileError) {
    file.handle = openNoFollow(path, kAppend, OPEN_EXISTING);
    if (file.handle == INVALID_HANDLE_VALUE || !isPlainSingleFile(file.handle)) {
      errno = kPlantedFileError;
      return nullptr;
    }
  }
  if (file.handle == INVALID_HANDLE_VALUE) return nullptr;
  return streamOf(file, _O_APPEND | _O_TEXT, "a");
}

bool pathExists(const char* path) {
  return path && ::GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

bool createDirectory(std::u16string_view path) {
  return failingWith<bool>(
      false, [&]() -> bool { return ::CreateDirectoryW(terminated(path).c_str(), nullptr) != 0; });
}

bool deleteFile(std::u16string_view path) {
  return failingWith<bool>(false, [&]() -> bool { return ::DeleteFileW(terminated(path).c_str()) != 0; });
}

int lastCRuntimeError() {
  return errno;
}

bool canWriteToStream(std::FILE* stream) {
  // A process without a console (FileMaker is a GUI application) has standard streams whose
  // descriptor is negative.
  if (stream != stdout && stream != stderr) return false;
  return ::_fileno(stream) >= 0;
}

// ---- Module file and paths ----

std::optional<std::string> moduleFileName(uintptr_t instance) {
  if (instance == 0) return std::nullopt;
  char buffer[MAX_PATH];
  DWORD length = ::GetModuleFileNameA(reinterpret_cast<HMODULE>(instance), buffer, MAX_PATH);
  // A full buffer means a truncated name.
  if (length == 0 || length >= MAX_PATH) return std::nullopt;
  return std::string(buffer, length);
}

std::optional<std::string> longPathName(const std::string& path) {
  DWORD needed = ::GetLongPathNameA(path.c_str(), nullptr, 0);
  if (needed == 0) return std::nullopt;
  std::string result(needed, '\0');
  DWORD written = ::GetLongPathNameA(path.c_str(), result.data(), needed);
  if (written == 0 || written >= needed) return std::nullopt;
  result.resize(written);
  return result;
}

// ---- Dynamic loading ----

LibraryHandle loadLibrary(std::u16string_view path) {
  return failingWith<LibraryHandle>(nullptr, [&]() -> LibraryHandle {
    if (path.empty()) return nullptr;
    return reinterpret_cast<LibraryHandle>(::LoadLibraryW(terminated(path).c_str()));
  });
}

void* findSymbol(LibraryHandle library, const char* name) {
  if (!library || !name) return nullptr;
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(library), name));
}

void* findHostSymbol(const char* name) {
  HMODULE host = ::GetModuleHandleW(wide(kHostLibraryName));
  if (host == nullptr || name == nullptr) return nullptr;
  return reinterpret_cast<void*>(::GetProcAddress(host, name));
}

// ---- Registry ----

RegistryKey& RegistryKey::operator=(RegistryKey&& other) noexcept {
  if (this != &other) {
    if (handle_) ::RegCloseKey(static_cast<HKEY>(handle_));
    handle_ = other.handle_;
    other.handle_ = nullptr;
  }
  return *this;
}

RegistryKey::~RegistryKey() {
  if (handle_) ::RegCloseKey(static_cast<HKEY>(handle_));
}

namespace {

// No KEY_WOW64_ flag: each width reads the registry view of the process it runs in, as the runtime of
// that width registers itself there.
std::optional<RegistryKey> openUnder(HKEY parent, std::u16string_view path) {
  return failingWith<std::optional<RegistryKey>>(std::nullopt, [&]() -> std::optional<RegistryKey> {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(parent, terminated(path).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
      return std::nullopt;
    return RegistryKey(key);
  });
}

}  // namespace

std::optional<RegistryKey> openRegistryKey(RegistryRoot root, std::u16string_view path) {
  return openUnder(win32Root(root), path);
}

std::optional<RegistryKey> openRegistryKey(const RegistryKey& parent, std::u16string_view path) {
  if (!parent.handle()) return std::nullopt;
  return openUnder(static_cast<HKEY>(parent.handle()), path);
}

long queryRegistryValue(const RegistryKey& key, std::u16string_view name, uint32_t* type, void* data,
                        uint32_t* byteSize) {
  return failingWith<long>(ERROR_OUTOFMEMORY, [&]() -> long {
    DWORD valueType = REG_NONE;
    DWORD size = byteSize ? *byteSize : 0;
    LONG status = ::RegQueryValueExW(static_cast<HKEY>(key.handle()), terminated(name).c_str(), nullptr,
                                     &valueType, static_cast<BYTE*>(data), byteSize ? &size : nullptr);
    if (type) *type = valueType;
    if (byteSize) *byteSize = size;
    return status;
  });
}

// ---- Code pages ----

int multiByteToWideChar(uint32_t codePage, uint32_t flags, const char* text, int length, char16_t* output,
                        int capacity) {
  return ::MultiByteToWideChar(codePage, flags, text, length, wide(output), capacity);
}

int wideCharToMultiByte(uint32_t codePage, uint32_t flags, const char16_t* text, int length, char* output,
                        int capacity) {
  return ::WideCharToMultiByte(codePage, flags, wide(text), length, output, capacity, nullptr, nullptr);
}

// ---- Time ----

bool localTime(std::time_t moment, std::tm* result) {
  return result && ::localtime_s(result, &moment) == 0;
}

// ---- User interface ----

void showMessageBox(const char16_t* text, const char16_t* caption) {
  ::MessageBoxW(nullptr, wide(text), caption ? wide(caption) : nullptr, MB_OK);
}

void outputDebugString(const char16_t* text) {
  if (text) ::OutputDebugStringW(wide(text));
}

// ---- Threads ----

uint32_t getCurrentThreadId() {
  return ::GetCurrentThreadId();
}

uint32_t getLastError() {
  return ::GetLastError();
}

void setLastError(uint32_t error) {
  ::SetLastError(error);
}

// ---- Windows ----

WindowHandle getForegroundWindow() {
  return moduleWindow(::GetForegroundWindow());
}

bool setForegroundWindow(WindowHandle window) {
  return ::SetForegroundWindow(win32Window(window)) != 0;
}

WindowHandle getParent(WindowHandle window) {
  return moduleWindow(::GetParent(win32Window(window)));
}

WindowHandle setParent(WindowHandle child, WindowHandle newParent) {
  return moduleWindow(::SetParent(win32Window(child), win32Window(newParent)));
}

int getWindowText(WindowHandle window, char16_t* buffer, int count) {
  return ::GetWindowTextW(win32Window(window), wide(buffer), count);
}

bool enableWindow(WindowHandle window, bool enable) {
  return ::EnableWindow(win32Window(window), enable ? TRUE : FALSE) != 0;
}

bool isWindowEnabled(WindowHandle window) {
  return ::IsWindowEnabled(win32Window(window)) != 0;
}

uint32_t getWindowThreadId(WindowHandle window) {
  return ::GetWindowThreadProcessId(win32Window(window), nullptr);
}

int32_t getWindowLong(WindowHandle window, int index) {
  return static_cast<int32_t>(::GetWindowLongW(win32Window(window), index));
}

// ---- Message loop ----

namespace {

MSG win32Message(const WindowMessage& message) {
  MSG result{};
  result.hwnd = win32Window(message.window);
  result.message = message.message;
  result.wParam = message.wParam;
  result.lParam = message.lParam;
  result.time = message.time;
  result.pt.x = message.pointX;
  result.pt.y = message.pointY;
  return result;
}

}  // namespace

int getMessage(WindowMessage* message, WindowHandle filter, uint32_t first, uint32_t last) {
  MSG received{};
  BOOL result = ::GetMessageW(message ? &received : nullptr, win32Window(filter), first, last);
  if (result != -1 && message) {
    *message = WindowMessage{moduleWindow(received.hwnd),
                             received.message,
                             received.wParam,
                             received.lParam,
                             received.time,
                             received.pt.x,
                             received.pt.y};
  }
  return result == -1 ? -1 : (result != 0 ? 1 : 0);
}

bool postMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  return ::PostMessageW(win32Window(window), message, wParam, lParam) != 0;
}

bool translateMessage(const WindowMessage* message) {
  if (!message) return false;
  MSG translated = win32Message(*message);
  return ::TranslateMessage(&translated) != 0;
}

intptr_t dispatchMessage(const WindowMessage* message) {
  if (!message) return 0;
  MSG dispatched = win32Message(*message);
  return ::DispatchMessageW(&dispatched);
}

// ---- Global memory and clipboard ----

GlobalMemory globalAlloc(uint32_t flags, std::size_t bytes) {
  return ::GlobalAlloc(flags, bytes);
}

void* globalLock(GlobalMemory block) {
  return ::GlobalLock(block);
}

bool globalUnlock(GlobalMemory block) {
  return ::GlobalUnlock(block) != 0;
}

std::size_t globalSize(GlobalMemory block) {
  return ::GlobalSize(block);
}

GlobalMemory globalFree(GlobalMemory block) {
  return ::GlobalFree(block);
}

bool openClipboard(WindowHandle owner) {
  return ::OpenClipboard(win32Window(owner)) != 0;
}

bool closeClipboard() {
  return ::CloseClipboard() != 0;
}

bool emptyClipboard() {
  return ::EmptyClipboard() != 0;
}

int countClipboardFormats() {
  return ::CountClipboardFormats();
}

uint32_t enumClipboardFormats(uint32_t format) {
  return ::EnumClipboardFormats(format);
}

GlobalMemory getClipboardData(uint32_t format) {
  return ::GetClipboardData(format);
}

GlobalMemory setClipboardData(uint32_t format, GlobalMemory block) {
  return ::SetClipboardData(format, block);
}

}  // namespace xplug::platform
