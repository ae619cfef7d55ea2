// Reads the plug-in's name, options, help text and version from the manifest of the jar's copy.
// Runs once per process on FileMaker's thread; not reentrant (the line reader keeps its position).
#ifndef XPLUG_ARCHIVE_PLUGIN_MANIFEST_H
#define XPLUG_ARCHIVE_PLUGIN_MANIFEST_H

#include <optional>
#include <string>

namespace xplug {

// The manifest values the module keeps; each is absent when the manifest lacks its key.
struct PluginMetadata {
  std::optional<std::string> name;
  std::optional<std::string> options;
  std::optional<std::string> help;
  std::optional<std::string> version;
};

PluginMetadata readPluginMetadata(const char* archivePath);

}  // namespace xplug

#endif  // XPLUG_ARCHIVE_PLUGIN_MANIFEST_H
