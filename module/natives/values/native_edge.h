// The one edge every JNI native of the module runs its body behind: a C++ failure inside the body
// becomes a pending Java exception of a fitting class and the native returns its type's default. Used
// by the value natives, the registration native and the service natives, on whatever Java thread calls
// them.
#ifndef XPLUG_NATIVES_VALUES_NATIVE_EDGE_H
#define XPLUG_NATIVES_VALUES_NATIVE_EDGE_H

#include <jni.h>

#include <exception>
#include <type_traits>
#include <utility>

namespace xplug {

// A JNI call inside the body left a Java exception pending. The edge leaves that exception for the
// Java caller instead of raising one of its own over it.
class JavaExceptionPending : public std::exception {
 public:
  const char* what() const noexcept override;
};

// A range Java passed lies outside its array (or, for kind `other`, outside what it indexes). Raised
// before any memory of the range is touched.
class JavaRangeError : public std::exception {
 public:
  enum class Kind { array, other };
  JavaRangeError(Kind kind, const char* message) noexcept : kind_(kind), message_(message) {}
  Kind kind() const noexcept { return kind_; }
  const char* what() const noexcept override { return message_; }

 private:
  Kind kind_;
  const char* message_;
};

// Java passed null where a string or an array is required.
class JavaNullArgument : public std::exception {
 public:
  explicit JavaNullArgument(const char* message) noexcept : message_(message) {}
  const char* what() const noexcept override { return message_; }

 private:
  const char* message_;
};

// Raised when a JNI call has left an exception pending, so that the body stops at once.
void throwIfJavaExceptionPending(JNIEnv* env);

// Turns the C++ exception being handled into a pending Java exception, unless one is pending already:
// std::bad_alloc -> OutOfMemoryError, HostError -> com.kelvo.xplug.HostException with the host's code,
// JavaRangeError -> (Array)IndexOutOfBoundsException, JavaNullArgument -> NullPointerException, any
// other -> RuntimeException with its text. Call only from inside a catch handler; never raises.
void raisePendingJavaException(JNIEnv* env) noexcept;

// Runs a native's body. Whatever the body raises ends as a pending Java exception, and the native
// returns its type's default value; nothing unwinds into the VM.
template <typename Body>
auto nativeEdge(JNIEnv* env, Body&& body) noexcept -> std::invoke_result_t<Body&> {
  using Result = std::invoke_result_t<Body&>;
  try {
    return body();
  } catch (...) {
    raisePendingJavaException(env);
  }
  if constexpr (!std::is_void_v<Result>) return Result{};
}

}  // namespace xplug

#endif  // XPLUG_NATIVES_VALUES_NATIVE_EDGE_H
