// The POSIX platform backend's window, message-loop, thread and clipboard calls on the simulated
// desktop: handles travel as 32-bit values in a uintptr_t, messages reach procedures, and the
// clipboard works as the module uses it.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "simdesktop/desktop.h"

namespace xplug::platform {
namespace {

class PlatformDesktopTest : public ::testing::Test {
 protected:
  void SetUp() override { simdesktop::resetDesktop(); }
  void TearDown() override { simdesktop::resetDesktop(); }
};

// Only the low 32 bits of a window handle count; a handle with bit 31 set comes back zero-extended.
TEST_F(PlatformDesktopTest, WindowHandlesAreThirtyTwoBitValues) {
  simdesktop::setNextWindowHandle(0x80000020);
  simdesktop::WindowHandle main =
      simdesktop::createWindow({u"FileMaker Pro", simdesktop::kWsOverlappedWindow, 0, {}});
  simdesktop::WindowHandle control = simdesktop::createWindow({u"", simdesktop::kWsChild, main, {}});
  ASSERT_EQ(main, 0x80000020u);
  WindowHandle passed = static_cast<WindowHandle>(main);
  if constexpr (sizeof(WindowHandle) > 4) passed |= static_cast<WindowHandle>(0xFFFFFFFF00000000ull);
  EXPECT_TRUE(setForegroundWindow(passed));
  EXPECT_EQ(getForegroundWindow(), WindowHandle{0x80000020u});
  EXPECT_EQ(getParent(control), WindowHandle{0x80000020u});
  EXPECT_EQ(getWindowThreadId(passed), getCurrentThreadId());
  EXPECT_EQ(static_cast<uint32_t>(getWindowLong(control, kGwlStyle)) & kWsChild, kWsChild);
  EXPECT_EQ(static_cast<uint32_t>(getWindowLong(passed, kGwlStyle)) & kWsChild, 0u);
  char16_t title[256];
  EXPECT_EQ(getWindowText(passed, title, 256), 13);
  EXPECT_EQ(std::u16string(title), u"FileMaker Pro");
  EXPECT_FALSE(enableWindow(passed, false));
  EXPECT_FALSE(isWindowEnabled(main));
  EXPECT_TRUE(enableWindow(passed, true));
}

TEST_F(PlatformDesktopTest, SetParentFailureLeavesTheWindowErrorForTheCaller) {
  WindowHandle frame = simdesktop::createWindow({u"frame", simdesktop::kWsOverlappedWindow, 0, {}});
  WindowHandle main = simdesktop::createWindow({u"main", simdesktop::kWsOverlappedWindow, 0, {}});
  EXPECT_EQ(setParent(frame, main), WindowHandle{simdesktop::kDesktopWindow});
  EXPECT_EQ(setParent(0x4242, main), 0u);
  EXPECT_EQ(getLastError(), kErrorInvalidWindowHandle);
  setLastError(7);
  EXPECT_EQ(getLastError(), 7u);
}

TEST_F(PlatformDesktopTest, AMessageLoopServesItsWindowAndEndsOnQuit) {
  std::vector<uint32_t> handled;
  WindowHandle window =
      simdesktop::createWindow({u"", simdesktop::kWsOverlappedWindow, 0,
                                [&](simdesktop::WindowHandle, uint32_t m, uintptr_t, intptr_t) {
                                  handled.push_back(m);
                                  return intptr_t{5};
                                }});
  uint32_t self = getCurrentThreadId();
  std::thread poster([&] {
    simdesktop::waitUntilWaitingForMessage(self);
    EXPECT_TRUE(
        simdesktop::postMessage(static_cast<simdesktop::WindowHandle>(window), simdesktop::kWmUser, 0, 0));
    EXPECT_TRUE(simdesktop::postThreadMessage(self, kWmQuit, 0, 0));
  });
  WindowMessage message;
  EXPECT_EQ(getMessage(&message, window, 0, 0), 1);
  EXPECT_EQ(message.window, window);
  EXPECT_FALSE(translateMessage(&message));
  EXPECT_EQ(dispatchMessage(&message), 5);
  EXPECT_EQ(getMessage(&message, window, 0, 0), 0);
  EXPECT_EQ(message.message, kWmQuit);
  poster.join();
  EXPECT_EQ(handled, std::vector<uint32_t>{simdesktop::kWmUser});
  EXPECT_EQ(getMessage(&message, 0x4242, 0, 0), -1);
  EXPECT_EQ(getLastError(), kErrorInvalidWindowHandle);
}

TEST_F(PlatformDesktopTest, ClipboardRoundTripThroughGlobalMemory) {
  ASSERT_TRUE(openClipboard(0));
  ASSERT_TRUE(emptyClipboard());
  const char16_t text[] = u"Gr\u00fc\u00dfe";
  GlobalMemory block = globalAlloc(kGmemMoveable, sizeof text);
  ASSERT_NE(block, nullptr);
  std::memcpy(globalLock(block), text, sizeof text);
  EXPECT_EQ(setClipboardData(kCfUnicodeText, block), block);
  globalUnlock(block);
  ASSERT_TRUE(closeClipboard());

  ASSERT_TRUE(openClipboard(0));
  std::vector<uint32_t> formats;
  for (uint32_t f = enumClipboardFormats(0); f != 0; f = enumClipboardFormats(f)) formats.push_back(f);
  EXPECT_EQ(formats, (std::vector<uint32_t>{kCfUnicodeText, kCfLocale, kCfText, kCfOemText}));
  EXPECT_EQ(countClipboardFormats(), 4);
  GlobalMemory ansi = getClipboardData(kCfText);
  ASSERT_NE(ansi, nullptr);
  EXPECT_EQ(globalSize(ansi), 6u);
  EXPECT_STREQ(static_cast<const char*>(globalLock(ansi)),
               "Gr\xfc\xdf"
               "e");
  globalUnlock(ansi);
  ASSERT_TRUE(closeClipboard());
}

}  // namespace
}  // namespace xplug::platform
