#include "natives/values/call_scope.h"

#include <limits>
#include <memory>
#include <mutex>
#include <vector>

#include "fmx/fmx_calls.h"
#include "natives/values/host_objects.h"

namespace xplug {

// One call's objects. Touched only by the thread whose frame uses it, so it needs no lock; each thread
// keeps one per nesting depth, so a steady workload allocates no list storage after its first calls.
struct CallScopeLists {
  std::vector<FmxText*> texts;
  std::vector<FmxBinaryData*> binaryData;
  std::vector<FmxData*> data;
  std::vector<FmxCharacterStyle*> characterStyles;

  bool empty() const noexcept {
    return texts.empty() && binaryData.empty() && data.empty() && characterStyles.empty();
  }
};

namespace {

// An object made on a thread that runs no call. `stamp` is the number the next call to start would
// get: every call numbered below it was running, and may be using the object, when it was made.
template <typename Object>
struct UnownedObject {
  Object* object;
  uint64_t stamp;
};

struct ThreadScopes {
  CallScopeFrame* innermost = nullptr;
  std::size_t depth = 0;
  std::vector<std::unique_ptr<CallScopeLists>> listsByDepth;
};

thread_local ThreadScopes threadScopes;

constexpr uint64_t kNoRunningCall = std::numeric_limits<uint64_t>::max();

}  // namespace

// The running calls of every thread, oldest first, and the unowned objects. One mutex guards both; it
// is taken twice per call and once per unowned object, never while Java runs.
struct CallScopeRegistry {
  std::mutex mutex;
  uint64_t nextCallNumber = 1;
  CallScopeFrame* oldest = nullptr;
  CallScopeFrame* newest = nullptr;
  std::vector<UnownedObject<FmxText>> texts;
  std::vector<UnownedObject<FmxBinaryData>> binaryData;
  std::vector<UnownedObject<FmxData>> data;
  std::vector<UnownedObject<FmxCharacterStyle>> characterStyles;

