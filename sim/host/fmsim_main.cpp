// fmsim: a simulated FileMaker that loads a plug-in module and evaluates calculations with it.
// Standard output carries results only; the module's console output goes to standard error with --log
// and nowhere otherwise; fmsim's own diagnostics go to standard error.
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "fmsim/calculation.h"
#include "fmsim/desktop_setup.h"
#include "fmsim/host_driver.h"
#include "fmsim/placement.h"
#include "fmsim/test_support.h"
#include "fmsim/values.h"
#include "simdesktop/desktop.h"
#include "simdesktop/threads.h"
#include "simdesktop/windows.h"

namespace {

constexpr char kUsage[] =
    "usage: fmsim [options] [-e EXPRESSION]...\n"
    "\n"
    "A simulated FileMaker host: loads a plug-in module, starts it as FileMaker would and evaluates\n"
    "calculations with it. Each result goes to standard output on a line of its own.\n"
    "\n"
    "  -e EXPRESSION      evaluate a calculation (repeatable); results in order, one per line.\n"
    "                     Without -e, --check, --info or --functions, calculations are read from\n"
    "                     standard input, one per line (with a prompt on a terminal)\n"
    "  --check FILE       run a file of lines 'EXPRESSION => EXPECTED' (blank lines and # comments\n"
    "                     allowed; EXPECTED may be 'error N'); prints each failure with its line\n"
    "                     number and 'N passed, N failed'; exit status 1 on any failure\n"
    "  --repeat N         evaluate each calculation N times and report evaluations per second on\n"
    "                     standard error (with a progress line on a terminal)\n"
    "  --plugin FILE      the plug-in module to load (default: the example plug-in)\n"
    "  --no-plugin        run the calculation engine alone, without a plug-in\n"
    "  --info             print the plug-in's name (128), help line (129) and options (131)\n"
    "  --functions        print the functions the plug-in registered: name, a tab, the prototype\n"
    "  --log              echo the module's console output (its log lines) to standard error\n"
    "  --trace            print every FM_ call the module makes to standard error\n"
    "  --documents DIR    the user's documents folder; the log goes to DIR/KvtPlugin Logs\n"
    "  --common-appdata DIR\n"
    "                     the shared application-data folder (marker files in DIR/Kvantrel)\n"
    "  --app-type NAME    FMPro (default), FMAdvanced, Runtime, Server, WPE, Mobile, or a type code\n"
    "  --java-home DIR    the Java runtime to register (default: the JDK fmsim was built with)\n"
    "  --no-java          register no Java runtime\n"
    "  --registry FILE    load registry values from FILE (applied after the defaults)\n"
    "  --high-placement   put every host object above 0x80000000, so that a 32-bit plug-in's handles\n"
    "                     reach Java negative (also FMSIM_HIGH_PLACEMENT=1)\n"
    "  --help             this text\n"
    "\n"
    "FileMaker's main window, \"FileMaker Pro - Untitled\", is in front; while a plug-in runs a message\n"
    "loop on FileMaker's thread it receives a timer message every 5 ms. Script starts are printed on\n"
    "standard error as 'script: FILE / SCRIPT (PARAMETER)'.\n"
    "\n"
    "Exit status: 0 when every calculation succeeded, 1 when one failed, 2 for a usage or set-up error.\n";

struct Options {
  std::vector<std::string> expressions;
  std::optional<std::string> plugin;
  bool noPlugin = false;
  bool info = false;
  bool functions = false;
  bool log = false;
  bool trace = false;
  std::optional<std::string> documents;
  std::string commonAppData = "/var/lib";
  uint8_t appType = kFmxAppPro;
  std::optional<std::string> javaHome;
  bool noJava = false;
  std::vector<std::string> registryFiles;
  bool highPlacement = false;
  std::optional<std::string> checkFile;
  uint64_t repeat = 1;
};

struct AppTypeName {
  const char* name;
  uint8_t code;
};
constexpr AppTypeName kAppTypes[] = {{"FMAdvanced", kFmxAppDeveloper}, {"FMPro", kFmxAppPro},
                                     {"Runtime", kFmxAppRuntime},      {"Server", kFmxAppServer},
                                     {"WPE", kFmxAppWebPublishing},    {"Mobile", kFmxAppMobile}};

std::optional<uint8_t> parseAppType(const std::string& text) {
  for (const AppTypeName& type : kAppTypes) {
    if (strcasecmp(text.c_str(), type.name) == 0) return type.code;
  }
  char* end = nullptr;
  long code = std::strtol(text.c_str(), &end, 10);
  if (!text.empty() && *end == '\0' && code >= 0 && code <= 255) return static_cast<uint8_t>(code);
  return std::nullopt;
}

int usageError(const std::string& message) {
  std::fprintf(stderr, "fmsim: %s\n%s", message.c_str(), "Try 'fmsim --help'.\n");
  return 2;
}

// Parses the command line; returns an exit status when fmsim must stop at once.
std::optional<int> parseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= argc) return false;
      out = argv[++i];
      return true;
    };
    std::string text;
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg == "-e") {
      if (!value(text)) return usageError("-e needs an expression");
      options.expressions.push_back(text);
    } else if (arg == "--plugin") {
      if (!value(text)) return usageError("--plugin needs a file");
      options.plugin = text;
    } else if (arg == "--no-plugin") {
      options.noPlugin = true;
    } else if (arg == "--info") {
      options.info = true;
    } else if (arg == "--functions") {
      options.functions = true;
    } else if (arg == "--log") {
      options.log = true;
    } else if (arg == "--trace") {
      options.trace = true;
    } else if (arg == "--documents") {
      if (!value(text)) return usageError("--documents needs a folder");
      options.documents = text;
    } else if (arg == "--common-appdata") {
      if (!value(text)) return usageError("--common-appdata needs a folder");
      options.commonAppData = text;
    } else if (arg == "--app-type") {
      if (!value(text)) return usageError("--app-type needs a name");
      std::optional<uint8_t> code = parseAppType(text);
      if (!code) return usageError("unknown application type '" + text + "'");
      options.appType = *code;
    } else if (arg == "--java-home") {
      if (!value(text)) return usageError("--java-home needs a folder");
      options.javaHome = text;
    } else if (arg == "--check") {
      if (!value(text)) return usageError("--check needs a file");
      options.checkFile = text;
    } else if (arg == "--repeat") {
      if (!value(text)) return usageError("--repeat needs a count");
      char* end = nullptr;
      unsigned long long count = std::strtoull(text.c_str(), &end, 10);
      if (text.empty() || *end != '\0' || count == 0) return usageError("--repeat needs a positive count");
      options.repeat = count;
    } else if (arg == "--no-java") {
      options.noJava = true;
    } else if (arg == "--registry") {
      if (!value(text)) return usageError("--registry needs a file");
      options.registryFiles.push_back(text);
    } else if (arg == "--high-placement") {
      options.highPlacement = true;
    } else {
      return usageError("unknown option '" + arg + "'");
    }
  }
  if (options.noPlugin && (options.plugin || options.info || options.functions)) {
    return usageError("--no-plugin cannot be combined with --plugin, --info or --functions");
  }
  return std::nullopt;
}

