#include "natives/values/java_arguments.h"

#include "natives/values/native_edge.h"

namespace xplug {

namespace {

void requireNonNull(const void* reference, const char* message) {
  if (reference == nullptr) throw JavaNullArgument(message);
}

}  // namespace

std::u16string javaStringUnits(JNIEnv* env, jstring string) {
  requireNonNull(string, "A string argument is null");
  jsize length = env->GetStringLength(string);
  throwIfJavaExceptionPending(env);
  // The string's own terminator follows the units; GetStringRegion copies without pinning the string.
  std::u16string units(static_cast<std::size_t>(length), u'\0');
  static_assert(sizeof(jchar) == sizeof(char16_t), "Java characters are UTF-16 units");
  env->GetStringRegion(string, 0, length, reinterpret_cast<jchar*>(units.data()));
  throwIfJavaExceptionPending(env);
  return units;
}

std::string javaStringModifiedUtf8(JNIEnv* env, jstring string) {
  requireNonNull(string, "A string argument is null");
  jsize length = env->GetStringLength(string);
  throwIfJavaExceptionPending(env);
  jsize bytes = env->GetStringUTFLength(string);
  throwIfJavaExceptionPending(env);
  // The region call may write a terminating zero after the bytes; the extra element takes it.
  std::string utf8(static_cast<std::size_t>(bytes) + 1, '\0');
  env->GetStringUTFRegion(string, 0, length, utf8.data());
  throwIfJavaExceptionPending(env);
  utf8.resize(static_cast<std::size_t>(bytes));
  return utf8;
}

std::array<unsigned char, 4> javaStringFirstFourBytes(JNIEnv* env, jstring string) {
  std::string utf8 = javaStringModifiedUtf8(env, string);
  std::array<unsigned char, 4> bytes{};
  for (std::size_t i = 0; i < bytes.size() && i < utf8.size(); ++i)
    bytes[i] = static_cast<unsigned char>(utf8[i]);
  return bytes;
}

jsize checkArrayRange(JNIEnv* env, jarray array, jint offset, jint count) {
  requireNonNull(array, "An array argument is null");
  jsize length = env->GetArrayLength(array);
  throwIfJavaExceptionPending(env);
  // Written so that no sum can overflow: offset <= length - count with both non-negative.
  if (offset < 0 || count < 0 || count > length || offset > length - count) {
    throw JavaRangeError(JavaRangeError::Kind::array, "The range lies outside the array");
  }
  return length;
}

void copyFromJavaArray(JNIEnv* env, jcharArray array, jint offset, jint count, uint16_t* destination) {
  env->GetCharArrayRegion(array, offset, count, reinterpret_cast<jchar*>(destination));
  throwIfJavaExceptionPending(env);
}

void copyToJavaArray(JNIEnv* env, jcharArray array, jint offset, jint count, const uint16_t* source) {
  env->SetCharArrayRegion(array, offset, count, reinterpret_cast<const jchar*>(source));
  throwIfJavaExceptionPending(env);
}

void copyFromJavaArray(JNIEnv* env, jbyteArray array, jint offset, jint count, void* destination) {
  env->GetByteArrayRegion(array, offset, count, static_cast<jbyte*>(destination));
  throwIfJavaExceptionPending(env);
}

void copyToJavaArray(JNIEnv* env, jbyteArray array, jint offset, jint count, const void* source) {
  env->SetByteArrayRegion(array, offset, count, static_cast<const jbyte*>(source));
  throwIfJavaExceptionPending(env);
}

}  // namespace xplug
