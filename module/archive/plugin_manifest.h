// Reads the plug-in's name, options, help text and version from the manifest of the jar's copy.
// Runs once per process on FileMaker's thread; not reentrant (the line reader keeps its position).
#ifndef XPLUG_ARCHIVE_PLUGIN_MANIFEST_H
#define XPLUG_ARCHIVE_PLUGIN_MANIFEST_H

#include <cstddef>
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

// Reads the manifest of the archive at a narrow (ANSI) path and files its four known values. Problems
// are logged; the fields they concern stay absent.
PluginMetadata readPluginMetadata(const char* archivePath);

// The steps of readPluginMetadata, callable on their own by tests.
inline constexpr size_t kManifestTextCapacity = 8196;
inline constexpr size_t kManifestNameCapacity = 64;
inline constexpr size_t kManifestValueCapacity = 260;

// Fills `text` with at most 8,192 bytes of the archive's manifest entry and a zero byte (empty text
// when the entry cannot be read).
void readManifestText(const char* archivePath, char (&text)[kManifestTextCapacity]);
// Splits the text into header pairs and files the known ones; unknown names are logged.
PluginMetadata parseManifest(const char* text);
// The next "name: value" pair of the text parseManifest is reading; false when none is left. Names
// longer than 63 bytes and values longer than 259 bytes are cut; a line without ':' is skipped.
bool nextManifestPair(const char* text, char (&name)[kManifestNameCapacity],
                      char (&value)[kManifestValueCapacity]);

}  // namespace xplug

#endif  // XPLUG_ARCHIVE_PLUGIN_MANIFEST_H
