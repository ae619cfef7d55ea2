// The message loop and the window-handle rules without a VM: the test thread plays FileMaker's thread
// and serves its queue, a helper thread plays Java's event thread. Also the recording of FileMaker's
// front window at the first function call. Each test case runs in a process of its own.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "fmsim/desktop_setup.h"
#include "natives/services/event_loop.h"
#include "natives/services/window_handles.h"
#include "simdesktop/desktop.h"
#include "simdesktop/windows.h"
#include "testsupport/test_folder.h"

namespace xplug {
namespace {

constexpr uint32_t kNest = simdesktop::kWmUser + 1;

// Window handles: low half in, sign-extended out; thread identifiers zero-extended.
static_assert(windowToJava(0x80000010u) == -2147483632LL);
static_assert(windowToJava(0x7FFFFFFFu) == 2147483647LL);
static_assert(windowFromJava(static_cast<jlong>(0x1234567800000005ULL)) == 5u);
static_assert(windowFromJava(-2147483632LL) == 0x80000010u);
static_assert(threadIdToJava(0x80000000u) == 2147483648LL);

class EventLoopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    simdesktop::resetDesktop();
    temp_ = xplug::testing::makeTestFolder("event-loop-");
    ASSERT_FALSE(temp_.empty());
    // The loop logs; its lines land in this test's folder and on standard output.
    ::setenv("TEMP", temp_.c_str(), 1);
    fmsim::registerDocumentsFolder((temp_ / "Documents").string());
    ::testing::internal::CaptureStdout();

    simdesktop::WindowOptions options;
    options.title = u"FileMaker Pro - Untitled";
    options.procedure = [this](simdesktop::WindowHandle, uint32_t message, uintptr_t wParam,
                               intptr_t) -> intptr_t {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        seen_.push_back(message == kNest ? "nest" : std::to_string(message) + ":" + std::to_string(wParam));
      }
      changed_.notify_all();
      if (message == kNest) runEventLoop(window_);
      return 0;
    };
    window_ = simdesktop::createWindow(options);
    thread_ = simdesktop::currentThreadId();
  }

  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(temp_, ignored);
  }

  std::string log() { return ::testing::internal::GetCapturedStdout(); }

  // Posts once the looping thread waits with `handled` messages seen, so that every step happens while
  // the loop is known to be waiting.
  void postWhenWaiting(size_t handled, uint32_t message, uintptr_t wParam) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [&] { return seen_.size() >= handled; });
    }
    simdesktop::waitUntilWaitingForMessage(thread_);
    simdesktop::postMessage(window_, message, wParam, 0);
  }
  void stopWhenWaiting(size_t handled) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [&] { return seen_.size() >= handled; });
    }
    simdesktop::waitUntilWaitingForMessage(thread_);
    stopEventLoop();
  }

  std::vector<std::string> seen() {
    std::lock_guard<std::mutex> lock(mutex_);
    return seen_;
  }

  std::filesystem::path temp_;
  simdesktop::WindowHandle window_ = 0;
  uint32_t thread_ = 0;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> seen_;
};

size_t count(const std::string& text, const std::string& piece) {
  size_t found = 0;
  for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + piece.size()))
    ++found;
  return found;
}

const std::string kUser = std::to_string(simdesktop::kWmUser);

TEST_F(EventLoopTest, StopFromAnotherThreadEndsTheLoopAfterTheNextMessage) {
  std::thread java([&] {
    postWhenWaiting(0, simdesktop::kWmUser, 1);
    // The stop does not wake the waiting loop; the next message ends it.
    stopWhenWaiting(1);
    postWhenWaiting(1, simdesktop::kWmUser, 2);
  });
  runEventLoop(window_);
  java.join();
  EXPECT_EQ(seen(), (std::vector<std::string>{kUser + ":1", kUser + ":2"}));
  EXPECT_EQ(eventLoopDepth(), 0);
  EXPECT_EQ(handledMessageCount(), 2u);
}

