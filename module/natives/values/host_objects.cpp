#include "natives/values/host_objects.h"

#include <new>

#include "log/plugin_log.h"

namespace xplug {

const char* HostError::what() const noexcept {
  return "the host reported a failure";
}

void checkHostError(const HostErrorRecord& record) {
  if (record.code == kHostErrorOutOfMemory) throw std::bad_alloc();
  if (record.code == kHostErrorFailure) throw HostError(record.code);
}

void reportTemporaryDeleteError(const char* kind, int32_t code) noexcept {
  logMessage("Host error %d while deleting a temporary %s\n", static_cast<int>(code), kind);
}

namespace {

// The owner takes the object before the check, so that an object the host returned together with an
// error is still deleted.
template <typename Owner, typename Object, typename... Params, typename... Args>
Owner createTemporary(Object* (*constructor)(Params...), Args... operands) {
  HostErrorRecord record = freshHostErrorRecord();
  Owner owner(constructor(operands..., &record));
  checkHostError(record);
  return owner;
}

}  // namespace

TemporaryText makeTemporaryText() {
  return createTemporary<TemporaryText>(FM_Text_Constructor1);
}

TemporaryFixPt makeTemporaryFixPt() {
  return createTemporary<TemporaryFixPt>(FM_FixPt_Constructor1, 0, 16);
}

TemporaryDateTime makeTemporaryDateTime() {
  return createTemporary<TemporaryDateTime>(FM_DateTime_Constructor1);
}

TemporaryColor makeTemporaryColor() {
  return createTemporary<TemporaryColor>(FM_Color_Constructor1);
}

TemporaryQuadChar makeTemporaryQuadChar() {
  return createTemporary<TemporaryQuadChar>(FM_QuadChar_Constructor1);
}

TemporaryQuadChar makeTemporaryQuadChar(char c0, char c1, char c2, char c3) {
  return createTemporary<TemporaryQuadChar>(FM_QuadChar_Constructor2, c0, c1, c2, c3);
}

TemporaryExprEnv makeTemporaryExprEnv() {
  return createTemporary<TemporaryExprEnv>(FM_ExprEnv_Constructor1);
}

}  // namespace xplug
