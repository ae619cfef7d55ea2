// The module's text conversions over arbitrary bytes: UTF-8 into a host buffer of any capacity, UTF-8 to
// UTF-16 with its cursors, and UTF-16 to and from the thread's ANSI code page and the other pages the
// desktop knows.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "platform/platform.h"
#include "simdesktop/code_pages.h"
#include "text/string_conversions.h"

namespace {

constexpr uint16_t kSentinel = 0xBEEF;
constexpr uint32_t kCodePages[] = {0, 3, 1252, 65001};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  xplug::fuzz::prepareProcess();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  // The first byte chooses a capacity and a code page; the rest is the text.
  const uint32_t capacity = data[0] % 64;
  const uint32_t codePage = kCodePages[data[1] % 4];
  const std::string bytes(reinterpret_cast<const char*>(data + 2), size - 2);
  const std::string narrow(bytes.c_str());  // up to the first zero byte, as C callers pass it

  // copyUtf8ToHost writes capacity + 1 units at most; the units after them must stay as they were.
  std::vector<char16_t> buffer(capacity + 1 + 8, kSentinel);
  xplug::copyUtf8ToHost(narrow.c_str(), buffer.data(), capacity);
  for (size_t i = capacity + 1; i < buffer.size(); ++i) {
    if (buffer[i] != kSentinel) __builtin_trap();
  }
  if (std::char_traits<char16_t>::find(buffer.data(), capacity + 1, u'\0') == nullptr) __builtin_trap();

  // The cursors never pass their ends.
  std::vector<char16_t> units(capacity);
  const auto* input = reinterpret_cast<const unsigned char*>(bytes.data());
  const auto* inputEnd = input + bytes.size();
  char16_t* output = units.data();
  xplug::utf8ToUtf16(input, inputEnd, output, units.data() + units.size());
  if (input > inputEnd || output > units.data() + units.size()) __builtin_trap();

  simdesktop::setThreadAnsiCodePage(codePage == 0 || codePage == 3 ? 1252 : codePage);
  if (auto wide = xplug::ansiToWide(narrow.c_str())) {
    if (auto back = xplug::wideToAnsi(wide->c_str())) {
      // Windows-1252 and UTF-8 text that came in well formed goes back unchanged.
      (void)back;
    }
  }
  // Arbitrary UTF-16 (odd surrogates included) out to the page, sized first as callers do.
  std::u16string wideInput(bytes.size() / 2, u'\0');
  std::memcpy(wideInput.data(), bytes.data(), wideInput.size() * 2);
  int needed = xplug::platform::wideCharToMultiByte(codePage, 0, wideInput.data(),
                                                    static_cast<int>(wideInput.size()), nullptr, 0);
  if (needed > 0) {
    std::vector<char> out(static_cast<size_t>(needed));
    xplug::platform::wideCharToMultiByte(codePage, 0, wideInput.data(), static_cast<int>(wideInput.size()),
                                         out.data(), needed);
  }
  int wideNeeded = xplug::platform::multiByteToWideChar(codePage, 0, bytes.data(),
                                                        static_cast<int>(bytes.size()), nullptr, 0);
  if (wideNeeded > 0) {
    std::vector<char16_t> out(static_cast<size_t>(wideNeeded));
    xplug::platform::multiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()),
                                         out.data(), wideNeeded);
  }
  xplug::wideToAnsi(wideInput.c_str());
  return 0;
}
