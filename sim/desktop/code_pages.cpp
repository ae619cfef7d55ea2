// MultiByteToWideChar / WideCharToMultiByte for Windows-1252 and UTF-8. Each conversion decodes the
// whole input into a temporary first; the output rules (size query, short buffer, counting) are then
// the same for every page.
#include "simdesktop/code_pages.h"

#include <algorithm>
#include <cstring>

#include "simdesktop/threads.h"

namespace simdesktop {
namespace {

thread_local uint32_t threadCodePage = kCodePageWindows1252;
thread_local long lastError = kErrorSuccess;

// Windows-1252 bytes 0x80-0x9F; the rest of the page is Latin-1. The five bytes Windows leaves
// unassigned map to the C1 controls of the same number, as Windows' own table does.
constexpr char16_t kWindows1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                           0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                           0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                           0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t windows1252ToUnit(unsigned char byte) {
  return byte >= 0x80 && byte <= 0x9F ? kWindows1252High[byte - 0x80] : static_cast<char16_t>(byte);
}

// The byte for a unit, or -1 when Windows-1252 lacks it.
int unitToWindows1252(char16_t unit) {
  if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) return unit;
  for (int i = 0; i < 32; ++i) {
    if (kWindows1252High[i] == unit) return 0x80 + i;
  }
  return -1;
}

uint32_t resolveCodePage(uint32_t codePage) {
  if (codePage == kCodePageThreadAnsi) return threadCodePage;
  if (codePage == kCodePageAnsi) return kCodePageWindows1252;
  return codePage;
}

// A failed conversion is also the thread's last error, as GetLastError reports it on Windows.
int fail(long error) {
  lastError = error;
  setLastError(static_cast<uint32_t>(error));
  return 0;
}

// The number of bytes of the maximal well-formed prefix of a UTF-8 sequence starting at text[0], and
// its code point when the sequence is complete (return value equals its full length, result in *cp).
// Returns 0 for a byte that cannot start a sequence.
size_t decodeUtf8(const unsigned char* text, size_t available, char32_t* codePoint, bool* complete) {
  unsigned char lead = text[0];
  *complete = false;
  if (lead < 0x80) {
    *codePoint = lead;
    *complete = true;
    return 1;
  }
  size_t length;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  char32_t value = lead & (0xFF >> (length + 1));
  size_t used = 1;
  for (; used < length; ++used) {
    if (used >= available) return used;
    unsigned char byte = text[used];
    unsigned char min = used == 1 ? low : 0x80;
    unsigned char max = used == 1 ? high : 0xBF;
    if (byte < min || byte > max) return used;
    value = value << 6 | (byte & 0x3F);
  }
  *codePoint = value;
  *complete = true;
  return length;
}

bool decodeMultiByte(uint32_t page, uint32_t flags, const unsigned char* text, size_t length,
                     std::u16string* result) {
  result->clear();
  result->reserve(length);
  if (page == kCodePageWindows1252) {
    for (size_t i = 0; i < length; ++i) result->push_back(windows1252ToUnit(text[i]));
    return true;
  }
  size_t i = 0;
  while (i < length) {
    char32_t codePoint = 0;
    bool complete = false;
    size_t used = decodeUtf8(text + i, length - i, &codePoint, &complete);
    if (!complete) {
      if (flags & kMbErrInvalidChars) return false;
      result->push_back(0xFFFD);
      i += std::max<size_t>(used, 1);
      continue;
    }
    if (codePoint > 0xFFFF) {
      result->push_back(static_cast<char16_t>(0xD800 + ((codePoint - 0x10000) >> 10)));
      result->push_back(static_cast<char16_t>(0xDC00 + ((codePoint - 0x10000) & 0x3FF)));
    } else {
      result->push_back(static_cast<char16_t>(codePoint));
    }
    i += used;
  }
  return true;
}

void appendUtf8(char32_t codePoint, std::string* result) {
  if (codePoint < 0x80) {
    result->push_back(static_cast<char>(codePoint));
  } else if (codePoint < 0x800) {
    result->push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
    result->push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  } else if (codePoint < 0x10000) {
    result->push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
    result->push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
    result->push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  } else {
    result->push_back(static_cast<char>(0xF0 | (codePoint >> 18)));
    result->push_back(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
    result->push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
    result->push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  }
}

bool isHighSurrogate(char16_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
bool isLowSurrogate(char16_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

bool encodeUtf8(uint32_t flags, const char16_t* text, size_t length, std::string* result) {
  result->clear();
  result->reserve(length);
  for (size_t i = 0; i < length; ++i) {
    char16_t unit = text[i];
    if (isHighSurrogate(unit) && i + 1 < length && isLowSurrogate(text[i + 1])) {
      appendUtf8(0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (text[i + 1] - 0xDC00), result);
      ++i;
    } else if (isHighSurrogate(unit) || isLowSurrogate(unit)) {
      if (flags & kWcErrInvalidChars) return false;
      appendUtf8(0xFFFD, result);
    } else {
      appendUtf8(unit, result);
    }
  }
  return true;
}

template <typename Unit>
int deliver(const std::basic_string<Unit>& converted, Unit* output, int capacity) {
  if (converted.size() > static_cast<size_t>(INT32_MAX)) return fail(kErrorInvalidParameter);
  int needed = static_cast<int>(converted.size());
  if (capacity == 0) {
    lastError = kErrorSuccess;
    return needed;
  }
  if (capacity < needed) {
    std::copy_n(converted.data(), capacity, output);
    return fail(kErrorInsufficientBuffer);
  }
  std::copy_n(converted.data(), needed, output);
  lastError = kErrorSuccess;
  return needed;
}

}  // namespace

uint32_t threadAnsiCodePage() {
  return threadCodePage;
}

bool isSupportedCodePage(uint32_t codePage) {
  return codePage == kCodePageAnsi || codePage == kCodePageThreadAnsi || codePage == kCodePageWindows1252 ||
         codePage == kCodePageUtf8;
}

bool setThreadAnsiCodePage(uint32_t codePage) {
  if (codePage != kCodePageWindows1252 && codePage != kCodePageUtf8) return false;
  threadCodePage = codePage;
  return true;
}

long lastConversionError() {
  return lastError;
}

int multiByteToWideChar(uint32_t codePage, uint32_t flags, const char* text, int length, char16_t* output,
                        int capacity) {
  try {
    if (!isSupportedCodePage(codePage)) return fail(kErrorInvalidParameter);
    uint32_t page = resolveCodePage(codePage);
    if (!text || length == 0 || length < -1 || capacity < 0 || (capacity > 0 && !output))
      return fail(kErrorInvalidParameter);
    if (page == kCodePageUtf8 && (flags & ~kMbErrInvalidChars) != 0) return fail(kErrorInvalidFlags);
    size_t count = length == -1 ? std::strlen(text) + 1 : static_cast<size_t>(length);
    std::u16string converted;
    if (!decodeMultiByte(page, flags, reinterpret_cast<const unsigned char*>(text), count, &converted))
      return fail(kErrorNoUnicodeTranslation);
    return deliver(converted, output, capacity);
  } catch (...) {
    return fail(kErrorNotEnoughMemory);
  }
}

int wideCharToMultiByte(uint32_t codePage, uint32_t flags, const char16_t* text, int length, char* output,
                        int capacity, const char* defaultChar, bool* usedDefaultChar) {
  try {
    if (!isSupportedCodePage(codePage)) return fail(kErrorInvalidParameter);
    uint32_t page = resolveCodePage(codePage);
    if (!text || length == 0 || length < -1 || capacity < 0 || (capacity > 0 && !output))
      return fail(kErrorInvalidParameter);
    size_t count = 0;
    if (length == -1) {
      while (text[count] != 0) ++count;
      ++count;
    } else {
      count = static_cast<size_t>(length);
    }
    std::string converted;
    if (page == kCodePageUtf8) {
      if (defaultChar || usedDefaultChar) return fail(kErrorInvalidParameter);
      if ((flags & ~kWcErrInvalidChars) != 0) return fail(kErrorInvalidFlags);
      if (!encodeUtf8(flags, text, count, &converted)) return fail(kErrorNoUnicodeTranslation);
      return deliver(converted, output, capacity);
    }
    char fallback = defaultChar ? defaultChar[0] : '?';
    bool usedFallback = false;
    converted.reserve(count);
    for (size_t i = 0; i < count; ++i) {
      int byte = unitToWindows1252(text[i]);
      if (byte < 0) {
        usedFallback = true;
        converted.push_back(fallback);
      } else {
        converted.push_back(static_cast<char>(byte));
      }
    }
    if (usedDefaultChar) *usedDefaultChar = usedFallback;
    return deliver(converted, output, capacity);
  } catch (...) {
    return fail(kErrorNotEnoughMemory);
  }
}

std::string utf8FromUtf16(std::u16string_view text) {
  std::string result;
  encodeUtf8(0, text.data(), text.size(), &result);
  return result;
}

std::u16string utf16FromUtf8(std::string_view text) {
  std::u16string result;
  decodeMultiByte(kCodePageUtf8, 0, reinterpret_cast<const unsigned char*>(text.data()), text.size(),
                  &result);
  return result;
}

}  // namespace simdesktop
