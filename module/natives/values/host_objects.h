// The module's one way to call the host's FM_ operations: the error check, checked calls, owners of
// temporary host objects and the conversion between object addresses and Java handles. Used by every
// native and by the relay; stateless, so any thread the host allows may call it.
#ifndef XPLUG_NATIVES_VALUES_HOST_OBJECTS_H
#define XPLUG_NATIVES_VALUES_HOST_OBJECTS_H

#include <jni.h>

#include <cstddef>
#include <cstdint>
#include <exception>
#include <type_traits>
#include <utility>

#include "fmx/fmx_calls.h"
#include "fmx/fmx_types.h"

namespace xplug {

// A host failure other than out-of-memory (the record's code 2). It carries the code so that the edge
// of a native or of the relay can hand it on to Java or FileMaker.
class HostError : public std::exception {
 public:
  explicit HostError(int32_t code) noexcept : code_(code) {}
  int32_t code() const noexcept { return code_; }
  const char* what() const noexcept override;

 private:
  int32_t code_;
};

// Code 1 raises std::bad_alloc, code 2 raises HostError; every other code counts as success, because
// the host uses further values for conditions that are not failures.
void checkHostError(const HostErrorRecord& record);

// A record as every host call needs it: version 1, no error yet.
constexpr HostErrorRecord freshHostErrorRecord() noexcept {
  return HostErrorRecord{1, kHostErrorNone};
}

// Calls an FM_ operation with a fresh error record as its last operand, applies the error check and
// returns the operation's result unchanged:  uint32_t size = hostCall(FM_Text_GetSize, text);
template <typename Result, typename... Params, typename... Args>
Result hostCall(Result (*operation)(Params...), Args&&... operands) {
  HostErrorRecord record = freshHostErrorRecord();
  if constexpr (std::is_void_v<Result>) {
    operation(std::forward<Args>(operands)..., &record);
    checkHostError(record);
  } else {
    Result result = operation(std::forward<Args>(operands)..., &record);
    checkHostError(record);
    return result;
  }
}

// Logs a failed delete of a temporary; an owner's destructor cannot raise, so this is where such an
// error ends.
void reportTemporaryDeleteError(const char* kind, int32_t code) noexcept;

// Owns one temporary host object and deletes it when it goes out of scope. Move-only; there is no
// empty construction, so an owner always comes from a make function or adopts an object explicitly.
//
// A delete that reports an error from the destructor is logged and otherwise ignored: the object is
// gone from the module's view either way, and raising from a destructor would end the process when it
// runs during unwinding. A caller that wants the delete's error raised calls deleteNow() on its normal
// path.
template <typename Object, void (*deleteOperation)(Object*, HostErrorRecord*)>
class HostTemporary {
 public:
  // Takes over an object the host created; null is allowed and is never deleted.
  explicit HostTemporary(Object* object) noexcept : object_(object) {}
  HostTemporary(const HostTemporary&) = delete;
  HostTemporary& operator=(const HostTemporary&) = delete;
  HostTemporary(HostTemporary&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  HostTemporary& operator=(HostTemporary&& other) noexcept {
    if (this != &other) {
      deleteQuietly();
      object_ = std::exchange(other.object_, nullptr);
    }
    return *this;
  }
  ~HostTemporary() { deleteQuietly(); }

  Object* get() const noexcept { return object_; }

  // Deletes the object now and raises the delete's error; the owner is empty afterwards either way.
  void deleteNow() {
    Object* object = std::exchange(object_, nullptr);
    if (object != nullptr) hostCall(deleteOperation, object);
  }

 private:
  void deleteQuietly() noexcept {
    Object* object = std::exchange(object_, nullptr);
    if (object == nullptr) return;
    HostErrorRecord record = freshHostErrorRecord();
    deleteOperation(object, &record);
    if (record.code == kHostErrorOutOfMemory || record.code == kHostErrorFailure) {
      reportTemporaryDeleteError(kindName(), record.code);
    }
  }
  static const char* kindName() noexcept;

  Object* object_;
};

using TemporaryText = HostTemporary<FmxText, FM_Text_Delete>;
using TemporaryFixPt = HostTemporary<FmxFixPt, FM_FixPt_Delete>;
using TemporaryDateTime = HostTemporary<FmxDateTime, FM_DateTime_Delete>;
using TemporaryColor = HostTemporary<FmxColor, FM_Color_Delete>;
using TemporaryQuadChar = HostTemporary<FmxQuadChar, FM_QuadChar_Delete>;
using TemporaryExprEnv = HostTemporary<FmxExprEnv, FM_ExprEnv_Delete>;

template <>
inline const char* TemporaryText::kindName() noexcept {
  return "text";
}
template <>
inline const char* TemporaryFixPt::kindName() noexcept {
  return "fixed-point number";
}
template <>
inline const char* TemporaryDateTime::kindName() noexcept {
  return "date-time";
}
template <>
inline const char* TemporaryColor::kindName() noexcept {
  return "color";
}
template <>
inline const char* TemporaryQuadChar::kindName() noexcept {
  return "four-character code";
}
template <>
inline const char* TemporaryExprEnv::kindName() noexcept {
  return "expression environment";
}

// Create temporaries with the error check: a failed creation raises before the caller sees the object.
TemporaryText makeTemporaryText();
// Always value 0 with precision 16; set a value with FM_FixPt_AssignInt or let a host call fill it.
TemporaryFixPt makeTemporaryFixPt();
TemporaryDateTime makeTemporaryDateTime();
TemporaryColor makeTemporaryColor();
TemporaryQuadChar makeTemporaryQuadChar();
TemporaryQuadChar makeTemporaryQuadChar(char c0, char c1, char c2, char c3);
TemporaryExprEnv makeTemporaryExprEnv();

// A host object's address as Java holds it. Native to Java widens the address with sign (a 32-bit
// address at or above 2 GiB becomes negative); Java to native takes the low 32 bits on 32-bit builds.
using ObjectHandle = jlong;

// The conversion for a given address width, so that both rules can be checked on any build.
template <std::size_t addressBytes>
constexpr int64_t handleFromAddress(uint64_t address) noexcept {
  static_assert(addressBytes == 4 || addressBytes == 8, "addresses are 32 or 64 bits wide");
  if constexpr (addressBytes == 4) {
    return static_cast<int64_t>(static_cast<int32_t>(static_cast<uint32_t>(address)));
  } else {
    return static_cast<int64_t>(address);
  }
}

template <std::size_t addressBytes>
constexpr uint64_t addressFromHandle(int64_t handle) noexcept {
  static_assert(addressBytes == 4 || addressBytes == 8, "addresses are 32 or 64 bits wide");
  if constexpr (addressBytes == 4) {
    return static_cast<uint32_t>(handle);
  } else {
    return static_cast<uint64_t>(handle);
  }
}

// The only place where the module turns object addresses into handles and back.
inline ObjectHandle toObjectHandle(const void* object) noexcept {
  return static_cast<ObjectHandle>(handleFromAddress<sizeof(void*)>(reinterpret_cast<uintptr_t>(object)));
}

template <typename Object>
Object* fromObjectHandle(ObjectHandle handle) noexcept {
  return reinterpret_cast<Object*>(static_cast<uintptr_t>(addressFromHandle<sizeof(void*)>(handle)));
}

}  // namespace xplug

#endif  // XPLUG_NATIVES_VALUES_HOST_OBJECTS_H
