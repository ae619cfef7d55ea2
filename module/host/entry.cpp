#include "host/entry.h"

#include <cstdint>
#include <exception>
#include <type_traits>

#include "host/get_string.h"
#include "host/lifecycle.h"
#include "log/plugin_log.h"
#include "session/host_session.h"

// The host loads the entry point by name and calls it through this type.
static_assert(std::is_same_v<decltype(&FMExternCallProc), FmxExternCallProc>);

namespace xplug {
namespace {

void dispatchHostCall(ExternCallRecord& record) {
  switch (record.selector) {
    case kFmxSelectorInit: {
      // Do-not-enable stands until start-up answers, so that a start-up cut short by an exception never
      // leaves the host reading whatever the result field held.
      record.result = static_cast<uintptr_t>(static_cast<intptr_t>(kFmxDoNotEnable));
      int16_t startResult = handleInit(record.apiVersion, record.callParameter, record.instanceID,
                                       record.unsafeCalls != 0, record.cStartScript, record.cCurrentEnv);
      // Sign-extended, so that the do-not-enable code -2 reads as 0xFFFFFFFE in a 32-bit field.
      record.result = static_cast<uintptr_t>(static_cast<intptr_t>(startResult));
      break;
    }
    case kFmxSelectorIdle:
      // The server host calls idle on threads where Java must not run.
      if (record.unsafeCalls != 0 || hostSession.appType == kFmxAppServer) break;
      handleIdle(record.callParameter, record.cStartScript, record.cCurrentEnv);
      break;
    case kFmxSelectorShutdown:
      handleShutdown(record.unsafeCalls, record.cStartScript, record.cCurrentEnv);
      logMessage("Shutdown complete\n");
      resetLogFilePath();
      break;
    case kFmxSelectorPreferences:
      handlePreferences(record.unsafeCalls, record.cStartScript, record.cCurrentEnv);
      break;
    case kFmxSelectorGetString:
      // `result` carries the address of the host's buffer on this call.
      handleGetString(record.callParameter, record.bufferCapacity,
                      reinterpret_cast<char16_t*>(record.result));
      break;
    default:
      break;
  }
}

}  // namespace
}  // namespace xplug

extern "C" void FMExternCallProc(ExternCallRecord* record) {
  if (record == nullptr) return;
  xplug::currentCallRecord = record;
  // The host cannot take an exception; whatever a handler did not handle ends here with a log line.
  try {
    xplug::dispatchHostCall(*record);
  } catch (const std::exception& error) {
    xplug::logMessage("Host call with selector %u failed: %s\n", static_cast<unsigned>(record->selector),
                      error.what());
  } catch (...) {
    xplug::logMessage("Host call with selector %u failed\n", static_cast<unsigned>(record->selector));
  }
}
