#include "relay/function_relay.h"

#include <jni.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <exception>
#include <new>
#include <vector>

#include "fmx/fmx_calls.h"
#include "jvm/bridge_instance.h"
#include "jvm/jni_support.h"
#include "jvm/jvm_session.h"
#include "jvm/vm_attach.h"
#include "log/plugin_log.h"
#include "natives/services/window_handles.h"
#include "natives/values/call_scope.h"
#include "natives/values/host_objects.h"
#include "session/host_session.h"

namespace xplug {

namespace {

using jni::describePendingException;

constexpr char kDoFunctionName[] = "doFunction";
constexpr char kDoFunctionDescriptor[] = "(S[JJZJJ)S";
// The parameter array is the only local reference a call makes itself; the rest is room for the
// bridge's creation, should this call be the first to need the bridge.
constexpr jint kRelayFrameCapacity = 16;
// Calls with up to this many parameters build their handles without allocating.
constexpr std::size_t kInlineParameterCount = 16;

// The method id is cached in the session once found: it stays valid as long as the bridge class is
// loaded, which its global reference guarantees for the life of the process. FileMaker Server's threads
// may make their first calls at once: the cache is read and written atomically, and two threads that
// both look the id up store the same value.
jmethodID findDoFunction(JNIEnv* env) {
  std::atomic_ref<jmethodID> cached(jvmSession.doFunctionMethod);
  if (jmethodID method = cached.load()) return method;
  jclass bridgeClass = loadBridgeClass(env);
  if (bridgeClass == nullptr) return nullptr;
  jmethodID method = env->GetMethodID(bridgeClass, kDoFunctionName, kDoFunctionDescriptor);
  if (describePendingException(env)) return nullptr;
  cached.store(method);
  return method;
}

// The handles of the call's parameters, in parameter order. Raises the host's error when the vector
// cannot be read; nothing has been made in Java then.
class ParameterHandles {
 public:
  explicit ParameterHandles(const FmxDataVect* parameters) {
    uint32_t size = hostCall(FM_DataVect_Size, parameters);
    if (size > static_cast<uint32_t>(INT32_MAX)) throw std::bad_alloc();
    count_ = static_cast<jsize>(size);
    if (size > inline_.size()) {
      heap_.resize(size);
      handles_ = heap_.data();
    }
    for (uint32_t i = 0; i < size; ++i) handles_[i] = toObjectHandle(hostCall(FM_DataVect_At, parameters, i));
  }
  ParameterHandles(const ParameterHandles&) = delete;
  ParameterHandles& operator=(const ParameterHandles&) = delete;

  jsize count() const noexcept { return count_; }
  const jlong* data() const noexcept { return handles_; }

 private:
  std::array<jlong, kInlineParameterCount> inline_{};
  std::vector<jlong> heap_;
  jlong* handles_ = inline_.data();
  jsize count_ = 0;
};

// The host's script-start callback of the latest host call, as Java keeps it for script triggers.
jlong currentStartScriptHandle() {
  const ExternCallRecord* record = currentCallRecord.load();
  if (record == nullptr) return 0;
  return toObjectHandle(reinterpret_cast<const void*>(record->cStartScript));
}

int16_t callDoFunction(JNIEnv* env, int16_t functionId, const FmxExprEnv* exprEnv,
                       const FmxDataVect* parameters, FmxData* result) {
  jni::LocalFrame frame(env, kRelayFrameCapacity);
  if (!frame.pushed()) {
    logMessage("No room for the call of function %d in Java; it is not called\n",
               static_cast<int>(functionId));
    return kRelayFailure;
  }
  jobject bridge = getBridgeInstance(env);
  jmethodID doFunction = bridge != nullptr ? findDoFunction(env) : nullptr;
  if (doFunction == nullptr) {
    logMessage("The plug-in's bridge has no doFunction; function %d is not called\n",
               static_cast<int>(functionId));
    return kRelayFailure;
  }

  ParameterHandles handles(parameters);
  jni::LocalRef<jlongArray> array(env, env->NewLongArray(handles.count()));
  if (describePendingException(env) || !array) {
    logMessage("No Java array for the %d parameters of function %d; it is not called\n",
               static_cast<int>(handles.count()), static_cast<int>(functionId));
    return kRelayFailure;
  }
  env->SetLongArrayRegion(array.get(), 0, handles.count(), handles.data());
  if (describePendingException(env)) return kRelayFailure;

  jshort answer = env->CallShortMethod(bridge, doFunction, static_cast<jshort>(functionId), array.get(),
                                       toObjectHandle(result), JNI_FALSE, currentStartScriptHandle(),
                                       toObjectHandle(exprEnv));
  if (env->ExceptionCheck()) {
    logMessage("An error did occur\n");
    describePendingException(env);
    // Whatever the VM returned from a call that threw is no answer of the function's.
    return kRelayFailure;
  }
  return answer;
}

// Deletes the call's objects. A delete the host refuses has already left the list; the release goes
// on with the others, so that one refusal does not keep the rest alive.
bool releaseCallObjects(CallScopeFrame& scope, int16_t functionId) noexcept {
  bool released = true;
  for (;;) {
    try {
      scope.release();
      return released;
    } catch (const std::bad_alloc&) {
      logMessage("The host ran out of memory deleting an object of function %d\n",
                 static_cast<int>(functionId));
    } catch (const HostError& error) {
      logMessage("The host reported error %d deleting an object of function %d\n",
                 static_cast<int>(error.code()), static_cast<int>(functionId));
    } catch (...) {
      logMessage("Deleting the objects of function %d failed\n", static_cast<int>(functionId));
      return false;
    }
    released = false;
  }
}

int16_t relay(int16_t functionId, const FmxExprEnv* exprEnv, const FmxDataVect* parameters, FmxData* result) {
  // Java's task runner needs FileMaker's window; the window in front when a function is called is it.
  recordFirstCallForegroundWindow();
  bool attachedNow = false;
  JNIEnv* env = obtainJvmEnv(&attachedNow);
  // Declared first so that it detaches last, after the call's objects are gone.
  jni::ThreadAttachment attachment(jvmSession.vm, env != nullptr && attachedNow);
  CallScopeFrame scope;

  int16_t answer = kRelayFailure;
  if (env == nullptr) {
    logMessage("No Java environment for function %d; it is not called\n", static_cast<int>(functionId));
  } else {
    try {
      answer = callDoFunction(env, functionId, exprEnv, parameters, result);
    } catch (const std::bad_alloc&) {
      logMessage("Out of memory passing the parameters of function %d to Java\n",
                 static_cast<int>(functionId));
    } catch (const HostError& error) {
      logMessage("The host reported error %d passing the parameters of function %d to Java\n",
                 static_cast<int>(error.code()), static_cast<int>(functionId));
    }
  }
  // A host that could not delete the call's objects is in trouble; the call does not count as done.
  if (!releaseCallObjects(scope, functionId) && answer == 0) answer = kRelayFailure;
  return answer;
}

}  // namespace

int16_t FMX_CALL relayExternalFunction(int16_t functionId, const FmxExprEnv* env,
                                       const FmxDataVect* parameters, FmxData* result) noexcept {
  try {
    return relay(functionId, env, parameters, result);
  } catch (const std::exception& error) {
    logMessage("The call of function %d failed: %s\n", static_cast<int>(functionId), error.what());
  } catch (...) {
    logMessage("The call of function %d failed\n", static_cast<int>(functionId));
  }
  return kRelayFailure;
}

}  // namespace xplug
