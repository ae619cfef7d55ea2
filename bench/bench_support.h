// Small helpers the benchmark programs share: a monotonic clock, the span a probe reports in its result
// file, the process's resident memory, and loading one class from a jar through a URL class loader.
// For the benchmark executables only; call from the thread that runs the benchmarks.
#ifndef XPLUG_BENCH_BENCH_SUPPORT_H
#define XPLUG_BENCH_BENCH_SUPPORT_H

#include <jni.h>

#include <cstdint>
#include <optional>
#include <string>

namespace xplug::bench {

// Nanoseconds on the monotonic clock.
int64_t nowNanoseconds();

// A probe's measured span, written as one decimal line; readSpan gives nothing for a missing or
// unreadable file (a probe that failed).
bool writeSpan(const std::string& path, int64_t nanoseconds);
std::optional<int64_t> readSpan(const std::string& path);

// The resident set of this process in bytes, from /proc/self/statm; 0 when it cannot be read.
int64_t residentBytes();

// Loads `className` (dotted) from the jar at `jarPath` through a new URLClassLoader whose parent is
// the system class loader. Returns a local reference, or null with any Java exception printed and
// cleared.
jclass loadClassFromJar(JNIEnv* env, const std::string& jarPath, const char* className);

}  // namespace xplug::bench

#endif  // XPLUG_BENCH_BENCH_SUPPORT_H
