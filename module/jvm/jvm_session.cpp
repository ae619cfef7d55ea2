#include "jvm/jvm_session.h"

namespace xplug {

JvmSession jvmSession;

namespace {

#define XPLUG_JAVA_MISSING                                                                            \
  "Kvantrel plugins require Java 8 or later, which is not installed on this computer. Download it " \
  "from https://adoptium.net/"

constexpr const char* kJavaMissingMessages[] = {
    XPLUG_JAVA_MISSING " (error 1)", XPLUG_JAVA_MISSING " (error 2)", XPLUG_JAVA_MISSING " (error 3)",
    XPLUG_JAVA_MISSING " (error 4)", XPLUG_JAVA_MISSING " (error 5)", XPLUG_JAVA_MISSING " (error 6)",
    XPLUG_JAVA_MISSING " (error 7)", XPLUG_JAVA_MISSING " (error 8)",
};

#undef XPLUG_JAVA_MISSING

}  // namespace

const char* javaMissingMessage(int errorNumber) {
  if (errorNumber < 1 || errorNumber > 8) return nullptr;
  return kJavaMissingMessages[errorNumber - 1];
}

JavaRuntimeEntryPoints findRuntimeEntryPoints(platform::LibraryHandle library) {
  JavaRuntimeEntryPoints entryPoints;
  if (library == nullptr) return entryPoints;
  entryPoints.createJavaVM =
      reinterpret_cast<decltype(entryPoints.createJavaVM)>(platform::findSymbol(library, "JNI_CreateJavaVM"));
  entryPoints.getCreatedJavaVMs = reinterpret_cast<decltype(entryPoints.getCreatedJavaVMs)>(
      platform::findSymbol(library, "JNI_GetCreatedJavaVMs"));
  return entryPoints;
}

}  // namespace xplug
