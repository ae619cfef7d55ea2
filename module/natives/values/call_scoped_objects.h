// Creation of the host objects that natives hand to Java as handles (data values, texts, binary data,
// character styles): each is recorded in the call scope, which deletes it when the host call ends. For
// the natives, on the Java thread that called them.
#ifndef XPLUG_NATIVES_VALUES_CALL_SCOPED_OBJECTS_H
#define XPLUG_NATIVES_VALUES_CALL_SCOPED_OBJECTS_H

#include "fmx/fmx_calls.h"
#include "natives/values/call_scope.h"
#include "natives/values/host_objects.h"

namespace xplug {

// Calls a host constructor and records what it made before anything else happens to it. A creation
// the host reports as failed, or that yields no object, raises instead of returning, so Java never
// holds a handle of an object that does not exist or that the call scope would not delete; an object
// that came back together with an error is recorded first, and so still deleted at the call's end.
template <typename Object, typename... Params, typename... Args>
Object* createCallScoped(Object* (*constructor)(Params...), void (*track)(Object*), Args... operands) {
  HostErrorRecord record = freshHostErrorRecord();
  Object* object = constructor(operands..., &record);
  if (object != nullptr) track(object);
  checkHostError(record);
  if (object == nullptr) throw HostError(kHostErrorFailure);
  return object;
}

inline FmxData* createCallScopedData() {
  return createCallScoped(FM_Data_Constructor1, trackData);
}
inline FmxText* createCallScopedText() {
  return createCallScoped(FM_Text_Constructor1, trackText);
}
inline FmxCharacterStyle* createCallScopedCharacterStyle() {
  return createCallScoped(FM_CharacterStyle_Constructor1, trackCharacterStyle);
}
inline FmxBinaryData* createCallScopedBinaryData() {
  return createCallScoped(FM_BinaryData_Constructor1, trackBinaryData);
}
inline FmxBinaryData* createCallScopedBinaryCopy(const FmxBinaryData* source) {
  return createCallScoped(FM_BinaryData_Constructor2, trackBinaryData, source);
}

}  // namespace xplug

#endif  // XPLUG_NATIVES_VALUES_CALL_SCOPED_OBJECTS_H
