// Windows and message queues behind one lock. Each thread that uses a window or a queue gets a queue
// record, shared with the table so that other threads can post and send to it; a per-thread owner
// removes the record and the thread's windows when the thread ends. Window procedures are copied out under
// the lock and called after it is released, so they may use the desktop themselves.
#include "simdesktop/windows.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

namespace simdesktop {
namespace {

constexpr WindowHandle kFirstWindowHandle = 0x00020010;
// Handles step by two, as USER handles do, so that both odd and even starts stay distinct.
constexpr WindowHandle kWindowHandleStep = 2;

// A window operation that Windows performs by sending a message to the window's thread, made from
// another thread: it runs on the window's thread when that thread next pumps, while the sender waits.
struct SentCall {
  std::function<void()> work;  // runs on the window's thread, with the desktop's lock held
  bool done = false;
  bool ran = false;
};

struct ThreadQueue {
  uint32_t threadId = 0;
  std::deque<std::shared_ptr<SentCall>> sent;
  std::deque<Message> messages;
  bool quitPosted = false;
  int quitCode = 0;
  bool waiting = false;
  std::condition_variable arrived;
};

struct WindowData {
  uint32_t threadId = 0;
  std::u16string title;
  uint32_t style = 0;
  WindowHandle parent = 0;  // 0: top level
  WindowHandle owner = 0;   // top-level windows only
  bool destroying = false;
  std::shared_ptr<const WindowProcedure> procedure;
};

struct Desktop {
  std::mutex mutex;
  std::map<WindowHandle, WindowData> windows;
  std::map<uint32_t, std::shared_ptr<ThreadQueue>> queues;
  WindowHandle foreground = 0;
  WindowHandle nextHandle = kFirstWindowHandle;
  std::condition_variable waitingChanged;
  // Notified when a sent call completes, and when one arrives (a waiting sender serves its own).
  std::condition_variable sentChanged;

