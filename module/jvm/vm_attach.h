// Finds the process's Java VM and gives the calling thread a JNI environment, attaching the thread or
// creating the VM when needed. Called by start-up, idle, preferences, shutdown and the function relay,
// on the thread that needs the environment; the environment is used on that thread only.
#ifndef XPLUG_JVM_VM_ATTACH_H
#define XPLUG_JVM_VM_ATTACH_H

#include <jni.h>

namespace xplug {

enum class JvmLookup : int {
  // No VM exists in the process (or the runtime library has no lookup function).
  none = 0,
  // A VM exists and the thread already had an environment.
  alreadyAttached = 1,
  // A VM exists and this lookup attached the thread as a daemon thread.
  attachedNow = 2,
  // A VM exists but the thread has no environment (attaching failed, or the VM gave another answer);
  // the failure is logged. Nothing may call into Java on this thread.
  noEnvironment = 3,
};

// Looks for the VM; for alreadyAttached and attachedNow `*env` is the thread's environment, otherwise
// null.
JvmLookup findExistingJvm(JNIEnv** env);

// The lookup with creation: clears jvmError, finds the VM or creates it. Returns the thread's
// environment, or null when there is none (jvmError then says why when creation failed). When asked
// for, `*attachedNow` tells whether the caller must detach the thread when its host call ends (the
// lookup attached it, or the VM was created on it).
JNIEnv* obtainJvmEnv(bool* attachedNow = nullptr);

}  // namespace xplug

#endif  // XPLUG_JVM_VM_ATTACH_H
