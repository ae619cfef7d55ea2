#include "gate.h"

#include <array>
#include <charconv>
#include <functional>

namespace fmsim {

std::atomic<bool> gTracing{false};
std::atomic<bool> gFaultsArmed{false};

namespace {

constexpr std::array<std::string_view, static_cast<size_t>(Op::Count)> kOperationNames = {
#define FMSIM_OP_NAME(name) "FM_" #name,
    FMSIM_OPERATIONS(FMSIM_OP_NAME)
#undef FMSIM_OP_NAME
};

struct Fault {
  uint32_t callsLeft = 0;  // 0: not armed
  int32_t code = 0;
};

// Guarded by the host lock: faults are counted inside the operation they affect.
struct FaultTable {
  std::array<Fault, static_cast<size_t>(Op::Count)> faults{};
  uint32_t armedCount = 0;
  uint32_t fired = 0;
};

FaultTable& faultTable() {
  static FaultTable* instance = new FaultTable();
  return *instance;
}

// The trace has a lock of its own: it is written after the host lock is released, so that a sink may
// call into the host.
struct TraceLog {
  std::mutex mutex;
  std::vector<TraceEntry> entries;
  std::function<void(const TraceEntry&)> sink;
};

TraceLog& traceLog() {
  static TraceLog* instance = new TraceLog();
  return *instance;
}

}  // namespace

std::string_view operationName(Op op) {
  return kOperationNames[static_cast<size_t>(op)];
}

int32_t takeFaultLocked(Op op) {
  FaultTable& t = faultTable();
  Fault& fault = t.faults[static_cast<size_t>(op)];
  if (fault.callsLeft == 0) return 0;
  if (--fault.callsLeft != 0) return 0;
  ++t.fired;
  if (--t.armedCount == 0) gFaultsArmed.store(false);
  return fault.code;
}

void emitTrace(Op op, std::string operands, std::string result, int32_t code) {
  TraceEntry entry{std::string(operationName(op)), std::move(operands), std::move(result), code};
  std::function<void(const TraceEntry&)> sink;
  {
    TraceLog& log = traceLog();
    std::lock_guard<std::mutex> lock(log.mutex);
    if (!gTracing.load()) return;
    log.entries.push_back(entry);
    sink = log.sink;
  }
  if (sink) sink(entry);
}

std::string traceText(const void* pointer) {
  return pointer == nullptr ? "null" : hexAddress(pointer);
}
std::string traceText(bool value) {
  return value ? "true" : "false";
}
std::string traceText(int64_t value) {
  return std::to_string(value);
}
std::string traceText(uint64_t value) {
  return std::to_string(value);
}
std::string traceText(double value) {
  char buffer[64];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  return ec == std::errc() ? std::string(buffer, end) : "?";
}

void setTracing(bool on) {
  std::lock_guard<std::mutex> lock(traceLog().mutex);
  gTracing.store(on);
}

bool isTracing() {
  return gTracing.load();
}

void setTraceSink(std::function<void(const TraceEntry&)> sink) {
  std::lock_guard<std::mutex> lock(traceLog().mutex);
  traceLog().sink = std::move(sink);
}

std::vector<TraceEntry> traceEntries() {
  std::lock_guard<std::mutex> lock(traceLog().mutex);
  return traceLog().entries;
}

std::vector<std::string> traceOperations() {
  std::lock_guard<std::mutex> lock(traceLog().mutex);
  std::vector<std::string> names;
  names.reserve(traceLog().entries.size());
  for (const TraceEntry& e : traceLog().entries) names.push_back(e.operation);
  return names;
}

void clearTrace() {
  std::lock_guard<std::mutex> lock(traceLog().mutex);
  traceLog().entries.clear();
}

std::string formatTraceEntry(const TraceEntry& entry) {
  std::string text = entry.operation + "(" + entry.operands + ")";
  if (!entry.result.empty()) text += " -> " + entry.result;
  if (entry.code != 0) text += " [code " + std::to_string(entry.code) + "]";
  return text;
}

bool armFault(std::string_view operation, uint32_t nthCall, int32_t code) {
  if (nthCall == 0 || (code != kHostErrorOutOfMemory && code != kHostErrorFailure)) return false;
  for (size_t i = 0; i < kOperationNames.size(); ++i) {
    if (kOperationNames[i] != operation) continue;
    auto lock = hostLock();
    FaultTable& t = faultTable();
    if (t.faults[i].callsLeft == 0) ++t.armedCount;
    t.faults[i] = Fault{nthCall, code};
    gFaultsArmed.store(true);
    return true;
  }
  return false;
}

void disarmFaults() {
  auto lock = hostLock();
  FaultTable& t = faultTable();
  t.faults.fill(Fault{});
  t.armedCount = 0;
  gFaultsArmed.store(false);
}

uint32_t firedFaultCount() {
  auto lock = hostLock();
  return faultTable().fired;
}

std::vector<std::string> operationNames() {
  return {kOperationNames.begin(), kOperationNames.end()};
}

void resetTestSupport() {
  {
    std::lock_guard<std::mutex> lock(traceLog().mutex);
    gTracing.store(false);
    traceLog().entries.clear();
    traceLog().sink = nullptr;
  }
  disarmFaults();
  auto lock = hostLock();
  faultTable().fired = 0;
  freeQuarantineLocked();
}

}  // namespace fmsim
