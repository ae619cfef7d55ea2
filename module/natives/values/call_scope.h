// The host objects created for Java (texts, binary data, data values, character styles) and the calls
// that own them. A function relay or an idle call opens a CallScopeFrame on its thread; what Java makes
// on that thread while the frame is the thread's innermost belongs to it and is deleted when it ends,
// whichever thread that is and however calls nest. Objects made on a thread with no call of its own (a
// Java worker) wait until every call running at their creation has ended, then go with the next call's
// end. Every operation may be called from any thread.
#ifndef XPLUG_NATIVES_VALUES_CALL_SCOPE_H
#define XPLUG_NATIVES_VALUES_CALL_SCOPE_H

#include <cstddef>
#include <cstdint>

#include "fmx/fmx_types.h"

namespace xplug {

// Each records the object, as the host returned it (null included), with the calling thread's
// innermost call, or as unowned when the thread runs none. When the list cannot grow, the object is
// deleted at once and the allocation error is raised, so an object that is not listed is never left
// behind.
void trackText(FmxText* text);
void trackBinaryData(FmxBinaryData* binary);
void trackData(FmxData* data);
void trackCharacterStyle(FmxCharacterStyle* style);

// How many objects of each kind are listed.
struct CallScopeCounts {
  std::size_t texts = 0;
  std::size_t binaryData = 0;
  std::size_t data = 0;
  std::size_t characterStyles = 0;
  std::size_t total() const noexcept { return texts + binaryData + data + characterStyles; }
};
// Those of the calling thread's innermost call; outside any call, the unowned ones.
CallScopeCounts callScopeCounts();
// Those listed as unowned, waiting for a call's end.
CallScopeCounts unownedCallScopeCounts();

struct CallScopeLists;

// The scope of one host call (a function relay or an idle call) on the thread that makes it. While it
// is the thread's innermost frame, the objects Java creates on that thread are its own. Frames of one
// thread nest strictly (FileMaker re-enters the plug-in from inside a call); frames of different
// threads are independent.
class CallScopeFrame {
 public:
  CallScopeFrame();
  CallScopeFrame(const CallScopeFrame&) = delete;
  CallScopeFrame& operator=(const CallScopeFrame&) = delete;
  // Objects a failed release left listed become unowned, so that a later call's end deletes them.
  ~CallScopeFrame();

  // Deletes the frame's objects, then the unowned objects that no other running call may still use:
  // per kind (texts, binary data, data values, character styles) the frame's last-recorded first, then
  // the unowned ones, last-recorded first. One error record serves every delete and is never reset. A
  // delete reporting code 1 or 2 raises (std::bad_alloc, HostError) after its entry was removed; the
  // entries not yet visited stay listed for the next release. Null entries are dropped without a host
  // call.
  void release();

 private:
  friend struct CallScopeRegistry;

  uint64_t number_ = 0;
  CallScopeFrame* outerOnThread_ = nullptr;
  CallScopeFrame* olderRunning_ = nullptr;
  CallScopeFrame* newerRunning_ = nullptr;
  CallScopeLists* lists_ = nullptr;
};

// Outside any call: deletes the unowned objects no running call may still use, as a call's end does.
// Inside a call: releases the thread's innermost frame. Raises like CallScopeFrame::release().
void releaseCallScope();

}  // namespace xplug

#endif  // XPLUG_NATIVES_VALUES_CALL_SCOPE_H
