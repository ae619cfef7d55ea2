// The host's calculation side for the host driver and tests: registered plug-in functions, evaluation of
// calculation expressions, expression environments and the host's current-environment callback.
// Thread-safe; an evaluation runs on the calling thread and may nest (a plug-in function evaluating again).
// The thread rules below are kept per thread.
#ifndef FMSIM_CALCULATION_H
#define FMSIM_CALCULATION_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fmx/fmx_types.h"

namespace fmsim {

// A function registered through FM_ExprEnv_RegisterExternalFunction or ...Ex.
struct RegisteredFunction {
  uint32_t pluginId = 0;  // four-character code, first character in the most significant byte
  int16_t functionId = 0;
  std::u16string name;
  std::u16string prototype;
  int16_t minArgs = 0;
  int16_t maxArgs = 0;  // -1: no limit
  uint32_t flags = 0;
  FmxExternalFunction callback = nullptr;
  std::u16string description;  // empty when registered without one
};
// In registration order (a re-registered name keeps its first place).
FMX_HOST_API std::vector<RegisteredFunction> registeredFunctions();
FMX_HOST_API void clearRegisteredFunctions();

// Calculation error codes, as FileMaker numbers them.
enum : int16_t {
  kCalcOk = 0,
  kCalcFieldMissing = 102,
  kCalcGeneric = 1200,
  kCalcTooFewParameters = 1201,
  kCalcTooManyParameters = 1202,
  kCalcOperandExpected = 1204,
  kCalcUnterminatedComment = 1205,
  kCalcUnterminatedText = 1206,
  kCalcUnbalancedParenthesis = 1207,
  kCalcOperatorMissing = 1208,
};
// The meaning of a calculation error code; for other codes (a plug-in's own) a generic text.
FMX_HOST_API std::string calcErrorMessage(int16_t code);

struct EvaluationResult {
  int16_t code = 0;     // 0, a calculation error, or the non-zero code a plug-in function returned
  std::string text;     // the result's display text (UTF-8) when code is 0
  std::string message;  // calcErrorMessage(code) when code is not 0
};
// Evaluates `expression` (UTF-8) in `env`, or in a fresh environment filled with the host's current
// context when env is null.
FMX_HOST_API EvaluationResult evaluate(std::string_view expression, const FmxExprEnv* env = nullptr);
// Evaluates into an existing data value, the way FM_ExprEnv_Evaluate does; returns the error code.
FMX_HOST_API int16_t evaluateInto(std::u16string_view expression, const FmxExprEnv* env, FmxData* result);

// The context the host is "in": what the current-environment callback puts into an environment.
struct HostContext {
  std::string fileName = "Untitled";
  std::string layoutName = "Layout";
  std::string tableName = "Table";
};
FMX_HOST_API void setHostContext(const HostContext& context);
FMX_HOST_API HostContext hostContext();

FMX_HOST_API FmxExprEnv* makeExprEnv();
FMX_HOST_API bool deleteExprEnv(FmxExprEnv* env);
// Whether `env` was filled by the current-environment callback, and with which context.
FMX_HOST_API bool hasContext(const FmxExprEnv* env);
FMX_HOST_API HostContext environmentContext(const FmxExprEnv* env);

// The host's current-environment callback (what ExternCallRecord.cCurrentEnv points at): fills `env` with
// the host context and returns 0, or the failure code set below; 2 for a dead or null environment.
FMX_EXTERN_C FMX_HOST_API int16_t FMX_CALL fmsimCurrentEnvironment(FmxExprEnv* env);
// 0 makes the callback succeed again.
FMX_HOST_API void setCurrentEnvironmentFailure(int16_t code);

// ---- FileMaker's thread rules. A plug-in may evaluate (FM_ExprEnv_Evaluate) and start scripts only on a
// thread FileMaker is calling it on: inside a host call (FMExternCallProc) or a plug-in function call. The
// engine marks the function calls it makes; the host driver marks its host calls; a test or a host that
// calls a plug-in function itself marks it with PluginCallMark or callFunction. A breach is reported
// with the calls on dead objects (deadObjectReports(), reason kThreadRuleBreach) and the operation goes
// on, so that whatever a plug-in does off FileMaker's thread is seen.
inline constexpr char kThreadRuleBreach[] = "from a thread FileMaker is not calling the plug-in on";
FMX_HOST_API void enterPluginCall() noexcept;
FMX_HOST_API void leavePluginCall() noexcept;
FMX_HOST_API bool pluginCalledOnThisThread() noexcept;
// True on a thread FileMaker is calling the plug-in on; otherwise reports the breach of `operation` (on
// the object at `address`) and returns false.
FMX_HOST_API bool checkPluginThread(std::string_view operation, const void* address);

// FileMaker is calling the plug-in on this thread while one lives.
class PluginCallMark {
 public:
  PluginCallMark() noexcept { enterPluginCall(); }
  ~PluginCallMark() { leavePluginCall(); }
  PluginCallMark(const PluginCallMark&) = delete;
  PluginCallMark& operator=(const PluginCallMark&) = delete;
};

// Calls a registered function as the engine does: on this thread, marked as a call of the plug-in.
FMX_HOST_API int16_t callFunction(const RegisteredFunction& function, const FmxExprEnv* env,
                                  const FmxDataVect* parameters, FmxData* result);

}  // namespace fmsim

#endif  // FMSIM_CALCULATION_H
