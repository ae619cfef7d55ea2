// Owners of JNI resources (local references and frames, string characters, array elements, a thread's
// attachment) and the one check for a pending Java exception after a JNI call. For every module unit
// that calls into the VM; an owner lives and dies on the thread whose environment made it.
#ifndef XPLUG_JVM_JNI_SUPPORT_H
#define XPLUG_JVM_JNI_SUPPORT_H

#include <jni.h>

#include <type_traits>
#include <utility>

namespace xplug::jni {

// The check after every JNI call that may throw. A pending exception is printed with its stack trace
// to the VM's error stream and cleared; returns whether there was one. Under -Xcheck:jni the VM warns
// about any call that may throw and is not followed by a check, so every such call goes through here.
inline bool describePendingException(JNIEnv* env) noexcept {
  if (!env->ExceptionCheck()) return false;
  env->ExceptionDescribe();
  // ExceptionDescribe clears the exception itself; older runtimes did not promise that.
  env->ExceptionClear();
  return true;
}

// One local reference, deleted when the owner goes. Null is a valid, empty value (a failed lookup).
template <typename Ref>
class LocalRef {
  static_assert(std::is_convertible_v<Ref, jobject>, "LocalRef holds JNI object references");

 public:
  LocalRef(JNIEnv* env, Ref ref) noexcept : env_(env), ref_(ref) {}
  LocalRef(LocalRef&& other) noexcept : env_(other.env_), ref_(std::exchange(other.ref_, nullptr)) {}
  LocalRef& operator=(LocalRef&& other) noexcept {
    if (this != &other) {
      reset();
      env_ = other.env_;
      ref_ = std::exchange(other.ref_, nullptr);
    }
    return *this;
  }
  LocalRef(const LocalRef&) = delete;
  LocalRef& operator=(const LocalRef&) = delete;
  ~LocalRef() { reset(); }

  Ref get() const noexcept { return ref_; }
  explicit operator bool() const noexcept { return ref_ != nullptr; }
  // Gives the reference up without deleting it (it then belongs to the caller or to a frame).
  Ref release() noexcept { return std::exchange(ref_, nullptr); }

 private:
  void reset() noexcept {
    if (ref_ != nullptr) env_->DeleteLocalRef(ref_);
    ref_ = nullptr;
  }

  JNIEnv* env_;
  Ref ref_;
};

// A local frame: the local references made while it is open are freed when it closes. A frame that
// could not be pushed (the VM is out of memory) is never popped.
class LocalFrame {
 public:
  LocalFrame(JNIEnv* env, jint capacity) noexcept : env_(env), pushed_(env->PushLocalFrame(capacity) == 0) {
    if (!pushed_) describePendingException(env);
  }
  LocalFrame(const LocalFrame&) = delete;
  LocalFrame& operator=(const LocalFrame&) = delete;
  ~LocalFrame() {
    if (pushed_) env_->PopLocalFrame(nullptr);
  }

  bool pushed() const noexcept { return pushed_; }

 private:
  JNIEnv* env_;
  bool pushed_;
};

// The UTF-16 characters of a Java string (GetStringChars), released when the owner goes. A null
// string or a failed copy (its exception is printed and cleared) leaves the owner empty.
class StringChars {
 public:
  StringChars(JNIEnv* env, jstring string) noexcept : env_(env), string_(string) {
    if (string_ == nullptr) return;
    length_ = env_->GetStringLength(string_);
    chars_ = env_->GetStringChars(string_, nullptr);
    if (chars_ == nullptr) {
      describePendingException(env_);
      length_ = 0;
    }
  }
  StringChars(const StringChars&) = delete;
  StringChars& operator=(const StringChars&) = delete;
  ~StringChars() {
    if (chars_ != nullptr) env_->ReleaseStringChars(string_, chars_);
  }

  const jchar* get() const noexcept { return chars_; }
  // Not zero-terminated: the VM does not promise a terminator.
  jsize length() const noexcept { return length_; }
  explicit operator bool() const noexcept { return chars_ != nullptr; }

