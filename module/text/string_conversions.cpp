// UTF-8 to UTF-16 by the well-formed-sequence table, and ANSI <-> UTF-16 through the platform's code
// pages in the calling thread's ANSI page.
#include "text/string_conversions.h"

#include <cstring>
#include <vector>

#include "log/plugin_log.h"
#include "platform/platform.h"

namespace xplug {
namespace {

// Lengths above this are refused before any buffer is sized from them.
constexpr size_t kMaxConvertedLength = 1073741823;  // 2^30 - 1

// Trailing bytes a lead byte announces; decides how far a sequence reaches before it is validated.
int trailingBytes(unsigned char lead) {
  if (lead < 0xC0) return 0;
  if (lead < 0xE0) return 1;
  if (lead < 0xF0) return 2;
  if (lead < 0xF8) return 3;
  if (lead < 0xFC) return 4;
  return 5;
}

// Whether the n + 1 bytes at `sequence` lie in one row of the well-formed UTF-8 table.
bool isWellFormed(const unsigned char* sequence, int trailing) {
  unsigned char lead = sequence[0];
  unsigned char secondLow = 0x80;
  unsigned char secondHigh = 0xBF;
  int expected;
  if (lead <= 0x7F) {
    expected = 0;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    expected = 1;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    expected = 2;
    if (lead == 0xE0) secondLow = 0xA0;
    if (lead == 0xED) secondHigh = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    expected = 3;
    if (lead == 0xF0) secondLow = 0x90;
    if (lead == 0xF4) secondHigh = 0x8F;
  } else {
    return false;
  }
  if (trailing != expected) return false;
  for (int i = 1; i <= trailing; ++i) {
    unsigned char low = i == 1 ? secondLow : 0x80;
    unsigned char high = i == 1 ? secondHigh : 0xBF;
    if (sequence[i] < low || sequence[i] > high) return false;
  }
  return true;
}

char32_t decode(const unsigned char* sequence, int trailing) {
  char32_t value = trailing == 0 ? sequence[0] : sequence[0] & (0x3F >> trailing);
  for (int i = 1; i <= trailing; ++i) value = value << 6 | (sequence[i] & 0x3F);
  return value;
}

}  // namespace

Utf8Status utf8ToUtf16(const unsigned char*& input, const unsigned char* inputEnd, char16_t*& output,
                       char16_t* outputEnd) {
  while (input < inputEnd) {
    int trailing = trailingBytes(*input);
    // Before validation, so a lone lead byte near the end reads as truncated rather than illegal.
    if (inputEnd - input <= trailing) return utf8Truncated;
    if (!isWellFormed(input, trailing)) return utf8Illegal;
    char32_t codePoint = decode(input, trailing);
    if (output >= outputEnd) return utf8OutputFull;
    if (codePoint <= 0xFFFF) {
      *output++ = static_cast<char16_t>(codePoint);
    } else {
      if (outputEnd - output < 2) return utf8OutputFull;
      *output++ = static_cast<char16_t>(0xD800 + ((codePoint - 0x10000) >> 10));
      *output++ = static_cast<char16_t>(0xDC00 + ((codePoint - 0x10000) & 0x3FF));
    }
    input += trailing + 1;
  }
  return utf8Ok;
}

void copyUtf8ToHost(const char* text, char16_t* buffer, uint32_t capacity) {
  if (!buffer) return;
  if (!text) {
    buffer[0] = 0;
    logMessage("Input string (%s) is not legal\n", "(null)");
    return;
  }
  const auto* start = reinterpret_cast<const unsigned char*>(text);
  const unsigned char* end = start + std::strlen(text);
  // Only the first sequence is tested up front; an empty text fails here because its one-byte
  // "sequence" (the terminator) reaches past the end.
  int trailing = trailingBytes(*start);
  if (start + trailing + 1 > end || !isWellFormed(start, trailing)) {
    logMessage("Input string (%s) is not legal\n", text);
  }
  const unsigned char* input = start;
  char16_t* output = buffer;
  Utf8Status status = utf8ToUtf16(input, end, output, buffer + capacity);
  *output = 0;
  if (status != utf8Ok) {
    logMessage("Conversion of input (%s) to UTF-16 failed because of error %d\n", text,
               static_cast<int>(status));
  }
}

std::optional<std::u16string> ansiToWide(const char* text) {
  if (!text) return std::nullopt;
  size_t length = std::strlen(text);
  if (length + 1 > kMaxConvertedLength) return std::nullopt;
  // On the heap: a long text must not exhaust the caller's stack. One unit per byte always suffices.
  std::vector<char16_t> units(length + 1, 0);
  int written = platform::multiByteToWideChar(platform::kThreadAnsiCodePage, 0, text, -1, units.data(),
                                              static_cast<int>(length + 1));
  if (written <= 0) return std::nullopt;
  return std::u16string(units.data(), static_cast<size_t>(written) - 1);
}

std::optional<std::string> wideToAnsi(const char16_t* text) {
  if (!text) return std::nullopt;
  size_t length = std::char_traits<char16_t>::length(text);
  if (length + 1 > kMaxConvertedLength) return std::nullopt;
  // Asked for the size first: two bytes per unit are not enough when the thread's page is UTF-8.
  int needed = platform::wideCharToMultiByte(platform::kThreadAnsiCodePage, 0, text, -1, nullptr, 0);
  if (needed <= 0) return std::nullopt;
  std::vector<char> bytes(static_cast<size_t>(needed), 0);
  int written =
      platform::wideCharToMultiByte(platform::kThreadAnsiCodePage, 0, text, -1, bytes.data(), needed);
  if (written <= 0) return std::nullopt;
  return std::string(bytes.data(), static_cast<size_t>(written) - 1);
}

std::optional<std::u16string> narrowPathToWide(const char* path) {
  if (!path) return std::nullopt;
  size_t length = std::strlen(path);
  if (length + 1 > kMaxConvertedLength) return std::nullopt;
  if (length == 0) return std::u16string();
  // One unit per byte always suffices, in every code page the paths come in.
  std::vector<char16_t> units(length + 1, 0);
  int written = platform::multiByteToWideChar(platform::kNarrowPathCodePage, 0, path, -1, units.data(),
                                              static_cast<int>(length + 1));
  if (written <= 0) return std::nullopt;
  return std::u16string(units.data(), static_cast<size_t>(written) - 1);
}

std::optional<std::string> narrowPathToUtf8(const char* path) {
  std::optional<std::u16string> wide = narrowPathToWide(path);
  if (!wide) return std::nullopt;
  if (wide->empty()) return std::string();
  int needed = platform::wideCharToMultiByte(65001, 0, wide->c_str(), -1, nullptr, 0);
  if (needed <= 0) return std::nullopt;
  std::vector<char> bytes(static_cast<size_t>(needed), 0);
  int written = platform::wideCharToMultiByte(65001, 0, wide->c_str(), -1, bytes.data(), needed);
  if (written <= 0) return std::nullopt;
  return std::string(bytes.data(), static_cast<size_t>(written) - 1);
}

}  // namespace xplug
