// The simulated Windows code pages: each thread's ANSI code page and MultiByteToWideChar /
// WideCharToMultiByte with their Windows semantics for Windows-1252, UTF-8 and CP_THREAD_ACP. Callable
// from any thread; the ANSI code page is a per-thread setting, like the thread locale's on Windows.
//
// Semantics kept from Windows: a length of -1 converts up to and including the terminating zero (and
// counts it); a length of 0 or below -1 is an invalid parameter; an output capacity of 0 asks for the
// needed size; a capacity too small writes what fits and fails with kErrorInsufficientBuffer. The
// result is the number of units written (or needed), 0 on failure, and lastConversionError() tells why.
// Windows-1252 maps its five unassigned bytes (0x81 0x8D 0x8F 0x90 0x9D) to the C1 controls of the same
// number and back. A character a single-byte page lacks becomes the default character ('?' unless one
// is given); no "best fit" look-alikes are substituted. UTF-8 input that is not well formed becomes
// U+FFFD (or fails with kErrorNoUnicodeTranslation under kMbErrInvalidChars); a lone surrogate becomes
// U+FFFD on output (or fails under kWcErrInvalidChars).
#ifndef SIMDESKTOP_CODE_PAGES_H
#define SIMDESKTOP_CODE_PAGES_H

#include <cstdint>
#include <string>
#include <string_view>

#include "simdesktop/status.h"

namespace simdesktop {

inline constexpr uint32_t kCodePageAnsi = 0;  // CP_ACP: the system's page, Windows-1252 here
inline constexpr uint32_t kCodePageThreadAnsi = 3;
inline constexpr uint32_t kCodePageWindows1252 = 1252;
inline constexpr uint32_t kCodePageUtf8 = 65001;

inline constexpr uint32_t kMbPrecomposed = 0x01;
inline constexpr uint32_t kMbErrInvalidChars = 0x08;
inline constexpr uint32_t kWcErrInvalidChars = 0x80;
inline constexpr uint32_t kWcNoBestFitChars = 0x400;

// The calling thread's ANSI code page (Windows-1252 until set).
uint32_t threadAnsiCodePage();
// Sets it for the calling thread; false (and nothing changed) for a page the desktop does not know.
bool setThreadAnsiCodePage(uint32_t codePage);
// True for the pages the converters know (0, 3, 1252, 65001).
bool isSupportedCodePage(uint32_t codePage);

int multiByteToWideChar(uint32_t codePage, uint32_t flags, const char* text, int length, char16_t* output,
                        int capacity);
// defaultChar (the first byte is used) and usedDefaultChar may be null; both must be null for UTF-8.
int wideCharToMultiByte(uint32_t codePage, uint32_t flags, const char16_t* text, int length, char* output,
                        int capacity, const char* defaultChar = nullptr, bool* usedDefaultChar = nullptr);
// The error of the calling thread's latest conversion (kErrorSuccess after a successful one). A failure
// also becomes the thread's last error (getLastError), which success leaves alone, as on Windows.
long lastConversionError();

// Whole-text conversions between UTF-8 and UTF-16 for the host's own use (printing, file names);
// ill-formed input becomes U+FFFD.
std::string utf8FromUtf16(std::u16string_view text);
std::u16string utf16FromUtf8(std::string_view text);

}  // namespace simdesktop

#endif  // SIMDESKTOP_CODE_PAGES_H
