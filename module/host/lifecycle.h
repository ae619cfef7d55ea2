// The host's lifecycle calls as the entry point hands them on: start-up, idle, preferences and shutdown.
// Called by FMExternCallProc only, on FileMaker's thread, one call at a time.
#ifndef XPLUG_HOST_LIFECYCLE_H
#define XPLUG_HOST_LIFECYCLE_H

#include <cstdint>

#include "fmx/fmx_types.h"

namespace xplug {

// Returns the start-up result for the host (-2: do not enable the plug-in).
int16_t handleInit(int16_t apiVersion, uint16_t appType, uintptr_t instanceID, bool unsafeCalls,
                   FmxStartScriptFunction cStartScript, FmxCurrentEnvFunction cCurrentEnv);
void handleShutdown(uint8_t unsafeCalls, FmxStartScriptFunction cStartScript, FmxCurrentEnvFunction cCurrentEnv);
void handleIdle(uint16_t idleState, FmxStartScriptFunction cStartScript, FmxCurrentEnvFunction cCurrentEnv);
void handlePreferences(uint8_t unsafeCalls, FmxStartScriptFunction cStartScript,
                       FmxCurrentEnvFunction cCurrentEnv);

}  // namespace xplug

#endif  // XPLUG_HOST_LIFECYCLE_H
