// The window natives of com.kelvo.xplug.PluginBridge (one platform call each, with the handle
// conversions of window_handles.h, behind the native edge) and FileMaker's front window at the first
// function call.
#include <jni.h>

#include <array>
#include <atomic>
#include <cstdint>

#include "log/plugin_log.h"
#include "natives/jni_declarations.h"
#include "natives/services/window_handles.h"
#include "natives/values/native_edge.h"

namespace xplug {

namespace {

// Written by FileMaker's thread, read by any Java thread.
std::atomic<platform::WindowHandle> firstCallWindow{0};

// GetWindowTextW's buffer: at most 255 units of title and the terminator.
constexpr int kWindowTitleCapacity = 256;

}  // namespace

void recordFirstCallForegroundWindow() noexcept {
  if (firstCallWindow.load() != 0) return;
  platform::WindowHandle expected = 0;
  // Only the first window found counts, even if two threads of FileMaker's raced here.
  firstCallWindow.compare_exchange_strong(expected, platform::getForegroundWindow());
}

platform::WindowHandle firstCallForegroundWindow() noexcept {
  return firstCallWindow.load();
}

}  // namespace xplug

using namespace xplug;

extern "C" {

JNIEXPORT jlong JNICALL Java_com_kelvo_xplug_PluginBridge__1getFrontWindowReference(JNIEnv* env, jclass) {
  return nativeEdge(env, [] { return windowToJava(platform::getForegroundWindow()); });
}

JNIEXPORT jlong JNICALL Java_com_kelvo_xplug_PluginBridge__1getThreadWindowReference(JNIEnv* env, jclass) {
  return nativeEdge(env, [] { return windowToJava(firstCallForegroundWindow()); });
}

JNIEXPORT jlong JNICALL Java_com_kelvo_xplug_PluginBridge__1getParentWindowReference(JNIEnv* env, jclass,
                                                                                     jlong window) {
  return nativeEdge(env, [&] { return windowToJava(platform::getParent(windowFromJava(window))); });
}

JNIEXPORT jstring JNICALL Java_com_kelvo_xplug_PluginBridge__1getWindowTitle(JNIEnv* env, jclass,
                                                                             jlong window) {
  return nativeEdge(env, [&]() -> jstring {
    std::array<char16_t, kWindowTitleCapacity> title{};
    int copied = platform::getWindowText(windowFromJava(window), title.data(), kWindowTitleCapacity);
    // The count is the platform's word; the terminator bounds it, so a wrong count never reads past it.
    jsize length = 0;
    while (length < kWindowTitleCapacity - 1 && length < copied &&
           title[static_cast<std::size_t>(length)] != u'\0') {
      ++length;
    }
    jstring text = env->NewString(reinterpret_cast<const jchar*>(title.data()), length);
    throwIfJavaExceptionPending(env);
    return text;
  });
}

JNIEXPORT void JNICALL Java_com_kelvo_xplug_PluginBridge__1enableWindow(JNIEnv* env, jclass, jlong window,
                                                                        jboolean enable) {
  nativeEdge(env, [&] { platform::enableWindow(windowFromJava(window), enable != JNI_FALSE); });
}

JNIEXPORT jlong JNICALL Java_com_kelvo_xplug_PluginBridge__1getWindowThreadId(JNIEnv* env, jclass,
                                                                              jlong window) {
  return nativeEdge(env, [&] { return threadIdToJava(platform::getWindowThreadId(windowFromJava(window))); });
}

JNIEXPORT jboolean JNICALL Java_com_kelvo_xplug_PluginBridge__1isChildWindow(JNIEnv* env, jclass,
                                                                             jlong window) {
  return nativeEdge(env, [&]() -> jboolean {
    uint32_t style =
        static_cast<uint32_t>(platform::getWindowLong(windowFromJava(window), platform::kGwlStyle));
    return (style & platform::kWsChild) != 0 ? JNI_TRUE : JNI_FALSE;
  });
}

JNIEXPORT jlong JNICALL Java_com_kelvo_xplug_PluginBridge__1getCurrentThreadId(JNIEnv* env, jclass) {
  return nativeEdge(env, [] { return threadIdToJava(platform::getCurrentThreadId()); });
}

JNIEXPORT jboolean JNICALL Java_com_kelvo_xplug_PluginBridge__1setForegroundWindow(JNIEnv* env, jclass,
                                                                                   jlong window) {
  return nativeEdge(env, [&]() -> jboolean {
    return platform::setForegroundWindow(windowFromJava(window)) ? JNI_TRUE : JNI_FALSE;
  });
}

// The previous parent is not passed back; Java learns nothing of a failure, the log does.
JNIEXPORT jlong JNICALL Java_com_kelvo_xplug_PluginBridge__1setWindowParent(JNIEnv* env, jclass, jlong child,
                                                                            jlong newParent) {
  return nativeEdge(env, [&]() -> jlong {
    if (platform::setParent(windowFromJava(child), windowFromJava(newParent)) == 0) {
      logMessage("SetParent failed with error code %d\n", static_cast<int>(platform::getLastError()));
    }
    return 0;
  });
}

}  // extern "C"
