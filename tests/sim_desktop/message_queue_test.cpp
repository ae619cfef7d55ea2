// Per-thread message queues: waiting for a message, posting from other threads, window and range
// filters, WM_QUIT, dispatching to window procedures, WM_DESTROY through DestroyWindow and the errors.
#include <gtest/gtest.h>

#include <latch>
#include <thread>
#include <vector>

#include "simdesktop/desktop.h"

namespace simdesktop {
namespace {

struct Received {
  WindowHandle window;
  uint32_t message;
  uintptr_t wParam;
  bool operator==(const Received&) const = default;
};

class MessageQueueTest : public ::testing::Test {
 protected:
  void SetUp() override { resetDesktop(); }
  void TearDown() override { resetDesktop(); }

  // A window whose procedure records what it is sent and answers with the message number plus one.
  WindowHandle recordingWindow(uint32_t style = kWsOverlappedWindow, WindowHandle parent = 0) {
    return createWindow(
        {u"recording", style, parent, [this](WindowHandle w, uint32_t m, uintptr_t wp, intptr_t) {
           seen_.push_back({w, m, wp});
           return static_cast<intptr_t>(m + 1);
         }});
  }
  static Received next(WindowHandle filter, int expected = 1, uint32_t first = 0, uint32_t last = 0) {
    Message message;
    EXPECT_EQ(getMessage(&message, filter, first, last), expected);
    return {message.window, message.message, message.wParam};
  }
  std::vector<Received> seen_;
};

TEST_F(MessageQueueTest, GetMessageWaitsForAMessagePostedFromAnotherThread) {
  WindowHandle window = recordingWindow();
  uint32_t self = currentThreadId();
  std::thread poster([&] {
    waitUntilWaitingForMessage(self);
    EXPECT_TRUE(postMessage(window, kWmUser + 1, 7, 8));
    // Thread messages may be posted to a thread from anywhere too.
    EXPECT_TRUE(postThreadMessage(self, kWmUser + 2, 9, 0));
  });
  EXPECT_EQ(next(window), (Received{window, kWmUser + 1, 7}));
  poster.join();
  EXPECT_EQ(next(0), (Received{0, kWmUser + 2, 9}));
  EXPECT_EQ(queuedMessageCount(self), 0u);
}

TEST_F(MessageQueueTest, MessagesFromManyPostersAllArriveEachPostersInItsOrder) {
  WindowHandle window = recordingWindow();
  constexpr int kPosters = 4;
  constexpr uintptr_t kEach = 500;
  std::vector<std::thread> posters;
  for (int poster = 0; poster < kPosters; ++poster) {
    posters.emplace_back([=] {
      for (uintptr_t i = 0; i < kEach; ++i) ASSERT_TRUE(postMessage(window, kWmUser, i, poster));
    });
  }
  std::vector<uintptr_t> nextExpected(kPosters, 0);
  for (uintptr_t received = 0; received < kPosters * kEach; ++received) {
    Message message;
    ASSERT_EQ(getMessage(&message, window, 0, 0), 1);
    ASSERT_GE(message.lParam, 0);
    ASSERT_LT(message.lParam, kPosters);
    ASSERT_EQ(message.wParam, nextExpected[message.lParam]++);
  }
  for (std::thread& poster : posters) poster.join();
  EXPECT_EQ(nextExpected, std::vector<uintptr_t>(kPosters, kEach));
}

TEST_F(MessageQueueTest, WindowFilterTakesTheWindowAndItsChildrenOnlyInOrder) {
  WindowHandle main = recordingWindow();
  WindowHandle control = recordingWindow(kWsChild, main);
  WindowHandle other = recordingWindow();
  WindowHandle owned = recordingWindow(kWsOverlappedWindow, main);
  ASSERT_TRUE(postMessage(other, kWmUser, 1, 0));
  ASSERT_TRUE(postMessage(control, kWmUser, 2, 0));
  ASSERT_TRUE(postMessage(0, kWmUser, 3, 0));
  ASSERT_TRUE(postMessage(owned, kWmUser, 4, 0));
  ASSERT_TRUE(postMessage(main, kWmUser, 5, 0));
  EXPECT_EQ(next(main), (Received{control, kWmUser, 2}));
  EXPECT_EQ(next(main), (Received{main, kWmUser, 5}));
  Message none;
  EXPECT_FALSE(peekMessage(&none, main, 0, 0, true));
  // No filter: what is left, thread messages included, in posting order.
  EXPECT_EQ(next(0), (Received{other, kWmUser, 1}));
  EXPECT_EQ(next(0), (Received{0, kWmUser, 3}));
  EXPECT_EQ(next(0), (Received{owned, kWmUser, 4}));
}

TEST_F(MessageQueueTest, RangeFilterSkipsOtherNumbersButNeverQuit) {
  WindowHandle window = recordingWindow();
  ASSERT_TRUE(postMessage(window, kWmUser + 5, 1, 0));
  ASSERT_TRUE(postMessage(window, kWmUser + 1, 2, 0));
  ASSERT_TRUE(postThreadMessage(currentThreadId(), kWmQuit, 3, 0));
  EXPECT_EQ(next(window, 1, kWmUser, kWmUser + 2), (Received{window, kWmUser + 1, 2}));
  EXPECT_EQ(next(window, 0, kWmUser, kWmUser + 2), (Received{0, kWmQuit, 3}));
  EXPECT_EQ(next(0), (Received{window, kWmUser + 5, 1}));
}

TEST_F(MessageQueueTest, QuitIsRetrievedWhateverTheFilterAfterTheMessagesThatMatchAndOnlyOnce) {
  WindowHandle main = recordingWindow();
  WindowHandle other = recordingWindow();
  ASSERT_TRUE(postMessage(other, kWmUser, 1, 0));
  postQuitMessage(42);
  ASSERT_TRUE(postMessage(main, kWmUser, 2, 0));
  EXPECT_EQ(next(main), (Received{main, kWmUser, 2}));
  EXPECT_EQ(next(main, 0), (Received{0, kWmQuit, 42}));
  Message none;
  EXPECT_FALSE(peekMessage(&none, main, 0, 0, true));
  EXPECT_EQ(next(0), (Received{other, kWmUser, 1}));
}

TEST_F(MessageQueueTest, QuitPostedFromAnotherThreadEndsAWaitingLoop) {
  uint32_t self = currentThreadId();
  std::thread poster([&] {
    waitUntilWaitingForMessage(self);
    EXPECT_TRUE(postThreadMessage(self, kWmQuit, 0, 0));
  });
  EXPECT_EQ(next(0, 0).message, kWmQuit);
  poster.join();
}

TEST_F(MessageQueueTest, AnInvalidFilterGivesMinusOneWithTheWindowError) {
  WindowHandle elsewhere = 0;
  std::latch made(1);
  std::latch done(1);
  std::thread owner([&] {
    elsewhere = recordingWindow();
    made.count_down();
    done.wait();
  });
  made.wait();
  WindowHandle gone = recordingWindow();
  ASSERT_TRUE(destroyWindow(gone));
  for (WindowHandle filter : {WindowHandle{0x4242}, gone, elsewhere, kDesktopWindow}) {
    SCOPED_TRACE(filter);
    setLastError(0);
    Message message;
    EXPECT_EQ(getMessage(&message, filter, 0, 0), -1);
    EXPECT_EQ(getLastError(), static_cast<uint32_t>(kErrorInvalidWindowHandle));
  }
  done.count_down();
  owner.join();
  EXPECT_EQ(getMessage(nullptr, 0, 0, 0), -1);
}

TEST_F(MessageQueueTest, DispatchCallsTheProcedureAndSkipsThreadMessages) {
  WindowHandle window = recordingWindow();
  Message message{window, kWmUser + 3, 11, 12, 0, 0, 0};
  EXPECT_EQ(dispatchMessage(&message), static_cast<intptr_t>(kWmUser + 4));
  Message threadMessage{0, kWmUser, 1, 2, 0, 0, 0};
  EXPECT_EQ(dispatchMessage(&threadMessage), 0);
  setLastError(0);
  Message stale{0x4242, kWmUser, 1, 2, 0, 0, 0};
  EXPECT_EQ(dispatchMessage(&stale), 0);
  EXPECT_EQ(getLastError(), static_cast<uint32_t>(kErrorInvalidWindowHandle));
  EXPECT_EQ(seen_, (std::vector<Received>{{window, kWmUser + 3, 11}}));
}

TEST_F(MessageQueueTest, TranslateMessagePutsTheCharacterNext) {
  WindowHandle window = recordingWindow();
  ASSERT_TRUE(postMessage(window, kWmUser, 0, 0));
  struct Case {
    uint32_t message;
    uintptr_t key;
    bool translated;
    uint32_t charMessage;  // 0: none posted
    uintptr_t character;
  };
  for (Case c : {Case{kWmKeyDown, 'Q', true, kWmChar, 'q'}, Case{kWmKeyDown, '7', true, kWmChar, '7'},
                 Case{kWmSysKeyDown, 'X', true, kWmSysChar, 'x'}, Case{kWmKeyDown, 0x10, true, 0, 0},
                 Case{kWmKeyUp, 'Q', true, 0, 0}, Case{kWmUser, 'Q', false, 0, 0}}) {
    SCOPED_TRACE(c.key);
    Message key{window, c.message, c.key, 0, 0, 0, 0};
    EXPECT_EQ(translateMessage(&key), c.translated);
    if (c.charMessage != 0) {
      EXPECT_EQ(next(window), (Received{window, c.charMessage, c.character}));
    }
  }
  EXPECT_EQ(next(window), (Received{window, kWmUser, 0}));
}

TEST_F(MessageQueueTest, DestroyWindowSendsDestroyToTheWindowThenItsChildrenAndDropsTheirMessages) {
  WindowHandle main = createWindow(
      {u"main", kWsOverlappedWindow, 0, [this](WindowHandle w, uint32_t m, uintptr_t wp, intptr_t) {
         seen_.push_back({w, m, wp});
         // The classic: the main window ends the thread's loop.
         if (m == kWmDestroy) postQuitMessage(0);
         return intptr_t{0};
       }});
  WindowHandle control = recordingWindow(kWsChild, main);
  WindowHandle dialog = recordingWindow(kWsOverlappedWindow, main);
  WindowHandle survivor = recordingWindow();
  ASSERT_TRUE(postMessage(control, kWmUser, 1, 0));
  ASSERT_TRUE(postMessage(survivor, kWmUser, 2, 0));
  EXPECT_TRUE(destroyWindow(main));
  EXPECT_EQ(seen_, (std::vector<Received>{
                       {main, kWmDestroy, 0}, {control, kWmDestroy, 0}, {dialog, kWmDestroy, 0}}));
  for (WindowHandle gone : {main, control, dialog}) EXPECT_FALSE(isWindow(gone));
  EXPECT_TRUE(isWindow(survivor));
  EXPECT_EQ(next(0), (Received{survivor, kWmUser, 2}));
  EXPECT_EQ(next(0, 0).message, kWmQuit);
  setLastError(0);
  EXPECT_FALSE(destroyWindow(main));
  EXPECT_EQ(getLastError(), static_cast<uint32_t>(kErrorInvalidWindowHandle));
}

TEST_F(MessageQueueTest, PostingFailsForBadTargetsAndAFullQueue) {
  setLastError(0);
  EXPECT_FALSE(postMessage(0x4242, kWmUser, 0, 0));
  EXPECT_EQ(getLastError(), static_cast<uint32_t>(kErrorInvalidWindowHandle));
  uint32_t ended = 0;
  std::thread([&] {
    ended = currentThreadId();
    EXPECT_TRUE(postMessage(0, kWmUser, 0, 0));  // the thread has a queue until it ends
  }).join();
  EXPECT_FALSE(postThreadMessage(ended, kWmUser, 0, 0));
  EXPECT_EQ(getLastError(), static_cast<uint32_t>(kErrorInvalidThreadId));

  WindowHandle window = recordingWindow();
  for (size_t i = 0; i < kPostedMessageQuota; ++i) ASSERT_TRUE(postMessage(window, kWmUser, i, 0));
  EXPECT_FALSE(postMessage(window, kWmUser, 0, 0));
  EXPECT_EQ(getLastError(), static_cast<uint32_t>(kErrorNotEnoughQuota));
  EXPECT_EQ(queuedMessageCount(currentThreadId()), kPostedMessageQuota);
}

}  // namespace
}  // namespace simdesktop
