// The manifest's line reader over arbitrary text: the name-value pairs it finds, the values it keeps.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "archive/plugin_manifest.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  xplug::fuzz::prepareProcess();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // As the archive reader hands it over: at most the read limit, ended by a zero byte.
  char text[xplug::kManifestTextCapacity];
  size_t length = size < sizeof text - 1 ? size : sizeof text - 1;
  std::memcpy(text, data, length);
  text[length] = '\0';
  xplug::PluginMetadata metadata = xplug::parseManifest(text);
  // Every kept value is a zero-terminated copy within the value limit.
  for (const auto* value : {&metadata.name, &metadata.options, &metadata.help, &metadata.version}) {
    if (*value && (*value)->size() >= xplug::kManifestValueCapacity) __builtin_trap();
  }
  return 0;
}