  Desktop() { addDesktopWindow(); }
  void addDesktopWindow() {
    WindowData desktop;
    desktop.threadId = kDesktopThreadId;
    desktop.style = kWsPopup | kWsVisible;
    windows[kDesktopWindow] = std::move(desktop);
  }
};

Desktop& desktop() {
  // Never destroyed: threads end (and remove their queues) while the process's statics are torn down.
  static Desktop* instance = new Desktop;
  return *instance;
}

// Windows calls report failure by value; running out of memory is one more failure.
template <typename Result, typename Body>
Result guarded(Result failure, Body body) noexcept {
  try {
    return body();
  } catch (...) {
    setLastError(kErrorNotEnoughMemory);
    return failure;
  }
}

template <typename Result>
Result failWith(Result failure, long error) {
  setLastError(static_cast<uint32_t>(error));
  return failure;
}

uint32_t tickCount() {
  auto elapsed = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

WindowData* findWindow(Desktop& d, WindowHandle window) {
  if (window == 0) return nullptr;
  auto found = d.windows.find(window);
  return found == d.windows.end() ? nullptr : &found->second;
}

// Parent links never form a cycle (setParent refuses one), so the walk ends.
bool isUnder(Desktop& d, WindowHandle ancestor, WindowHandle window) {
  const WindowData* data = findWindow(d, window);
  while (data && data->parent != 0) {
    if (data->parent == ancestor) return true;
    data = findWindow(d, data->parent);
  }
  return false;
}

WindowHandle topLevelAncestor(Desktop& d, WindowHandle window) {
  const WindowData* data = findWindow(d, window);
  while (data && data->parent != 0) {
    window = data->parent;
    data = findWindow(d, window);
  }
  return window;
}

// Shared, so a queue record outlives its removal from the table for as long as a waiter still holds it.
std::shared_ptr<ThreadQueue> queueOfLocked(Desktop& d, uint32_t threadId) {
  auto found = d.queues.find(threadId);
  return found == d.queues.end() ? nullptr : found->second;
}

// Drops windows from the table and everything that refers to them: queued messages, the foreground,
// and links of surviving windows. Waiters are woken so that one filtering on a removed window fails.
void removeWindowsLocked(Desktop& d, const std::set<WindowHandle>& removed) {
  for (WindowHandle window : removed) d.windows.erase(window);
  for (auto& [handle, data] : d.windows) {
    if (removed.count(data.parent)) data.parent = 0;
    if (removed.count(data.owner)) data.owner = 0;
  }
  if (removed.count(d.foreground)) d.foreground = 0;
  for (auto& [threadId, queue] : d.queues) {
    std::erase_if(queue->messages, [&](const Message& m) { return removed.count(m.window) != 0; });
    queue->arrived.notify_all();
  }
}

// Owns the calling thread's queue record and, at the thread's end, removes it with the thread's windows.
struct QueueOwner {
  uint32_t threadId = 0;
  ~QueueOwner() {
    if (threadId == 0) return;
    try {
      Desktop& d = desktop();
      std::lock_guard lock(d.mutex);
      std::set<WindowHandle> removed;
      for (const auto& [handle, data] : d.windows) {
        if (data.threadId == threadId) removed.insert(handle);
      }
      removeWindowsLocked(d, removed);
      if (std::shared_ptr<ThreadQueue> queue = queueOfLocked(d, threadId)) {
        // A thread that ends answers nothing more: its senders return as for a window that is gone.
        for (const std::shared_ptr<SentCall>& call : queue->sent) call->done = true;
        queue->sent.clear();
        d.sentChanged.notify_all();
      }
      d.queues.erase(threadId);
    } catch (...) {
      // The thread is ending; what cannot be recorded now is left in the table.
    }
  }
};

thread_local QueueOwner queueOwner;

std::shared_ptr<ThreadQueue> currentQueueLocked(Desktop& d) {
  uint32_t threadId = currentThreadId();
  auto& slot = d.queues[threadId];
  if (!slot) {
    slot = std::make_shared<ThreadQueue>();
    slot->threadId = threadId;
    queueOwner.threadId = threadId;
  }
  return slot;
}

// Runs the calls other threads sent to this thread's windows, oldest first. Called with the lock held
// wherever the thread pumps or waits in a send of its own, as Windows delivers sent messages.
void serveSentLocked(Desktop& d, ThreadQueue& queue) {
  if (queue.sent.empty()) return;
  while (!queue.sent.empty()) {
    std::shared_ptr<SentCall> call = queue.sent.front();
    queue.sent.pop_front();
    try {
      call->work();
      call->ran = true;
    } catch (...) {
      // The sender sees the failure as a call that did not run.
    }
    call->done = true;
  }
  d.sentChanged.notify_all();
}

// Performs `body` (with the lock held) for a window operation that Windows carries out by sending a
// message: at once on the window's own thread, otherwise on the window's thread when it next pumps,
// while this thread waits and serves what is sent to it meanwhile, so two threads sending to each
// other do not block each other. A window whose thread never pumps blocks the sender, as on Windows.
template <typename Result, typename Body>
Result sendToWindowThread(Desktop& d, std::unique_lock<std::mutex>& lock, WindowHandle window, Result failure,
                          Body body) {
  const WindowData* data = findWindow(d, window);
  const uint32_t self = currentThreadId();
  if (data == nullptr || data->threadId == self || data->threadId == kDesktopThreadId) return body();
  std::shared_ptr<ThreadQueue> target = queueOfLocked(d, data->threadId);
  if (!target) return body();
  Result result = failure;
  uint32_t error = kErrorSuccess;
  auto call = std::make_shared<SentCall>();
  call->work = [&] {
    setLastError(kErrorSuccess);
    result = body();
    error = getLastError();
  };
  target->sent.push_back(call);
  target->arrived.notify_all();
  d.sentChanged.notify_all();
  std::shared_ptr<ThreadQueue> own = currentQueueLocked(d);
  while (!call->done) {
    serveSentLocked(d, *own);
    if (!call->done) d.sentChanged.wait(lock);
  }
  if (!call->ran) return failWith(failure, kErrorInvalidWindowHandle);
  if (error != kErrorSuccess) setLastError(error);
  return result;
}

bool inRange(uint32_t message, uint32_t first, uint32_t last) {
  if (message == kWmQuit) return true;
  if (first == 0 && last == 0) return true;
  return message >= first && message <= last;
}

bool queueMessageLocked(ThreadQueue& queue, const Message& message, bool first) {
  if (queue.messages.size() >= kPostedMessageQuota) return failWith(false, kErrorNotEnoughQuota);
  if (first) {
    queue.messages.push_front(message);
  } else {
    queue.messages.push_back(message);
  }
  queue.arrived.notify_all();
  return true;
}

// The retrieval both getMessage and peekMessage make: 1 for a message, 0 for WM_QUIT, -1 for a bad
// filter, 2 when nothing matches yet.
constexpr int kNothingYet = 2;
int retrieveLocked(Desktop& d, ThreadQueue& queue, Message* message, WindowHandle filter, uint32_t first,
                   uint32_t last, bool remove) {
  serveSentLocked(d, queue);
  if (filter != 0) {
    const WindowData* window = findWindow(d, filter);
    if (!window || window->threadId != queue.threadId) return failWith(-1, kErrorInvalidWindowHandle);
  }
  for (auto it = queue.messages.begin(); it != queue.messages.end(); ++it) {
    bool forFilter =
        filter == 0 || it->message == kWmQuit || it->window == filter || isUnder(d, filter, it->window);
    if (!forFilter || !inRange(it->message, first, last)) continue;
    *message = *it;
    if (remove) queue.messages.erase(it);
    return message->message == kWmQuit ? 0 : 1;
  }
  if (queue.quitPosted) {
    *message = Message{0, kWmQuit, static_cast<uintptr_t>(queue.quitCode), 0, tickCount(), 0, 0};
    if (remove) queue.quitPosted = false;
    return 0;
  }
  return kNothingYet;
}

}  // namespace

// ---- Windows ----

WindowHandle createWindow(const WindowOptions& options) {
  return guarded<WindowHandle>(0, [&]() -> WindowHandle {
    Desktop& d = desktop();
    std::lock_guard lock(d.mutex);
    WindowData data;
    data.style = options.style;
    data.title = options.title;
    WindowHandle link = options.parentOrOwner == kDesktopWindow ? 0 : options.parentOrOwner;
    if (link != 0 && !findWindow(d, link)) return failWith<WindowHandle>(0, kErrorInvalidWindowHandle);
    if (options.style & kWsChild) {
      if (options.parentOrOwner == 0) return failWith<WindowHandle>(0, kErrorInvalidWindowHandle);
      data.parent = link;
    } else if (link != 0) {
      // A top-level window is owned by a top-level window; a child given as owner stands for its top.
      data.owner = topLevelAncestor(d, link);
    }
    if (options.procedure) data.procedure = std::make_shared<const WindowProcedure>(options.procedure);
    std::shared_ptr<ThreadQueue> queue = currentQueueLocked(d);
    data.threadId = queue->threadId;
    WindowHandle handle = d.nextHandle;
    while (handle == 0 || d.windows.count(handle) != 0) handle += kWindowHandleStep;
    d.nextHandle = handle + kWindowHandleStep;
    d.windows.emplace(handle, std::move(data));
    return handle;
  });
}

bool destroyWindow(WindowHandle window) {
  return guarded<bool>(false, [&]() -> bool {
    Desktop& d = desktop();
    std::vector<std::pair<WindowHandle, std::shared_ptr<const WindowProcedure>>> toNotify;
    {
      std::lock_guard lock(d.mutex);
      WindowData* data = findWindow(d, window);
      if (!data) return failWith(false, kErrorInvalidWindowHandle);
      if (data->threadId != currentThreadId()) return failWith(false, kErrorAccessDenied);
      if (data->destroying) return true;
      // The window first, then what lies under it or is owned by it, nearest first.
      std::vector<WindowHandle> order{window};
      for (size_t i = 0; i < order.size(); ++i) {
        for (const auto& [handle, other] : d.windows) {
          if ((other.parent == order[i] || other.owner == order[i]) && !other.destroying &&
              std::find(order.begin(), order.end(), handle) == order.end()) {
            order.push_back(handle);
          }
        }
      }
      for (WindowHandle handle : order) {
        WindowData& doomed = d.windows.at(handle);
        doomed.destroying = true;
        toNotify.emplace_back(handle, doomed.procedure);
      }
    }
    for (const auto& [handle, procedure] : toNotify) {
      if (!procedure) continue;
      try {
        (*procedure)(handle, kWmDestroy, 0, 0);
      } catch (...) {
        // A procedure's failure stays with it; the window still goes.
      }
    }
    std::lock_guard lock(d.mutex);
    std::set<WindowHandle> removed;
    for (const auto& [handle, procedure] : toNotify) removed.insert(handle);
    removeWindowsLocked(d, removed);
    return true;
  });
}

bool isWindow(WindowHandle window) {
  Desktop& d = desktop();
  std::lock_guard lock(d.mutex);
  return findWindow(d, window) != nullptr;
}

bool setWindowText(WindowHandle window, const char16_t* text) {
  return guarded<bool>(false, [&]() -> bool {
    Desktop& d = desktop();
    std::lock_guard lock(d.mutex);
    WindowData* data = findWindow(d, window);
    if (!data) return failWith(false, kErrorInvalidWindowHandle);
    data->title = text ? std::u16string(text) : std::u16string();
    return true;
  });
}

int getWindowText(WindowHandle window, char16_t* buffer, int count) {
  if (!buffer || count <= 0) return 0;
  return guarded<int>(0, [&]() -> int {
    Desktop& d = desktop();
    std::unique_lock lock(d.mutex);
    return sendToWindowThread(d, lock, window, 0, [&]() -> int {
      const WindowData* data = findWindow(d, window);
      if (!data) {
        buffer[0] = 0;
        return failWith(0, kErrorInvalidWindowHandle);
      }
      size_t copied = std::min(data->title.size(), static_cast<size_t>(count) - 1);
      std::copy_n(data->title.data(), copied, buffer);
      buffer[copied] = 0;
      return static_cast<int>(copied);
    });
  });
}

int getWindowTextLength(WindowHandle window) {
  return guarded<int>(0, [&]() -> int {
    Desktop& d = desktop();
    std::unique_lock lock(d.mutex);
    return sendToWindowThread(d, lock, window, 0, [&]() -> int {
      const WindowData* data = findWindow(d, window);
      if (!data) return failWith(0, kErrorInvalidWindowHandle);
      return static_cast<int>(std::min<size_t>(data->title.size(), INT32_MAX));
    });
  });
}

int32_t getWindowLong(WindowHandle window, int index) {
  Desktop& d = desktop();
  std::lock_guard lock(d.mutex);
  const WindowData* data = findWindow(d, window);
  if (!data) return failWith(0, kErrorInvalidWindowHandle);
  if (index != kGwlStyle) return failWith(0, kErrorInvalidIndex);
  return static_cast<int32_t>(data->style);
}

WindowHandle getParent(WindowHandle window) {
  Desktop& d = desktop();
  std::lock_guard lock(d.mutex);
  const WindowData* data = findWindow(d, window);
  if (!data) return failWith<WindowHandle>(0, kErrorInvalidWindowHandle);
  return data->parent != 0 ? data->parent : data->owner;
}

WindowHandle setParent(WindowHandle child, WindowHandle newParent) {
  return guarded<WindowHandle>(0, [&]() -> WindowHandle {
    Desktop& d = desktop();
    std::unique_lock lock(d.mutex);
    return sendToWindowThread(d, lock, child, WindowHandle{0}, [&]() -> WindowHandle {
      WindowData* data = findWindow(d, child);
      if (!data || (newParent != 0 && !findWindow(d, newParent)))
        return failWith<WindowHandle>(0, kErrorInvalidWindowHandle);
      WindowHandle parent = newParent == kDesktopWindow ? 0 : newParent;
      if (child == kDesktopWindow || parent == child || (parent != 0 && isUnder(d, child, parent)))
        return failWith<WindowHandle>(0, kErrorInvalidParameter);
      WindowHandle previous = data->parent != 0 ? data->parent : kDesktopWindow;
      data->parent = parent;
      if (parent != 0) data->owner = 0;
      return previous;
    });
  });
}

bool isChild(WindowHandle parent, WindowHandle window) {
  Desktop& d = desktop();
  std::lock_guard lock(d.mutex);
  return parent != 0 && isUnder(d, parent, window);
}

bool enableWindow(WindowHandle window, bool enable) {
  return guarded<bool>(false, [&]() -> bool {
    Desktop& d = desktop();
    std::unique_lock lock(d.mutex);
    return sendToWindowThread(d, lock, window, false, [&]() -> bool {
      WindowData* data = findWindow(d, window);
      if (!data) return failWith(false, kErrorInvalidWindowHandle);
      bool wasDisabled = (data->style & kWsDisabled) != 0;
      data->style = enable ? data->style & ~kWsDisabled : data->style | kWsDisabled;
      return wasDisabled;
    });
  });
}

bool isWindowEnabled(WindowHandle window) {
  Desktop& d = desktop();
  std::lock_guard lock(d.mutex);
  const WindowData* data = findWindow(d, window);
  if (!data) return failWith(false, kErrorInvalidWindowHandle);
  return (data->style & kWsDisabled) == 0;
}

uint32_t getWindowThreadProcessId(WindowHandle window, uint32_t* processId) {
  Desktop& d = desktop();
  std::lock_guard lock(d.mutex);
  const WindowData* data = findWindow(d, window);
  if (!data) return failWith(0u, kErrorInvalidWindowHandle);
  if (processId) *processId = static_cast<uint32_t>(::getpid());
  return data->threadId;
}

WindowHandle getForegroundWindow() {
  Desktop& d = desktop();
  std::lock_guard lock(d.mutex);
  return d.foreground;
}

bool setForegroundWindow(WindowHandle window) {
  Desktop& d = desktop();
  std::lock_guard lock(d.mutex);
  if (!findWindow(d, window) || window == kDesktopWindow) return failWith(false, kErrorInvalidWindowHandle);
  d.foreground = topLevelAncestor(d, window);
  return true;
}

void setNextWindowHandle(WindowHandle first) {
  Desktop& d = desktop();
  std::lock_guard lock(d.mutex);
  d.nextHandle = first;
}

std::size_t windowCount() {
  Desktop& d = desktop();
  std::lock_guard lock(d.mutex);
  return d.windows.size() - 1;
}

// ---- Message queues ----

bool postMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  return guarded<bool>(false, [&]() -> bool {
    Desktop& d = desktop();
    std::lock_guard lock(d.mutex);
    std::shared_ptr<ThreadQueue> queue;
    if (window == 0) {
      queue = currentQueueLocked(d);
    } else {
      const WindowData* data = findWindow(d, window);
      if (data) queue = queueOfLocked(d, data->threadId);
      if (!queue) return failWith(false, kErrorInvalidWindowHandle);
    }
    return queueMessageLocked(*queue, Message{window, message, wParam, lParam, tickCount(), 0, 0}, false);
  });
}

bool postThreadMessage(uint32_t threadId, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  return guarded<bool>(false, [&]() -> bool {
    Desktop& d = desktop();
    std::lock_guard lock(d.mutex);
    std::shared_ptr<ThreadQueue> queue =
        threadId == currentThreadId() ? currentQueueLocked(d) : queueOfLocked(d, threadId);
    if (!queue) return failWith(false, kErrorInvalidThreadId);
    return queueMessageLocked(*queue, Message{0, message, wParam, lParam, tickCount(), 0, 0}, false);
  });
}

void postQuitMessage(int exitCode) {
  guarded<bool>(false, [&]() -> bool {
    Desktop& d = desktop();
    std::lock_guard lock(d.mutex);
    std::shared_ptr<ThreadQueue> queue = currentQueueLocked(d);
    queue->quitPosted = true;
    queue->quitCode = exitCode;
    queue->arrived.notify_all();
    return true;
  });
}

int getMessage(Message* message, WindowHandle filter, uint32_t first, uint32_t last) {
  if (!message) return failWith(-1, kErrorInvalidParameter);
  return guarded<int>(-1, [&]() -> int {
    Desktop& d = desktop();
    std::unique_lock lock(d.mutex);
    std::shared_ptr<ThreadQueue> queue = currentQueueLocked(d);
    for (;;) {
      int result = retrieveLocked(d, *queue, message, filter, first, last, true);
      if (result != kNothingYet) return result;
      queue->waiting = true;
      d.waitingChanged.notify_all();
      queue->arrived.wait(lock);
      queue->waiting = false;
    }
  });
}

bool peekMessage(Message* message, WindowHandle filter, uint32_t first, uint32_t last, bool remove) {
  if (!message) return failWith(false, kErrorInvalidParameter);
  return guarded<bool>(false, [&]() -> bool {
    Desktop& d = desktop();
    std::lock_guard lock(d.mutex);
    std::shared_ptr<ThreadQueue> queue = currentQueueLocked(d);
    int result = retrieveLocked(d, *queue, message, filter, first, last, remove);
    return result == 0 || result == 1;
  });
}

bool translateMessage(const Message* message) {
  if (!message) return false;
  bool keyDown = message->message == kWmKeyDown || message->message == kWmSysKeyDown;
  bool keyUp = message->message == kWmKeyUp || message->message == kWmSysKeyUp;
  if (!keyDown && !keyUp) return false;
  if (!keyDown) return true;
  uintptr_t key = message->wParam;
  char16_t character = 0;
  if (key >= 'A' && key <= 'Z') character = static_cast<char16_t>(key - 'A' + 'a');
  if ((key >= '0' && key <= '9') || key == ' ') character = static_cast<char16_t>(key);
  if (character == 0) return true;
  uint32_t charMessage = message->message == kWmKeyDown ? kWmChar : kWmSysChar;
  guarded<bool>(false, [&]() -> bool {
    Desktop& d = desktop();
    std::lock_guard lock(d.mutex);
    // The character comes next, ahead of messages posted earlier, as the key press it stands for.
    std::shared_ptr<ThreadQueue> queue = currentQueueLocked(d);
    return queueMessageLocked(
        *queue, Message{message->window, charMessage, character, message->lParam, message->time, 0, 0}, true);
  });
  return true;
}

intptr_t dispatchMessage(const Message* message) {
  if (!message || message->window == 0) return 0;
  std::shared_ptr<const WindowProcedure> procedure;
  {
    Desktop& d = desktop();
    std::lock_guard lock(d.mutex);
    const WindowData* data = findWindow(d, message->window);
    if (!data) return failWith<intptr_t>(0, kErrorInvalidWindowHandle);
    procedure = data->procedure;
  }
  if (!procedure) return 0;
  try {
    return (*procedure)(message->window, message->message, message->wParam, message->lParam);
  } catch (...) {
    // A procedure's failure ends with it, as an unhandled message would.
    return 0;
  }
}

std::size_t queuedMessageCount(uint32_t threadId) {
  Desktop& d = desktop();
  std::lock_guard lock(d.mutex);
  std::shared_ptr<ThreadQueue> queue = queueOfLocked(d, threadId);
  return queue ? queue->messages.size() : 0;
}

std::size_t sentMessageCount(uint32_t threadId) {
  Desktop& d = desktop();
  std::lock_guard lock(d.mutex);
  std::shared_ptr<ThreadQueue> queue = queueOfLocked(d, threadId);
  return queue ? queue->sent.size() : 0;
}

void waitUntilWaitingForMessage(uint32_t threadId) {
  Desktop& d = desktop();
  std::unique_lock lock(d.mutex);
  d.waitingChanged.wait(lock, [&] {
    std::shared_ptr<ThreadQueue> queue = queueOfLocked(d, threadId);
    return queue && queue->waiting;
  });
}

void resetWindows() {
  Desktop& d = desktop();
  std::lock_guard lock(d.mutex);
  std::set<WindowHandle> removed;
  for (const auto& [handle, data] : d.windows) {
    if (handle != kDesktopWindow) removed.insert(handle);
  }
  removeWindowsLocked(d, removed);
  for (auto& [threadId, queue] : d.queues) {
    queue->messages.clear();
    queue->quitPosted = false;
  }
  d.foreground = 0;
  d.nextHandle = kFirstWindowHandle;
}

}  // namespace simdesktop
