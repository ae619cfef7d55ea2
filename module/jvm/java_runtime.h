// Finds the installed Java runtime through the registry, extends PATH for its libraries and loads its
// runtime library into the JvmSession. Called by start-up on FileMaker's thread, once per start-up.
#ifndef XPLUG_JVM_JAVA_RUNTIME_H
#define XPLUG_JVM_JAVA_RUNTIME_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace xplug {

// Capacity, in UTF-16 units with the terminator, of every registry text the VM hosting reads.
inline constexpr uint32_t kRegistryTextCapacity = 260;

// A registry text of the VM hosting's capacity; none when it cannot be read.
std::optional<std::u16string> readRegistryText(const platform::RegistryKey& key, std::u16string_view name);

// The process's PATH up to its first zero unit; empty when unset.
std::u16string readPathVariable();

// Runs the discovery: sets jvmSession's javaLibDir, runtimeVersion, runtimeLibrary and entry points,
// or jvmError (javaMissingMessage 2 to 8) with a log line. Shows nothing to the user.
void locateJavaRuntime();

}  // namespace xplug

#endif  // XPLUG_JVM_JAVA_RUNTIME_H
