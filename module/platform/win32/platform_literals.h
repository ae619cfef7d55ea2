// Fixed paths and separators of the Windows backend, as FileMaker's Windows machines have them. The
// algorithms are written once and take every platform literal from here; the POSIX backend has its own
// copy with the values of its simulated desktop.
#ifndef XPLUG_PLATFORM_WIN32_PLATFORM_LITERALS_H
#define XPLUG_PLATFORM_WIN32_PLATFORM_LITERALS_H

#include <cerrno>
#include <cstdint>

namespace xplug::platform {

// What a file in a shared folder that is not the user's own plain file is refused with.
inline constexpr int kPlantedFileError = EEXIST;

// The code page of narrow file paths: the thread's ANSI code page, as the narrow Win32 and C runtime
// functions take them.
inline constexpr uint32_t kNarrowPathCodePage = 3;

// File path separator, as narrow and wide text.
inline constexpr char kPathSeparator = '\\';
inline constexpr char16_t kPathSeparatorWide = u'\\';
// Separator of the PATH list and of a Java class path.
inline constexpr char16_t kPathListSeparator = u';';
inline constexpr char kClassPathSeparator = ';';
// Temporary folder when TEMP is not set.
inline constexpr char kTempFallback[] = "C:\\WINDOWS\\Temp";
// Where the log goes on a server host, probed through a file in each folder.
inline constexpr char16_t kServerLogProbe1[] =
    u"C:\\Program Files\\FileMaker\\FileMaker Server\\Logs\\Event.log";
inline constexpr char16_t kServerLogFolder1[] = u"C:\\Program Files\\FileMaker\\FileMaker Server\\Logs";
inline constexpr char16_t kServerLogProbe2[] =
    u"C:\\Program Files\\FileMaker\\FileMaker Server\\Data\\Logs\\Event.log";
inline constexpr char16_t kServerLogFolder2[] = u"C:\\Program Files\\Filemaker\\FileMaker Server\\Data\\Logs";
// The host's library of FM_ operations.
inline constexpr char16_t kHostLibraryName[] = u"FMWrapper.dll";
// Prefix of the URL the class loader reads the plug-in's jar from; the absolute path follows.
inline constexpr char kArchiveUrlPrefix[] = "file:///";
// The Java VM's logging configuration, a file in the plug-in's temporary folder, and the extension
// folder option.
inline constexpr char kLoggingConfigFileName[] = "logging.properties";
inline constexpr char16_t kSystemJavaExtFolder[] = u"C:\\WINDOWS\\Sun\\Java\\lib\\ext";
// The Java runtime's registry keys under HKEY_LOCAL_MACHINE, tried in this order: the key of Java 8
// and older runtimes, then the keys that Java 9 and later runtimes register.
inline constexpr const char16_t* kJavaRuntimeKeys[] = {
    u"Software\\JavaSoft\\Java Runtime Environment",
    u"Software\\JavaSoft\\JRE",
    u"Software\\JavaSoft\\JDK",
};

}  // namespace xplug::platform

#endif  // XPLUG_PLATFORM_WIN32_PLATFORM_LITERALS_H
