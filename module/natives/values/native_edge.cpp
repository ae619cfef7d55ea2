#include "natives/values/native_edge.h"

#include <cstdio>
#include <mutex>
#include <new>

#include "natives/values/host_objects.h"

namespace xplug {

namespace {

constexpr char kHostExceptionClass[] = "com/kelvo/xplug/HostException";

// The bridge's exception class for host failures, looked up once it is first needed and kept as a
// global reference: the class loader of the bridge classes lives as long as the process, so the class
// and its constructor id stay valid. A failed lookup is not cached, so a later failure tries again.
struct HostExceptionClass {
  std::mutex mutex;
  jclass type = nullptr;
  jmethodID constructor = nullptr;
};

HostExceptionClass hostExceptionClass;

// Leaves the named exception pending. When even the class cannot be found, the lookup's own
// NoClassDefFoundError (or OutOfMemoryError) is pending instead, which still tells Java the call failed.
void throwNew(JNIEnv* env, const char* className, const char* message) noexcept {
  jclass type = env->FindClass(className);
  if (env->ExceptionCheck() || type == nullptr) return;
  env->ThrowNew(type, message);
  env->DeleteLocalRef(type);
}

bool findHostExceptionClass(JNIEnv* env, jclass* type, jmethodID* constructor) noexcept {
  std::lock_guard<std::mutex> lock(hostExceptionClass.mutex);
  if (hostExceptionClass.type == nullptr) {
    jclass local = env->FindClass(kHostExceptionClass);
    if (env->ExceptionCheck() || local == nullptr) {
      // A plug-in jar built against an older bridge lacks the class; the caller falls back.
      env->ExceptionClear();
      return false;
    }
    jmethodID init = env->GetMethodID(local, "<init>", "(I)V");
    if (env->ExceptionCheck() || init == nullptr) {
      env->ExceptionClear();
      env->DeleteLocalRef(local);
      return false;
    }
    auto global = static_cast<jclass>(env->NewGlobalRef(local));
    env->DeleteLocalRef(local);
    if (global == nullptr) {
      env->ExceptionClear();
      return false;
    }
    hostExceptionClass.type = global;
    hostExceptionClass.constructor = init;
  }
  *type = hostExceptionClass.type;
  *constructor = hostExceptionClass.constructor;
  return true;
}

void throwHostException(JNIEnv* env, int32_t code) noexcept {
  jclass type = nullptr;
  jmethodID constructor = nullptr;
  if (findHostExceptionClass(env, &type, &constructor)) {
    auto exception = static_cast<jthrowable>(env->NewObject(type, constructor, static_cast<jint>(code)));
    if (env->ExceptionCheck() || exception == nullptr) return;  // the construction's own exception is pending
    env->Throw(exception);
    env->DeleteLocalRef(exception);
    return;
  }
  char message[64];
  std::snprintf(message, sizeof(message), "The host reported error %d", static_cast<int>(code));
  throwNew(env, "java/lang/RuntimeException", message);
}

}  // namespace

const char* JavaExceptionPending::what() const noexcept {
  return "a Java exception is pending";
}

void throwIfJavaExceptionPending(JNIEnv* env) {
  if (env->ExceptionCheck()) throw JavaExceptionPending();
}

void raisePendingJavaException(JNIEnv* env) noexcept {
  // An exception a JNI call raised says more than anything made here, and Java gets to see it.
  if (env->ExceptionCheck()) return;
  try {
    throw;
  } catch (const JavaExceptionPending&) {
    // Nothing pending after all (the body raised this without a JNI call failing); Java must still
    // learn that the native did not complete.
    throwNew(env, "java/lang/RuntimeException", "A native call failed");
  } catch (const std::bad_alloc&) {
    throwNew(env, "java/lang/OutOfMemoryError", "The host ran out of memory");
  } catch (const HostError& error) {
    throwHostException(env, error.code());
  } catch (const JavaRangeError& error) {
    throwNew(env,
             error.kind() == JavaRangeError::Kind::array ? "java/lang/ArrayIndexOutOfBoundsException"
                                                         : "java/lang/IndexOutOfBoundsException",
             error.what());
  } catch (const JavaNullArgument& error) {
    throwNew(env, "java/lang/NullPointerException", error.what());
  } catch (const std::exception& error) {
    throwNew(env, "java/lang/RuntimeException", error.what());
  } catch (...) {
    throwNew(env, "java/lang/RuntimeException", "A native call failed");
  }
}

}  // namespace xplug
