// The callback FileMaker calls for every calculation function the plug-in registered: it passes the call
// to the bridge's doFunction and returns its answer as the call's error code. Called by FileMaker on the
// thread that evaluates the calculation, possibly nested inside a Java function's own evaluation.
#ifndef XPLUG_RELAY_FUNCTION_RELAY_H
#define XPLUG_RELAY_FUNCTION_RELAY_H

#include <cstdint>

#include "fmx/fmx_types.h"

namespace xplug {

// The error code FileMaker gets when the call could not reach Java or failed around it: no Java
// environment or bridge, a host error while passing the parameters or releasing the call's objects, or
// a Java exception that escaped doFunction. It is the bridge's code for a failure without a code.
inline constexpr int16_t kRelayFailure = -1;

// Registered for every Java function. Never raises; every failure is logged and ends as a non-zero code.
// The objects Java made for the call are deleted before it returns (only those of this call when it is
// nested in another), and a thread it attached is detached again.
int16_t FMX_CALL relayExternalFunction(int16_t functionId, const FmxExprEnv* env,
                                       const FmxDataVect* parameters, FmxData* result) noexcept;

}  // namespace xplug

#endif  // XPLUG_RELAY_FUNCTION_RELAY_H
