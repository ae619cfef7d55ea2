// The natives through which the bridge registers each of the plug-in's calculation functions with
// FileMaker, all with the one relay callback. Called by the bridge while it handles start-up, on
// FileMaker's thread; keeps nothing.
#include <jni.h>

#include <array>
#include <cstdint>
#include <string>

#include "fmx/fmx_calls.h"
#include "log/plugin_log.h"
#include "natives/jni_declarations.h"
#include "natives/values/host_objects.h"
#include "natives/values/java_arguments.h"
#include "natives/values/native_edge.h"
#include "platform/platform.h"
#include "relay/function_relay.h"

using namespace xplug;

namespace {

using RegisterWithDescription = decltype(&FM_ExprEnv_RegisterExternalFunctionEx);

// The host's registration with a description, looked up by name once: hosts before it lack it, and an
// import of it would keep the module from loading in them.
RegisterWithDescription describedRegistration() {
  static const RegisterWithDescription operation = [] {
    auto* found = reinterpret_cast<RegisterWithDescription>(
        platform::findHostSymbol("FM_ExprEnv_RegisterExternalFunctionEx"));
    if (found == nullptr) {
      logMessage(
          "The host has no FM_ExprEnv_RegisterExternalFunctionEx; functions are registered without "
          "their descriptions\n");
    }
    return found;
  }();
  return operation;
}

// Registers one function with the relay callback; `description` empty uses the plain registration.
void registerWithHost(JNIEnv* env, jstring pluginId, jshort functionId, jstring name, jstring prototype,
                      jstring description, jint minParameters, jint maxParameters, jint flags) {
  // Every argument is read before the first host object exists, so a null one costs the host nothing.
  std::array<unsigned char, 4> id = javaStringFirstFourBytes(env, pluginId);
  std::u16string nameUnits = javaStringUnits(env, name);
  std::u16string prototypeUnits = javaStringUnits(env, prototype);
  std::u16string descriptionUnits =
      description == nullptr ? std::u16string() : javaStringUnits(env, description);

  TemporaryQuadChar code = makeTemporaryQuadChar(static_cast<char>(id[0]), static_cast<char>(id[1]),
                                                 static_cast<char>(id[2]), static_cast<char>(id[3]));
  TemporaryText nameText = makeTemporaryText();
  hostCall(FM_Text_AssignUnicode, nameText.get(), reinterpret_cast<const uint16_t*>(nameUnits.c_str()));
  TemporaryText prototypeText = makeTemporaryText();
  hostCall(FM_Text_AssignUnicode, prototypeText.get(),
           reinterpret_cast<const uint16_t*>(prototypeUnits.c_str()));
  // FileMaker's refusal of a registration is its own affair: the bridge has no way to act on it.
  const RegisterWithDescription registerDescribed =
      description == nullptr ? nullptr : describedRegistration();
  if (registerDescribed == nullptr) {
    hostCall(FM_ExprEnv_RegisterExternalFunction, code.get(), static_cast<int16_t>(functionId),
             nameText.get(), prototypeText.get(), static_cast<int16_t>(minParameters),
             static_cast<int16_t>(maxParameters), static_cast<uint32_t>(flags),
             static_cast<FmxExternalFunction>(relayExternalFunction));
  } else {
    TemporaryText descriptionText = makeTemporaryText();
    hostCall(FM_Text_AssignUnicode, descriptionText.get(),
             reinterpret_cast<const uint16_t*>(descriptionUnits.c_str()));
    hostCall(registerDescribed, code.get(), static_cast<int16_t>(functionId), nameText.get(),
             prototypeText.get(), descriptionText.get(), static_cast<int16_t>(minParameters),
             static_cast<int16_t>(maxParameters), static_cast<uint32_t>(flags),
             static_cast<FmxExternalFunction>(relayExternalFunction));
    descriptionText.deleteNow();
  }
  prototypeText.deleteNow();
  nameText.deleteNow();
  code.deleteNow();
}

}  // namespace

extern "C" JNIEXPORT void JNICALL Java_com_kelvo_xplug_PluginBridge__1registerFunction(
    JNIEnv* env, jobject, jstring pluginId, jshort functionId, jstring /*bundlePath*/, jstring name,
    jstring prototype, jint minParameters, jint maxParameters, jint flags) {
  nativeEdge(env, [&] {
    registerWithHost(env, pluginId, functionId, name, prototype, nullptr, minParameters, maxParameters,
                     flags);
  });
}

// The bridge's registration of a function with a description, through the host's ...Ex operation.
extern "C" JNIEXPORT void JNICALL Java_com_kelvo_xplug_PluginBridge__1registerDescribedFunction(
    JNIEnv* env, jobject, jstring pluginId, jshort functionId, jstring name, jstring prototype,
    jstring description, jint minParameters, jint maxParameters, jint flags) {
  nativeEdge(env, [&] {
    registerWithHost(env, pluginId, functionId, name, prototype, description, minParameters, maxParameters,
                     flags);
  });
}
