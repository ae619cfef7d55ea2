// The log writer: each message goes to standard output first, then is appended to the chosen log file,
// which is opened and closed per message. The file is chosen lazily by the first message that finds no
// path held; the temp log records each choice.
//
// The chosen path is guarded by one mutex that each message holds while it chooses and appends, so two
// threads never choose (and delete) at once and entries in the file never interleave. Standard output
// is written before the lock is taken.
#include "log/plugin_log.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <vector>

#include "log/log_testing.h"
#include "platform/platform.h"
#include "session/host_session.h"

namespace xplug {
namespace {

constexpr size_t kLogPathCapacity = 255;          // characters of the log file's path
constexpr uint32_t kDocumentsFolderBuffer = 260;  // units read for "Personal", terminator included
constexpr size_t kDebugTextBytes = 1024;

constexpr char16_t kShellFoldersKey[] =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr char16_t kDocumentsValue[] = u"Personal";
constexpr char16_t kLogFolderName[] = u"KvtPlugin Logs";
constexpr char16_t kSharedLogName[] = u"miscellaneous.log";
constexpr char kTempLogName[] = "Kvttemp.log";
constexpr char kUnknownAppType[] = "Unknown";

// Constant-initialised and trivially destructible, so messages logged before start-up or during the
// process's teardown still find valid state.
std::mutex logMutex;
char16_t logFilePath[kLogPathCapacity + 1] = {};
size_t logFilePathLength = 0;
ServerLogProbe* serverProbeOverride = nullptr;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileOwner = std::unique_ptr<std::FILE, FileCloser>;

struct Timestamp {
  char text[32];
};

Timestamp takeTimestamp() {
  static constexpr char kDays[7][4] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr char kMonths[12][4] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  Timestamp stamp{};
  std::tm local{};
  // ctime's own layout, written here because ctime shares one buffer between threads.
  if (!platform::localTime(std::time(nullptr), &local) || local.tm_wday < 0 || local.tm_wday > 6 ||
      local.tm_mon < 0 || local.tm_mon > 11) {
    std::snprintf(stamp.text, sizeof stamp.text, "%s", "??? ??? ?? ??:??:?? ????");
    return stamp;
  }
  std::snprintf(stamp.text, sizeof stamp.text, "%.3s %.3s%3d %.2d:%.2d:%.2d %d", kDays[local.tm_wday],
                kMonths[local.tm_mon], local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                1900 + local.tm_year);
  return stamp;
}

std::u16string widenBytes(const char* text) {
  std::u16string wide;
  for (const char* p = text; *p; ++p) wide.push_back(static_cast<unsigned char>(*p));
  return wide;
}

// A name that, with "_<type>.log" after it, stays a plain file name inside the log folder.
bool isSafeFileNamePart(const char* name) {
  if (!name || !*name) return false;
  if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) return false;
  for (const char* p = name; *p; ++p) {
    auto c = static_cast<unsigned char>(*p);
    if (c == '/' || c == '\\' || c == ':' || c < 0x20) return false;
  }
  return true;
}

std::u16string documentsFolder() {
  std::optional<platform::RegistryKey> key =
      platform::openRegistryKey(platform::RegistryRoot::currentUser, kShellFoldersKey);
  if (!key) return {};
  platform::RegistryString value =
      platform::readRegistryString(*key, kDocumentsValue, kDocumentsFolderBuffer);
  if (value.status != platform::kErrorSuccess) return {};
  return value.text;
}

bool probeFileOpens(std::u16string_view path) {
  FileOwner probe(platform::openFileShared(path, "r"));
  return probe != nullptr;
}

std::u16string serverLogFolder() {
  if (serverProbeOverride) {
    for (int i = 0; i < 2; ++i) {
      if (probeFileOpens(serverProbeOverride[i].probeFile)) return serverProbeOverride[i].folder;
    }
    return {};
  }
  if (probeFileOpens(platform::kServerLogProbe1)) return platform::kServerLogFolder1;
  if (probeFileOpens(platform::kServerLogProbe2)) return platform::kServerLogFolder2;
  return {};
}

struct LogFileChoice {
  std::u16string path;
  bool heldPastMessage = false;
};

// Picks the folder and the file name. The plug-in's own file is deleted here so that each choice
// starts it afresh; the shared file is kept, and the choice of it lasts for one message only.
LogFileChoice chooseLogFile() {
  std::u16string folder = documentsFolder();
  if (folder.empty()) folder = serverLogFolder();
  // With no folder at all this is the log folder at the root of the file system.
  folder += platform::kPathSeparatorWide;
  folder += kLogFolderName;
  folder += platform::kPathSeparatorWide;
  platform::createDirectory(folder);

  const char* appTypeName = hostSession.appTypeName;
  const char* pluginName = hostSession.pluginName;
  LogFileChoice choice;
  bool ownFile = appTypeName && std::strcmp(appTypeName, kUnknownAppType) != 0 &&
                 isSafeFileNamePart(pluginName) && isSafeFileNamePart(appTypeName);
  if (!ownFile) {
    // Also for an absent or unsafe plug-in name: never a path that could leave the log folder.
    choice.path = folder + kSharedLogName;
    return choice;
  }
  choice.path = folder + widenBytes(pluginName) + u'_' + widenBytes(appTypeName) + u".log";
  if (choice.path.size() <= kLogPathCapacity) platform::deleteFile(choice.path);
  choice.heldPastMessage = true;
  return choice;
}

FileOwner openTempLog(const Timestamp& stamp) {
  std::optional<std::string> folder = platform::getEnvironment("TEMP");
  if (!folder || folder->empty()) folder = platform::kTempFallback;
  std::string path = *folder + platform::kPathSeparator + kTempLogName;
  // The temporary folder may be shared with other users: never append to a file someone else planted.
  FileOwner tempLog(platform::openFileAppendOwn(path.c_str()));
  if (!tempLog) {
    std::printf("Couldn't open temp log at %s\n", path.c_str());
    return nullptr;
  }
  if (hostSession.pluginName && hostSession.appTypeName) {
    std::fprintf(tempLog.get(), "---Started temp log at %s for %s / %s---\n", stamp.text,
                 hostSession.pluginName, hostSession.appTypeName);
  } else {
    std::fprintf(tempLog.get(), "---Started temp log at %s for unknown plugin name---\n", stamp.text);
  }
  std::fflush(tempLog.get());
  return tempLog;
}

void flushStreams(std::initializer_list<std::FILE*> streams) {
  for (std::FILE* stream : streams) {
    if (stream != nullptr) std::fflush(stream);
  }
}

void setLogFilePath(std::u16string_view path) {
  logFilePathLength = path.size() <= kLogPathCapacity ? path.size() : 0;
  std::copy_n(path.data(), logFilePathLength, logFilePath);
  logFilePath[logFilePathLength] = 0;
}

// Steps after standard output: choose when needed, append the entry, report a failed open.
// Files are opened in the platform's text mode, which on POSIX stores "\n" as it is.
void writeToLogFile(const Timestamp& stamp, const char* format, va_list arguments) {
  std::lock_guard lock(logMutex);
  FileOwner tempLog;
  bool chosenForThisMessageOnly = false;
  std::u16string path(logFilePath, logFilePathLength);
  int openError = 0;
  if (path.empty()) {
    tempLog = openTempLog(stamp);
    LogFileChoice choice = chooseLogFile();
    path = choice.path;
    chosenForThisMessageOnly = !choice.heldPastMessage;
    if (tempLog)
      std::fprintf(tempLog.get(), "(C++ %s) Writing to log file at %s\n", stamp.text, logText(path).c_str());
    if (path.size() > kLogPathCapacity) openError = ENAMETOOLONG;
    setLogFilePath(path);
  }
  FileOwner logFile;
  if (openError == 0) {
    logFile.reset(platform::openFileShared(path, "a"));
    if (!logFile) openError = platform::lastCRuntimeError();
  }
  if (logFile) {
    std::fprintf(logFile.get(), "(C++ %s) ", stamp.text);
    std::vfprintf(logFile.get(), format, arguments);
  } else {
    std::string shownPath = logText(path);
    std::printf("(C++ %s) Could not open log file at %s because of error code %d\n", stamp.text,
                shownPath.c_str(), openError);
    if (tempLog) {
      std::fprintf(tempLog.get(), "(C++ %s) Could not open log file at %s because of error code %d\n",
                   stamp.text, shownPath.c_str(), openError);
    }
    setLogFilePath({});
  }
  // Only the streams this message wrote: flushing every stream would wait on a stream another thread
  // holds locked, such as standard input while it waits for a line.
  flushStreams({stdout, logFile.get(), tempLog.get()});
  if (chosenForThisMessageOnly) setLogFilePath({});
}

}  // namespace

