// The natives of com.kelvo.xplug.PluginContext: evaluating a calculation expression and starting a
// script in FileMaker. FileMaker's own result codes go back to Java unchanged; a host failure in one of
// the FM_ operations, and a null string, become Java exceptions at the native edge.
#include <jni.h>

#include <cstdint>
#include <string>
#include <utility>

#include "fmx/fmx_calls.h"
#include "log/plugin_log.h"
#include "natives/jni_declarations.h"
#include "natives/values/call_scope.h"
#include "natives/values/host_objects.h"
#include "natives/values/java_arguments.h"
#include "natives/values/native_edge.h"
#include "session/host_session.h"

namespace {

using namespace xplug;

// The code Java gets when there is no host function to call: the bridge's code for a failure without a
// FileMaker code of its own.
constexpr int16_t kNoHostFunction = -1;

// The result of the calling thread's latest evaluation; Java fetches it on the same thread right after
// evaluating. Per thread, because FileMaker Server evaluates on several threads at once and one thread's
// fetch must not see another's result.
thread_local FmxData* lastExpressionResult = nullptr;

TemporaryText textFromJava(JNIEnv* env, jstring string, const char* nullMessage) {
  if (string == nullptr) throw JavaNullArgument(nullMessage);
  std::u16string units = javaStringUnits(env, string);
  TemporaryText text = makeTemporaryText();
  hostCall(FM_Text_AssignUnicode, text.get(), reinterpret_cast<const uint16_t*>(units.c_str()));
  return text;
}

// An evaluation's result data until the call scope takes it over; deleted if the native fails first.
class PendingResult {
 public:
  PendingResult() {
    HostErrorRecord record = freshHostErrorRecord();
    data_ = FM_Data_Constructor1(&record);
    // An object that came back together with an error is deleted before the error is raised.
    if (data_ != nullptr && record.code != kHostErrorNone) deleteQuietly();
    checkHostError(record);
    if (data_ == nullptr) throw HostError(kHostErrorFailure);
  }
  PendingResult(const PendingResult&) = delete;
  PendingResult& operator=(const PendingResult&) = delete;
  ~PendingResult() { deleteQuietly(); }

  FmxData* get() const noexcept { return data_; }
  FmxData* release() noexcept { return std::exchange(data_, nullptr); }

 private:
  void deleteQuietly() noexcept {
    if (data_ == nullptr) return;
    HostErrorRecord record = freshHostErrorRecord();
    FM_Data_Delete(std::exchange(data_, nullptr), &record);
    if (record.code == kHostErrorOutOfMemory || record.code == kHostErrorFailure) {
      reportTemporaryDeleteError("data", record.code);
    }
  }

  FmxData* data_ = nullptr;
};

FmxCurrentEnvFunction currentEnvironmentFunction(jlong address) {
  return reinterpret_cast<FmxCurrentEnvFunction>(fromObjectHandle<void>(address));
}

int16_t evaluate(JNIEnv* env, jstring expression, jlong environment, jlong envCallback, bool useCurrent) {
  TemporaryText text = textFromJava(env, expression, "The expression is null");
  PendingResult result;
  TemporaryExprEnv ownEnvironment = makeTemporaryExprEnv();

  // A function the expression calls nests a relay in this evaluation, with a call scope of its own: it
  // deletes only what it made itself, not what Java made before the evaluation.
  int16_t code = 0;
  if (useCurrent) {
    FmxCurrentEnvFunction fill = currentEnvironmentFunction(envCallback);
    if (fill == nullptr) {
      logMessage("No current-environment function from FileMaker; the expression is not evaluated\n");
      code = kNoHostFunction;
    } else {
      code = fill(ownEnvironment.get());
      if (code == 0) code = hostCall(FM_ExprEnv_Evaluate, ownEnvironment.get(), text.get(), result.get());
    }
  } else {
    code = hostCall(FM_ExprEnv_Evaluate, fromObjectHandle<const FmxExprEnv>(environment), text.get(),
                    result.get());
  }
  ownEnvironment.deleteNow();
  text.deleteNow();

  // Recorded only now: a relay nested in the evaluation can no longer delete it under the host's hands,
  // and a failed native has deleted it already. An empty result of a failed evaluation is recorded too.
  FmxData* recorded = result.release();
  trackData(recorded);
  lastExpressionResult = recorded;
  return code;
}

int16_t triggerScript(JNIEnv* env, jstring fileName, jstring scriptName, jint control, jlong parameter) {
  TemporaryText file = textFromJava(env, fileName, "The file name is null");
  TemporaryText script = textFromJava(env, scriptName, "The script name is null");
  // The start-script function of the latest host call; the one Java passes is not trusted.
  const ExternCallRecord* record = currentCallRecord.load();
  FmxStartScriptFunction startScript = record != nullptr ? record->cStartScript : nullptr;
  int16_t code = kNoHostFunction;
  if (startScript == nullptr) {
    logMessage("No script-start function from FileMaker; the script is not started\n");
  } else {
    code = startScript(file.get(), script.get(), static_cast<int32_t>(control),
                       fromObjectHandle<const FmxData>(parameter));
  }
  script.deleteNow();
  file.deleteNow();
  return code;
}

}  // namespace

extern "C" {

JNIEXPORT jshort JNICALL Java_com_kelvo_xplug_PluginContext__1triggerScript(JNIEnv* env, jobject,
                                                                            jstring fileName,
                                                                            jstring scriptName, jint control,
                                                                            jlong parameter, jlong) {
  return nativeEdge(
      env, [&] { return static_cast<jshort>(triggerScript(env, fileName, scriptName, control, parameter)); });
}

JNIEXPORT jshort JNICALL Java_com_kelvo_xplug_PluginContext__1evaluateExpression(
    JNIEnv* env, jobject, jstring expression, jlong environment, jlong envCallback, jboolean useCurrent) {
  return nativeEdge(env, [&] {
    return static_cast<jshort>(evaluate(env, expression, environment, envCallback, useCurrent != JNI_FALSE));
  });
}

JNIEXPORT jlong JNICALL Java_com_kelvo_xplug_PluginContext__1getExpressionResult(JNIEnv* env, jobject) {
  return nativeEdge(env, [] { return toObjectHandle(lastExpressionResult); });
}

}  // extern "C"
