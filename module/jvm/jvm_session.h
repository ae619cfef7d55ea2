// The hosted Java VM's state (runtime library and entry points, VM, last start-up error, bridge class
// and object), shared by the VM hosting units, the lifecycle handlers and the relay. One process-wide
// value, written without locks on FileMaker's thread and never freed, so a later start-up reuses it.
#ifndef XPLUG_JVM_JVM_SESSION_H
#define XPLUG_JVM_JVM_SESSION_H

#include <jni.h>

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace xplug {

// The invocation functions of a loaded Java runtime library, looked up together when the library is
// loaded; a missing one stays null and its user reports it.
struct JavaRuntimeEntryPoints {
  jint(JNICALL* createJavaVM)(JavaVM** vm, void** env, void* arguments) = nullptr;
  jint(JNICALL* getCreatedJavaVMs)(JavaVM** vms, jsize capacity, jsize* count) = nullptr;
};

// Looks both functions up in a library; a null library gives both null.
JavaRuntimeEntryPoints findRuntimeEntryPoints(platform::LibraryHandle library);

struct JvmSession {
  JavaVM* vm = nullptr;
  platform::LibraryHandle runtimeLibrary = nullptr;
  JavaRuntimeEntryPoints entryPoints;
  // The runtime's lib folder, and its registry version (CurrentVersion), which decides the options that
  // only old runtimes accept.
  std::u16string javaLibDir;
  std::u16string runtimeVersion;
  // The text of the last VM start-up error: always one of the fixed texts below, never allocated.
  const char* jvmError = nullptr;
  bool headless = false;
  int32_t debugPort = 4410;
  // Global references, each made once and kept for the life of the process.
  jobject classLoader = nullptr;
  jclass bridgeClass = nullptr;
  jobject bridgeInstance = nullptr;
  // Method ids stay valid as long as their class is loaded, which the global reference guarantees.
  jmethodID idleMethod = nullptr;
  jmethodID doFunctionMethod = nullptr;
};

extern JvmSession jvmSession;

// The user-facing text of a start-up failure, for error numbers 1 (VM creation failed) to 8 (the
// runtime library would not load); numbers 2 to 8 are the steps of runtime discovery. Null for any
// other number.
const char* javaMissingMessage(int errorNumber);

}  // namespace xplug

#endif  // XPLUG_JVM_JVM_SESSION_H
