// What fmsim needs from the machine it runs on: the desktop it sets up for the plug-in, its console
// streams, where it is installed, and FileMaker's main window. fmsim_posix.cpp serves Linux with the
// simulated desktop; fmsim_win32.cpp serves Windows with the real one. Called from fmsim's main thread.
#ifndef FMSIM_FMSIM_PLATFORM_H
#define FMSIM_FMSIM_PLATFORM_H

#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace fmsim {

// The machine fmsim sets up before it loads the plug-in; unset values keep the platform's defaults.
struct DesktopOptions {
  std::optional<std::string> documents;
  std::optional<std::string> commonAppData;
  std::optional<std::string> javaHome;
  bool noJava = false;
  std::vector<std::string> registryFiles;
};

// Fills the registry the plug-in reads and makes a message box print "message box: TEXT" on standard
// error. False, with the reason on standard error, when fmsim cannot go on.
bool setUpDesktop(const DesktopOptions& options);
// The example plug-in installed beside fmsim: <prefix>/bin/fmsim and <prefix>/plugins/XPlugExample.fmx
// (.fmx64 for a 64-bit Windows fmsim).
std::string defaultPluginPath(const char* argv0);
// Keeps standard output for results: the module's and the VM's console output goes to standard error
// (echoConsole) or nowhere; returns the stream results are written to.
std::FILE* separateResults(bool echoConsole);
bool isTerminal(std::FILE* stream);

// FileMaker's main window: titled "FileMaker Pro - <file>", in front, owned by the thread that makes it,
// counting the messages it handles; while that thread runs a message loop it receives a WM_TIMER every
// few milliseconds, as from FileMaker's own timers, and at each FileMaker may re-enter the plug-in.
// Made, used and ended on FileMaker's thread; wake() may be called from any thread.
class FileMakerWindow {
 public:
  FileMakerWindow();
  ~FileMakerWindow();
  FileMakerWindow(const FileMakerWindow&) = delete;
  FileMakerWindow& operator=(const FileMakerWindow&) = delete;

  // What FileMaker does at a timer message, as it does while a plug-in pumps its messages (idle time, a
  // calculation); empty: nothing. Never re-entered from inside itself.
  void setReentry(std::function<void()> reentry);
  // Runs FileMaker's thread's message loop (serving what other threads send to its windows, as they
  // wait for it) until `finished()` holds; another thread calls wake() after it may have changed.
  void serveUntil(const std::function<bool()>& finished);
  void wake();

  struct State;

 private:
  std::unique_ptr<State> state_;
};

}  // namespace fmsim

#endif  // FMSIM_FMSIM_PLATFORM_H
