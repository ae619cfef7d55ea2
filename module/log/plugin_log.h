// The module's diagnostic log: timestamped messages to standard output and to the plug-in's log file,
// the temp log that records each choice of file, and the Java VM's console hook. Callable from any
// thread at any time, also before start-up and after shutdown; never raises.
#ifndef XPLUG_LOG_PLUGIN_LOG_H
#define XPLUG_LOG_PLUGIN_LOG_H

#include <jni.h>

#include <cstdarg>
#include <cstdio>
#include <string>
#include <string_view>

// The compiler checks logMessage's arguments against its format where it can. MinGW's C runtime is
// built with its C99 printf (__USE_MINGW_ANSI_STDIO), whose format family the checks must name.
#if defined(__MINGW_PRINTF_FORMAT)
#define XPLUG_PRINTF_FORMAT(formatIndex, firstArgument) \
  __attribute__((format(__MINGW_PRINTF_FORMAT, formatIndex, firstArgument)))
#elif defined(__GNUC__) || defined(__clang__)
#define XPLUG_PRINTF_FORMAT(formatIndex, firstArgument) \
  __attribute__((format(printf, formatIndex, firstArgument)))
#else
#define XPLUG_PRINTF_FORMAT(formatIndex, firstArgument)
#endif

namespace xplug {

// printf-style; "%s" takes narrow text (UTF-8 or ANSI bytes as they are). Wide (UTF-16) text is turned
// into narrow text with logText() before it is logged.
void logMessage(const char* format, ...) XPLUG_PRINTF_FORMAT(1, 2);
// Forgets the chosen log file, so that the next message chooses again.
void resetLogFilePath();
// The chosen log file's path, or empty when none is held.
std::u16string currentLogFilePath();
// The VM's "vfprintf" hook, called with the Java runtime's convention (JNICALL: stdcall on 32-bit
// Windows). The stream belongs to the VM's C runtime: the text is written to it only when it is one the
// module may write (platform::canWriteToStream), else it goes to the debugger output.
jint JNICALL vmMessageHook(std::FILE* stream, const char* format, va_list arguments);
// UTF-16 text as the log shows it: in the code page of narrow paths (platform::kNarrowPathCodePage),
// so that wide and narrow paths read alike in one file (UTF-8 on POSIX, where an unpaired surrogate
// shows as U+FFFD; the ANSI code page on Windows).
std::string logText(std::u16string_view text);
// The current local time as the log stamps it: the C library's 24-character ctime form without its
// line break ("Fri Dec 11 11:34:19 2026").
std::string currentTimeText();

}  // namespace xplug

#endif  // XPLUG_LOG_PLUGIN_LOG_H