TEST_F(EventLoopTest, StopBeforeStartHandlesExactlyOneMessage) {
  stopEventLoop();
  simdesktop::postMessage(window_, simdesktop::kWmUser, 1, 0);
  simdesktop::postMessage(window_, simdesktop::kWmUser, 2, 0);
  runEventLoop(window_);
  EXPECT_EQ(seen(), (std::vector<std::string>{kUser + ":1"}));
  EXPECT_EQ(simdesktop::queuedMessageCount(thread_), 1u);
  EXPECT_EQ(eventLoopDepth(), 0);
}

// A handler on the looping thread starts a second loop: both run until the depth is back at 0, then
// each ends after its next message (the inner one's is the last; the outer one's is the handler's).
TEST_F(EventLoopTest, NestedLoopsRunUntilEveryStartHasItsStop) {
  std::thread java([&] {
    postWhenWaiting(0, kNest, 0);
    stopWhenWaiting(1);
    postWhenWaiting(1, simdesktop::kWmUser, 1);
    EXPECT_EQ(eventLoopDepth(), 1);
    stopWhenWaiting(2);
    postWhenWaiting(2, simdesktop::kWmUser, 2);
  });
  runEventLoop(window_);
  java.join();
  EXPECT_EQ(seen(), (std::vector<std::string>{"nest", kUser + ":1", kUser + ":2"}));
  EXPECT_EQ(eventLoopDepth(), 0);
}

TEST_F(EventLoopTest, DestroyIsLoggedAndTheLoopGoesOn) {
  simdesktop::postMessage(window_, simdesktop::kWmDestroy, 0, 0);
  std::thread java([&] {
    stopWhenWaiting(1);
    postWhenWaiting(1, simdesktop::kWmUser, 1);
  });
  runEventLoop(window_);
  java.join();
  EXPECT_EQ(seen(), (std::vector<std::string>{"2:0", kUser + ":1"}));
  EXPECT_EQ(count(log(), "Received WM_DESTROY message\n"), 1u);
}

TEST_F(EventLoopTest, WithoutAWindowThreadMessagesCountAndQuitEndsTheLoop) {
  simdesktop::postMessage(0, simdesktop::kWmUser, 7, 0);
  simdesktop::postMessage(window_, simdesktop::kWmUser, 8, 0);
  simdesktop::postQuitMessage(0);
  runEventLoop(0);
  // The thread message is handled but goes to no window procedure.
  EXPECT_EQ(seen(), (std::vector<std::string>{kUser + ":8"}));
  EXPECT_EQ(handledMessageCount(), 2u);
  EXPECT_EQ(count(log(), "Get a zero value from GetMessage; exiting loop\n"), 1u);
  // A loop that ended for another reason keeps its depth until its stop arrives.
  EXPECT_EQ(eventLoopDepth(), 1);
  stopEventLoop();
  EXPECT_EQ(eventLoopDepth(), 0);
}

TEST_F(EventLoopTest, AnInvalidWindowEndsTheLoopAtOnce) {
  simdesktop::postMessage(window_, simdesktop::kWmUser, 1, 0);
  EXPECT_FALSE(pumpOneMessage(0x7FFF0000u));
  runEventLoop(0x7FFF0000u);
  EXPECT_TRUE(seen().empty());
  EXPECT_EQ(count(log(), "bRet is negative 1, an error or type 1400 occurred!\n"), 2u);
  stopEventLoop();
}

TEST_F(EventLoopTest, FirstCallWindowIsTheFirstWindowFoundInFront) {
  EXPECT_EQ(firstCallForegroundWindow(), 0u);
  recordFirstCallForegroundWindow();
  EXPECT_EQ(firstCallForegroundWindow(), 0u);
  ASSERT_TRUE(simdesktop::setForegroundWindow(window_));
  recordFirstCallForegroundWindow();
  EXPECT_EQ(firstCallForegroundWindow(), window_);
  simdesktop::WindowOptions options;
  simdesktop::WindowHandle other = simdesktop::createWindow(options);
  ASSERT_TRUE(simdesktop::setForegroundWindow(other));
  recordFirstCallForegroundWindow();
  EXPECT_EQ(firstCallForegroundWindow(), window_);
}

}  // namespace
}  // namespace xplug
