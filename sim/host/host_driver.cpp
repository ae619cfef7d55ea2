#include "fmsim/host_driver.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "fmsim/calculation.h"
#include "fmsim/test_support.h"
#include "fmsim/values.h"

namespace fmsim {
namespace {

// The host callbacks carry no user data, so the driver that owns the record is process-wide.
HostDriver* activeDriver = nullptr;

// The host's code for a script that cannot be found.
constexpr int16_t kScriptMissing = 104;

// What the record and the string buffers are filled with before the module sees them: not zeros, so
// that a result the module never set, a missing terminator or a write past the end shows.
constexpr unsigned char kMarkerByte = 0xA5;
constexpr char16_t kMarkerUnit = 0xA5A5;

}  // namespace

HostDriver::HostDriver() {
  activeDriver = this;
}

HostDriver::~HostDriver() {
  if (activeDriver == this) activeDriver = nullptr;
  // The module is never unloaded: a Java VM started by it lives in the process until it ends.
}

void HostDriver::prepare(uint8_t selector, uint8_t callParameter, bool unsafeCalls) {
  std::memset(static_cast<void*>(&record_), kMarkerByte, sizeof record_);
  record_.apiVersion = kApiVersion;
  record_.selector = selector;
  record_.unsafeCalls = unsafeCalls ? 1 : 0;
  record_.callParameter = callParameter;
  record_.instanceID = reinterpret_cast<uintptr_t>(library_);
  record_.cStartScript = &HostDriver::startScript;
  record_.cCurrentEnv = &fmsimCurrentEnvironment;
}

const ExternCallRecord& HostDriver::call(uint8_t selector, uint8_t callParameter, bool unsafeCalls) {
  prepare(selector, callParameter, unsafeCalls);
  if (entry_ != nullptr) {
    PluginCallMark hostCall;
    entry_(&record_);
  }
  return record_;
}

std::u16string HostDriver::getString(uint8_t id, uint32_t capacity) {
  // One unit more than the module is told of: a write there is past the end.
  std::vector<char16_t> buffer(capacity + 1, kMarkerUnit);
  prepare(kFmxSelectorGetString, id, false);
  record_.bufferCapacity = capacity;
  record_.result = reinterpret_cast<uintptr_t>(buffer.data());
  if (entry_ != nullptr) {
    PluginCallMark hostCall;
    entry_(&record_);
  }
  if (buffer[capacity] != kMarkerUnit) {
    recordMisuse("get string " + std::to_string(id),
                 "written past the buffer's " + std::to_string(capacity) + " units");
  }
  auto end = std::find(buffer.begin(), buffer.begin() + capacity, u'\0');
  if (end == buffer.begin() + capacity && entry_ != nullptr && capacity != 0) {
    recordMisuse("get string " + std::to_string(id), "no terminator within the buffer");
  }
  return std::u16string(buffer.begin(), end);
}

int16_t HostDriver::startup(uint8_t appType, bool unsafeCalls) {
  const ExternCallRecord& done = call(kFmxSelectorInit, appType, unsafeCalls);
  return static_cast<int16_t>(done.result);
}

void HostDriver::idle(uint8_t idleState, bool unsafeCalls) {
  call(kFmxSelectorIdle, idleState, unsafeCalls);
}

void HostDriver::preferences(bool unsafeCalls) {
  call(kFmxSelectorPreferences, 0, unsafeCalls);
}

void HostDriver::shutdown(bool unsafeCalls) {
  call(kFmxSelectorShutdown, 0, unsafeCalls);
  // Whatever the plug-in made and still holds now is leaked: FileMaker will not ask again.
  recordObjectsLeftAlive("shutdown");
}

int16_t FMX_CALL HostDriver::startScript(const FmxText* fileName, const FmxText* scriptName, int32_t control,
                                         const FmxData* parameter) {
  checkPluginThread("script start", scriptName);
  HostDriver* driver = activeDriver;
  if (driver == nullptr || fileName == nullptr || scriptName == nullptr) return kScriptMissing;
  ScriptStart start;
  start.file = textUnits(fileName);
  start.script = textUnits(scriptName);
  start.control = control;
  if (parameter != nullptr) start.parameter = utf8ToUtf16(displayText(parameter));
  std::lock_guard<std::mutex> lock(driver->scriptMutex_);
  driver->scriptStarts_.push_back(start);
  return driver->scriptHandler_ ? driver->scriptHandler_(start) : 0;
}

}  // namespace fmsim
