// The simulated desktop's global memory blocks (GlobalAlloc and friends) and its clipboard, with the
// semantics of the Win32 calls they are named after, including the text formats Windows synthesises
// (CF_TEXT, CF_OEMTEXT and CF_UNICODETEXT from one another, and CF_LOCALE). Callable from any thread;
// one thread at a time holds the clipboard open.
#ifndef SIMDESKTOP_CLIPBOARD_H
#define SIMDESKTOP_CLIPBOARD_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "simdesktop/status.h"
#include "simdesktop/windows.h"

namespace simdesktop {

// ---- Global memory -------------------------------------------------------------------------------

// An HGLOBAL: an opaque value, never an address; null is no block.
using GlobalMemory = void*;

inline constexpr uint32_t kGmemFixed = 0x0000;
inline constexpr uint32_t kGmemMoveable = 0x0002;
inline constexpr uint32_t kGmemZeroInit = 0x0040;

// GlobalAlloc: a block of exactly `bytes` bytes (zeroed; Windows gives no such promise without
// kGmemZeroInit). A movable block of 0 bytes is, as on Windows, a discarded block: it has a handle and
// a size of 0, and GlobalLock gives null for it. Null with kErrorNotEnoughMemory on failure (see
// failNextGlobalAllocs).
GlobalMemory globalAlloc(uint32_t flags, std::size_t bytes);
// GlobalLock: the block's bytes, or null for an invalid handle (kErrorInvalidHandle) or a block of 0
// bytes. Counts locks.
void* globalLock(GlobalMemory block);
// GlobalUnlock: true while the block stays locked; false when this was the last lock (last error
// kErrorSuccess), when it was not locked (kErrorNotLocked) or for an invalid handle.
bool globalUnlock(GlobalMemory block);
// GlobalSize: the block's size in bytes, 0 for an invalid handle.
std::size_t globalSize(GlobalMemory block);
// GlobalFree: null on success, the handle itself on failure (an invalid handle, or a block the
// clipboard owns, kErrorInvalidHandle).
GlobalMemory globalFree(GlobalMemory block);
// Test setting: the next `count` calls of globalAlloc fail.
void failNextGlobalAllocs(int count);
// Blocks allocated and not yet freed, those the clipboard owns included.
std::size_t liveGlobalMemoryCount();

// ---- Clipboard -----------------------------------------------------------------------------------

inline constexpr uint32_t kCfText = 1;
inline constexpr uint32_t kCfBitmap = 2;
inline constexpr uint32_t kCfOemText = 7;
inline constexpr uint32_t kCfUnicodeText = 13;
inline constexpr uint32_t kCfLocale = 16;
// The locale the desktop stamps on text it synthesises (English, United States), whose ANSI page is
// Windows-1252. The OEM text format uses the same page here.
inline constexpr uint32_t kClipboardLocale = 0x0409;

// OpenClipboard: opens it for the calling thread, with an owner window or 0. False with
// kErrorAccessDenied while another thread holds it; true again for the thread that holds it. A thread
// that ends while holding it open closes it.
bool openClipboard(WindowHandle owner);
// CloseClipboard: false with kErrorClipboardNotOpen when the calling thread does not hold it.
bool closeClipboard();
// EmptyClipboard: frees every block on it. Needs the clipboard open by the caller
// (kErrorClipboardNotOpen).
bool emptyClipboard();
// SetClipboardData: puts the block on the clipboard under `format`, replacing (and freeing) what that
// format held. On success the clipboard owns the block and returns it; on failure (clipboard not open
// by the caller, a null or invalid handle, format 0) it returns null and the caller still owns it.
GlobalMemory setClipboardData(uint32_t format, GlobalMemory block);
// GetClipboardData: the format's block, made on request for a synthesised text format; the clipboard
// keeps owning it. Null when the format is absent, or with kErrorClipboardNotOpen when the caller does
// not hold the clipboard open.
GlobalMemory getClipboardData(uint32_t format);
// CountClipboardFormats: the formats set plus those synthesised from them. Needs no open clipboard.
int countClipboardFormats();
// EnumClipboardFormats: the format after `format` (0 starts), in the order set followed by the
// synthesised ones; 0 at the end with kErrorSuccess, or with kErrorClipboardNotOpen when the caller
// does not hold the clipboard open.
uint32_t enumClipboardFormats(uint32_t format);
// IsClipboardFormatAvailable.
bool isClipboardFormatAvailable(uint32_t format);
// GetClipboardOwner: the window that opened the clipboard when it was last emptied, 0 for none.
WindowHandle getClipboardOwner();
// The thread holding the clipboard open, 0 when none; for tests and the host.
uint32_t clipboardHolderThreadId();

// Puts the clipboard and global memory back to their start: the clipboard closed and empty, every
// block freed, the allocation failures cleared. Called by resetDesktop.
void resetClipboard();

}  // namespace simdesktop

#endif  // SIMDESKTOP_CLIPBOARD_H