 private:
  JNIEnv* env_;
  jstring string_;
  const jchar* chars_ = nullptr;
  jsize length_ = 0;
};

// The modified UTF-8 form of a Java string (GetStringUTFChars), zero-terminated, released when the
// owner goes. A null string or a failed copy leaves the owner empty.
class StringUtfChars {
 public:
  StringUtfChars(JNIEnv* env, jstring string) noexcept : env_(env), string_(string) {
    if (string_ == nullptr) return;
    chars_ = env_->GetStringUTFChars(string_, nullptr);
    if (chars_ == nullptr) describePendingException(env_);
  }
  StringUtfChars(const StringUtfChars&) = delete;
  StringUtfChars& operator=(const StringUtfChars&) = delete;
  ~StringUtfChars() {
    if (chars_ != nullptr) env_->ReleaseStringUTFChars(string_, chars_);
  }

  const char* get() const noexcept { return chars_; }
  explicit operator bool() const noexcept { return chars_ != nullptr; }

 private:
  JNIEnv* env_;
  jstring string_;
  const char* chars_ = nullptr;
};

// The elements of a primitive Java array (Get<Type>ArrayElements), released when the owner goes:
// copied back by default, or dropped with abort() when the native only read them.
template <typename Element>
class ArrayElements {
 public:
  using Array = std::conditional_t<
      std::is_same_v<Element, jbyte>, jbyteArray,
      std::conditional_t<
          std::is_same_v<Element, jchar>, jcharArray,
          std::conditional_t<std::is_same_v<Element, jint>, jintArray,
                             std::conditional_t<std::is_same_v<Element, jlong>, jlongArray, void>>>>;
  static_assert(!std::is_void_v<Array>, "ArrayElements supports jbyte, jchar, jint and jlong");

  ArrayElements(JNIEnv* env, Array array) noexcept : env_(env), array_(array) {
    if (array_ == nullptr) return;
    length_ = env_->GetArrayLength(array_);
    if constexpr (std::is_same_v<Element, jbyte>) {
      elements_ = env_->GetByteArrayElements(array_, nullptr);
    } else if constexpr (std::is_same_v<Element, jchar>) {
      elements_ = env_->GetCharArrayElements(array_, nullptr);
    } else if constexpr (std::is_same_v<Element, jint>) {
      elements_ = env_->GetIntArrayElements(array_, nullptr);
    } else {
      elements_ = env_->GetLongArrayElements(array_, nullptr);
    }
    if (elements_ == nullptr) {
      describePendingException(env_);
      length_ = 0;
    }
  }
  ArrayElements(const ArrayElements&) = delete;
  ArrayElements& operator=(const ArrayElements&) = delete;
  ~ArrayElements() {
    if (elements_ == nullptr) return;
    if constexpr (std::is_same_v<Element, jbyte>) {
      env_->ReleaseByteArrayElements(array_, elements_, mode_);
    } else if constexpr (std::is_same_v<Element, jchar>) {
      env_->ReleaseCharArrayElements(array_, elements_, mode_);
    } else if constexpr (std::is_same_v<Element, jint>) {
      env_->ReleaseIntArrayElements(array_, elements_, mode_);
    } else {
      env_->ReleaseLongArrayElements(array_, elements_, mode_);
    }
  }

  Element* get() const noexcept { return elements_; }
  jsize length() const noexcept { return length_; }
  explicit operator bool() const noexcept { return elements_ != nullptr; }
  // The elements are released without copying changes back into the array.
  void abort() noexcept { mode_ = JNI_ABORT; }

 private:
  JNIEnv* env_;
  Array array_;
  Element* elements_ = nullptr;
  jsize length_ = 0;
  jint mode_ = 0;
};

// The calling thread's attachment to the VM as one host call needs it: detaches the thread when the
// owner goes, but only when the lookup that gave the environment attached it (or created the VM on
// it). A thread that was attached before the call stays attached.
class ThreadAttachment {
 public:
  ThreadAttachment(JavaVM* vm, bool attachedHere) noexcept : vm_(attachedHere ? vm : nullptr) {}
  ThreadAttachment(const ThreadAttachment&) = delete;
  ThreadAttachment& operator=(const ThreadAttachment&) = delete;
  ~ThreadAttachment() {
    if (vm_ != nullptr) vm_->DetachCurrentThread();
  }

  bool detachesOnExit() const noexcept { return vm_ != nullptr; }

 private:
  JavaVM* vm_;
};

}  // namespace xplug::jni

#endif  // XPLUG_JVM_JNI_SUPPORT_H
