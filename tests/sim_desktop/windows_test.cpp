// Simulated windows: titles, styles, parents and owners, enabled state, the foreground window, the
// creating thread, handles with bit 31 set, thread identifiers and per-thread last errors.
#include <gtest/gtest.h>

#include <future>
#include <latch>
#include <string>
#include <thread>

#include "simdesktop/desktop.h"

namespace simdesktop {
namespace {

class WindowsTest : public ::testing::Test {
 protected:
  void SetUp() override { resetDesktop(); }
  void TearDown() override {
    resetDesktop();
    EXPECT_EQ(windowCount(), 0u);
  }
  static WindowHandle topLevel(std::u16string title = u"", WindowHandle owner = 0) {
    WindowHandle window = createWindow({std::move(title), kWsOverlappedWindow, owner, {}});
    EXPECT_NE(window, 0u);
    return window;
  }
  static WindowHandle child(WindowHandle parent) {
    WindowHandle window = createWindow({u"control", kWsChild | kWsVisible, parent, {}});
    EXPECT_NE(window, 0u);
    return window;
  }
};

TEST_F(WindowsTest, GetWindowTextCopiesAtMostCountMinusOneAndTerminates) {
  std::u16string longTitle;
  for (int i = 0; i < 300; ++i) longTitle.push_back(static_cast<char16_t>(u'A' + i % 26));
  WindowHandle window = topLevel(longTitle);
  struct Case {
    int count;
    int expected;
  };
  for (Case c : {Case{256, 255}, Case{301, 300}, Case{1000, 300}, Case{2, 1}, Case{1, 0}}) {
    SCOPED_TRACE(c.count);
    std::u16string buffer(1001, u'#');
    EXPECT_EQ(getWindowText(window, buffer.data(), c.count), c.expected);
    EXPECT_EQ(buffer.substr(0, c.expected), longTitle.substr(0, c.expected));
    EXPECT_EQ(buffer[c.expected], u'\0');
    EXPECT_EQ(buffer[c.expected + 1], u'#');
  }
  std::u16string untouched(4, u'#');
  EXPECT_EQ(getWindowText(window, untouched.data(), 0), 0);
  EXPECT_EQ(untouched, u"####");
  EXPECT_EQ(getWindowTextLength(window), 300);

  setLastError(0);
  EXPECT_EQ(getWindowText(0x1234, untouched.data(), 4), 0);
  EXPECT_EQ(untouched[0], u'\0');
  EXPECT_EQ(getLastError(), static_cast<uint32_t>(kErrorInvalidWindowHandle));
}

TEST_F(WindowsTest, ParentIsTheParentOfAChildTheOwnerOfAnOwnedWindowAndOtherwiseNone) {
  WindowHandle main = topLevel(u"FileMaker");
  WindowHandle control = child(main);
  WindowHandle grandChild = child(control);
  WindowHandle dialog = topLevel(u"dialog", main);
  WindowHandle dialogOfControl = topLevel(u"owned through a control", grandChild);
  struct Case {
    WindowHandle window;
    WindowHandle parent;
    bool isChildStyle;
  };
  for (Case c : {Case{main, 0, false}, Case{control, main, true}, Case{grandChild, control, true},
                 Case{dialog, main, false}, Case{dialogOfControl, main, false}}) {
    SCOPED_TRACE(c.window);
    EXPECT_EQ(getParent(c.window), c.parent);
    EXPECT_EQ((static_cast<uint32_t>(getWindowLong(c.window, kGwlStyle)) & kWsChild) != 0, c.isChildStyle);
  }
  EXPECT_TRUE(isChild(main, grandChild));
  EXPECT_FALSE(isChild(main, dialog));

  setLastError(0);
  EXPECT_EQ(getParent(0x4242), 0u);
  EXPECT_EQ(getLastError(), static_cast<uint32_t>(kErrorInvalidWindowHandle));
  EXPECT_EQ(getWindowLong(0x4242, kGwlStyle), 0);
  EXPECT_EQ(getWindowLong(main, -21), 0);
  EXPECT_EQ(getLastError(), static_cast<uint32_t>(kErrorInvalidIndex));
  // A child needs a parent that exists.
  EXPECT_EQ(createWindow({u"orphan", kWsChild, 0, {}}), 0u);
  EXPECT_EQ(createWindow({u"orphan", kWsChild, 0x4242, {}}), 0u);
  EXPECT_EQ(getLastError(), static_cast<uint32_t>(kErrorInvalidWindowHandle));
}

TEST_F(WindowsTest, SetParentReturnsThePreviousParentAndRefusesBadWindowsAndCycles) {
  WindowHandle main = topLevel(u"FileMaker");
  WindowHandle frame = topLevel(u"Java frame");
  WindowHandle control = child(main);
  EXPECT_EQ(setParent(frame, main), kDesktopWindow);
  EXPECT_EQ(getParent(frame), main);
  EXPECT_EQ(setParent(frame, 0), main);
  EXPECT_EQ(getParent(frame), 0u);
  EXPECT_EQ(setParent(control, frame), main);
  EXPECT_EQ(setParent(control, kDesktopWindow), frame);

  struct Case {
    WindowHandle child;
    WindowHandle parent;
    long error;
  };
  EXPECT_EQ(setParent(frame, main), kDesktopWindow);
  for (Case c :
       {Case{0x4242, main, kErrorInvalidWindowHandle}, Case{0, main, kErrorInvalidWindowHandle},
        Case{frame, 0x4242, kErrorInvalidWindowHandle}, Case{main, main, kErrorInvalidParameter},
        Case{main, frame, kErrorInvalidParameter}, Case{kDesktopWindow, main, kErrorInvalidParameter}}) {
    SCOPED_TRACE(c.child);
    setLastError(0);
    EXPECT_EQ(setParent(c.child, c.parent), 0u);
    EXPECT_EQ(getLastError(), static_cast<uint32_t>(c.error));
  }
  EXPECT_EQ(getParent(frame), main);
}

TEST_F(WindowsTest, EnableWindowReportsThePreviousDisabledState) {
  WindowHandle window = topLevel();
  EXPECT_TRUE(isWindowEnabled(window));
  struct Step {
    bool enable;
    bool wasDisabled;
  };
  for (Step step : {Step{false, false}, Step{false, true}, Step{true, true}, Step{true, false}}) {
    EXPECT_EQ(enableWindow(window, step.enable), step.wasDisabled);
    EXPECT_EQ(isWindowEnabled(window), step.enable);
    EXPECT_EQ((static_cast<uint32_t>(getWindowLong(window, kGwlStyle)) & kWsDisabled) != 0, !step.enable);
  }
  EXPECT_FALSE(enableWindow(0x4242, true));
  EXPECT_FALSE(isWindowEnabled(0x4242));
}

TEST_F(WindowsTest, HandlesWithBitThirtyOneWorkLikeAnyOther) {
  setNextWindowHandle(0x80000010);
  WindowHandle main = topLevel(u"high");
  WindowHandle control = child(main);
  EXPECT_EQ(main, 0x80000010u);
  EXPECT_EQ(control, 0x80000012u);
  EXPECT_EQ(getParent(control), main);
  EXPECT_TRUE(setForegroundWindow(control));
  EXPECT_EQ(getForegroundWindow(), main);
  EXPECT_EQ(getWindowThreadProcessId(main, nullptr), currentThreadId());
  // The allocator skips 0 when it wraps, and handles in use.
  setNextWindowHandle(0xFFFFFFFE);
  EXPECT_EQ(topLevel(), 0xFFFFFFFEu);
  EXPECT_EQ(topLevel(), 2u);
  setNextWindowHandle(0x80000010);
  EXPECT_EQ(topLevel(), 0x80000014u);
}

TEST_F(WindowsTest, ForegroundIsTheTopLevelWindowSetAndGoesWithIt) {
  EXPECT_EQ(getForegroundWindow(), 0u);
  WindowHandle main = topLevel();
  WindowHandle other = topLevel();
  EXPECT_TRUE(setForegroundWindow(main));
  EXPECT_EQ(getForegroundWindow(), main);
  EXPECT_FALSE(setForegroundWindow(0x4242));
  EXPECT_FALSE(setForegroundWindow(0));
  EXPECT_EQ(getForegroundWindow(), main);
  // Any thread may bring a window forward.
  std::thread([&] { EXPECT_TRUE(setForegroundWindow(other)); }).join();
  EXPECT_EQ(getForegroundWindow(), other);
  EXPECT_TRUE(destroyWindow(other));
  EXPECT_EQ(getForegroundWindow(), 0u);
}

TEST_F(WindowsTest, WindowsBelongToTheirCreatingThreadAndGoWhenItEnds) {
  std::latch created(1);
  std::latch checked(1);
  std::promise<std::pair<WindowHandle, uint32_t>> made;
  std::thread creator([&] {
    made.set_value({topLevel(u"worker"), currentThreadId()});
    created.count_down();
    checked.wait();
  });
  created.wait();
  auto [window, creatorId] = made.get_future().get();
  EXPECT_NE(creatorId, currentThreadId());
  uint32_t processId = 0;
  EXPECT_EQ(getWindowThreadProcessId(window, &processId), creatorId);
  EXPECT_NE(processId, 0u);
  setLastError(0);
  EXPECT_FALSE(destroyWindow(window));  // only its own thread may
  EXPECT_EQ(getLastError(), static_cast<uint32_t>(kErrorAccessDenied));
  checked.count_down();
  creator.join();
  EXPECT_FALSE(isWindow(window));
  EXPECT_EQ(getWindowThreadProcessId(window, nullptr), 0u);
  EXPECT_EQ(getLastError(), static_cast<uint32_t>(kErrorInvalidWindowHandle));
}

TEST_F(WindowsTest, ThreadIdsAreStableDistinctAndMayHaveBitThirtyOne) {
  uint32_t mine = currentThreadId();
  EXPECT_NE(mine, 0u);
  EXPECT_EQ(currentThreadId(), mine);
  uint32_t other = 0;
  std::thread([&] { other = currentThreadId(); }).join();
  EXPECT_NE(other, 0u);
  EXPECT_NE(other, mine);

  setNextThreadId(0x80000100);
  uint32_t high = 0;
  std::thread([&] {
    high = currentThreadId();
    EXPECT_EQ(currentThreadId(), high);
  }).join();
  EXPECT_EQ(high, 0x80000100u);
  EXPECT_EQ(currentThreadId(), mine);
  // An identifier in use is never handed out again while its thread lives.
  setNextThreadId(mine);
  uint32_t next = 0;
  std::thread([&] { next = currentThreadId(); }).join();
  EXPECT_NE(next, mine);
}

TEST_F(WindowsTest, LastErrorIsPerThreadAndSetByEveryFailingService) {
  setLastError(1400);
  std::thread([] {
    EXPECT_EQ(getLastError(), 0u);
    setLastError(5);
  }).join();
  EXPECT_EQ(getLastError(), 1400u);
  char16_t out[2];
  EXPECT_EQ(multiByteToWideChar(kCodePageUtf8, 0, "abc", 3, out, 2), 0);
  EXPECT_EQ(getLastError(), static_cast<uint32_t>(kErrorInsufficientBuffer));
  EXPECT_EQ(multiByteToWideChar(kCodePageUtf8, 0, "a", 1, out, 2), 1);
  EXPECT_EQ(getLastError(), static_cast<uint32_t>(kErrorInsufficientBuffer));  // success leaves it
}

}  // namespace
}  // namespace simdesktop
