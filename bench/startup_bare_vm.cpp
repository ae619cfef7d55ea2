// The least a Java-hosting plug-in's start-up can cost: load the Java runtime library, create a VM with
// the options the module passes for FileMaker Pro, and load one class from a jar through a URL class
// loader. Writes the span of that work in nanoseconds to the result file; exits non-zero on failure.
//
//   startup_bare_vm <java home> <jar> <class name> <result file>
#include <dlfcn.h>
#include <jni.h>

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "bench_support.h"
#include "platform/platform.h"

namespace {

using CreateJavaVm = jint(JNICALL*)(JavaVM**, void**, void*);

// The VM's console output goes where the module's hook sends it: standard output.
jint JNICALL vmMessage(FILE* stream, const char* format, va_list arguments) {
  return std::vfprintf(stream, format, arguments);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: startup_bare_vm <java home> <jar> <class name> <result file>\n");
    return 2;
  }
  const std::string javaHome = argv[1];
  const std::string lib = javaHome + "/lib";
  const int64_t start = xplug::bench::nowNanoseconds();

  void* runtime = ::dlopen((lib + "/server/libjvm.so").c_str(), RTLD_NOW | RTLD_GLOBAL);
  if (runtime == nullptr) {
    std::fprintf(stderr, "startup_bare_vm: %s\n", ::dlerror());
    return 1;
  }
  auto createJavaVm = reinterpret_cast<CreateJavaVm>(::dlsym(runtime, "JNI_CreateJavaVM"));
  if (createJavaVm == nullptr) {
    std::fprintf(stderr, "startup_bare_vm: no JNI_CreateJavaVM in the runtime\n");
    return 1;
  }
  std::string loggingConfig = std::string("-Djava.util.logging.config.file=") +
                              xplug::platform::kTempFallback + "/" + xplug::platform::kLoggingConfigFileName;
  std::string messageHook = "vfprintf";
  std::string bootClassPath =
      "-Xbootclasspath/a:" + lib + "/deploy.jar:" + lib + "/plugin.jar:" + lib + "/javaws.jar";
  std::vector<JavaVMOption> options = {
      {loggingConfig.data(), nullptr},
      {messageHook.data(), reinterpret_cast<void*>(&vmMessage)},
      {bootClassPath.data(), nullptr},
  };
  JavaVMInitArgs arguments{};
  arguments.version = JNI_VERSION_1_4;
  arguments.nOptions = static_cast<jint>(options.size());
  arguments.options = options.data();
  arguments.ignoreUnrecognized = JNI_FALSE;
  JavaVM* vm = nullptr;
  void* environment = nullptr;
  if (createJavaVm(&vm, &environment, &arguments) != JNI_OK) {
    std::fprintf(stderr, "startup_bare_vm: the VM did not start\n");
    return 1;
  }
  JNIEnv* env = static_cast<JNIEnv*>(environment);
  jclass loaded = xplug::bench::loadClassFromJar(env, argv[2], argv[3]);
  if (loaded == nullptr) {
    std::fprintf(stderr, "startup_bare_vm: %s was not loaded from %s\n", argv[3], argv[2]);
    return 1;
  }
  const int64_t end = xplug::bench::nowNanoseconds();
  return xplug::bench::writeSpan(argv[4], end - start) ? 0 : 1;
}
