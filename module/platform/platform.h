// The module's one door to the operating system: environment, files, dynamic loading, the module's own
// path, the registry, code pages, the message box, debugger output, threads, windows, the message loop,
// global memory and the clipboard. One backend per platform
// implements it (posix/: real POSIX for files, environment and loading, the simulated desktop for the
// rest; win32/: the real Windows calls). No other module code includes a system header for these.
// Every function may be called from any thread unless its comment says otherwise.
#ifndef XPLUG_PLATFORM_PLATFORM_H
#define XPLUG_PLATFORM_PLATFORM_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "platform_literals.h"  // from the backend folder the build chose

namespace xplug::platform {

// Windows status codes the algorithms test for; the POSIX backend reports the same numbers.
inline constexpr long kErrorSuccess = 0;
inline constexpr long kErrorFileNotFound = 2;
inline constexpr long kErrorInvalidData = 13;
inline constexpr long kErrorMoreData = 234;

// ---- Environment ----------------------------------------------------------------------------------

// The C runtime's view of a variable (getenv): narrow text in the ANSI code page, or none when unset.
std::optional<std::string> getEnvironment(const char* name);
// The wide view of a variable (GetEnvironmentVariableW): none when unset.
std::optional<std::u16string> getEnvironmentWide(std::u16string_view name);
// SetEnvironmentVariableW. Returns false when the variable could not be set.
bool setEnvironmentWide(std::u16string_view name, std::u16string_view value);

// ---- Files ----------------------------------------------------------------------------------------

// Opens a file by a narrow (ANSI) path with a C stdio mode, as fopen does.
std::FILE* openFile(const char* path, const char* mode);
// Opens a file by a wide path with a C stdio mode, shared for reading and writing with other handles.
std::FILE* openFileShared(std::u16string_view path, const char* mode);
// Creates a new file for binary writing in a folder other users may share (the temporary folder): the
// file is created exclusively and readable by this user only. An earlier file of this user's at the
// path is replaced; anything else there (another user's file, a link, a second name of a file, a
// FIFO, a folder) is left alone and refused with lastCRuntimeError() kPlantedFileError. Windows tells
// such a file by its kind and its names only: there the user's TEMP folder is the user's own.
std::FILE* createFileExclusive(const char* path);
// Opens a file in a shared folder for appending, creating it exclusively when missing; an existing one
// is used only when it is this user's own plain file, else refused with kPlantedFileError.
std::FILE* openFileAppendOwn(const char* path);
// True when a file or folder exists at a narrow (ANSI) path (GetFileAttributesA; stat on POSIX).
bool pathExists(const char* path);
// Creates one directory level; false when it could not be created (it may already exist).
bool createDirectory(std::u16string_view path);
// Deletes a file; false when it could not be deleted.
bool deleteFile(std::u16string_view path);
// The C library's error number of the calling thread.
int lastCRuntimeError();
// True when the module may write to a stream it was handed with its own C runtime's functions: the
// stream has a valid low-level descriptor, and on Windows it is also one of this runtime's own
// standard output and error streams (a Java runtime hands streams of its own C runtime, whose FILE
// records ours must never touch).
bool canWriteToStream(std::FILE* stream);

// ---- Module file and paths ------------------------------------------------------------------------

// The full path of the module file for the instance handle the host passed (GetModuleFileNameA).
std::optional<std::string> moduleFileName(uintptr_t instance);
// The long form of a path (GetLongPathNameA; realpath on POSIX); none when it cannot be formed.
std::optional<std::string> longPathName(const std::string& path);

// ---- Dynamic loading ------------------------------------------------------------------------------

using LibraryHandle = void*;
// Loads a library by its wide path (LoadLibraryW); null on failure. Libraries are never unloaded.
LibraryHandle loadLibrary(std::u16string_view path);
// Finds an export by name (GetProcAddress); null when missing or when the handle is null.
void* findSymbol(LibraryHandle library, const char* name);
// Finds an operation the host exports by name (in FMWrapper.dll on Windows, in the process's global
// symbols on POSIX); null when this host lacks it. For operations newer hosts add, which the module
// must not import by name, since a missing import would keep the module from loading at all.
void* findHostSymbol(const char* name);

// ---- Registry -------------------------------------------------------------------------------------

enum class RegistryRoot { localMachine, currentUser };

// Registry value types.
inline constexpr uint32_t kRegNone = 0;
inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegExpandSz = 2;
inline constexpr uint32_t kRegBinary = 3;
inline constexpr uint32_t kRegDword = 4;

// An open registry key; closed when the owner goes.
class RegistryKey {
 public:
  explicit RegistryKey(void* handle) : handle_(handle) {}
  RegistryKey(RegistryKey&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
  RegistryKey& operator=(RegistryKey&& other) noexcept;
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;
  ~RegistryKey();
  void* handle() const { return handle_; }

 private:
  void* handle_;
};

// RegOpenKeyExW with read access, under a root or under an open key. None on failure.
std::optional<RegistryKey> openRegistryKey(RegistryRoot root, std::u16string_view path);
std::optional<RegistryKey> openRegistryKey(const RegistryKey& parent, std::u16string_view path);
// RegQueryValueExW: on entry *byteSize is the capacity of `data` in bytes (data may be null to ask for
// the size); on return it holds the value's size. Returns kErrorSuccess, kErrorFileNotFound or
// kErrorMoreData (value larger than the capacity; *byteSize then holds the needed size).
long queryRegistryValue(const RegistryKey& key, std::u16string_view name, uint32_t* type, void* data,
                        uint32_t* byteSize);

// A registry string value as the module reads one: queried into a buffer of `capacity` UTF-16 units;
// only REG_SZ and REG_EXPAND_SZ (not expanded) are accepted, other types give kErrorInvalidData, as do
// an odd byte size and a last unit that is not zero; zero bytes read as the empty text. Failures of
// the query itself (kErrorFileNotFound, kErrorMoreData for a value longer than the buffer) are passed
// on. On success `text` holds the value up to its first zero unit and `length` the units read,
// terminator included.
struct RegistryString {
  long status = kErrorFileNotFound;
  std::u16string text;
  uint32_t length = 0;
};
RegistryString readRegistryString(const RegistryKey& key, std::u16string_view name, uint32_t capacity);

// ---- Code pages -----------------------------------------------------------------------------------

// The pseudo code page that names the calling thread's ANSI code page.
inline constexpr uint32_t kThreadAnsiCodePage = 3;
// MultiByteToWideChar and WideCharToMultiByte with their Windows semantics: a length of -1 converts up
// to and including the terminator; an output capacity of 0 asks for the needed size; the result is the
// number of units written (or needed), 0 on failure. Characters the code page lacks become its default
// character.
int multiByteToWideChar(uint32_t codePage, uint32_t flags, const char* text, int length, char16_t* output,
                        int capacity);
int wideCharToMultiByte(uint32_t codePage, uint32_t flags, const char16_t* text, int length, char* output,
                        int capacity);

// ---- Time ---------------------------------------------------------------------------------------

// The local time of a moment (localtime_r / localtime_s); false when it cannot be represented.
bool localTime(std::time_t moment, std::tm* result);

// ---- User interface -------------------------------------------------------------------------------

// A modal message box with one OK button and no owner window; a null caption means the system's
// default caption.
void showMessageBox(const char16_t* text, const char16_t* caption);
// OutputDebugStringW.
void outputDebugString(const char16_t* text);

// ---- Threads --------------------------------------------------------------------------------------

// GetCurrentThreadId: the calling thread's 32-bit identifier.
uint32_t getCurrentThreadId();
// GetLastError / SetLastError of the calling thread. The window, message and clipboard calls below
// report their failures here, with the numbers Windows uses.
uint32_t getLastError();
void setLastError(uint32_t error);

inline constexpr uint32_t kErrorInvalidWindowHandle = 1400;

// ---- Windows --------------------------------------------------------------------------------------
// A window handle (HWND) is a 32-bit value carried in a uintptr_t: functions that return one give it
// zero-extended, functions that take one read its low 32 bits only. 0 is no window.

using WindowHandle = uintptr_t;

inline constexpr int kGwlStyle = -16;
inline constexpr uint32_t kWsChild = 0x40000000;

// GetForegroundWindow: the window in front, 0 when none.
WindowHandle getForegroundWindow();
// SetForegroundWindow: true when the window was brought to the front.
bool setForegroundWindow(WindowHandle window);
// GetParent: the parent of a child window, the owner of an owned top-level window, 0 otherwise.
WindowHandle getParent(WindowHandle window);
// SetParent: the previous parent (the desktop window when there was none); 0 on failure, with the
// reason in getLastError().
WindowHandle setParent(WindowHandle child, WindowHandle newParent);
// GetWindowTextW: copies at most count - 1 units of the title and terminates the buffer; returns the
// units copied (0 for no title or an invalid window).
int getWindowText(WindowHandle window, char16_t* buffer, int count);
// EnableWindow: true when the window was disabled before the call.
bool enableWindow(WindowHandle window, bool enable);
bool isWindowEnabled(WindowHandle window);
// GetWindowThreadProcessId without the process: the creating thread, 0 for an invalid window.
uint32_t getWindowThreadId(WindowHandle window);
// GetWindowLongW: the value at `index` (kGwlStyle: the style, whose kWsChild bit marks a child
// window); 0 for an invalid window.
int32_t getWindowLong(WindowHandle window, int index);

// ---- Message loop ---------------------------------------------------------------------------------
// Called on the thread whose queue is served.

inline constexpr uint32_t kWmNull = 0x0000;
inline constexpr uint32_t kWmDestroy = 0x0002;
inline constexpr uint32_t kWmQuit = 0x0012;

// The message record (MSG) as getMessage fills it and translateMessage and dispatchMessage take it.
struct WindowMessage {
  WindowHandle window = 0;
  uint32_t message = 0;
  uintptr_t wParam = 0;
  intptr_t lParam = 0;
  uint32_t time = 0;
  int32_t pointX = 0;
  int32_t pointY = 0;
};

// GetMessageW: waits for the next message of the calling thread for `filter` and the windows under it
// (0: every message of the thread, thread messages included), in the range first..last (0, 0: all).
// Returns 1 for a message, 0 for WM_QUIT, -1 on error (an invalid filter window: getLastError() gives
// kErrorInvalidWindowHandle).
int getMessage(WindowMessage* message, WindowHandle filter, uint32_t first, uint32_t last);
// PostMessageW: queues the message for the window's thread and returns at once; any thread may post.
// False for an invalid window or a full queue, with the reason in getLastError().
bool postMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam);
// TranslateMessage: posts the character messages of a key message.
bool translateMessage(const WindowMessage* message);
// DispatchMessageW: runs the window's procedure for the message and returns its result; thread
// messages are not dispatched.
intptr_t dispatchMessage(const WindowMessage* message);

// ---- Global memory and clipboard ------------------------------------------------------------------

// A global memory handle (HGLOBAL); null is none.
using GlobalMemory = void*;

inline constexpr uint32_t kGmemMoveable = 0x0002;

inline constexpr uint32_t kCfText = 1;
inline constexpr uint32_t kCfOemText = 7;
inline constexpr uint32_t kCfUnicodeText = 13;
inline constexpr uint32_t kCfLocale = 16;

// GlobalAlloc: null on failure.
GlobalMemory globalAlloc(uint32_t flags, std::size_t bytes);
// GlobalLock: the block's bytes; null on failure and for a block of 0 bytes.
void* globalLock(GlobalMemory block);
// GlobalUnlock: true while the block stays locked.
bool globalUnlock(GlobalMemory block);
// GlobalSize: the block's size in bytes, 0 for an invalid handle.
std::size_t globalSize(GlobalMemory block);
// GlobalFree: null on success, the handle on failure.
GlobalMemory globalFree(GlobalMemory block);

// OpenClipboard with an owner window or 0; false while another holder has it open.
bool openClipboard(WindowHandle owner);
bool closeClipboard();
// EmptyClipboard: needs the clipboard open.
bool emptyClipboard();
// CountClipboardFormats: the formats on the clipboard, synthesised text formats included.
int countClipboardFormats();
// EnumClipboardFormats: the format after `format` (0 starts); 0 at the end or on failure.
uint32_t enumClipboardFormats(uint32_t format);
// GetClipboardData: the format's block, which the clipboard keeps owning; null when absent.
GlobalMemory getClipboardData(uint32_t format);
// SetClipboardData: hands the block to the clipboard and returns it; on failure returns null and the
// caller still owns (and must free) the block.
GlobalMemory setClipboardData(uint32_t format, GlobalMemory block);

}  // namespace xplug::platform

#endif  // XPLUG_PLATFORM_PLATFORM_H
