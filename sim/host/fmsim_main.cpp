// fmsim: a simulated FileMaker that loads a plug-in module and evaluates calculations with it.
// Standard output carries results only; the module's console output goes to standard error with --log
// and nowhere otherwise; fmsim's own diagnostics go to standard error.
#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "fmsim/calculation.h"
#include "fmsim/host_driver.h"
#include "fmsim/placement.h"
#include "fmsim/test_support.h"
#include "fmsim/values.h"
#include "fmsim_platform.h"

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
    "  --threads N        evaluate each calculation on N host threads at once, as FileMaker Server\n"
    "                     does, each thread with its own environment and --repeat times; every\n"
    "                     answer is compared with one evaluated first on FileMaker's thread, and the\n"
    "                     wrong answers and calls on dead objects are counted on standard error\n"
    "  --plugin FILE      the plug-in module to load (default: the example plug-in)\n"
    "  --no-plugin        run the calculation engine alone, without a plug-in\n"
    "  --info             print the plug-in's name (128), help line (129) and options (131)\n"
    "  --functions        print the functions the plug-in registered: name, a tab, the prototype,\n"
    "                     and a tab and the description for a function registered with one\n"
    "  --log              echo the module's console output (its log lines) to standard error\n"
    "  --trace            print every FM_ call the module makes to standard error\n"
    "  --documents DIR    the user's documents folder; the log goes to DIR/KvtPlugin Logs\n"
    "  --common-appdata DIR\n"
    "                     the shared application-data folder (marker files in DIR/Kvantrel)\n"
    "  --reenter EXPRESSION\n"
    "                     evaluate EXPRESSION from FileMaker's window procedure at every timer\n"
    "                     message while a plug-in pumps FileMaker's messages (besides the idle call\n"
    "                     FileMaker makes then); the count and the failures go to standard error\n"
    "  --app-type NAME    FMPro (default), FMAdvanced, Runtime, Server, WPE, Mobile, or a type code\n"
    "  --java-home DIR    the Java runtime to register (default: the JDK fmsim was built with)\n"
    "  --no-java          register no Java runtime\n"
    "  --registry FILE    load registry values from FILE (applied after the defaults)\n"
    "  --high-placement   put every host object above 0x80000000, so that a 32-bit plug-in's handles\n"
    "                     reach Java negative (also FMSIM_HIGH_PLACEMENT=1)\n"
    "  --help             this text\n"
    "\n"
    "FileMaker's main window, \"FileMaker Pro - Untitled\", is in front; while a plug-in runs a message\n"
    "loop on FileMaker's thread it receives a timer message every 5 ms, at which FileMaker gives the\n"
    "plug-in idle time, as it does while a plug-in pumps its messages. Script starts are printed on\n"
    "standard error as 'script: FILE / SCRIPT (PARAMETER)'.\n"
    "\n"
    "On Windows, fmsim.exe runs beside FMWrapper.dll and the plug-in reads the machine's own registry:\n"
    "--documents, --common-appdata, --java-home, --no-java and --registry are for Linux only.\n"
    "\n"
    "The host is strict: a call on a deleted, unknown or wrongly typed object, a write to a value the\n"
    "host owns, a string answer without its terminator and objects the plug-in still holds at\n"
    "shutdown are reported on standard error as 'fmsim: misuse: ...'.\n"
    "\n"
    "Exit status: 0 when every calculation succeeded, 1 when one failed, 2 for a usage or set-up error,\n"
    "3 when the plug-in misused the host (whatever the calculations gave).\n";

// More would only measure the machine's scheduler.
constexpr unsigned long kMaxHostThreads = 64;

struct Options {
  std::vector<std::string> expressions;
  std::optional<std::string> plugin;
  bool noPlugin = false;
  bool info = false;
  bool functions = false;
  bool log = false;
  bool trace = false;
  fmsim::DesktopOptions desktop;
  uint8_t appType = kFmxAppPro;
  bool highPlacement = false;
  std::optional<std::string> checkFile;
  uint64_t repeat = 1;
  unsigned threads = 1;
  std::optional<std::string> reenter;
};

struct AppTypeName {
  const char* name;
  uint8_t code;
};
constexpr AppTypeName kAppTypes[] = {{"FMAdvanced", kFmxAppDeveloper}, {"FMPro", kFmxAppPro},
                                     {"Runtime", kFmxAppRuntime},      {"Server", kFmxAppServer},
                                     {"WPE", kFmxAppWebPublishing},    {"Mobile", kFmxAppMobile}};

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

