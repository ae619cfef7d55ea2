// The natives of com.kelvo.xplug.types.FMBinary: count and list the streams of container data, read a
// stream's bytes, and add and remove streams. A stream's type crosses as a four-character Java string,
// the host's 32-bit code with its first character in the most significant byte. Each runs behind the
// native edge.
#include <jni.h>

#include <array>
#include <cstdint>
#include <vector>

#include "fmx/fmx_calls.h"
#include "natives/jni_declarations.h"
#include "natives/values/call_scoped_objects.h"
#include "natives/values/host_objects.h"
#include "natives/values/java_arguments.h"
#include "natives/values/native_edge.h"

using namespace xplug;

namespace {

FmxBinaryData* binaryOf(jlong handle) {
  return fromObjectHandle<FmxBinaryData>(handle);
}

uint32_t macTypeOf(JNIEnv* env, jstring type) {
  std::array<unsigned char, 4> bytes = javaStringFirstFourBytes(env, type);
  return (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) |
         uint32_t{bytes[3]};
}

// The four bytes read as modified UTF-8; a zero byte ends the string early.
jstring javaStringOfMacType(JNIEnv* env, uint32_t value) {
  const char bytes[5] = {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
                         static_cast<char>(value >> 8), static_cast<char>(value), '\0'};
  jstring string = env->NewStringUTF(bytes);
  throwIfJavaExceptionPending(env);
  return string;
}

TemporaryQuadChar makeTypeCode(JNIEnv* env, jstring type) {
  uint32_t value = macTypeOf(env, type);
  TemporaryQuadChar code = makeTemporaryQuadChar();
  hostCall(FM_QuadChar_SetMacType, code.get(), value);
  return code;
}

}  // namespace

extern "C" {

JNIEXPORT jlong JNICALL Java_com_kelvo_xplug_types_FMBinary__1createBinary(JNIEnv* env, jobject) {
  return nativeEdge(env, [&] { return toObjectHandle(createCallScopedBinaryData()); });
}

JNIEXPORT jint JNICALL Java_com_kelvo_xplug_types_FMBinary__1getStreamCount(JNIEnv* env, jobject,
                                                                            jlong binary) {
  return nativeEdge(env,
                    [&] { return static_cast<jint>(hostCall(FM_BinaryData_GetCount, binaryOf(binary))); });
}

JNIEXPORT jlong JNICALL Java_com_kelvo_xplug_types_FMBinary__1getTotalSize(JNIEnv* env, jobject,
                                                                           jlong binary) {
  // A size is a count, not a handle: widened without sign.
  return nativeEdge(
      env, [&] { return static_cast<jlong>(hostCall(FM_BinaryData_GetTotalSize, binaryOf(binary))); });
}

JNIEXPORT jint JNICALL Java_com_kelvo_xplug_types_FMBinary__1getSize(JNIEnv* env, jobject, jlong binary,
                                                                     jint stream) {
  return nativeEdge(env, [&] {
    return static_cast<jint>(hostCall(FM_BinaryData_GetSize, binaryOf(binary), static_cast<int32_t>(stream)));
  });
}

JNIEXPORT jstring JNICALL Java_com_kelvo_xplug_types_FMBinary__1getTypeForIndex(JNIEnv* env, jobject,
                                                                                jlong binary, jint stream) {
  return nativeEdge(env, [&] {
    TemporaryQuadChar code = makeTemporaryQuadChar();
    hostCall(FM_BinaryData_GetType, binaryOf(binary), static_cast<int32_t>(stream), code.get());
    uint32_t value = hostCall(FM_QuadChar_GetMacType, code.get());
    jstring type = javaStringOfMacType(env, value);
    code.deleteNow();
    return type;
  });
}

JNIEXPORT void JNICALL Java_com_kelvo_xplug_types_FMBinary__1getData(JNIEnv* env, jobject, jlong binary,
                                                                     jint stream, jint offset, jint amount,
                                                                     jbyteArray bytes) {
  nativeEdge(env, [&] {
    // The host writes from the array's first element on.
    checkArrayRange(env, bytes, 0, amount);
    std::vector<uint8_t> buffer(static_cast<std::size_t>(amount) + 1);
    hostCall(FM_BinaryData_GetData, binaryOf(binary), static_cast<int32_t>(stream),
             static_cast<uint32_t>(offset), static_cast<uint32_t>(amount), static_cast<void*>(buffer.data()));
    copyToJavaArray(env, bytes, 0, amount, buffer.data());
  });
}

JNIEXPORT jstring JNICALL Java_com_kelvo_xplug_types_FMBinary__1getUnicodeString(JNIEnv* env, jobject,
                                                                                 jlong binary, jint stream) {
  return nativeEdge(env, [&] {
    uint32_t size = hostCall(FM_BinaryData_GetSize, binaryOf(binary), static_cast<int32_t>(stream));
    // Whole UTF-16 units, from the heap: a large stream would not fit on the stack. An odd last byte
    // gets its own unit here and is dropped from the string.
    std::vector<uint16_t> units(static_cast<std::size_t>(size) / 2 + 1);
    hostCall(FM_BinaryData_GetData, binaryOf(binary), static_cast<int32_t>(stream), uint32_t{0}, size,
             static_cast<void*>(units.data()));
    jstring text = env->NewString(reinterpret_cast<const jchar*>(units.data()), static_cast<jsize>(size / 2));
    throwIfJavaExceptionPending(env);
    return text;
  });
}

JNIEXPORT void JNICALL Java_com_kelvo_xplug_types_FMBinary__1addStream(JNIEnv* env, jobject, jlong binary,
                                                                       jstring type, jint length,
                                                                       jbyteArray bytes) {
  nativeEdge(env, [&] {
    checkArrayRange(env, bytes, 0, length);
    std::vector<uint8_t> buffer(static_cast<std::size_t>(length) + 1);
    copyFromJavaArray(env, bytes, 0, length, buffer.data());
    TemporaryQuadChar code = makeTypeCode(env, type);
    // A refusal by the host leaves the data as it was; its result code adds nothing Java could act on.
    hostCall(FM_BinaryData_Add, binaryOf(binary), code.get(), static_cast<uint32_t>(length), buffer.data());
    code.deleteNow();
  });
}

JNIEXPORT void JNICALL Java_com_kelvo_xplug_types_FMBinary__1removeStream(JNIEnv* env, jobject, jlong binary,
                                                                          jstring type) {
  nativeEdge(env, [&] {
    TemporaryQuadChar code = makeTypeCode(env, type);
    hostCall(FM_BinaryData_Remove, binaryOf(binary), code.get());
    code.deleteNow();
  });
}

JNIEXPORT void JNICALL Java_com_kelvo_xplug_types_FMBinary__1removeAllStreams(JNIEnv* env, jobject,
                                                                              jlong binary) {
  nativeEdge(env, [&] { hostCall(FM_BinaryData_RemoveAll, binaryOf(binary)); });
}

}  // extern "C"
