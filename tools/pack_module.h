// Packs a plug-in module file: the module image padded with zeros to the attached-jar offset, then the
// plug-in's jar. Used by the xplug-pack command and its tests; single-threaded.
#ifndef XPLUG_TOOLS_PACK_MODULE_H
#define XPLUG_TOOLS_PACK_MODULE_H

#include <cstdint>
#include <string>

namespace xplug::tools {

struct PackOutcome {
  bool ok = false;
  // What went wrong, in words for the person running the build; empty on success.
  std::string error;
};

// Writes `outputPath` as the image, zeros up to `offset`, and the jar byte for byte. Refuses an image
// larger than the offset and a jar that is not a zip archive; on failure no output file is left behind.
PackOutcome packModule(const std::string& imagePath, const std::string& jarPath,
                       const std::string& outputPath, uint64_t offset);

// Reads an offset given as decimal or as hexadecimal with a 0x prefix; false when it is not a number.
bool parseOffset(const std::string& text, uint64_t* offset);

}  // namespace xplug::tools

#endif  // XPLUG_TOOLS_PACK_MODULE_H
