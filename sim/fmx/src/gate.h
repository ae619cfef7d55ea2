// The door every exported FM_ operation goes through: it takes the host lock, applies an armed fault,
// checks the operands' liveness, turns exceptions into error codes, writes the error record and traces
// the call. Used only by the FM_ entry points; any thread. Tracing and fault checks cost one atomic load
// each while they are off.
#ifndef FMSIM_GATE_H
#define FMSIM_GATE_H

#include <atomic>
#include <new>
#include <string>
#include <string_view>
#include <type_traits>

#include "objects.h"

namespace fmsim {

#define FMSIM_OPERATIONS(X)           \
  X(QuadChar_Constructor1)            \
  X(QuadChar_Constructor2)            \
  X(QuadChar_GetMacType)              \
  X(QuadChar_SetMacType)              \
  X(QuadChar_Delete)                  \
  X(FixPt_Constructor1)               \
  X(FixPt_AssignInt)                  \
  X(FixPt_AsLong)                     \
  X(FixPt_AsFloat)                    \
  X(FixPt_Delete)                     \
  X(Text_Constructor1)                \
  X(Text_AssignUnicode)               \
  X(Text_AssignUnicodeWithLength)     \
  X(Text_AppendText)                  \
  X(Text_GetSize)                     \
  X(Text_GetUnicode)                  \
  X(Text_GetStyle)                    \
  X(Text_GetDefaultStyle)             \
  X(Text_SetStyle)                    \
  X(Text_Delete)                      \
  X(Color_Constructor1)               \
  X(Color_SetRed)                     \
  X(Color_SetGreen)                   \
  X(Color_SetBlue)                    \
  X(Color_SetAlpha)                   \
  X(Color_Delete)                     \
  X(CharacterStyle_Constructor1)      \
  X(CharacterStyle_SetFont)           \
  X(CharacterStyle_SetFace)           \
  X(CharacterStyle_SetSize)           \
  X(CharacterStyle_GetFont)           \
  X(CharacterStyle_GetFace)           \
  X(CharacterStyle_GetSize)           \
  X(CharacterStyle_SetColor)          \
  X(CharacterStyle_Delete)            \
  X(Data_Constructor1)                \
  X(Data_IsEmpty)                     \
  X(Data_GetAsNumber)                 \
  X(Data_GetAsDate)                   \
  X(Data_GetAsTimeStamp)              \
  X(Data_GetAsText)                   \
  X(Data_GetBinaryData)               \
  X(Data_GetLocale)                   \
  X(Data_GetNativeType)               \
  X(Data_SetAsText)                   \
  X(Data_SetAsTime)                   \
  X(Data_SetAsTimeStamp)              \
  X(Data_SetBinaryData)               \
  X(Data_Delete)                      \
  X(DataVect_Size)                    \
  X(DataVect_At)                      \
  X(ExprEnv_Constructor1)             \
  X(ExprEnv_Evaluate)                 \
  X(ExprEnv_Delete)                   \
  X(ExprEnv_RegisterExternalFunction) \
  X(DateTime_Constructor1)            \
  X(DateTime_SetNormalizedDate2)      \
  X(DateTime_SetNormalizedTime1)      \
  X(DateTime_SetSecsSinceMidnight)    \
  X(DateTime_GetDaysSinceEpoch)       \
  X(DateTime_GetSecsSinceMidnight)    \
  X(DateTime_GetSecondsSinceEpoch)    \
  X(DateTime_Delete)                  \
  X(BinaryData_Constructor1)          \
  X(BinaryData_Constructor2)          \
  X(BinaryData_GetCount)              \
  X(BinaryData_GetTotalSize)          \
  X(BinaryData_GetType)               \
  X(BinaryData_GetSize)               \
  X(BinaryData_GetData)               \
  X(BinaryData_Add)                   \
  X(BinaryData_Remove)                \
  X(BinaryData_RemoveAll)             \
  X(BinaryData_Delete)                \
  X(ExprEnv_RegisterExternalFunctionEx)

enum class Op : uint16_t {
#define FMSIM_OP_ENUM(name) name,
  FMSIM_OPERATIONS(FMSIM_OP_ENUM)
#undef FMSIM_OP_ENUM
      Count
};

std::string_view operationName(Op op);

extern std::atomic<bool> gTracing;
extern std::atomic<bool> gFaultsArmed;
// Counts the call against an armed fault of `op`; returns the code to report when it fires, else 0.
int32_t takeFaultLocked(Op op);
void emitTrace(Op op, std::string operands, std::string result, int32_t code);

// Operand and result texts of the trace; only built while tracing.
std::string traceText(const void* pointer);
std::string traceText(bool value);
std::string traceText(double value);
std::string traceText(int64_t value);
std::string traceText(uint64_t value);
template <class T>
requires std::is_integral_v<T> std::string traceText(T value) {
  if constexpr (std::is_signed_v<T>) {
    return traceText(static_cast<int64_t>(value));
  } else {
    return traceText(static_cast<uint64_t>(value));
  }
}

// The state of one FM_ call while it runs under the host lock.
class Call {
 public:
  explicit Call(Op op) : op_(op) {}
  std::string_view name() const { return operationName(op_); }
  // The first failure wins; later ones don't hide it.
  void fail(int32_t code) {
    if (code_ == 0) code_ = code;
  }
  int32_t code() const { return code_; }

  template <class T>
  T* read(const void* address) {
    return use<T>(address, Access::Read);
  }
  template <class T>
  T* write(const void* address) {
    return use<T>(address, Access::Write);
  }
  template <class T>
  T* remove(const void* address) {
    return use<T>(address, Access::Delete);
  }

 private:
  template <class T>
  T* use(const void* address, Access access) {
    T* object = findAsLocked<T>(address, access, name());
    if (object == nullptr) fail(kHostErrorFailure);
    return object;
  }

  Op op_;
  int32_t code_ = 0;
};

// Runs `body(Call&)` for operation `op` under the host lock. `describe()` gives the operands' trace text
// and runs only while tracing. A faulted or failed call returns R's default.
template <class R, class Describe, class Body>
R runOperation(Op op, HostErrorRecord* err, Describe&& describe, Body&& body) {
  Call call(op);
  using Result = std::conditional_t<std::is_void_v<R>, int, R>;
  Result result{};
  {
    auto lock = hostLock();
    int32_t faultCode = gFaultsArmed.load(std::memory_order_relaxed) ? takeFaultLocked(op) : 0;
    if (faultCode != 0) {
      call.fail(faultCode);
    } else {
      try {
        PluginMadeScope pluginMade;
        if constexpr (std::is_void_v<R>) {
          body(call);
        } else {
          result = body(call);
        }
      } catch (const std::bad_alloc&) {
        call.fail(kHostErrorOutOfMemory);
      } catch (...) {
        call.fail(kHostErrorFailure);
      }
      if (call.code() != 0) result = Result{};
    }
  }
  if (err != nullptr) err->code = call.code();
  if (gTracing.load(std::memory_order_relaxed)) {
    try {
      std::string resultText;
      if constexpr (!std::is_void_v<R>) resultText = traceText(result);
      emitTrace(op, describe(), std::move(resultText), call.code());
    } catch (...) {
      // A trace that cannot be recorded (no memory) must not change the plug-in's call.
    }
  }
  if constexpr (!std::is_void_v<R>) return result;
}

}  // namespace fmsim

#endif  // FMSIM_GATE_H
