// The module's own text conversions: UTF-8 into a caller's UTF-16 buffer, and between UTF-16 and the
// calling thread's ANSI code page. Reentrant, no shared state, any thread.
#ifndef XPLUG_TEXT_STRING_CONVERSIONS_H
#define XPLUG_TEXT_STRING_CONVERSIONS_H

#include <cstdint>
#include <optional>
#include <string>

namespace xplug {

enum Utf8Status : int { utf8Ok = 0, utf8Truncated = 1, utf8OutputFull = 2, utf8Illegal = 3 };

// Converts bytes [input, inputEnd) into units [output, outputEnd); both cursors are left where the
// conversion stopped. Writes no terminator.
Utf8Status utf8ToUtf16(const unsigned char*& input, const unsigned char* inputEnd, char16_t*& output,
                       char16_t* outputEnd);
// Converts a zero-terminated UTF-8 text into a buffer of capacity + 1 units (text and terminator);
// failures are logged, the converted prefix is always terminated.
void copyUtf8ToHost(const char* text, char16_t* buffer, uint32_t capacity);
// Between the thread's ANSI code page and UTF-16; none on a null input, an oversized input or a failed
// conversion.
std::optional<std::u16string> ansiToWide(const char* text);
std::optional<std::string> wideToAnsi(const char16_t* text);
// A narrow file path as the platform gives one (platform::kNarrowPathCodePage) in UTF-16, and in UTF-8
// for Java; none on a null input or a failed conversion.
std::optional<std::u16string> narrowPathToWide(const char* path);
std::optional<std::string> narrowPathToUtf8(const char* path);

}  // namespace xplug

#endif  // XPLUG_TEXT_STRING_CONVERSIONS_H
