// A native library the test plug-in loads to reach the simulated host's evaluation from Java, the way
// a plug-in function evaluates a calculation inside FileMaker; the evaluation may call the plug-in's
// functions again, which nests a relay inside the running one. Runs on the calling Java thread.
#include <jni.h>

#include <string>

#include "fmsim/calculation.h"

extern "C" JNIEXPORT jshort JNICALL Java_com_kelvo_xplug_nattest_HostHooks_evaluate(JNIEnv* env, jclass,
                                                                                    jstring expression,
                                                                                    jlong result) {
  if (expression == nullptr) return -1;
  jsize length = env->GetStringLength(expression);
  std::u16string units(static_cast<std::size_t>(length), u'\0');
  env->GetStringRegion(expression, 0, length, reinterpret_cast<jchar*>(units.data()));
  if (env->ExceptionCheck()) return -1;
  auto* data = reinterpret_cast<FmxData*>(static_cast<uintptr_t>(result));
  return fmsim::evaluateInto(units, nullptr, data);
}