std::optional<uint8_t> parseAppType(const std::string& text) {
  for (const AppTypeName& type : kAppTypes) {
    if (equalsIgnoringCase(text, type.name)) return type.code;
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
      options.desktop.documents = text;
    } else if (arg == "--common-appdata") {
      if (!value(text)) return usageError("--common-appdata needs a folder");
      options.desktop.commonAppData = text;
    } else if (arg == "--app-type") {
      if (!value(text)) return usageError("--app-type needs a name");
      std::optional<uint8_t> code = parseAppType(text);
      if (!code) return usageError("unknown application type '" + text + "'");
      options.appType = *code;
    } else if (arg == "--java-home") {
      if (!value(text)) return usageError("--java-home needs a folder");
      options.desktop.javaHome = text;
    } else if (arg == "--check") {
      if (!value(text)) return usageError("--check needs a file");
      options.checkFile = text;
    } else if (arg == "--repeat") {
      if (!value(text)) return usageError("--repeat needs a count");
      char* end = nullptr;
      unsigned long long count = std::strtoull(text.c_str(), &end, 10);
      if (text.empty() || *end != '\0' || count == 0) return usageError("--repeat needs a positive count");
      options.repeat = count;
    } else if (arg == "--threads") {
      if (!value(text)) return usageError("--threads needs a count");
      char* end = nullptr;
      unsigned long count = std::strtoul(text.c_str(), &end, 10);
      if (text.empty() || *end != '\0' || count == 0 || count > kMaxHostThreads) {
        return usageError("--threads needs a count from 1 to " + std::to_string(kMaxHostThreads));
      }
      options.threads = static_cast<unsigned>(count);
    } else if (arg == "--reenter") {
      if (!value(text)) return usageError("--reenter needs an expression");
      options.reenter = text;
    } else if (arg == "--no-java") {
      options.desktop.noJava = true;
    } else if (arg == "--registry") {
      if (!value(text)) return usageError("--registry needs a file");
      options.desktop.registryFiles.push_back(text);
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

// What one of FileMaker Server's threads does: evaluates the calculation `repeat` times in an environment
// of its own and counts the answers that differ from the expected one.
struct HostThreadRun {
  uint64_t wrong = 0;
  std::optional<fmsim::EvaluationResult> firstWrong;
};

HostThreadRun runHostThread(const std::string& expression, const fmsim::EvaluationResult& expected,
                            uint64_t repeat) {
  HostThreadRun run;
  FmxExprEnv* env = fmsim::makeExprEnv();
  fmsim::fmsimCurrentEnvironment(env);
  for (uint64_t i = 0; i < repeat; ++i) {
    fmsim::EvaluationResult result = fmsim::evaluate(expression, env);
    if (result.code != expected.code || result.text != expected.text) {
      if (run.wrong++ == 0) run.firstWrong = std::move(result);
    }
  }
  fmsim::deleteExprEnv(env);
  return run;
}

std::string describeResult(const fmsim::EvaluationResult& result) {
  std::string text;
  if (result.code == 0) {
    text.append(1, '"').append(printable(result.text)).append(1, '"');
  } else {
    text.append("error ").append(std::to_string(result.code)).append(" (").append(result.message).append(")");
  }
  return text;
}

// Evaluates calculations as FileMaker would: one at a time, with idle time for the plug-in after each;
// or, with several host threads, as FileMaker Server does.
class Calculator {
 public:
  Calculator(fmsim::HostDriver& host, fmsim::FileMakerWindow& window, bool started, std::FILE* results,
             uint64_t repeat, unsigned threads)
      : host_(host),
        window_(window),
        started_(started),
        results_(results),
        repeat_(repeat),
        threads_(threads) {}

  // Whether any evaluation on the host threads gave a wrong answer or called the host on a dead object.
  bool threadsFailed() const { return threadsFailed_; }

  // Evaluates `repeat` times (on each host thread) and returns the last result of FileMaker's thread.
  fmsim::EvaluationResult evaluate(const std::string& expression) {
    if (threads_ > 1) return evaluateOnHostThreads(expression);
    const bool progress = repeat_ > 1 && fmsim::isTerminal(stderr);
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

  // The expected answer comes from FileMaker's thread first; then every host thread evaluates at once.
  fmsim::EvaluationResult evaluateOnHostThreads(const std::string& expression) {
    fmsim::EvaluationResult expected = fmsim::evaluate(expression);
    if (started_) host_.idle();
    const size_t reportsBefore = fmsim::deadObjectReports().size();
    std::vector<HostThreadRun> runs(threads_);
    const auto begin = std::chrono::steady_clock::now();
    {
      // FileMaker's thread keeps serving its window meanwhile: a plug-in function that reads or changes
      // FileMaker's window from a host thread waits for this thread to pump, as on Windows.
      std::atomic<unsigned> finished{0};
      std::vector<std::thread> hostThreads;
      for (unsigned t = 0; t < threads_; ++t) {
        hostThreads.emplace_back([&, t] {
          runs[t] = runHostThread(expression, expected, repeat_);
          finished.fetch_add(1);
          window_.wake();
        });
      }
      window_.serveUntil([&] { return finished.load() == threads_; });
      for (std::thread& thread : hostThreads) thread.join();
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    if (started_) host_.idle();

    uint64_t wrong = 0;
    const fmsim::EvaluationResult* firstWrong = nullptr;
    for (const HostThreadRun& run : runs) {
      wrong += run.wrong;
      if (firstWrong == nullptr && run.firstWrong) firstWrong = &*run.firstWrong;
    }
    const std::vector<fmsim::DeadObjectReport> reports = fmsim::deadObjectReports();
    const size_t deadCalls = reports.size() - std::min(reports.size(), reportsBefore);
    const uint64_t total = repeat_ * threads_;
    std::fprintf(stderr,
                 "%u threads, %llu evaluations in %.3f s: %.0f per second, %llu wrong, %zu on dead objects\n",
                 threads_, static_cast<unsigned long long>(total), seconds,
                 seconds > 0 ? static_cast<double>(total) / seconds : 0.0,
                 static_cast<unsigned long long>(wrong), deadCalls);
    if (firstWrong != nullptr) {
      std::fprintf(stderr, "wrong answer to %s: expected %s, got %s\n", expression.c_str(),
                   describeResult(expected).c_str(), describeResult(*firstWrong).c_str());
    }
    if (deadCalls > 0) {
      const fmsim::DeadObjectReport& report = reports[reportsBefore];
      std::fprintf(stderr, "dead object: %s on %p: %s\n", report.operation.c_str(), report.address,
                   report.reason.c_str());
    }
    if (wrong > 0 || deadCalls > 0) threadsFailed_ = true;
    return expected;
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
  fmsim::FileMakerWindow& window_;
  bool started_;
  std::FILE* results_;
  uint64_t repeat_;
  unsigned threads_;
  bool threadsFailed_ = false;
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

constexpr int kMisuseStatus = 3;

// Prints what the plug-in did wrong with the host's objects; true when there was anything.
bool reportMisuse() {
  std::vector<fmsim::DeadObjectReport> reports = fmsim::takeDeadObjectReports();
  for (const fmsim::DeadObjectReport& report : reports) {
    std::fprintf(stderr, "fmsim: misuse: %s\n", fmsim::formatDeadObjectReport(report).c_str());
  }
  return !reports.empty();
}

// Reads calculations from standard input, one per line, with a prompt when it is a terminal.
int runInteractive(Calculator& calculator) {
  const bool terminal = fmsim::isTerminal(stdin);
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

  std::FILE* results = fmsim::separateResults(options.log);
  if (!fmsim::setUpDesktop(options.desktop)) return 2;
  if (options.trace) {
    fmsim::setTraceSink([](const fmsim::TraceEntry& entry) {
      std::fprintf(stderr, "trace: %s\n", fmsim::formatTraceEntry(entry).c_str());
    });
    fmsim::setTracing(true);
  }

  fmsim::FileMakerWindow mainWindow;
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
    if (!host.load(options.plugin.value_or(fmsim::defaultPluginPath(argv[0])), error)) {
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
      std::string line = fmsim::utf16ToUtf8(function.name) + "\t" + fmsim::utf16ToUtf8(function.prototype);
      if (!function.description.empty()) line += "\t" + fmsim::utf16ToUtf8(function.description);
      printLine(results, line);
    }
  }

  // While a plug-in pumps FileMaker's messages, FileMaker gives it idle time and, on request, evaluates a
  // calculation from its window procedure.
  uint64_t reentered = 0;
  uint64_t reentryFailures = 0;
  if (started) {
    mainWindow.setReentry([&] {
      host.idle();
      if (!options.reenter) return;
      ++reentered;
      fmsim::EvaluationResult result = fmsim::evaluate(*options.reenter);
      if (result.code != 0 && reentryFailures++ == 0) {
        std::fprintf(stderr, "fmsim: re-entering calculation failed: error %d: %s\n", result.code,
                     result.message.c_str());
      }
    });
  }

  Calculator calculator(host, mainWindow, started, results, options.repeat, options.threads);
  int status = 0;
  for (const std::string& expression : options.expressions) {
    if (!calculator.run(expression)) status = 1;
  }
  if (options.checkFile) {
    int checked = runCheckFile(calculator, *options.checkFile, results);
    if (checked != 0) status = checked;
  }
  if (interactive && runInteractive(calculator) != 0) status = 1;
  if (calculator.threadsFailed()) status = 1;
  mainWindow.setReentry(nullptr);
  if (options.reenter) {
    std::fprintf(stderr, "fmsim: FileMaker's window procedure evaluated %s %llu times, %llu failed\n",
                 options.reenter->c_str(), static_cast<unsigned long long>(reentered),
                 static_cast<unsigned long long>(reentryFailures));
    if (reentryFailures > 0) status = 1;
  }

  if (started) host.shutdown();
  std::fflush(results);
  if (reportMisuse()) status = kMisuseStatus;
  return status;
}
