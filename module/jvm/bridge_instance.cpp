#include "jvm/bridge_instance.h"

#include <cstring>
#include <optional>
#include <string>

#include "archive/attached_jar.h"
#include "jvm/jni_support.h"
#include "jvm/jvm_session.h"
#include "log/plugin_log.h"
#include "platform/platform.h"
#include "session/host_session.h"
#include "text/string_conversions.h"

namespace xplug {

namespace {

using jni::describePendingException;
using jni::LocalRef;

// Logs `line` (when given) and prints the exception when the last JNI call left one pending.
bool failedWith(JNIEnv* env, const char* line) {
  if (!env->ExceptionCheck()) return false;
  if (line != nullptr) logMessage("%s", line);
  describePendingException(env);
  return true;
}

// jarPath in its long form, in place; false when the long form cannot be had or does not fit.
bool replaceJarPathByLongForm() {
  std::optional<std::string> longPath = platform::longPathName(jarPath);
  if (!longPath || longPath->size() >= sizeof jarPath) {
    logMessage("getClassLoader(): could not find the full path of %s\n", jarPath);
    return false;
  }
  std::memcpy(jarPath, longPath->c_str(), longPath->size() + 1);
  return true;
}

jobject makeClassLoader(JNIEnv* env) {
  if (writeAttachedJarFile() == 0) return nullptr;
  if (!replaceJarPathByLongForm()) return nullptr;
  LocalRef<jclass> urlClass(env, env->FindClass("java/net/URL"));
  if (failedWith(env, nullptr) || !urlClass) return nullptr;
  jmethodID urlConstructor = env->GetMethodID(urlClass.get(), "<init>", "(Ljava/lang/String;)V");
  if (failedWith(env, nullptr) || urlConstructor == nullptr) return nullptr;
  std::optional<std::string> urlText = jarUrlText(jarPath);
  if (!urlText) {
    logMessage("getClassLoader(): the path %s cannot be made into a URL\n", jarPath);
    return nullptr;
  }
  LocalRef<jstring> urlString(env, env->NewStringUTF(urlText->c_str()));
  if (failedWith(env, nullptr) || !urlString) return nullptr;
  LocalRef<jobject> url(env, env->NewObject(urlClass.get(), urlConstructor, urlString.get()));
  if (failedWith(env, "getClassLoader(): NewObject() failed\n") || !url) return nullptr;

  LocalRef<jclass> loaderClass(env, env->FindClass("java/net/URLClassLoader"));
  if (failedWith(env, "getClassLoader(): FindClass() failed\n") || !loaderClass) return nullptr;
  jmethodID loaderConstructor = env->GetMethodID(loaderClass.get(), "<init>", "([Ljava/net/URL;)V");
  if (failedWith(env, "getClassLoader(): GetMethodID() failed\n") || loaderConstructor == nullptr)
    return nullptr;
  LocalRef<jobjectArray> urls(env, env->NewObjectArray(1, urlClass.get(), url.get()));
  if (failedWith(env, "getClassLoader(): NewObjectArray() failed\n") || !urls) return nullptr;
  LocalRef<jobject> loader(env, env->NewObject(loaderClass.get(), loaderConstructor, urls.get()));
  if (failedWith(env, "getClassLoader(): NewObject() #2 failed\n") || !loader) return nullptr;
  return env->NewGlobalRef(loader.get());
}

}  // namespace

jobject getClassLoader(JNIEnv* env) {
  if (jvmSession.classLoader != nullptr) return jvmSession.classLoader;
  jvmSession.classLoader = makeClassLoader(env);
  if (jvmSession.classLoader == nullptr) logMessage("getClassLoader(): returning NULL\n");
  return jvmSession.classLoader;
}

jclass loadBridgeClass(JNIEnv* env) {
  if (jvmSession.bridgeClass != nullptr) return jvmSession.bridgeClass;

  LocalRef<jclass> loaderClass(env, env->FindClass("java/net/URLClassLoader"));
  if (failedWith(env, nullptr) || !loaderClass) return nullptr;
  jmethodID loadClass =
      env->GetMethodID(loaderClass.get(), "loadClass", "(Ljava/lang/String;)Ljava/lang/Class;");
  if (failedWith(env, nullptr) || loadClass == nullptr) return nullptr;
  LocalRef<jstring> name(env, env->NewStringUTF(kBridgeClassName));
  if (failedWith(env, nullptr) || !name) return nullptr;

  jobject loader = getClassLoader(env);
  if (loader == nullptr) {
    logMessage("Cannot load %s without a class loader\n", kBridgeClassName);
    return nullptr;
  }
  LocalRef<jobject> loaded(env, env->CallObjectMethod(loader, loadClass, name.get()));
  if (failedWith(env,
                 "An error occurred while trying to load com.kelvo.xplug.PluginBridge. Make sure that it is "
                 "loaded in a jar called 'plugin.jar'\n") ||
      !loaded) {
    return nullptr;
  }
  jvmSession.bridgeClass = static_cast<jclass>(env->NewGlobalRef(loaded.get()));
  return jvmSession.bridgeClass;
}

jobject getBridgeInstance(JNIEnv* env) {
  if (jvmSession.bridgeInstance != nullptr) return jvmSession.bridgeInstance;

  // The preferences root is made with the VM's own loader before any plug-in class can ask for it.
  LocalRef<jclass> preferences(env, env->FindClass("java/util/prefs/Preferences"));
  if (!failedWith(env, nullptr) && preferences) {
    jmethodID userRoot =
        env->GetStaticMethodID(preferences.get(), "userRoot", "()Ljava/util/prefs/Preferences;");
    if (!failedWith(env, nullptr) && userRoot != nullptr) {
      LocalRef<jobject> root(env, env->CallStaticObjectMethod(preferences.get(), userRoot));
      failedWith(env, nullptr);
    }
  }

  jclass bridge = loadBridgeClass(env);
  if (bridge == nullptr) return nullptr;
  jmethodID sharedInstance = env->GetStaticMethodID(
      bridge, "sharedInstance",
      "(Ljava/lang/String;Ljava/lang/String;SLjava/lang/String;)Lcom/kelvo/xplug/PluginBridge;");
  if (failedWith(env, "Could not locate sharedInstance static method\n") || sharedInstance == nullptr) {
    return nullptr;
  }

  // The paths are narrow text in the platform's path code page, which Java must not read as UTF-8.
  std::optional<std::u16string> bundlePathText = narrowPathToWide((modulePath + ";" + jarPath).c_str());
  if (!bundlePathText) {
    logMessage("The module path %s cannot be handed to Java\n", modulePath.c_str());
    return nullptr;
  }
  LocalRef<jstring> bundlePath(env, env->NewString(reinterpret_cast<const jchar*>(bundlePathText->data()),
                                                   static_cast<jsize>(bundlePathText->size())));
  if (failedWith(env, nullptr) || !bundlePath) return nullptr;
  std::u16string logPathText = currentLogFilePath();
  LocalRef<jstring> logPath(env, env->NewString(reinterpret_cast<const jchar*>(logPathText.data()),
                                                static_cast<jsize>(logPathText.size())));
  if (failedWith(env, nullptr) || !logPath) return nullptr;
  LocalRef<jstring> version(env, env->NewStringUTF(kBridgeVersion));
  if (failedWith(env, nullptr) || !version) return nullptr;

  LocalRef<jobject> instance(
      env, env->CallStaticObjectMethod(bridge, sharedInstance, bundlePath.get(), version.get(),
                                       static_cast<jshort>(hostSession.appType), logPath.get()));
  if (failedWith(env, nullptr)) return nullptr;
  if (!instance) {
    logMessage("%s.sharedInstance returned null\n", kBridgeClassName);
    return nullptr;
  }
  jvmSession.bridgeInstance = env->NewGlobalRef(instance.get());
  return jvmSession.bridgeInstance;
}

// Every byte that a URL would read as something else ("#", "%", "?", blanks) or that is not ASCII is
// written as %XX of the path's UTF-8, which the class loader decodes back into the path.
std::optional<std::string> jarUrlText(const char* path) {
  static constexpr char kHexDigits[] = "0123456789ABCDEF";
  std::optional<std::string> utf8 = narrowPathToUtf8(path);
  if (!utf8) return std::nullopt;
  std::string url = platform::kArchiveUrlPrefix;
  for (char byte : *utf8) {
    unsigned char c = static_cast<unsigned char>(byte);
    if (c == static_cast<unsigned char>(platform::kPathSeparator) || c == '/') {
      url += '/';
    } else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               std::strchr("-._~:!$&'()*+,;=@", c) != nullptr) {
      url += static_cast<char>(c);
    } else {
      url += '%';
      url += kHexDigits[c >> 4];
      url += kHexDigits[c & 0xF];
    }
  }
  return url;
}

}  // namespace xplug
