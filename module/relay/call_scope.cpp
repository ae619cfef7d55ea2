#include "relay/call_scope.h"

#include <mutex>
#include <vector>

#include "fmx/fmx_calls.h"
#include "natives/values/host_objects.h"

namespace xplug {

namespace {

// Java threads may create objects while the host thread is outside any call, or while a release runs
// on the host thread; an append racing a removal would corrupt the lists. One mutex guards all four
// lists and the relay depth. It is uncontended in the normal flow (the host thread waits while Java
// works), so it costs next to nothing.
struct CallScopeLists {
  std::mutex mutex;
  std::vector<FmxText*> texts;
  std::vector<FmxBinaryData*> binaryData;
  std::vector<FmxData*> data;
  std::vector<FmxCharacterStyle*> characterStyles;
  int relayDepth = 0;
};

CallScopeLists callScope;

template <typename Object>
void track(std::vector<Object*>& list, Object* object, void (*deleteOperation)(Object*, HostErrorRecord*)) {
  try {
    std::lock_guard<std::mutex> lock(callScope.mutex);
    list.push_back(object);
  } catch (...) {
    // The caller hears of the allocation failure; a delete error on top of it has no one to go to.
    if (object != nullptr) {
      HostErrorRecord record = freshHostErrorRecord();
      deleteOperation(object, &record);
    }
    throw;
  }
}

template <typename Object>
void releaseList(std::vector<Object*>& list, std::size_t keep,
                 void (*deleteOperation)(Object*, HostErrorRecord*), HostErrorRecord& sharedRecord) {
  while (list.size() > keep) {
    // A null entry stands for a creation that failed; the host has nothing to delete for it, and
    // handing it null would only turn an earlier failure into a failed release.
    Object* object = list.back();
    if (object != nullptr) deleteOperation(object, &sharedRecord);
    list.pop_back();
    checkHostError(sharedRecord);
  }
}

CallScopeMark currentMarkLocked() {
  return CallScopeMark{callScope.texts.size(), callScope.binaryData.size(), callScope.data.size(),
                       callScope.characterStyles.size()};
}

// Called with the mutex held. The record is shared by every delete of one release and never reset, so
// a code other than 1 or 2 left by one delete stays in it and counts as success for the rest.
void releaseLocked(const CallScopeMark& keep) {
  HostErrorRecord sharedRecord = freshHostErrorRecord();
  releaseList(callScope.texts, keep.texts, FM_Text_Delete, sharedRecord);
  releaseList(callScope.binaryData, keep.binaryData, FM_BinaryData_Delete, sharedRecord);
  releaseList(callScope.data, keep.data, FM_Data_Delete, sharedRecord);
  releaseList(callScope.characterStyles, keep.characterStyles, FM_CharacterStyle_Delete, sharedRecord);
}

}  // namespace

void trackText(FmxText* text) {
  track(callScope.texts, text, FM_Text_Delete);
}

void trackBinaryData(FmxBinaryData* binary) {
  track(callScope.binaryData, binary, FM_BinaryData_Delete);
}

void trackData(FmxData* data) {
  track(callScope.data, data, FM_Data_Delete);
}

void trackCharacterStyle(FmxCharacterStyle* style) {
  track(callScope.characterStyles, style, FM_CharacterStyle_Delete);
}

CallScopeMark markCallScope() {
  std::lock_guard<std::mutex> lock(callScope.mutex);
  return currentMarkLocked();
}

void releaseCallScope() {
  std::lock_guard<std::mutex> lock(callScope.mutex);
  releaseLocked(CallScopeMark{});
}

void releaseCallScopeTo(const CallScopeMark& mark) {
  std::lock_guard<std::mutex> lock(callScope.mutex);
  releaseLocked(mark);
}

CallScopeFrame::CallScopeFrame() {
  std::lock_guard<std::mutex> lock(callScope.mutex);
  mark_ = currentMarkLocked();
  outermost_ = callScope.relayDepth == 0;
  ++callScope.relayDepth;
}

CallScopeFrame::~CallScopeFrame() {
  std::lock_guard<std::mutex> lock(callScope.mutex);
  --callScope.relayDepth;
}

void CallScopeFrame::release() {
  if (outermost_) {
    releaseCallScope();
  } else {
    releaseCallScopeTo(mark_);
  }
}

}  // namespace xplug
