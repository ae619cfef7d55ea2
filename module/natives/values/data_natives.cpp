// The natives of com.kelvo.xplug.types.FMData: read a data value as text, number, date-time, text view
// or container copy, and write text, date-times and container contents into it. Each runs behind the
// native edge; host failures reach Java as exceptions.
#include <jni.h>

#include <cstdint>
#include <new>
#include <string>
#include <vector>

#include "fmx/fmx_calls.h"
#include "log/plugin_log.h"
#include "natives/jni_declarations.h"
#include "natives/values/call_scoped_objects.h"
#include "natives/values/host_objects.h"
#include "natives/values/java_arguments.h"
#include "natives/values/native_edge.h"

using namespace xplug;

namespace {

FmxData* dataOf(jlong handle) {
  return fromObjectHandle<FmxData>(handle);
}

constexpr int64_t kSecondsPerDay = 86400;

}  // namespace

extern "C" {

JNIEXPORT jlong JNICALL Java_com_kelvo_xplug_types_FMData__1createEmptyData(JNIEnv* env, jobject) {
  return nativeEdge(env, [&] { return toObjectHandle(createCallScopedData()); });
}

JNIEXPORT jint JNICALL Java_com_kelvo_xplug_types_FMData__1getNativeType(JNIEnv* env, jobject, jlong data) {
  return nativeEdge(env, [&] { return static_cast<jint>(hostCall(FM_Data_GetNativeType, dataOf(data))); });
}

JNIEXPORT jboolean JNICALL Java_com_kelvo_xplug_types_FMData__1isEmpty(JNIEnv* env, jobject, jlong data) {
  return nativeEdge(env, [&] { return hostCall(FM_Data_IsEmpty, dataOf(data)) ? JNI_TRUE : JNI_FALSE; });
}

JNIEXPORT void JNICALL Java_com_kelvo_xplug_types_FMData__1setStringData(JNIEnv* env, jobject, jlong data,
                                                                         jstring string) {
  nativeEdge(env, [&] {
    std::u16string units = javaStringUnits(env, string);
    TemporaryText text = makeTemporaryText();
    hostCall(FM_Text_AssignUnicode, text.get(), reinterpret_cast<const uint16_t*>(units.c_str()));
    // The text is read in the locale the value already carries, whatever the machine's locale.
    const FmxLocale* locale = hostCall(FM_Data_GetLocale, dataOf(data));
    hostCall(FM_Data_SetAsText, dataOf(data), text.get(), locale, static_cast<int32_t>(kFmxTypeText));
    text.deleteNow();
  });
}

JNIEXPORT jstring JNICALL Java_com_kelvo_xplug_types_FMData__1getStringData(JNIEnv* env, jobject,
                                                                            jlong data) {
  return nativeEdge(env, [&]() -> jstring {
    const FmxText* text = hostCall(FM_Data_GetAsText, dataOf(data));
    uint32_t size = hostCall(FM_Text_GetSize, text);
    std::vector<uint16_t> units;
    try {
      if (size > static_cast<uint32_t>(INT32_MAX)) throw std::bad_alloc();
      // One more than needed, so that an empty text still gets a real destination.
      units.resize(static_cast<std::size_t>(size) + 1);
    } catch (const std::bad_alloc&) {
      logMessage("Out of memory trying to get text data from FileMaker of size %d\n", static_cast<int>(size));
      jstring failure = env->NewStringUTF("ERROR out of memory");
      throwIfJavaExceptionPending(env);
      return failure;
    }
    hostCall(FM_Text_GetUnicode, text, units.data(), uint32_t{0}, size);
    // Exactly `size` units: a U+0000 inside the text stays in the string.
    jstring result = env->NewString(reinterpret_cast<const jchar*>(units.data()), static_cast<jsize>(size));
    throwIfJavaExceptionPending(env);
    return result;
  });
}

JNIEXPORT jlong JNICALL Java_com_kelvo_xplug_types_FMData__1getLongData(JNIEnv* env, jobject, jlong data) {
  return nativeEdge(env, [&] {
    const FmxFixPt* number = hostCall(FM_Data_GetAsNumber, dataOf(data));
    return static_cast<jlong>(hostCall(FM_FixPt_AsLong, number));
  });
}

JNIEXPORT jdouble JNICALL Java_com_kelvo_xplug_types_FMData__1getDoubleData(JNIEnv* env, jobject,
                                                                            jlong data) {
  return nativeEdge(env, [&] {
    const FmxFixPt* number = hostCall(FM_Data_GetAsNumber, dataOf(data));
    return static_cast<jdouble>(hostCall(FM_FixPt_AsFloat, number));
  });
}

JNIEXPORT void JNICALL Java_com_kelvo_xplug_types_FMData__1setDateValue(JNIEnv* env, jobject, jlong data,
                                                                        jint year, jint month, jint day,
                                                                        jint hour, jint minute, jint second) {
  nativeEdge(env, [&] {
    TemporaryDateTime timeStamp = makeTemporaryDateTime();
    TemporaryFixPt yearNumber = makeTemporaryFixPt();
    TemporaryFixPt monthNumber = makeTemporaryFixPt();
    TemporaryFixPt dayNumber = makeTemporaryFixPt();
    hostCall(FM_FixPt_AssignInt, yearNumber.get(), static_cast<int32_t>(year));
    hostCall(FM_FixPt_AssignInt, monthNumber.get(), static_cast<int32_t>(month));
    hostCall(FM_FixPt_AssignInt, dayNumber.get(), static_cast<int32_t>(day));
    // The host's setters normalise out-of-range fields; their results say nothing the value does not.
    hostCall(FM_DateTime_SetNormalizedDate2, timeStamp.get(), yearNumber.get(), monthNumber.get(),
             dayNumber.get());
    hostCall(FM_DateTime_SetNormalizedTime1, timeStamp.get(), static_cast<int64_t>(hour),
             static_cast<int32_t>(minute), static_cast<int32_t>(second), int32_t{0});
    hostCall(FM_Data_SetAsTimeStamp, dataOf(data), timeStamp.get(), static_cast<int32_t>(kFmxTypeTimeStamp));
    yearNumber.deleteNow();
    monthNumber.deleteNow();
    dayNumber.deleteNow();
    timeStamp.deleteNow();
  });
}

JNIEXPORT jlong JNICALL Java_com_kelvo_xplug_types_FMData__1getDateValue(JNIEnv* env, jobject, jlong data) {
  return nativeEdge(env, [&] {
    TemporaryFixPt seconds = makeTemporaryFixPt();
    const FmxDateTime* timeStamp = hostCall(FM_Data_GetAsTimeStamp, dataOf(data));
    hostCall(FM_DateTime_GetSecondsSinceEpoch, timeStamp, seconds.get());
    auto result = static_cast<jlong>(hostCall(FM_FixPt_AsLong, seconds.get()));
    seconds.deleteNow();
    return result;
  });
}

JNIEXPORT jlong JNICALL Java_com_kelvo_xplug_types_FMData__1getDateTimeValue(JNIEnv* env, jobject,
                                                                             jlong data) {
  return nativeEdge(env, [&]() -> jlong {
    if (hostCall(FM_Data_IsEmpty, dataOf(data))) return 0;
    TemporaryFixPt seconds = makeTemporaryFixPt();
    const FmxDateTime* days = hostCall(FM_Data_GetAsTimeStamp, dataOf(data));
    int32_t dayNumber = hostCall(FM_DateTime_GetDaysSinceEpoch, days);
    const FmxDateTime* time = hostCall(FM_Data_GetAsTimeStamp, dataOf(data));
    hostCall(FM_DateTime_GetSecsSinceMidnight, time, seconds.get());
    int32_t secondsOfDay = hostCall(FM_FixPt_AsLong, seconds.get());
    seconds.deleteNow();
    return static_cast<jlong>(dayNumber) * kSecondsPerDay + static_cast<jlong>(secondsOfDay);
  });
}

JNIEXPORT void JNICALL Java_com_kelvo_xplug_types_FMData__1setTimeValue(JNIEnv* env, jobject, jlong data,
                                                                        jlong seconds) {
  nativeEdge(env, [&] {
    TemporaryFixPt secondsNumber = makeTemporaryFixPt();
    // The host's number takes 32 bits; the low half of the Java long is what it stores.
    hostCall(FM_FixPt_AssignInt, secondsNumber.get(), static_cast<int32_t>(static_cast<uint32_t>(seconds)));
    TemporaryDateTime time = makeTemporaryDateTime();
    hostCall(FM_DateTime_SetSecsSinceMidnight, time.get(), secondsNumber.get());
    hostCall(FM_Data_SetAsTime, dataOf(data), time.get(), static_cast<int32_t>(kFmxTypeTime));
    time.deleteNow();
    secondsNumber.deleteNow();
  });
}

JNIEXPORT jlong JNICALL Java_com_kelvo_xplug_types_FMData__1getTimeValue(JNIEnv* env, jobject, jlong data) {
  return nativeEdge(env, [&] {
    const FmxDateTime* date = hostCall(FM_Data_GetAsDate, dataOf(data));
    TemporaryFixPt seconds = makeTemporaryFixPt();
    hostCall(FM_DateTime_GetSecsSinceMidnight, date, seconds.get());
    auto result = static_cast<jlong>(hostCall(FM_FixPt_AsLong, seconds.get()));
    seconds.deleteNow();
    return result;
  });
}

JNIEXPORT jlong JNICALL Java_com_kelvo_xplug_types_FMData__1getFMText(JNIEnv* env, jobject, jlong data) {
  // The value's own text: the value owns it, so it is not recorded for deletion.
  return nativeEdge(env, [&] { return toObjectHandle(hostCall(FM_Data_GetAsText, dataOf(data))); });
}

JNIEXPORT jlong JNICALL Java_com_kelvo_xplug_types_FMData__1getFMBinary(JNIEnv* env, jobject, jlong data) {
  return nativeEdge(env, [&] {
    const FmxBinaryData* contents = hostCall(FM_Data_GetBinaryData, dataOf(data));
    return toObjectHandle(createCallScopedBinaryCopy(contents));
  });
}

JNIEXPORT void JNICALL Java_com_kelvo_xplug_types_FMData__1setFMBinary(JNIEnv* env, jobject, jlong data,
                                                                       jlong binary) {
  nativeEdge(env, [&] {
    hostCall(FM_Data_SetBinaryData, dataOf(data), fromObjectHandle<FmxBinaryData>(binary), true);
  });
}

}  // extern "C"
