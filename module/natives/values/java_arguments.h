// What the natives take from Java arguments: strings as zero-terminated UTF-16 or modified UTF-8 copies,
// the checked range of a primitive array, and copies into and out of such a range. For the natives of
// the module, on the Java thread that called them; each raises what the native edge turns into the
// fitting Java exception (null: NullPointerException, bad range: ArrayIndexOutOfBoundsException).
#ifndef XPLUG_NATIVES_VALUES_JAVA_ARGUMENTS_H
#define XPLUG_NATIVES_VALUES_JAVA_ARGUMENTS_H

#include <jni.h>

#include <array>
#include <cstdint>
#include <string>

namespace xplug {

// The string's UTF-16 units followed by a terminating zero, which FM_Text_AssignUnicode needs and the
// VM does not promise after GetStringChars. A U+0000 inside the string stays where it is, so the host
// takes the units before it.
std::u16string javaStringUnits(JNIEnv* env, jstring string);

// The string's modified UTF-8 form (GetStringUTFChars' bytes), zero-terminated.
std::string javaStringModifiedUtf8(JNIEnv* env, jstring string);

// The first four bytes of the string's modified UTF-8 form; a shorter form is padded with zero bytes
// instead of being read past its end.
std::array<unsigned char, 4> javaStringFirstFourBytes(JNIEnv* env, jstring string);

// Checks that `count` elements from `offset` lie inside the array and returns the array's length.
// Negative offsets or counts are outside.
jsize checkArrayRange(JNIEnv* env, jarray array, jint offset, jint count);

// Copies between a checked range of a Java array and native memory.
void copyFromJavaArray(JNIEnv* env, jcharArray array, jint offset, jint count, uint16_t* destination);
void copyToJavaArray(JNIEnv* env, jcharArray array, jint offset, jint count, const uint16_t* source);
void copyFromJavaArray(JNIEnv* env, jbyteArray array, jint offset, jint count, void* destination);
void copyToJavaArray(JNIEnv* env, jbyteArray array, jint offset, jint count, const void* source);

}  // namespace xplug

#endif  // XPLUG_NATIVES_VALUES_JAVA_ARGUMENTS_H
