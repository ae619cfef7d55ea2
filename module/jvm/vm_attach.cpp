#include "jvm/vm_attach.h"

#include "jvm/jvm_session.h"
#include "jvm/vm_creation.h"
#include "log/plugin_log.h"

namespace xplug {

JvmLookup findExistingJvm(JNIEnv** env) {
  *env = nullptr;
  jsize count = 0;
  if (jvmSession.entryPoints.getCreatedJavaVMs == nullptr) {
    logMessage("*** SEVERE: Could not locate JNI_GetCreatedJavaVMs routine\n");
  } else if (jvmSession.entryPoints.getCreatedJavaVMs(&jvmSession.vm, 1, &count) != JNI_OK) {
    count = 0;
  }
  if (count < 1 || jvmSession.vm == nullptr) return JvmLookup::none;

  void* found = nullptr;
  jint status = jvmSession.vm->GetEnv(&found, JNI_VERSION_1_4);
  if (status == JNI_OK) {
    *env = static_cast<JNIEnv*>(found);
    return JvmLookup::alreadyAttached;
  }
  if (status == JNI_EDETACHED) {
    status = jvmSession.vm->AttachCurrentThreadAsDaemon(&found, nullptr);
    if (status == JNI_OK) {
      *env = static_cast<JNIEnv*>(found);
      return JvmLookup::attachedNow;
    }
    logMessage("Could not attach the JNI environment to the current thread because of an error %d.\n",
               static_cast<int>(status));
    return JvmLookup::noEnvironment;
  }
  logMessage("Unknown error while getting JNI environment: %d\n", static_cast<int>(status));
  return JvmLookup::noEnvironment;
}

JNIEnv* obtainJvmEnv(bool* attachedNow) {
  if (attachedNow != nullptr) *attachedNow = false;
  jvmSession.jvmError = nullptr;
  JNIEnv* env = nullptr;
  JvmLookup lookup = findExistingJvm(&env);
  if (lookup == JvmLookup::alreadyAttached || lookup == JvmLookup::attachedNow) {
    if (attachedNow != nullptr) *attachedNow = lookup == JvmLookup::attachedNow;
    return env;
  }
  if (lookup == JvmLookup::noEnvironment) return nullptr;

  logMessage("No existing JVM found; creating one.\n");
  createJvm();
  lookup = findExistingJvm(&env);
  if (lookup == JvmLookup::none) logMessage("Serious error, could not find JVM after creating it.\n");
  if (jvmSession.jvmError != nullptr) {
    logMessage("Failed to create JVM because of an error: %s\n", jvmSession.jvmError);
  }
  // The creating thread is attached by the creation itself; its caller ends that attachment as it
  // would one made by the lookup.
  if (attachedNow != nullptr) *attachedNow = env != nullptr;
  return env;
}

}  // namespace xplug
