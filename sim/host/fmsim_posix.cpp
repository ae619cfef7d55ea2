// fmsim's machine on Linux: the simulated desktop (registry, message box, windows, message queues) and
// POSIX descriptors for the console.
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <thread>

#include "fmsim/calculation.h"
#include "fmsim/desktop_setup.h"
#include "fmsim/values.h"
#include "fmsim_platform.h"
#include "simdesktop/desktop.h"
#include "simdesktop/threads.h"
#include "simdesktop/windows.h"

namespace fmsim {

bool setUpDesktop(const DesktopOptions& options) {
  registerDocumentsFolder(options.documents.value_or(userDocumentsFolder()));
  registerCommonAppData(options.commonAppData.value_or("/var/lib"));
  if (!options.noJava) {
    std::optional<std::string> home = options.javaHome ? options.javaHome : defaultJavaHome();
    std::string error;
    if (!home) {
      std::fprintf(stderr, "fmsim: no Java runtime found; use --java-home DIR or --no-java\n");
    } else if (!registerJavaRuntime(*home, error)) {
      std::fprintf(stderr, "fmsim: %s\n", error.c_str());
      if (options.javaHome) return false;
    }
  }
  for (const std::string& file : options.registryFiles) {
    std::string error;
    if (!simdesktop::loadRegistryFile(file, &error)) {
      std::fprintf(stderr, "fmsim: registry file %s: %s\n", file.c_str(), error.c_str());
      return false;
    }
  }
  simdesktop::setMessageBoxListener([](const simdesktop::MessageBoxRecord& box) {
    std::fprintf(stderr, "message box: %s\n", utf16ToUtf8(box.text).c_str());
  });
  return true;
}

std::string defaultPluginPath(const char* argv0) {
  std::error_code ignored;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ignored);
  if (ignored) self = std::filesystem::absolute(argv0, ignored);
  return (self.parent_path().parent_path() / "plugins" / "XPlugExample.fmx").string();
}

// The module and the Java VM write their console output to the process's standard output, so that
// descriptor is pointed at standard error (--log) or at nothing, and results go to a duplicate of the
// original.
std::FILE* separateResults(bool echoConsole) {
  std::fflush(stdout);
  int resultsFd = dup(STDOUT_FILENO);
  if (resultsFd < 0) return stdout;
  int consoleFd = echoConsole ? dup(STDERR_FILENO) : open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (consoleFd >= 0) {
    dup2(consoleFd, STDOUT_FILENO);
    close(consoleFd);
  }
  std::FILE* results = fdopen(resultsFd, "w");
  return results != nullptr ? results : stdout;
}

bool isTerminal(std::FILE* stream) {
  return isatty(fileno(stream)) != 0;
}

// The timer thread posts while FileMaker's thread waits for messages; the window counts what it handles.
struct FileMakerWindow::State {
  static constexpr uint32_t kWmTimer = 0x0113;
  static constexpr auto kTimerInterval = std::chrono::milliseconds(5);

  void postTimers() {
    for (uintptr_t tick = 1;; ++tick) {
      simdesktop::waitUntilWaitingForMessage(threadId);
      if (stopping.load()) {
        timerDone.store(true);
        simdesktop::postMessage(window, simdesktop::kWmNull, 0, 0);
        return;
      }
      simdesktop::postMessage(window, kWmTimer, tick, 0);
      std::this_thread::sleep_for(kTimerInterval);
    }
  }

  uint32_t threadId = simdesktop::currentThreadId();
  simdesktop::WindowHandle window = 0;
  std::atomic<uint64_t> handled{0};
  std::atomic<bool> stopping{false};
  std::atomic<bool> timerDone{false};
  std::thread timer;
  // Used on FileMaker's thread only.
  std::function<void()> reentry;
  bool reentering = false;
};

FileMakerWindow::FileMakerWindow() : state_(std::make_unique<State>()) {
  State* state = state_.get();
  simdesktop::WindowOptions options;
  options.title = u"FileMaker Pro - " + utf8ToUtf16(hostContext().fileName);
  options.procedure = [state](simdesktop::WindowHandle, uint32_t message, uintptr_t, intptr_t) -> intptr_t {
    state->handled.fetch_add(1);
    if (message == State::kWmTimer && state->reentry && !state->reentering) {
      state->reentering = true;
      state->reentry();
      state->reentering = false;
    }
    return 0;
  };
  state->window = simdesktop::createWindow(options);
  simdesktop::setForegroundWindow(state->window);
  state->timer = std::thread([state] { state->postTimers(); });
}

void FileMakerWindow::setReentry(std::function<void()> reentry) {
  state_->reentry = std::move(reentry);
}

void FileMakerWindow::serveUntil(const std::function<bool()>& finished) {
  while (!finished()) {
    simdesktop::Message message;
    if (simdesktop::getMessage(&message, 0, 0, 0) <= 0) return;
    simdesktop::dispatchMessage(&message);
  }
}

void FileMakerWindow::wake() {
  simdesktop::postMessage(state_->window, simdesktop::kWmNull, 0, 0);
}

// The timer thread waits until this thread waits for a message, so this thread waits once more to let
// it see the stop; messages still queued are dropped with the window.
FileMakerWindow::~FileMakerWindow() {
  State& state = *state_;
  state.stopping.store(true);
  bool waited = true;
  while (waited && !state.timerDone.load()) {
    simdesktop::Message message;
    waited = simdesktop::getMessage(&message, state.window, 0, 0) >= 0;
  }
  // A thread that can no longer be woken is left to end with the process.
  if (waited) {
    state.timer.join();
  } else {
    state.timer.detach();
  }
  if (state.handled.load() > 0) {
    std::fprintf(stderr, "fmsim: FileMaker's window handled %llu messages\n",
                 static_cast<unsigned long long>(state.handled.load()));
  }
  simdesktop::destroyWindow(state.window);
}

}  // namespace fmsim