// The example plug-in installed beside fmsim: <prefix>/bin/fmsim and <prefix>/plugins/XPlugExample.fmx.
std::string defaultPluginPath(const char* argv0) {
  std::error_code ignored;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ignored);
  if (ignored) self = std::filesystem::absolute(argv0, ignored);
  return (self.parent_path().parent_path() / "plugins" / "XPlugExample.fmx").string();
}

// Results keep standard output to themselves: the module and the Java VM write their console output
// to the process's standard output, so that descriptor is pointed at standard error (--log) or at
// nothing, and results go to a duplicate of the original.
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

bool setUpDesktop(const Options& options) {
  fmsim::registerDocumentsFolder(options.documents.value_or(fmsim::userDocumentsFolder()));
  fmsim::registerCommonAppData(options.commonAppData);
  if (!options.noJava) {
    std::optional<std::string> home = options.javaHome ? options.javaHome : fmsim::defaultJavaHome();
    std::string error;
    if (!home) {
      std::fprintf(stderr, "fmsim: no Java runtime found; use --java-home DIR or --no-java\n");
    } else if (!fmsim::registerJavaRuntime(*home, error)) {
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
    std::fprintf(stderr, "message box: %s\n", fmsim::utf16ToUtf8(box.text).c_str());
  });
  return true;
}

// FileMaker's main window: titled, in front, owned by the thread that plays FileMaker's main thread,
// with a window procedure that counts the messages it receives. While that thread waits for messages
// (a plug-in runs a message loop on it during a task), a timer thread posts it a WM_TIMER every few
// milliseconds, as FileMaker's own timers would. Made and ended on FileMaker's thread.
class FileMakerWindow {
 public:
  static constexpr uint32_t kWmTimer = 0x0113;
  static constexpr auto kTimerInterval = std::chrono::milliseconds(5);

