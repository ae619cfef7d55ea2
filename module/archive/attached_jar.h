// Copies the plug-in's jar, appended to the module file at a fixed offset, to the temporary folder.
// Called on FileMaker's thread (string queries, class loader), one call at a time.
#ifndef XPLUG_ARCHIVE_ATTACHED_JAR_H
#define XPLUG_ARCHIVE_ATTACHED_JAR_H

#include <cstdint>
#include <string>

namespace xplug {

// Where the jar starts inside the module file; a build setting.
inline constexpr long attachedJarOffset = XPLUG_ATTACHED_JAR_OFFSET;

// The module file's full path, and the path of the jar's copy (MAX_PATH bytes, zero-terminated).
extern std::string modulePath;
extern char jarPath[260];
// Set once a copy has been completed; never cleared.
extern bool jarWritten;

// The plug-in's temporary folder: TEMP, or the platform's fallback when it is unset or empty. The jar
// copy and the VM's logging configuration live here.
std::string temporaryFolder();

// 1 when the copy was written, 0 when it was not (failures are logged).
int writeAttachedJarFile();

}  // namespace xplug

#endif  // XPLUG_ARCHIVE_ATTACHED_JAR_H