void logMessage(const char* format, ...) {
  if (!format) return;
  try {
    Timestamp stamp = takeTimestamp();
    va_list arguments;
    va_start(arguments, format);
    va_list forFile;
    va_copy(forFile, arguments);
    std::printf("(C++ %s) ", stamp.text);
    std::vprintf(format, arguments);
    va_end(arguments);
    std::fflush(stdout);
    try {
      writeToLogFile(stamp, format, forFile);
    } catch (...) {
      va_end(forFile);
      throw;
    }
    va_end(forFile);
  } catch (...) {
    // Logging never fails its caller; the standard-output copy is already written when this happens.
  }
}

void resetLogFilePath() {
  std::lock_guard lock(logMutex);
  setLogFilePath({});
}

std::u16string currentLogFilePath() {
  try {
    std::lock_guard lock(logMutex);
    return std::u16string(logFilePath, logFilePathLength);
  } catch (...) {
    return {};
  }
}

jint JNICALL vmMessageHook(std::FILE* stream, const char* format, va_list arguments) {
  if (!format) return 0;
  if (platform::canWriteToStream(stream)) return std::vfprintf(stream, format, arguments);
  // No console behind the stream: the text goes to the debugger output, unchanged and unstamped.
  char narrow[kDebugTextBytes];
  int formatted = std::vsnprintf(narrow, sizeof narrow, format, arguments);
  if (formatted < 0) return formatted;
  size_t length = std::strlen(narrow);
  char16_t wide[kDebugTextBytes];
  for (size_t i = 0; i < length; ++i) wide[i] = static_cast<unsigned char>(narrow[i]);
  wide[length] = 0;
  platform::outputDebugString(wide);
  return static_cast<int>(length);
}