  FileMakerWindow() : threadId_(simdesktop::currentThreadId()) {
    simdesktop::WindowOptions options;
    options.title = u"FileMaker Pro - " + fmsim::utf8ToUtf16(fmsim::hostContext().fileName);
    options.procedure = [this](simdesktop::WindowHandle, uint32_t, uintptr_t, intptr_t) -> intptr_t {
      handled_.fetch_add(1);
      return 0;
    };
    window_ = simdesktop::createWindow(options);
    simdesktop::setForegroundWindow(window_);
    timer_ = std::thread([this] { postTimers(); });
  }
  FileMakerWindow(const FileMakerWindow&) = delete;
  FileMakerWindow& operator=(const FileMakerWindow&) = delete;

  // The timer thread waits until this thread waits for a message, so this thread waits once more to
  // let it see the stop; messages still queued are dropped with the window.
  ~FileMakerWindow() {
    stopping_.store(true);
    bool waited = true;
    while (waited && !timerDone_.load()) {
      simdesktop::Message message;
      waited = simdesktop::getMessage(&message, window_, 0, 0) >= 0;
    }
    // A thread that can no longer be woken is left to end with the process.
    if (waited) {
      timer_.join();
    } else {
      timer_.detach();
    }
    if (handled_.load() > 0) {
      std::fprintf(stderr, "fmsim: FileMaker's window handled %llu messages\n",
                   static_cast<unsigned long long>(handled_.load()));
    }
    simdesktop::destroyWindow(window_);
  }

 private:
  void postTimers() {
    for (uintptr_t tick = 1;; ++tick) {
      simdesktop::waitUntilWaitingForMessage(threadId_);
      if (stopping_.load()) {
        timerDone_.store(true);
        simdesktop::postMessage(window_, simdesktop::kWmNull, 0, 0);
        return;
      }
      simdesktop::postMessage(window_, kWmTimer, tick, 0);
      std::this_thread::sleep_for(kTimerInterval);
    }
  }

  uint32_t threadId_;
  simdesktop::WindowHandle window_ = 0;
  std::atomic<uint64_t> handled_{0};
  std::atomic<bool> stopping_{false};
  std::atomic<bool> timerDone_{false};
  std::thread timer_;
};

// FileMaker separates lines with a return; a terminal wants line feeds.
std::string printable(std::string text) {
  for (char& c : text) {
    if (c == '\r') c = '\n';
  }
  return text;
}

void printLine(std::FILE* out, const std::string& text) {
  std::fputs(text.c_str(), out);
  std::fputc('\n', out);
  std::fflush(out);
}

// Evaluates calculations as FileMaker would: one at a time, with idle time for the plug-in after each.
class Calculator {
 public:
  Calculator(fmsim::HostDriver& host, bool started, std::FILE* results, uint64_t repeat)
      : host_(host), started_(started), results_(results), repeat_(repeat) {}

  // Evaluates `repeat` times and returns the last result.
  fmsim::EvaluationResult evaluate(const std::string& expression) {
    const bool progress = repeat_ > 1 && isatty(STDERR_FILENO);
    const auto begin = std::chrono::steady_clock::now();
    fmsim::EvaluationResult result;
    for (uint64_t i = 0; i < repeat_; ++i) {
      result = fmsim::evaluate(expression);
      // FileMaker gives plug-ins idle time between calculations.
      if (started_) host_.idle();
      if (progress && (i + 1) % 10000 == 0) {
        std::fprintf(stderr, "\r%llu of %llu", static_cast<unsigned long long>(i + 1),
                     static_cast<unsigned long long>(repeat_));
      }
    }
    if (repeat_ > 1) {
      const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
      std::fprintf(stderr, "%s%llu evaluations in %.3f s: %.0f per second\n", progress ? "\r" : "",
                   static_cast<unsigned long long>(repeat_), seconds,
                   seconds > 0 ? static_cast<double>(repeat_) / seconds : 0.0);
    }
    return result;
  }

  // Evaluates and prints the result, or the error on standard error; false on an error.
  bool run(const std::string& expression) {
    fmsim::EvaluationResult result = evaluate(expression);
    if (result.code != 0) {
      std::fprintf(stderr, "error %d: %s\n", result.code, result.message.c_str());
      return false;
    }
    printLine(results_, printable(result.text));
    return true;
  }

 private:
  fmsim::HostDriver& host_;
  bool started_;
  std::FILE* results_;
  uint64_t repeat_;
};

