// Thread identifiers and last errors. Identifiers come from one counter and are released when their
// thread ends, so no two live threads share one; the last error is a plain per-thread value.
#include "simdesktop/threads.h"

#include <mutex>
#include <set>

namespace simdesktop {
namespace {

constexpr uint32_t kFirstThreadId = 0x00001000;
// Windows hands out identifiers in steps of four; keeping that makes traces look familiar.
constexpr uint32_t kThreadIdStep = 4;

struct ThreadIds {
  std::mutex mutex;
  uint32_t next = kFirstThreadId;
  std::set<uint32_t> live;
};

ThreadIds& threadIds() {
  // Never destroyed: threads may end (and release their identifiers) while statics are torn down.
  static ThreadIds* instance = new ThreadIds;
  return *instance;
}

uint32_t allocateThreadId() {
  ThreadIds& ids = threadIds();
  std::lock_guard lock(ids.mutex);
  uint32_t id = ids.next;
  while (id == 0 || id == kDesktopThreadId || ids.live.count(id) != 0) id += kThreadIdStep;
  ids.next = id + kThreadIdStep;
  try {
    ids.live.insert(id);
  } catch (...) {
    // Unrecorded, the identifier is still unique among the counter's values until it wraps.
  }
  return id;
}

// Owns the calling thread's identifier and gives it back when the thread ends.
struct ThreadIdentity {
  uint32_t id = 0;
  ~ThreadIdentity() {
    if (id == 0) return;
    ThreadIds& ids = threadIds();
    std::lock_guard lock(ids.mutex);
    ids.live.erase(id);
  }
};

thread_local ThreadIdentity identity;
thread_local uint32_t lastError = 0;

}  // namespace

uint32_t currentThreadId() {
  if (identity.id == 0) identity.id = allocateThreadId();
  return identity.id;
}

void setNextThreadId(uint32_t first) {
  ThreadIds& ids = threadIds();
  std::lock_guard lock(ids.mutex);
  ids.next = first;
}

uint32_t getLastError() {
  return lastError;
}

void setLastError(uint32_t error) {
  lastError = error;
}

}  // namespace simdesktop