  // Called with the mutex held.
  void link(CallScopeFrame& frame) {
    frame.number_ = nextCallNumber++;
    frame.olderRunning_ = newest;
    frame.newerRunning_ = nullptr;
    if (newest != nullptr) {
      newest->newerRunning_ = &frame;
    } else {
      oldest = &frame;
    }
    newest = &frame;
  }
  void unlink(CallScopeFrame& frame) noexcept {
    (frame.olderRunning_ != nullptr ? frame.olderRunning_->newerRunning_ : oldest) = frame.newerRunning_;
    (frame.newerRunning_ != nullptr ? frame.newerRunning_->olderRunning_ : newest) = frame.olderRunning_;
    frame.olderRunning_ = frame.newerRunning_ = nullptr;
  }
  // The number of the oldest running call other than `ending`; unowned objects stamped at or below it
  // were made after every call that could still use them had ended.
  uint64_t releaseThreshold(const CallScopeFrame* ending) const noexcept {
    const CallScopeFrame* frame = oldest;
    if (frame != nullptr && frame == ending) frame = frame->newerRunning_;
    return frame != nullptr ? frame->number_ : kNoRunningCall;
  }
  // The lists of one kind, for the templates below.
  std::vector<UnownedObject<FmxText>>& unowned(FmxText*) { return texts; }
  std::vector<UnownedObject<FmxBinaryData>>& unowned(FmxBinaryData*) { return binaryData; }
  std::vector<UnownedObject<FmxData>>& unowned(FmxData*) { return data; }
  std::vector<UnownedObject<FmxCharacterStyle>>& unowned(FmxCharacterStyle*) { return characterStyles; }
};

namespace {

CallScopeRegistry registry;

std::vector<FmxText*>& ownList(CallScopeLists& lists, FmxText*) {
  return lists.texts;
}
std::vector<FmxBinaryData*>& ownList(CallScopeLists& lists, FmxBinaryData*) {
  return lists.binaryData;
}
std::vector<FmxData*>& ownList(CallScopeLists& lists, FmxData*) {
  return lists.data;
}
std::vector<FmxCharacterStyle*>& ownList(CallScopeLists& lists, FmxCharacterStyle*) {
  return lists.characterStyles;
}

CallScopeLists* innermostLists() noexcept {
  // The frame at depth d uses the thread's lists of index d - 1.
  return threadScopes.depth > 0 ? threadScopes.listsByDepth[threadScopes.depth - 1].get() : nullptr;
}

template <typename Object>
void track(Object* object, void (*deleteOperation)(Object*, HostErrorRecord*)) {
  try {
    if (CallScopeLists* lists = innermostLists()) {
      ownList(*lists, object).push_back(object);
    } else {
      std::lock_guard<std::mutex> lock(registry.mutex);
      registry.unowned(object).push_back(UnownedObject<Object>{object, registry.nextCallNumber});
    }
  } catch (...) {
    // The caller hears of the allocation failure; a delete error on top of it has no one to go to.
    if (object != nullptr) {
      HostErrorRecord record = freshHostErrorRecord();
      deleteOperation(object, &record);
    }
    throw;
  }
}

// A null entry stands for a creation that failed; the host has nothing to delete for it, and handing
// it null would only turn an earlier failure into a failed release.
template <typename Object>
void releaseOwn(std::vector<Object*>& list, void (*deleteOperation)(Object*, HostErrorRecord*),
                HostErrorRecord& sharedRecord) {
  while (!list.empty()) {
    Object* object = list.back();
    if (object != nullptr) deleteOperation(object, &sharedRecord);
    list.pop_back();
    checkHostError(sharedRecord);
  }
}

// Deletes, last-recorded first, the unowned objects of one kind that were made after every call other
// than `ending` that was running then had ended. Each entry leaves the list before its error is checked.
template <typename Object>
void releaseUnowned(const CallScopeFrame* ending, void (*deleteOperation)(Object*, HostErrorRecord*),
                    HostErrorRecord& sharedRecord) {
  std::lock_guard<std::mutex> lock(registry.mutex);
  auto& list = registry.unowned(static_cast<Object*>(nullptr));
  if (list.empty()) return;
  const uint64_t threshold = registry.releaseThreshold(ending);
  for (std::size_t index = list.size(); index-- > 0;) {
    if (list[index].stamp > threshold) continue;
    Object* object = list[index].object;
    if (object != nullptr) deleteOperation(object, &sharedRecord);
    list.erase(list.begin() + static_cast<std::ptrdiff_t>(index));
    checkHostError(sharedRecord);
  }
}

// The record is shared by every delete of one release and never reset, so a code other than 1 or 2 left
// by one delete stays in it and counts as success for the rest.
void releaseKinds(CallScopeLists* own, const CallScopeFrame* ending) {
  HostErrorRecord sharedRecord = freshHostErrorRecord();
  if (own != nullptr) releaseOwn(own->texts, FM_Text_Delete, sharedRecord);
  releaseUnowned<FmxText>(ending, FM_Text_Delete, sharedRecord);
  if (own != nullptr) releaseOwn(own->binaryData, FM_BinaryData_Delete, sharedRecord);
  releaseUnowned<FmxBinaryData>(ending, FM_BinaryData_Delete, sharedRecord);
  if (own != nullptr) releaseOwn(own->data, FM_Data_Delete, sharedRecord);
  releaseUnowned<FmxData>(ending, FM_Data_Delete, sharedRecord);
  if (own != nullptr) releaseOwn(own->characterStyles, FM_CharacterStyle_Delete, sharedRecord);
  releaseUnowned<FmxCharacterStyle>(ending, FM_CharacterStyle_Delete, sharedRecord);
}

// Hands what a frame could not delete to the unowned lists, stamped so that the next call's end takes
// it. Called with the mutex held; never raises: without room to list it, the object is deleted now.
template <typename Object>
void disown(std::vector<Object*>& list, void (*deleteOperation)(Object*, HostErrorRecord*)) noexcept {
  auto& unowned = registry.unowned(static_cast<Object*>(nullptr));
  for (Object* object : list) {
    try {
      unowned.push_back(UnownedObject<Object>{object, 0});
    } catch (...) {
      HostErrorRecord record = freshHostErrorRecord();
      if (object != nullptr) deleteOperation(object, &record);
    }
  }
  list.clear();
}

}  // namespace

void trackText(FmxText* text) {
  track(text, FM_Text_Delete);
}

void trackBinaryData(FmxBinaryData* binary) {
  track(binary, FM_BinaryData_Delete);
}

void trackData(FmxData* data) {
  track(data, FM_Data_Delete);
}

void trackCharacterStyle(FmxCharacterStyle* style) {
  track(style, FM_CharacterStyle_Delete);
}

CallScopeCounts callScopeCounts() {
  if (const CallScopeLists* lists = innermostLists()) {
    return CallScopeCounts{lists->texts.size(), lists->binaryData.size(), lists->data.size(),
                           lists->characterStyles.size()};
  }
  return unownedCallScopeCounts();
}

CallScopeCounts unownedCallScopeCounts() {
  std::lock_guard<std::mutex> lock(registry.mutex);
  return CallScopeCounts{registry.texts.size(), registry.binaryData.size(), registry.data.size(),
                         registry.characterStyles.size()};
}

CallScopeFrame::CallScopeFrame() {
  ThreadScopes& scopes = threadScopes;
  if (scopes.listsByDepth.size() <= scopes.depth) {
    scopes.listsByDepth.push_back(std::make_unique<CallScopeLists>());
  }
  lists_ = scopes.listsByDepth[scopes.depth].get();
  {
    std::lock_guard<std::mutex> lock(registry.mutex);
    registry.link(*this);
  }
  outerOnThread_ = scopes.innermost;
  scopes.innermost = this;
  ++scopes.depth;
}

CallScopeFrame::~CallScopeFrame() {
  std::lock_guard<std::mutex> lock(registry.mutex);
  if (!lists_->empty()) {
    disown(lists_->texts, FM_Text_Delete);
    disown(lists_->binaryData, FM_BinaryData_Delete);
    disown(lists_->data, FM_Data_Delete);
    disown(lists_->characterStyles, FM_CharacterStyle_Delete);
  }
  registry.unlink(*this);
  threadScopes.innermost = outerOnThread_;
  --threadScopes.depth;
}

void CallScopeFrame::release() {
  releaseKinds(lists_, this);
}

void releaseCallScope() {
  CallScopeFrame* frame = threadScopes.innermost;
  if (frame != nullptr) {
    frame->release();
  } else {
    releaseKinds(nullptr, nullptr);
  }
}

}  // namespace xplug
