// Writes a plug-in jar: its manifest first, byte for byte as the module reads it, then the classes
// from class folders and merged jars, deflated. Used by the xplug-jar command and its tests;
// single-threaded.
#ifndef XPLUG_TOOLS_JAR_WRITER_H
#define XPLUG_TOOLS_JAR_WRITER_H

#include <optional>
#include <string>
#include <vector>

namespace xplug::tools {

struct ManifestEntry {
  std::string key;
  std::string value;
};

struct JarContents {
  // Written in this order, one "key: value" line each with CR LF, then a blank line.
  std::vector<ManifestEntry> manifest;
  // Every regular file below each folder becomes an entry named by its path relative to the folder.
  std::vector<std::string> classDirectories;
  // Every file entry of each jar is copied in, except its manifest, its signature files, its jar index
  // and its module descriptors. Licence and notice files (LICENSE*, LICENCE*, NOTICE*, COPYING* at the
  // top or in META-INF) go to META-INF/licenses/JARNAME/, kept for each library.
  std::vector<std::string> mergedJars;
};

struct JarOutcome {
  bool ok = false;
  // What went wrong, in words for the person running the build; empty on success.
  std::string error;
  // What looks wrong but need not be, for the build's output; the jar is written all the same.
  std::vector<std::string> warnings;
};

// Why FileMaker could not take this plugin-options value (the plug-in id, '1' and four 'Y'/'n' flags),
// or empty when it can.
std::string checkPluginOptions(const std::string& options);
// Why the module or Java could not read this manifest as written, or empty when it can.
std::string checkManifest(const std::vector<ManifestEntry>& manifest);
// The manifest's bytes: "key: value" CR LF per entry, in the given order, and a final CR LF.
std::string formatManifest(const std::vector<ManifestEntry>& manifest);
// The texts (CONSTANT_Utf8 entries) of a class file's constant pool: every string literal and
// compile-time constant the class uses is among them. None when the data is no class file.
std::optional<std::vector<std::string>> classFileTexts(const std::string& classFile);
// Writes the jar. An entry that two inputs hold alike is written once; service files
// (META-INF/services/*) are merged, each provider once. Two different copies of any other entry, or an
// unreadable input, fail naming both sources and leave no output file.
JarOutcome writeJar(const std::string& outputPath, const JarContents& contents);

}  // namespace xplug::tools

#endif  // XPLUG_TOOLS_JAR_WRITER_H
