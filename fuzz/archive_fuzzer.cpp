// The attached-archive reader over arbitrary bytes: a jar copy in the temporary folder holding anything,
// read the way the module reads its manifest (minizip, the entry, the line reader).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "archive/plugin_manifest.h"
#include "fuzz_support.h"

namespace {
std::string jarPath;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  jarPath = xplug::fuzz::prepareProcess() + "/Plugin.jar";
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::FILE* file = std::fopen(jarPath.c_str(), "wb");
  if (file == nullptr) std::abort();
  if (size != 0 && std::fwrite(data, 1, size, file) != size) std::abort();
  std::fclose(file);
  xplug::PluginMetadata metadata = xplug::readPluginMetadata(jarPath.c_str());
  for (const auto* value : {&metadata.name, &metadata.options, &metadata.help, &metadata.version}) {
    if (*value && (*value)->size() >= xplug::kManifestValueCapacity) __builtin_trap();
  }
  return 0;
}