std::string trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// Runs a check file: lines "EXPRESSION => EXPECTED" ("error N" expects that error code), with blank
// lines and # comments. Prints each failure with its line number and a summary line.
int runCheckFile(Calculator& calculator, const std::string& path, std::FILE* out) {
  std::ifstream file(path);
  if (!file) {
    std::fprintf(stderr, "fmsim: cannot read %s\n", path.c_str());
    return 2;
  }
  int passed = 0;
  int failed = 0;
  std::string line;
  for (int number = 1; std::getline(file, line); ++number) {
    const std::string text = trimmed(line);
    if (text.empty() || text[0] == '#') continue;
    const size_t arrow = text.rfind("=>");
    if (arrow == std::string::npos) {
      std::fprintf(out, "line %d: no \"=>\" between the calculation and its expected result: %s\n", number,
                   text.c_str());
      ++failed;
      continue;
    }
    const std::string expression = trimmed(text.substr(0, arrow));
    const std::string expected = trimmed(text.substr(arrow + 2));
    fmsim::EvaluationResult result = calculator.evaluate(expression);
    const std::string actual =
        result.code == 0 ? printable(result.text) : "error " + std::to_string(result.code);
    if (actual == expected) {
      ++passed;
    } else {
      std::string got = actual;
      if (result.code != 0) got += " (" + result.message + ")";
      std::fprintf(out, "line %d: %s: expected %s, got %s\n", number, expression.c_str(), expected.c_str(),
                   got.c_str());
      ++failed;
    }
  }
  std::fprintf(out, "%d passed, %d failed\n", passed, failed);
  std::fflush(out);
  return failed == 0 ? 0 : 1;
}

// Reads calculations from standard input, one per line, with a prompt when it is a terminal.
int runInteractive(Calculator& calculator) {
  const bool terminal = isatty(STDIN_FILENO) != 0;
  int status = 0;
  std::string line;
  while (true) {
    if (terminal) {
      std::fputs("fmsim> ", stderr);
      std::fflush(stderr);
    }
    if (!std::getline(std::cin, line)) break;
    const std::string expression = trimmed(line);
    if (expression.empty()) continue;
    if (!calculator.run(expression)) status = 1;
  }
  if (terminal) std::fputc('\n', stderr);
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (std::optional<int> status = parseOptions(argc, argv, options)) return *status;
  if (std::string error; options.highPlacement && !fmsim::enableHighPlacement(error)) {
    std::fprintf(stderr, "fmsim: --high-placement: %s\n", error.c_str());
    return 2;
  }

  std::FILE* results = separateResults(options.log);
  if (!setUpDesktop(options)) return 2;
  if (options.trace) {
    fmsim::setTraceSink([](const fmsim::TraceEntry& entry) {
      std::fprintf(stderr, "trace: %s\n", fmsim::formatTraceEntry(entry).c_str());
    });
    fmsim::setTracing(true);
  }

  FileMakerWindow mainWindow;
  fmsim::HostDriver host;
  host.setScriptHandler([](const fmsim::ScriptStart& start) -> int16_t {
    std::string line = "script: " + fmsim::utf16ToUtf8(start.file) + " / " + fmsim::utf16ToUtf8(start.script);
    if (start.parameter) line += " (" + fmsim::utf16ToUtf8(*start.parameter) + ")";
    std::fprintf(stderr, "%s\n", line.c_str());
    return 0;
  });

  // Calculations come from -e, from a check file, or from standard input when nothing else was asked.
  const bool interactive =
      options.expressions.empty() && !options.checkFile && !options.info && !options.functions;
  const bool calculates = !options.expressions.empty() || options.checkFile || interactive;

  bool started = false;
  if (!options.noPlugin) {
    std::string error;
    if (!host.load(options.plugin.value_or(defaultPluginPath(argv[0])), error)) {
      std::fprintf(stderr, "fmsim: %s\n", error.c_str());
      return 2;
    }
    // FileMaker asks for the plug-in's strings before it starts it.
    const uint8_t ids[] = {kFmxStringName, kFmxStringHelp, kFmxStringOptions};
    for (uint8_t id : ids) {
      std::string text = fmsim::utf16ToUtf8(host.getString(id));
      if (options.info) printLine(results, std::to_string(id) + ": " + text);
    }
    if (calculates || options.functions) {
      int16_t startup = host.startup(options.appType);
      started = true;
      if (startup != 0) std::fprintf(stderr, "fmsim: the plug-in answered %d at start-up\n", startup);
    }
  }

  if (options.functions) {
    for (const fmsim::RegisteredFunction& function : fmsim::registeredFunctions()) {
      printLine(results, fmsim::utf16ToUtf8(function.name) + "\t" + fmsim::utf16ToUtf8(function.prototype));
    }
  }

  Calculator calculator(host, started, results, options.repeat);
  int status = 0;
  for (const std::string& expression : options.expressions) {
    if (!calculator.run(expression)) status = 1;
  }
  if (options.checkFile) {
    int checked = runCheckFile(calculator, *options.checkFile, results);
    if (checked != 0) status = checked;
  }
  if (interactive && runInteractive(calculator) != 0) status = 1;

  if (started) host.shutdown();
  std::fflush(results);
  return status;
}
