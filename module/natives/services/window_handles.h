// Window handles and thread identifiers as they cross to Java, and FileMaker's front window at the first
// plug-in function call. Used by the window, clipboard and event-loop natives and by the function relay;
// any thread may call these.
#ifndef XPLUG_NATIVES_SERVICES_WINDOW_HANDLES_H
#define XPLUG_NATIVES_SERVICES_WINDOW_HANDLES_H

#include <jni.h>

#include <cstdint>

#include "platform/platform.h"

namespace xplug {

// Window handles are 32-bit values on every platform the module runs on, so they have their own rule,
// apart from host object handles: Java to native keeps the low 32 bits only, native to Java widens the
// 32 bits with their sign (a handle with bit 31 set arrives as a negative long).
constexpr platform::WindowHandle windowFromJava(jlong window) noexcept {
  return static_cast<platform::WindowHandle>(static_cast<uint32_t>(window));
}

constexpr jlong windowToJava(platform::WindowHandle window) noexcept {
  return static_cast<jlong>(static_cast<int32_t>(static_cast<uint32_t>(window)));
}

// Thread identifiers are unsigned 32-bit numbers and arrive in Java zero-extended.
constexpr jlong threadIdToJava(uint32_t threadId) noexcept {
  return static_cast<jlong>(threadId);
}

// Called by the relay at the start of every function call: while no window has been recorded yet, the
// window now in front is recorded (and none when nothing is in front, so that the next call tries
// again). Once a window is recorded it never changes.
void recordFirstCallForegroundWindow() noexcept;
// The recorded window, 0 before any call found a window in front.
platform::WindowHandle firstCallForegroundWindow() noexcept;

}  // namespace xplug

#endif  // XPLUG_NATIVES_SERVICES_WINDOW_HANDLES_H
