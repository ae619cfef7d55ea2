// The event-loop natives of com.kelvo.xplug.PluginBridge and the loop they run.
#include "natives/services/event_loop.h"

#include <jni.h>

#include <atomic>
#include <cstdint>

#include "log/plugin_log.h"
#include "natives/jni_declarations.h"
#include "natives/services/window_handles.h"
#include "natives/values/native_edge.h"

namespace xplug {

namespace {

// Raised on FileMaker's thread and lowered on Java's: every change must count, and the looping thread
// must see a stop at its next test.
std::atomic<int> loopDepth{0};
// Messages each thread's loops have dispatched, so that a task runner can tell how much its thread
// served while it waited.
thread_local uint64_t handledMessages = 0;

}  // namespace

bool pumpOneMessage(platform::WindowHandle window) {
  platform::WindowMessage message;
  int received = platform::getMessage(&message, window, 0, 0);
  if (received == 0) {
    logMessage("Get a zero value from GetMessage; exiting loop\n");
    return false;
  }
  if (received < 0) {
    logMessage("bRet is negative 1, an error or type %d occurred!\n",
               static_cast<int>(platform::getLastError()));
    return false;
  }
  if (message.message == platform::kWmDestroy) logMessage("Received WM_DESTROY message\n");
  platform::translateMessage(&message);
  platform::dispatchMessage(&message);
  ++handledMessages;
  return true;
}

void runEventLoop(platform::WindowHandle window) {
  loopDepth.fetch_add(1);
  while (pumpOneMessage(window) && loopDepth.load() != 0) {
  }
}

void stopEventLoop() noexcept {
  loopDepth.fetch_sub(1);
}

int eventLoopDepth() noexcept {
  return loopDepth.load();
}

uint64_t handledMessageCount() noexcept {
  return handledMessages;
}

}  // namespace xplug

using namespace xplug;

extern "C" {

JNIEXPORT void JNICALL Java_com_kelvo_xplug_PluginBridge__1startEventLoop(JNIEnv* env, jclass, jlong window) {
  nativeEdge(env, [&] { runEventLoop(windowFromJava(window)); });
}

JNIEXPORT void JNICALL Java_com_kelvo_xplug_PluginBridge__1pumpOneEvent(JNIEnv* env, jclass, jlong window) {
  nativeEdge(env, [&] { pumpOneMessage(windowFromJava(window)); });
}

JNIEXPORT void JNICALL Java_com_kelvo_xplug_PluginBridge__1stopEventLoop(JNIEnv* env, jclass, jlong) {
  nativeEdge(env, [] { stopEventLoop(); });
}

// Wakes a loop waiting for `window`'s messages, so that it sees a stop made after it began to wait.
JNIEXPORT jboolean JNICALL Java_com_kelvo_xplug_PluginBridge__1postWakeMessage(JNIEnv* env, jclass,
                                                                               jlong window) {
  return nativeEdge(env, [&]() -> jboolean {
    return platform::postMessage(windowFromJava(window), platform::kWmNull, 0, 0) ? JNI_TRUE : JNI_FALSE;
  });
}

// The calling thread's count of dispatched messages; a runner takes the difference around its loop.
JNIEXPORT jlong JNICALL Java_com_kelvo_xplug_PluginBridge__1getHandledMessageCount(JNIEnv* env, jclass) {
  return nativeEdge(env, [] { return static_cast<jlong>(handledMessageCount()); });
}

}  // extern "C"
