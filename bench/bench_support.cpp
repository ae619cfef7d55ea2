#include "bench_support.h"

#include "platform/platform.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>

namespace xplug::bench {

int64_t nowNanoseconds() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

bool writeSpan(const std::string& path, int64_t nanoseconds) {
  std::ofstream out(path, std::ios::trunc);
  out << nanoseconds << '\n';
  out.close();
  return static_cast<bool>(out);
}

std::optional<int64_t> readSpan(const std::string& path) {
  std::ifstream in(path);
  int64_t nanoseconds = 0;
  if (!(in >> nanoseconds) || nanoseconds <= 0) return std::nullopt;
  return nanoseconds;
}

int64_t residentBytes() {
  std::ifstream statm("/proc/self/statm");
  int64_t sizePages = 0;
  int64_t residentPages = 0;
  if (!(statm >> sizePages >> residentPages)) return 0;
  return residentPages * static_cast<int64_t>(::sysconf(_SC_PAGESIZE));
}

namespace {

// True, with the exception printed and cleared, when the last JNI call threw.
bool threw(JNIEnv* env) {
  if (!env->ExceptionCheck()) return false;
  env->ExceptionDescribe();
  env->ExceptionClear();
  return true;
}

}  // namespace

jclass loadClassFromJar(JNIEnv* env, const std::string& jarPath, const char* className) {
  if (env->PushLocalFrame(16) != 0) {
    threw(env);
    return nullptr;
  }
  jobject found = nullptr;
  do {
    jclass urlClass = env->FindClass("java/net/URL");
    if (threw(env) || urlClass == nullptr) break;
    jmethodID urlInit = env->GetMethodID(urlClass, "<init>", "(Ljava/lang/String;)V");
    if (threw(env) || urlInit == nullptr) break;
    jstring urlText = env->NewStringUTF((std::string(platform::kArchiveUrlPrefix) + jarPath).c_str());
    if (threw(env) || urlText == nullptr) break;
    jobject url = env->NewObject(urlClass, urlInit, urlText);
    if (threw(env) || url == nullptr) break;
    jobjectArray urls = env->NewObjectArray(1, urlClass, url);
    if (threw(env) || urls == nullptr) break;

    jclass loaderClass = env->FindClass("java/net/URLClassLoader");
    if (threw(env) || loaderClass == nullptr) break;
    jmethodID loaderInit = env->GetMethodID(loaderClass, "<init>", "([Ljava/net/URL;)V");
    if (threw(env) || loaderInit == nullptr) break;
    jobject loader = env->NewObject(loaderClass, loaderInit, urls);
    if (threw(env) || loader == nullptr) break;
    jmethodID loadClass = env->GetMethodID(loaderClass, "loadClass", "(Ljava/lang/String;)Ljava/lang/Class;");
    if (threw(env) || loadClass == nullptr) break;
    jstring name = env->NewStringUTF(className);
    if (threw(env) || name == nullptr) break;
    found = env->CallObjectMethod(loader, loadClass, name);
    if (threw(env)) found = nullptr;
  } while (false);
  return static_cast<jclass>(env->PopLocalFrame(found));
}

}  // namespace xplug::bench
