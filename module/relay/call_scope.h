// The host objects created for Java during a host call (texts, binary data, data values, character
// styles), deleted together when the call ends. Natives record from any thread; the relay and the idle
// handler release on the host's thread. Every operation is safe to call from any thread.
#ifndef XPLUG_RELAY_CALL_SCOPE_H
#define XPLUG_RELAY_CALL_SCOPE_H

#include <cstddef>

#include "fmx/fmx_types.h"

namespace xplug {

// Each appends the object, as the host returned it (null included), to the end of its kind's list.
// When the list cannot grow, the object is deleted at once and the allocation error is raised, so an
// object that is not listed is never left behind.
void trackText(FmxText* text);
void trackBinaryData(FmxBinaryData* binary);
void trackData(FmxData* data);
void trackCharacterStyle(FmxCharacterStyle* style);

// How many objects of each kind are listed at one moment.
struct CallScopeMark {
  std::size_t texts = 0;
  std::size_t binaryData = 0;
  std::size_t data = 0;
  std::size_t characterStyles = 0;
};

CallScopeMark markCallScope();

// Deletes every listed object: all texts, then binary data, then data values, then character styles,
// the last-recorded first within a kind, with one shared error record. A delete reporting code 1 or 2
// raises (std::bad_alloc, HostError) after its entry was removed; the entries not yet visited stay
// listed for the next release. Null entries are dropped without a host call. The lists keep their
// storage for later calls.
void releaseCallScope();
// The same for the objects recorded after the mark only; those recorded before it stay listed.
void releaseCallScopeTo(const CallScopeMark& mark);

// One per function relay. A relay that runs while another is in progress (Java evaluating an
// expression that calls a plug-in function) must not delete the outer call's objects: release()
// deletes everything only in the outermost relay, and in a nested one just what was recorded since
// the frame began.
class CallScopeFrame {
 public:
  CallScopeFrame();
  CallScopeFrame(const CallScopeFrame&) = delete;
  CallScopeFrame& operator=(const CallScopeFrame&) = delete;
  ~CallScopeFrame();

  bool outermost() const noexcept { return outermost_; }
  // Raises like releaseCallScope().
  void release();

 private:
  CallScopeMark mark_;
  bool outermost_;
};

}  // namespace xplug

#endif  // XPLUG_RELAY_CALL_SCOPE_H
