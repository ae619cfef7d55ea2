// Start-up, shutdown, idle and preferences: each gets the thread a Java environment and hands the host's
// event to the bridge object. Start-up also decides, from the VM's state, whether the plug-in is enabled
// and tells the user once per process when Java cannot be started.
#include "host/lifecycle.h"

#include <jni.h>

#include <exception>
#include <optional>
#include <string>

#include "fmx/fmx_extern.h"
#include "jvm/bridge_instance.h"
#include "jvm/java_runtime.h"
#include "jvm/jni_support.h"
#include "jvm/jvm_session.h"
#include "jvm/vm_attach.h"
#include "log/plugin_log.h"
#include "natives/values/call_scope.h"
#include "natives/values/host_objects.h"
#include "platform/platform.h"
#include "session/host_session.h"
#include "text/string_conversions.h"

namespace xplug {

namespace {

using jni::describePendingException;
using jni::LocalFrame;

// Enough for the bridge's first creation (every reference it makes is deleted as it goes) and a call.
constexpr jint kLifecycleFrameCapacity = 16;

void applyApplicationType(uint16_t appType) {
  hostSession.appType = static_cast<int16_t>(appType);
  switch (appType) {
    case kFmxAppDeveloper:
      hostSession.appTypeName = "FMAdvanced";
      break;
    case kFmxAppPro:
      hostSession.appTypeName = "FMPro";
      break;
    case kFmxAppRuntime:
      hostSession.appTypeName = "Runtime";
      break;
    case kFmxAppServer:
      hostSession.appTypeName = "Server";
      jvmSession.headless = true;
      jvmSession.debugPort = 4412;
      break;
    case kFmxAppWebPublishing:
      hostSession.appTypeName = "WPE";
      jvmSession.headless = true;
      jvmSession.debugPort = 4411;
      break;
    case kFmxAppMobile:
      hostSession.appTypeName = "Mobile";
      break;
    default:
      break;
  }
}

// Host values a Java long carries: addresses and the instance id are widened with sign, as object
// handles are.
jlong hostValue(uintptr_t value) {
  return static_cast<jlong>(handleFromAddress<sizeof(void*)>(value));
}
template <typename Function>
jlong hostCallback(Function* function) {
  return toObjectHandle(reinterpret_cast<const void*>(function));
}

// A manifest without a plug-in name leaves none; the log lines show the name the host session starts
// with then.
const char* pluginNameForLog() {
  return hostSession.pluginName != nullptr ? hostSession.pluginName : "Unknown";
}

int16_t refuseStartup() {
  if (!hostSession.errorBoxShown && !jvmSession.headless) {
    std::u16string message = ansiToWide(jvmSession.jvmError).value_or(std::u16string());
    platform::showMessageBox(message.c_str(), nullptr);
    hostSession.errorBoxShown = true;
  }
  logMessage("Returning kDoNotEnable(%d) and detaching JVM\n", static_cast<int>(kFmxDoNotEnable));
  return kFmxDoNotEnable;
}

// A void bridge method that takes (unsafeCalls, cStartScript, cCurrentEnv), looked up on every call.
void callBridgeEvent(JNIEnv* env, const char* name, uint8_t unsafeCalls, FmxStartScriptFunction cStartScript,
                     FmxCurrentEnvFunction cCurrentEnv) {
  LocalFrame frame(env, kLifecycleFrameCapacity);
  if (!frame.pushed()) return;
  // The class is cached once the instance exists, so it is not looked for a second time after a failure.
  jobject bridge = getBridgeInstance(env);
  jclass bridgeClass = bridge != nullptr ? loadBridgeClass(env) : nullptr;
  if (bridgeClass == nullptr) {
    logMessage("The plug-in's bridge is not loaded; %s is not called\n", name);
    return;
  }
  jmethodID method = env->GetMethodID(bridgeClass, name, "(ZJJ)V");
  if (describePendingException(env) || method == nullptr) return;
  env->CallVoidMethod(bridge, method, static_cast<jboolean>(unsafeCalls != 0), hostCallback(cStartScript),
                      hostCallback(cCurrentEnv));
  describePendingException(env);
}

}  // namespace

int16_t handleInit(int16_t apiVersion, uint16_t appType, uintptr_t instanceID, bool unsafeCalls,
                   FmxStartScriptFunction cStartScript, FmxCurrentEnvFunction cCurrentEnv) {
  applyApplicationType(appType);
  logMessage(" *** INIT for %s_%s at %s, headless mode %d\n", pluginNameForLog(), hostSession.appTypeName,
             currentTimeText().c_str(), jvmSession.headless ? 1 : 0);

  locateJavaRuntime();
  // A discovery failure is only logged: what the user sees comes from the VM lookup that follows.
  JNIEnv* env = obtainJvmEnv();
  if (jvmSession.jvmError != nullptr) {
    logMessage("jvmError: %s\n", jvmSession.jvmError);
    return refuseStartup();
  }
  if (env == nullptr) {
    logMessage("The Java VM gave this thread no environment; returning kDoNotEnable(%d)\n",
               static_cast<int>(kFmxDoNotEnable));
    return kFmxDoNotEnable;
  }

  LocalFrame frame(env, kLifecycleFrameCapacity);
  if (!frame.pushed()) return kFmxDoNotEnable;
  jobject bridge = getBridgeInstance(env);
  jclass bridgeClass = bridge != nullptr ? loadBridgeClass(env) : nullptr;
  if (bridgeClass == nullptr) {
    logMessage("The plug-in's bridge could not be loaded; returning kDoNotEnable(%d)\n",
               static_cast<int>(kFmxDoNotEnable));
    return kFmxDoNotEnable;
  }
  jmethodID fmxInit = env->GetMethodID(bridgeClass, "fmxInit", "(SLjava/lang/String;JZJJ)S");
  if (describePendingException(env) || fmxInit == nullptr) {
    logMessage("The bridge has no fmxInit; returning kDoNotEnable(%d)\n", static_cast<int>(kFmxDoNotEnable));
    return kFmxDoNotEnable;
  }
  jshort result = env->CallShortMethod(
      bridge, fmxInit, static_cast<jshort>(apiVersion), static_cast<jstring>(nullptr), hostValue(instanceID),
      static_cast<jboolean>(unsafeCalls), hostCallback(cStartScript), hostCallback(cCurrentEnv));
  describePendingException(env);
  return result;
}

void handleShutdown(uint8_t unsafeCalls, FmxStartScriptFunction cStartScript,
                    FmxCurrentEnvFunction cCurrentEnv) {
  JNIEnv* env = obtainJvmEnv();
  logMessage("*** SHUTDOWN %s_%s ***\n", pluginNameForLog(), hostSession.appTypeName);
  if (env == nullptr) {
    logMessage("No Java environment; the plug-in's shutdown is not called\n");
    return;
  }
  callBridgeEvent(env, "fmxShutdown", unsafeCalls, cStartScript, cCurrentEnv);
}

void handleIdle(uint16_t idleState, FmxStartScriptFunction cStartScript, FmxCurrentEnvFunction cCurrentEnv) {
  bool attachedNow = false;
  JNIEnv* env = obtainJvmEnv(&attachedNow);
  if (jvmSession.jvmError != nullptr) {
    logMessage("Will skip idle handler because a JVM error occurred: ");
    logMessage("%s\n", jvmSession.jvmError);
    return;
  }
  if (env == nullptr) return;
  jni::ThreadAttachment attachment(jvmSession.vm, attachedNow);
  // What Java makes on this thread during fmxIdle is the idle call's own; a call this idle is nested in
  // (FileMaker idles while a plug-in pumps its messages) keeps its objects.
  CallScopeFrame scope;
  {
    LocalFrame frame(env, kLifecycleFrameCapacity);
    if (frame.pushed()) {
      jobject bridge = getBridgeInstance(env);
      if (bridge != nullptr && jvmSession.idleMethod == nullptr) {
        if (jclass bridgeClass = loadBridgeClass(env)) {
          jvmSession.idleMethod = env->GetMethodID(bridgeClass, "fmxIdle", "(SZJJ)V");
          describePendingException(env);
        }
      }
      if (bridge != nullptr && jvmSession.idleMethod != nullptr) {
        env->CallVoidMethod(bridge, jvmSession.idleMethod, static_cast<jshort>(idleState), JNI_FALSE,
                            hostCallback(cStartScript), hostCallback(cCurrentEnv));
        describePendingException(env);
      }
    }
  }
  // The objects Java made for the host meanwhile are the host's to delete now, together with those Java
  // threads made outside any call that no running call may still use; a host error doing so must not
  // keep the thread attached.
  try {
    scope.release();
  } catch (const std::exception& error) {
    logMessage("Releasing the host objects after idle failed: %s\n", error.what());
  } catch (...) {
    logMessage("Releasing the host objects after idle failed\n");
  }
}

void handlePreferences(uint8_t unsafeCalls, FmxStartScriptFunction cStartScript,
                       FmxCurrentEnvFunction cCurrentEnv) {
  JNIEnv* env = obtainJvmEnv();
  logMessage("*** DO PREFS ***\n");
  if (env == nullptr) {
    logMessage("No Java environment; the plug-in's preferences are not shown\n");
    return;
  }
  callBridgeEvent(env, "fmxDoAppPreferences", unsafeCalls, cStartScript, cCurrentEnv);
}

}  // namespace xplug