std::string logText(std::u16string_view text) {
  if (text.empty()) return {};
  try {
    auto length = static_cast<int>(std::min<size_t>(text.size(), 0x3FFFFFFF));
    // In the code page of the narrow paths the same file holds, so that one file has one encoding.
    int needed =
        platform::wideCharToMultiByte(platform::kNarrowPathCodePage, 0, text.data(), length, nullptr, 0);
    if (needed <= 0) return {};
    std::string narrow(static_cast<size_t>(needed), '\0');
    int written = platform::wideCharToMultiByte(platform::kNarrowPathCodePage, 0, text.data(), length,
                                                narrow.data(), needed);
    narrow.resize(written > 0 ? static_cast<size_t>(written) : 0);
    return narrow;
  } catch (...) {
    return {};
  }
}

std::string currentTimeText() {
  return takeTimestamp().text;
}

void setServerLogProbes(const ServerLogProbe& first, const ServerLogProbe& second) {
  std::lock_guard lock(logMutex);
  delete[] serverProbeOverride;
  serverProbeOverride = new ServerLogProbe[2]{first, second};
}

void restoreServerLogProbes() {
  std::lock_guard lock(logMutex);
  delete[] serverProbeOverride;
  serverProbeOverride = nullptr;
}

}  // namespace xplug
