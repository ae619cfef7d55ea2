// The class loader over the extracted plug-in jar, the bridge class and the bridge object, made once per
// process and cached in jvmSession. Called by the lifecycle handlers and the relay with the calling
// thread's environment, on FileMaker's thread or one the relay attached.
#ifndef XPLUG_JVM_BRIDGE_INSTANCE_H
#define XPLUG_JVM_BRIDGE_INSTANCE_H

#include <jni.h>

#include <optional>
#include <string>

namespace xplug {

// The bridge class's name as the class loader takes it.
inline constexpr char kBridgeClassName[] = "com.kelvo.xplug.PluginBridge";
// The bridge version the module hands to sharedInstance.
inline constexpr char kBridgeVersion[] = "1.6";

// Each returns the cached global reference, or null after a failure (logged; any Java exception is
// printed and cleared). A failure is retried, from the start, by the next call.
jobject getClassLoader(JNIEnv* env);
jclass loadBridgeClass(JNIEnv* env);
jobject getBridgeInstance(JNIEnv* env);

// The URL the class loader reads a jar from: the archive URL prefix and the path with "/" separators,
// percent-encoded as UTF-8, the way Java decodes it. The path is narrow text in the platform's path
// code page. None when the path cannot be converted.
std::optional<std::string> jarUrlText(const char* path);

}  // namespace xplug

#endif  // XPLUG_JVM_BRIDGE_INSTANCE_H
