// The simulated desktop's windows and per-thread message queues, with the semantics of the Win32 calls
// they are named after: window handles, titles, styles, parents and owners, enabled state, the
// foreground window, window procedures, and PostMessageW / GetMessageW / DispatchMessageW. Callable
// from any thread; window procedures run on the thread that dispatches or destroys, outside the
// desktop's lock, and may call back into the desktop.
//
// A window belongs to the thread that created it: its posted messages go to that thread's queue and
// only that thread may destroy it or wait for its messages. The operations Windows carries out by
// sending a message to the window's thread (GetWindowTextW, GetWindowTextLengthW, EnableWindow,
// SetParent) do the same here when called from another thread: they wait until the window's thread
// pumps (getMessage, peekMessage, or its own wait in such an operation) and run there; a window whose
// thread never pumps blocks the caller, as on Windows. When a thread ends, its windows are
// destroyed (without WM_DESTROY, since the thread can no longer run their procedures) and its queue
// goes. Handles are 32-bit values, never 0; the desktop window is always there.
#ifndef SIMDESKTOP_WINDOWS_H
#define SIMDESKTOP_WINDOWS_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "simdesktop/status.h"
#include "simdesktop/threads.h"

namespace simdesktop {

using WindowHandle = uint32_t;

// The window that top-level windows sit on (GetDesktopWindow); SetParent reports it as the previous
// parent of a window that had none.
inline constexpr WindowHandle kDesktopWindow = 0x00010010;

inline constexpr uint32_t kWsPopup = 0x80000000;
inline constexpr uint32_t kWsChild = 0x40000000;
inline constexpr uint32_t kWsVisible = 0x10000000;
inline constexpr uint32_t kWsDisabled = 0x08000000;
inline constexpr uint32_t kWsOverlappedWindow = 0x00CF0000;

inline constexpr int kGwlStyle = -16;

inline constexpr uint32_t kWmNull = 0x0000;
inline constexpr uint32_t kWmCreate = 0x0001;
inline constexpr uint32_t kWmDestroy = 0x0002;
inline constexpr uint32_t kWmClose = 0x0010;
inline constexpr uint32_t kWmQuit = 0x0012;
inline constexpr uint32_t kWmKeyDown = 0x0100;
inline constexpr uint32_t kWmKeyUp = 0x0101;
inline constexpr uint32_t kWmChar = 0x0102;
inline constexpr uint32_t kWmSysKeyDown = 0x0104;
inline constexpr uint32_t kWmSysKeyUp = 0x0105;
inline constexpr uint32_t kWmSysChar = 0x0106;
inline constexpr uint32_t kWmUser = 0x0400;

// How many posted messages a thread's queue holds before PostMessageW fails with kErrorNotEnoughQuota.
inline constexpr size_t kPostedMessageQuota = 10000;

// A window procedure: window, message, wParam, lParam; its result is what DispatchMessageW returns.
using WindowProcedure = std::function<intptr_t(WindowHandle, uint32_t, uintptr_t, intptr_t)>;

// The message record (MSG).
struct Message {
  WindowHandle window = 0;  // 0 for a thread message
  uint32_t message = 0;
  uintptr_t wParam = 0;
  intptr_t lParam = 0;
  uint32_t time = 0;  // the desktop's tick count when the message was posted
  int32_t pointX = 0;
  int32_t pointY = 0;
};

// ---- Windows (the host's side makes them; the module finds them) ---------------------------------

struct WindowOptions {
  std::u16string title;
  uint32_t style = kWsOverlappedWindow;
  // With kWsChild: the parent window (required). Otherwise: the owner window, or 0 for none.
  WindowHandle parentOrOwner = 0;
  WindowProcedure procedure;  // empty: every message is answered with 0
};
// CreateWindowExW on the calling thread. Returns 0 with kErrorInvalidWindowHandle when the parent or
// owner is not a window, and a child without a parent fails the same way.
WindowHandle createWindow(const WindowOptions& options);
// DestroyWindow: sends WM_DESTROY to the window, then to its child and owned windows, and removes
// them all. Only the creating thread may destroy a window (kErrorAccessDenied otherwise); an invalid
// handle gives kErrorInvalidWindowHandle. Messages still queued for the windows are dropped.
bool destroyWindow(WindowHandle window);
bool isWindow(WindowHandle window);
// SetWindowTextW (no message is sent). A null text is the empty title.
bool setWindowText(WindowHandle window, const char16_t* text);
// GetWindowTextW: copies at most count - 1 units of the title into buffer and terminates it; returns
// the number of units copied. 0 for an invalid window (kErrorInvalidWindowHandle, buffer terminated
// when count > 0); nothing is written when count <= 0 or buffer is null.
int getWindowText(WindowHandle window, char16_t* buffer, int count);
int getWindowTextLength(WindowHandle window);
// GetWindowLongW. Only kGwlStyle is kept; other indexes give 0 with kErrorInvalidIndex.
int32_t getWindowLong(WindowHandle window, int index);
// GetParent: the parent of a child window (or of a window placed under another with SetParent), the
// owner of an owned top-level window, 0 otherwise and for an invalid window.
WindowHandle getParent(WindowHandle window);
// SetParent: places `child` under `newParent` (0 or kDesktopWindow: top level) and returns the previous
// parent, kDesktopWindow when it had none. 0 with kErrorInvalidWindowHandle when either window is
// invalid, and with kErrorInvalidParameter when the new parent is the window itself or lies under it.
// The style is left as it is, as on Windows.
WindowHandle setParent(WindowHandle child, WindowHandle newParent);
// IsChild: true when `window` lies under `parent` through parent links.
bool isChild(WindowHandle parent, WindowHandle window);
// EnableWindow: returns true when the window was disabled before the call; sets or clears kWsDisabled.
bool enableWindow(WindowHandle window, bool enable);
bool isWindowEnabled(WindowHandle window);
// GetWindowThreadProcessId: the creating thread's identifier, 0 for an invalid window. processId may
// be null.
uint32_t getWindowThreadProcessId(WindowHandle window, uint32_t* processId);
// GetForegroundWindow / SetForegroundWindow. Any thread may set it; the foreground becomes the
// window's top-level ancestor. False (and no change) for an invalid window. Destroying the foreground
// window leaves no window in front.
WindowHandle getForegroundWindow();
bool setForegroundWindow(WindowHandle window);
// Test setting: the next windows get `first` and the handles after it (skipping 0 and handles in use),
// so tests can make handles with bit 31 set.
void setNextWindowHandle(WindowHandle first);
std::size_t windowCount();  // live windows, the desktop window not counted

// ---- Message queues ------------------------------------------------------------------------------

// PostMessageW: queues the message for the window's thread (any thread may post). A window of 0 posts
// a thread message to the calling thread. False with kErrorInvalidWindowHandle for an invalid window,
// kErrorNotEnoughQuota when the queue is full.
bool postMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam);
// PostThreadMessageW: false with kErrorInvalidThreadId when no live thread has that identifier.
bool postThreadMessage(uint32_t threadId, uint32_t message, uintptr_t wParam, intptr_t lParam);
// PostQuitMessage: the calling thread's next GetMessageW that finds no other matching posted message
// retrieves WM_QUIT with the exit code in wParam.
void postQuitMessage(int exitCode);
// GetMessageW: waits until the calling thread's queue holds a matching message, removes it and
// copies it out. A window filter matches messages for that window and the windows under it; 0 matches
// every message of the thread, thread messages included. A range of 0, 0 matches every number.
// WM_QUIT matches any filter. Returns 0 for WM_QUIT, 1 for any other message, and -1 with
// kErrorInvalidWindowHandle when the filter is not a window of the calling thread (also when it is
// destroyed while the thread waits). A null message gives -1 with kErrorInvalidParameter.
int getMessage(Message* message, WindowHandle filter, uint32_t first, uint32_t last);
// PeekMessageW with PM_REMOVE or not: like getMessage without waiting; false when nothing matches.
bool peekMessage(Message* message, WindowHandle filter, uint32_t first, uint32_t last, bool remove);
// TranslateMessage: a WM_KEYDOWN (WM_SYSKEYDOWN) for a letter, digit or space key posts WM_CHAR
// (WM_SYSCHAR) with the lower-case character to the same window. True for the four key messages.
bool translateMessage(const Message* message);
// DispatchMessageW: calls the window's procedure and returns its result. Thread messages and
// invalid windows are not dispatched (0; kErrorInvalidWindowHandle for an invalid window).
intptr_t dispatchMessage(const Message* message);
// Messages waiting in a thread's queue (0 for an unknown thread), for tests and the host.
std::size_t queuedMessageCount(uint32_t threadId);
// Operations other threads sent to that thread's windows that wait for it to pump (0 for an unknown
// thread), for tests and the host.
std::size_t sentMessageCount(uint32_t threadId);
// Blocks until the thread with that identifier is waiting inside getMessage, so a test can order
// threads without sleeping. Returns at once when it already waits.
void waitUntilWaitingForMessage(uint32_t threadId);

// Puts windows and queues back to their start: every window but the desktop's is removed without
// messages, queues and quit requests are emptied, the foreground is cleared and the handle counter
// restarts. Called by resetDesktop.
void resetWindows();

}  // namespace simdesktop

#endif  // SIMDESKTOP_WINDOWS_H
