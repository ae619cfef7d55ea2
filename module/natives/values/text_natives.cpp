// The natives of com.kelvo.xplug.types.FMText: create texts, append to them, copy them into data values,
// read them back in pieces, and set and read character styles on ranges. Positions and counts reach the
// host as the low 32 bits of Java's long, so -1 means "to the end". Each runs behind the native edge.
#include <jni.h>

#include <cstdint>
#include <string>
#include <vector>

#include "fmx/fmx_calls.h"
#include "natives/jni_declarations.h"
#include "natives/values/call_scoped_objects.h"
#include "natives/values/host_objects.h"
#include "natives/values/java_arguments.h"
#include "natives/values/native_edge.h"

using namespace xplug;

namespace {

FmxText* textOf(jlong handle) {
  return fromObjectHandle<FmxText>(handle);
}

uint32_t low32(jlong value) {
  return static_cast<uint32_t>(value);
}

constexpr uint32_t kToTheEnd = 0xFFFFFFFFu;

}  // namespace

extern "C" {

JNIEXPORT jlong JNICALL Java_com_kelvo_xplug_types_FMText__1createText(JNIEnv* env, jobject, jstring string) {
  return nativeEdge(env, [&] {
    std::u16string units = javaStringUnits(env, string);
    FmxText* text = createCallScopedText();
    hostCall(FM_Text_AssignUnicode, text, reinterpret_cast<const uint16_t*>(units.c_str()));
    return toObjectHandle(text);
  });
}

JNIEXPORT jlong JNICALL Java_com_kelvo_xplug_types_FMText__1createEmptyText(JNIEnv* env, jobject) {
  return nativeEdge(env, [&] { return toObjectHandle(createCallScopedText()); });
}

JNIEXPORT void JNICALL Java_com_kelvo_xplug_types_FMText__1appendCharArray(JNIEnv* env, jobject, jlong text,
                                                                           jcharArray chars, jint offset,
                                                                           jint count) {
  nativeEdge(env, [&] {
    checkArrayRange(env, chars, offset, count);
    // One more than the range, so that an empty range still has a real address.
    std::vector<uint16_t> units(static_cast<std::size_t>(count) + 1);
    copyFromJavaArray(env, chars, offset, count, units.data());
    TemporaryText chunk = makeTemporaryText();
    hostCall(FM_Text_AssignUnicodeWithLength, chunk.get(), units.data(), static_cast<uint32_t>(count));
    hostCall(FM_Text_AppendText, textOf(text), chunk.get(), uint32_t{0}, kToTheEnd);
    chunk.deleteNow();
  });
}

JNIEXPORT void JNICALL Java_com_kelvo_xplug_types_FMText__1writeToData(JNIEnv* env, jobject, jlong text,
                                                                       jlong data) {
  nativeEdge(env, [&] {
    FmxData* target = fromObjectHandle<FmxData>(data);
    const FmxLocale* locale = hostCall(FM_Data_GetLocale, target);
    hostCall(FM_Data_SetAsText, target, textOf(text), locale, static_cast<int32_t>(kFmxTypeText));
  });
}

JNIEXPORT void JNICALL Java_com_kelvo_xplug_types_FMText_jni_1appendText(JNIEnv* env, jobject, jlong text,
                                                                         jlong other) {
  nativeEdge(env, [&] {
    // The size is taken first, so appending a text to itself appends it once.
    const FmxText* source = textOf(other);
    uint32_t size = hostCall(FM_Text_GetSize, source);
    hostCall(FM_Text_AppendText, textOf(text), source, uint32_t{0}, size);
  });
}

JNIEXPORT void JNICALL Java_com_kelvo_xplug_types_FMText_jni_1setStyle(JNIEnv* env, jobject, jlong text,
                                                                       jlong style, jlong position,
                                                                       jlong count) {
  nativeEdge(env, [&] {
    hostCall(FM_Text_SetStyle, textOf(text), fromObjectHandle<FmxCharacterStyle>(style), low32(position),
             low32(count));
  });
}

JNIEXPORT jlong JNICALL Java_com_kelvo_xplug_types_FMText_jni_1getStyle(JNIEnv* env, jobject, jlong text,
                                                                        jlong position) {
  return nativeEdge(env, [&] {
    FmxCharacterStyle* style = createCallScopedCharacterStyle();
    hostCall(FM_Text_GetStyle, textOf(text), style, low32(position));
    return toObjectHandle(style);
  });
}

JNIEXPORT jlong JNICALL Java_com_kelvo_xplug_types_FMText_jni_1getDefaultStyle(JNIEnv* env, jobject,
                                                                               jlong text) {
  return nativeEdge(env, [&] {
    FmxCharacterStyle* style = createCallScopedCharacterStyle();
    hostCall(FM_Text_GetDefaultStyle, textOf(text), style);
    return toObjectHandle(style);
  });
}

JNIEXPORT jlong JNICALL Java_com_kelvo_xplug_types_FMText__1getTextLength(JNIEnv* env, jobject, jlong text) {
  // A length is a count, not a handle: widened without sign.
  return nativeEdge(env, [&] { return static_cast<jlong>(hostCall(FM_Text_GetSize, textOf(text))); });
}

JNIEXPORT void JNICALL Java_com_kelvo_xplug_types_FMText__1getCharArray(JNIEnv* env, jobject, jlong text,
                                                                        jlong position, jcharArray chars,
                                                                        jint offset, jint count) {
  nativeEdge(env, [&] {
    checkArrayRange(env, chars, offset, count);
    std::vector<uint16_t> units(static_cast<std::size_t>(count) + 1);
    hostCall(FM_Text_GetUnicode, textOf(text), units.data(), low32(position), static_cast<uint32_t>(count));
    copyToJavaArray(env, chars, offset, count, units.data());
  });
}

}  // extern "C"
