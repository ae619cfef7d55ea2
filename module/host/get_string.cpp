#include "host/get_string.h"

#include <optional>
#include <string>

#include "archive/attached_jar.h"
#include "archive/plugin_manifest.h"
#include "fmx/fmx_extern.h"
#include "log/plugin_log.h"
#include "session/host_session.h"
#include "text/string_conversions.h"

namespace xplug {
namespace {

// Read once and never freed: hostSession.pluginName points into it, and log lines may still use the
// name while the process ends.
const PluginMetadata* pluginMetadata = nullptr;

const char* shownInLog(const std::optional<std::string>& value) {
  return value ? value->c_str() : "(null)";
}

const PluginMetadata& readMetadataOnce() {
  if (pluginMetadata != nullptr) return *pluginMetadata;
  if (!jarWritten) writeAttachedJarFile();
  auto* metadata = new PluginMetadata(readPluginMetadata(jarPath));
  pluginMetadata = metadata;
  hostSession.pluginName = metadata->name ? metadata->name->c_str() : nullptr;
  logMessage("Finished reading metadata; (%s) (%s) (%s) (%s)\n", shownInLog(metadata->name),
             shownInLog(metadata->options), shownInLog(metadata->help), shownInLog(metadata->version));
  return *metadata;
}

// The description line: help text and version in round brackets. A missing part reads as empty; with
// both missing there is no line at all.
std::optional<std::string> descriptionLine(const PluginMetadata& metadata) {
  if (!metadata.help && !metadata.version) return std::nullopt;
  return metadata.help.value_or("") + " (" + metadata.version.value_or("") + ")";
}

}  // namespace

void handleGetString(uint16_t stringId, uint32_t bufferCapacity, char16_t* buffer) {
  const PluginMetadata& metadata = readMetadataOnce();
  std::optional<std::string> text;
  switch (stringId) {
    case kFmxStringName:
      text = metadata.name;
      break;
    case kFmxStringHelp:
      text = descriptionLine(metadata);
      break;
    case kFmxStringOptions:
      text = metadata.options;
      break;
    default:
      return;
  }
  if (buffer == nullptr || bufferCapacity == 0) return;
  // A key the manifest lacks, or gives no value, is answered with the empty text: that is no illegal
  // input for the conversion to report.
  if (!text || text->empty()) {
    buffer[0] = 0;
    return;
  }
  copyUtf8ToHost(text->c_str(), buffer, bufferCapacity - 1);
}

}  // namespace xplug
