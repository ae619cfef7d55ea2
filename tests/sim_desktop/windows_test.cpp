// Simulated windows: titles, styles, parents and owners, enabled state, the foreground window, the
// creating thread, operations sent across threads, handles with bit 31 set, thread identifiers and
// per-thread last errors.
#include <gtest/gtest.h>

#include <atomic>
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

void waitUntilSent(uint32_t threadId, std::size_t count) {
  while (sentMessageCount(threadId) != count) std::this_thread::yield();
}

// GetWindowTextW, EnableWindow and SetParent on another thread's window run on that thread when it pumps,
// as Windows sends them; the caller waits until then and gets the answer and the last error from there.
TEST_F(WindowsTest, CrossThreadOperationsWaitUntilTheWindowsThreadPumps) {
  const uint32_t self = currentThreadId();
  WindowHandle window = topLevel(u"FileMaker Pro");
  WindowHandle newParent = topLevel(u"frame");
  std::atomic<int> finished{0};
  std::u16string title;
  bool wasDisabled = true;
  WindowHandle previousParent = 0;
  uint32_t errorOfABadParent = 0;
  std::thread caller([&] {
    char16_t buffer[32] = {};
    getWindowText(window, buffer, 32);
    title = buffer;
    ++finished;
    wasDisabled = enableWindow(window, false);
    ++finished;
    previousParent = setParent(window, newParent);
    EXPECT_EQ(setParent(window, window), 0u);
    errorOfABadParent = getLastError();
    ++finished;
  });
  for (int operation = 0; operation < 3; ++operation) {
    waitUntilSent(self, 1);
    EXPECT_EQ(finished.load(), operation) << "an operation finished before its window's thread pumped";
    Message message;
    EXPECT_FALSE(peekMessage(&message, 0, 0, 0, true));
    if (operation == 2) {
      waitUntilSent(self, 1);
      EXPECT_FALSE(peekMessage(&message, 0, 0, 0, true));
    }
  }
  caller.join();
  EXPECT_EQ(title, u"FileMaker Pro");
  EXPECT_FALSE(wasDisabled);
  EXPECT_FALSE(isWindowEnabled(window));
  EXPECT_EQ(previousParent, kDesktopWindow);
  EXPECT_EQ(getParent(window), newParent);
  EXPECT_EQ(errorOfABadParent, static_cast<uint32_t>(kErrorInvalidParameter));
}

// Two threads that send to each other's windows at once both get their answers: a thread waiting in a
// send serves what is sent to it meanwhile.
TEST_F(WindowsTest, ThreadsSendingToEachOtherDoNotBlockEachOther) {
  WindowHandle mine = topLevel(u"mine");
  const uint32_t self = currentThreadId();
  std::promise<WindowHandle> made;
  std::latch bothSending(2);
  std::u16string seenByOther;
  std::thread other([&] {
    WindowHandle theirs = topLevel(u"theirs");
    made.set_value(theirs);
    bothSending.arrive_and_wait();
    char16_t buffer[16] = {};
    getWindowText(mine, buffer, 16);
    seenByOther = buffer;
    EXPECT_TRUE(postThreadMessage(self, kWmUser, 0, 0));
    // Pumps (serving the test thread's send, if it still waits) until the test thread has its answer.
    Message message;
    EXPECT_EQ(getMessage(&message, 0, 0, 0), 1);
  });
  const WindowHandle theirs = made.get_future().get();
  bothSending.arrive_and_wait();
  char16_t buffer[16] = {};
  EXPECT_EQ(getWindowText(theirs, buffer, 16), 6);
  EXPECT_EQ(std::u16string(buffer), u"theirs");
  // The other thread's send may still wait for this thread: pumping serves it, then its message comes.
  Message message;
  EXPECT_EQ(getMessage(&message, 0, 0, 0), 1);
  EXPECT_EQ(message.message, kWmUser);
  EXPECT_TRUE(postThreadMessage(getWindowThreadProcessId(theirs, nullptr), kWmUser, 0, 0));
  other.join();
  EXPECT_EQ(seenByOther, u"mine");
}

// A window's thread that ends without pumping answers nothing: the waiting caller gets the failure of a
// window that is gone.
TEST_F(WindowsTest, ASendToAThreadThatEndsFails) {
  std::promise<std::pair<WindowHandle, uint32_t>> made;
  std::latch ending(1);
  std::thread owner([&] {
    made.set_value({topLevel(u"short-lived"), currentThreadId()});
    ending.wait();
  });
  const auto [window, ownerId] = made.get_future().get();
  std::thread caller([&, window = window] {
    setLastError(0);
    EXPECT_FALSE(enableWindow(window, false));
    EXPECT_EQ(getLastError(), static_cast<uint32_t>(kErrorInvalidWindowHandle));
  });
  waitUntilSent(ownerId, 1);
  ending.count_down();
  owner.join();
  caller.join();
}

}  // namespace
}  // namespace simdesktop
