// The natives of com.kelvo.xplug.types.FMCharacterStyle: create a style and set or read its font, face,
// size and color. Font, face and size go to the host as Java's int and come back as unsigned 16-bit
// values; a color channel keeps the low 8 bits of its int. Each runs behind the native edge.
#include <jni.h>

#include <cstdint>

#include "fmx/fmx_calls.h"
#include "natives/jni_declarations.h"
#include "natives/values/call_scoped_objects.h"
#include "natives/values/host_objects.h"
#include "natives/values/native_edge.h"

using namespace xplug;

namespace {

FmxCharacterStyle* styleOf(jlong handle) {
  return fromObjectHandle<FmxCharacterStyle>(handle);
}

uint8_t channel(jint value) {
  return static_cast<uint8_t>(static_cast<uint32_t>(value) & 0xFFu);
}

}  // namespace

extern "C" {

JNIEXPORT jlong JNICALL Java_com_kelvo_xplug_types_FMCharacterStyle__1createCharacterStyle(JNIEnv* env,
                                                                                           jobject) {
  return nativeEdge(env, [&] { return toObjectHandle(createCallScopedCharacterStyle()); });
}

JNIEXPORT void JNICALL Java_com_kelvo_xplug_types_FMCharacterStyle_jni_1setface(JNIEnv* env, jobject,
                                                                                jlong style, jint face) {
  nativeEdge(env, [&] { hostCall(FM_CharacterStyle_SetFace, styleOf(style), static_cast<int32_t>(face)); });
}

JNIEXPORT void JNICALL Java_com_kelvo_xplug_types_FMCharacterStyle_jni_1setFontID(JNIEnv* env, jobject,
                                                                                  jlong style, jint font) {
  nativeEdge(env, [&] { hostCall(FM_CharacterStyle_SetFont, styleOf(style), static_cast<int32_t>(font)); });
}

JNIEXPORT void JNICALL Java_com_kelvo_xplug_types_FMCharacterStyle_jni_1setFontSize(JNIEnv* env, jobject,
                                                                                    jlong style, jint size) {
  nativeEdge(env, [&] { hostCall(FM_CharacterStyle_SetSize, styleOf(style), static_cast<int32_t>(size)); });
}

JNIEXPORT void JNICALL Java_com_kelvo_xplug_types_FMCharacterStyle_jni_1setColor(JNIEnv* env, jobject,
                                                                                 jlong style, jint red,
                                                                                 jint green, jint blue,
                                                                                 jint alpha) {
  nativeEdge(env, [&] {
    TemporaryColor color = makeTemporaryColor();
    hostCall(FM_Color_SetRed, color.get(), channel(red));
    hostCall(FM_Color_SetGreen, color.get(), channel(green));
    hostCall(FM_Color_SetBlue, color.get(), channel(blue));
    hostCall(FM_Color_SetAlpha, color.get(), channel(alpha));
    hostCall(FM_CharacterStyle_SetColor, styleOf(style), color.get());
    color.deleteNow();
  });
}

JNIEXPORT jint JNICALL Java_com_kelvo_xplug_types_FMCharacterStyle_jni_1getFace(JNIEnv* env, jobject,
                                                                                jlong style) {
  return nativeEdge(env,
                    [&] { return static_cast<jint>(hostCall(FM_CharacterStyle_GetFace, styleOf(style))); });
}

JNIEXPORT jint JNICALL Java_com_kelvo_xplug_types_FMCharacterStyle_jni_1getFontID(JNIEnv* env, jobject,
                                                                                  jlong style) {
  return nativeEdge(env,
                    [&] { return static_cast<jint>(hostCall(FM_CharacterStyle_GetFont, styleOf(style))); });
}

JNIEXPORT jint JNICALL Java_com_kelvo_xplug_types_FMCharacterStyle_jni_1getFontSize(JNIEnv* env, jobject,
                                                                                    jlong style) {
  return nativeEdge(env,
                    [&] { return static_cast<jint>(hostCall(FM_CharacterStyle_GetSize, styleOf(style))); });
}

// The bridge keeps the channels it set in its own fields and never reads a color back from the host.
JNIEXPORT jint JNICALL Java_com_kelvo_xplug_types_FMCharacterStyle_jni_1getColor(JNIEnv*, jobject, jlong) {
  return 0;
}

}  // extern "C"
