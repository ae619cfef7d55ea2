// What the simulated host lets tests and the fmsim command see and steer about the plug-in's FM_ calls:
// the call trace, live objects per kind, fault injection, calls on dead objects, and a reset of all of it.
// Every function is thread-safe; trace sinks are called on the thread of the traced FM_ call.
#ifndef FMSIM_TEST_SUPPORT_H
#define FMSIM_TEST_SUPPORT_H

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "fmx/fmx_types.h"

namespace fmsim {

// The kinds of host objects the FM_ operations make.
enum class ObjectKind : uint8_t {
  QuadChar,
  FixPt,
  Text,
  Color,
  CharacterStyle,
  Locale,
  Data,
  DataVect,
  DateTime,
  BinaryData,
  ExprEnv,
};
inline constexpr int kObjectKindCount = 11;
FMX_HOST_API std::string_view objectKindName(ObjectKind kind);

// What an FM_ operation with a result code answers when it refuses its operands (a registration that
// could never be called, a date or time outside the calendar, an unknown native type, a stream without
// bytes): FileMaker's "parameter is invalid", as the result. The error record stays clear: FileMaker
// reports only running out of memory and unexpected failures there.
inline constexpr int16_t kOperandRefused = 960;

// ---- Trace: one entry per FM_ call the plug-in makes (the host's own work is not traced), recorded when
// the call returns: an FM_ExprEnv_Evaluate entry follows the calls its plug-in functions made.
struct TraceEntry {
  std::string operation;  // "FM_Text_GetSize"
  std::string operands;   // "text=0x5581..., position=2, count=4294967295"
  std::string result;     // "" for operations without a result
  int32_t code = 0;       // the error code the call reported
};
FMX_HOST_API void setTracing(bool on);
FMX_HOST_API bool isTracing();
// Called for every entry while tracing, besides recording it; an empty function removes the sink.
FMX_HOST_API void setTraceSink(std::function<void(const TraceEntry&)> sink);
FMX_HOST_API std::vector<TraceEntry> traceEntries();
// Just the operation names, in call order; handy for asserting an order of calls.
FMX_HOST_API std::vector<std::string> traceOperations();
FMX_HOST_API void clearTrace();
// "FM_Text_GetSize(text=0x...) -> 3" plus " [code 2]" when the call failed.
FMX_HOST_API std::string formatTraceEntry(const TraceEntry& entry);

// ---- Live objects: made by a constructor and not yet deleted (views and vector elements don't count).
FMX_HOST_API int64_t liveCount(ObjectKind kind);
FMX_HOST_API int64_t totalLiveCount();

// ---- Fault injection: the `nthCall`-th call (1 = the next one) of `operation` after arming reports
// `code` (1 or 2), does nothing else and returns its result type's default. Returns false for an unknown
// operation name, a count of 0 or another code. One fault per operation; arming again replaces it.
FMX_HOST_API bool armFault(std::string_view operation, uint32_t nthCall, int32_t code);
FMX_HOST_API void disarmFaults();
// How many armed faults have fired since the last reset.
FMX_HOST_API uint32_t firedFaultCount();
// Every FM_ operation name the host implements.
FMX_HOST_API std::vector<std::string> operationNames();

// ---- Calls on objects that are not alive.
struct DeadObjectReport {
  std::string operation;  // the FM_ operation called
  const void* address = nullptr;
  std::string reason;  // "null", "deleted", "never created", "wrong kind (...)", "owned by ...", ...
};
FMX_HOST_API std::vector<DeadObjectReport> deadObjectReports();
// Returns the reports and clears them: what a test that provokes a misuse on purpose calls, so that the
// check at the end of every test does not fail it.
FMX_HOST_API std::vector<DeadObjectReport> takeDeadObjectReports();
FMX_HOST_API void clearDeadObjectReports();
// Records a misuse that concerns no object (the host driver's checks of what the module wrote).
FMX_HOST_API void recordMisuse(std::string_view operation, std::string reason);
// "FM_Text_GetSize on 0x55d0...: deleted Text", "shutdown: left alive: 2 Text".
FMX_HOST_API std::string formatDeadObjectReport(const DeadObjectReport& report);

// ---- Objects the plug-in made through FM_ constructors and has not deleted (the host's own, made
// through the C++ API or by the calculation engine, do not count).
FMX_HOST_API int64_t pluginLiveCount();
// Records a report "left alive: 2 Text, 1 Data" for `when` (e.g. "shutdown") when the plug-in still
// has objects alive; true when it did.
FMX_HOST_API bool recordObjectsLeftAlive(std::string_view when);
// For a test that leaves objects alive on purpose (a delete it made fail): the summary as above, and
// the objects alive now no longer count as the plug-in's, so that no report is made of them.
FMX_HOST_API std::string takeObjectsLeftAlive();

// Clears the trace (and turns tracing off), the sink and faults, and frees the quarantine of deleted
// objects. Live objects, registered functions, the host context and the dead-object reports stay: a
// report is cleared only by a test that takes it (takeDeadObjectReports, clearDeadObjectReports).
FMX_HOST_API void resetTestSupport();

}  // namespace fmsim

#endif  // FMSIM_TEST_SUPPORT_H
