// The plug-in's costs in one run: a function call through the relay and through a whole evaluation, the
// bare JNI upcall the relay is built on, memory over a million calls, start-up in a fresh process against
// a bare VM program, and the copy of a large attached jar against a plain copy. Ends with the ratios the
// project holds itself to. Run by scripts/bench; single-threaded but for the soak (scripts/bench --soak),
// which calls from four host threads as FileMaker Server does.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <jni.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "archive/attached_jar.h"
#include "bench_support.h"
#include "fmsim/calculation.h"
#include "fmsim/desktop_setup.h"
#include "fmsim/host_driver.h"
#include "fmsim/test_support.h"
#include "fmsim/values.h"
#include "fmx/fmx_calls.h"
#include "jar_writer.h"
#include "pack_module.h"
#include "session/host_session.h"

extern char** environ;

namespace xplug::bench {
namespace {

namespace fs = std::filesystem;

constexpr char kBaselineClass[] = "com.kelvo.xplug.bench.BaselineBridge";
constexpr int kCallRepetitions = 5;
constexpr int kStartupRepetitions = 11;
constexpr int kExtractRepetitions = 5;
constexpr std::size_t kLargeJarPayload = 20u * 1024u * 1024u;
constexpr int64_t kEchoWarmCalls = 1000;
constexpr int64_t kEchoTotalCalls = 1000000;
constexpr int kSoakThreads = 4;
constexpr int64_t kSoakTotalCalls = 10000000;
// The first tenth of the soak warms up (the VM compiles, the lists reach their size); the VM's heap goes
// on growing to the size its collector settles at for a while after. Memory is measured after 100,000
// calls, after the first tenth, at half-time and at the end; the growth is that of the second half.
constexpr int64_t kSoakWarmCalls = kSoakTotalCalls / 10;
constexpr int64_t kSoakHalfCalls = kSoakTotalCalls / 2;
// Every this many calls a host thread checks the answer; reading it back costs more than the call.
constexpr int64_t kSoakCheckInterval = 256;

// Where the running process's standard output goes for a while: the module and the VM log there, and
// their lines would break up the benchmark table.
class StdoutRedirect {
 public:
  explicit StdoutRedirect(const fs::path& file) {
    std::fflush(stdout);
    saved_ = ::dup(STDOUT_FILENO);
    int target = ::open(file.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (target >= 0) {
      ::dup2(target, STDOUT_FILENO);
      ::close(target);
    }
  }
  ~StdoutRedirect() {
    std::fflush(stdout);
    if (saved_ >= 0) {
      ::dup2(saved_, STDOUT_FILENO);
      ::close(saved_);
    }
  }
  StdoutRedirect(const StdoutRedirect&) = delete;
  StdoutRedirect& operator=(const StdoutRedirect&) = delete;

 private:
  int saved_ = -1;
};

// The packed module the benchmarks load: the example's, or the one XPLUG_BENCH_MODULE names (the same
// module with its symbols, for a profile).
const char* benchedModule() {
  const char* chosen = std::getenv("XPLUG_BENCH_MODULE");
  return chosen != nullptr && *chosen != '\0' ? chosen : XPLUG_EXAMPLE_MODULE;
}

// Everything the in-process benchmarks share: the started example module, an expression environment,
// and the baseline object in the same VM.
struct Session {
  fs::path root;
  fmsim::HostDriver host;
  FmxExprEnv* env = nullptr;
  JNIEnv* jni = nullptr;
  jobject baseline = nullptr;  // global reference, kept for the process's life
  jmethodID baselineDoFunction = nullptr;
  std::string setupError;
};
Session* session = nullptr;

fmsim::RegisteredFunction functionNamed(const std::u16string& name) {
  for (const fmsim::RegisteredFunction& function : fmsim::registeredFunctions()) {
    if (function.name == name) return function;
  }
  return {};
}

// The VM the module created, reached through the runtime library it loaded.
JNIEnv* moduleVmEnvironment() {
  void* runtime = ::dlopen(XPLUG_JAVA_HOME "/lib/server/libjvm.so", RTLD_NOW | RTLD_NOLOAD);
  if (runtime == nullptr) return nullptr;
  using GetCreatedVms = jint(JNICALL*)(JavaVM**, jsize, jsize*);
  auto getCreated = reinterpret_cast<GetCreatedVms>(::dlsym(runtime, "JNI_GetCreatedJavaVMs"));
  JavaVM* vm = nullptr;
  jsize count = 0;
  if (getCreated == nullptr || getCreated(&vm, 1, &count) != JNI_OK || count != 1) return nullptr;
  void* env = nullptr;
  // The module left the thread that started it attached, as FileMaker's main thread is.
  if (vm->GetEnv(&env, JNI_VERSION_1_4) != JNI_OK) return nullptr;
  return static_cast<JNIEnv*>(env);
}

bool startSession(Session& s) {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/xplug-bench-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) {
    s.setupError = "no work folder";
    return false;
  }
  s.root = pattern;
  fs::create_directories(s.root / "temp");
  // The VMs of this process and of the start-up probes keep their preferences store in the work folder,
  // not in the user's home.
  const std::string preferences = "-Djava.util.prefs.userRoot=" + (s.root / "prefs" / "user").string() +
                                  " -Djava.util.prefs.systemRoot=" + (s.root / "prefs" / "system").string();
  ::setenv("JAVA_TOOL_OPTIONS", preferences.c_str(), 1);
  ::setenv("TEMP", (s.root / "temp").c_str(), 1);
  fmsim::registerDocumentsFolder((s.root / "documents").string());
  fmsim::registerCommonAppData((s.root / "appdata").string());
  if (!fmsim::registerJavaRuntime(XPLUG_JAVA_HOME, s.setupError)) return false;
  {
    StdoutRedirect quiet(s.root / "module-output.log");
    if (!s.host.load(benchedModule(), s.setupError)) return false;
    if (s.host.startup(kFmxAppPro) != 0) {
      s.setupError = "the example plug-in did not start; see " + (s.root / "module-output.log").string();
      return false;
    }
  }
  s.env = fmsim::makeExprEnv();

  s.jni = moduleVmEnvironment();
  if (s.jni == nullptr) {
    s.setupError = "no Java environment on the thread that started the module";
    return false;
  }
  jclass baselineClass = loadClassFromJar(s.jni, XPLUG_BENCH_BASELINE_JAR, kBaselineClass);
  if (baselineClass == nullptr) {
    s.setupError = "the baseline class did not load";
    return false;
  }
  jmethodID init = s.jni->GetMethodID(baselineClass, "<init>", "()V");
  s.baselineDoFunction = s.jni->GetMethodID(baselineClass, "doFunction", "(S[JJZJJ)S");
  jobject object = init != nullptr ? s.jni->NewObject(baselineClass, init) : nullptr;
  if (s.jni->ExceptionCheck() || object == nullptr || s.baselineDoFunction == nullptr) {
    s.jni->ExceptionDescribe();
    s.jni->ExceptionClear();
    s.setupError = "the baseline object was not made";
    return false;
  }
  s.baseline = s.jni->NewGlobalRef(object);
  s.jni->DeleteLocalRef(object);
  s.jni->DeleteLocalRef(baselineClass);
  return true;
}

// ---- One function call ------------------------------------------------------------------------------

struct CallCase {
  std::u16string function;
  std::string expression;                 // the same call as a calculation
  std::vector<FmxData*> (*parameters)();  // made fresh for each benchmark; the vector takes them over
};

const std::vector<CallCase>& callCases() {
  static const std::vector<CallCase> cases = {
      {u"XPEx_Version", "XPEx_Version()", [] { return std::vector<FmxData*>{}; }},
      {u"XPEx_Echo", "XPEx_Echo(\"twenty characters...\")",
       [] { return std::vector<FmxData*>{fmsim::makeTextDataUtf8("twenty characters...")}; }},
      {u"XPEx_Add", "XPEx_Add(12.5; 30)",
       [] {
         return std::vector<FmxData*>{fmsim::makeNumberData("12.5"), fmsim::makeNumberData("30")};
       }},
      // A calculation has no container literal: the evaluation makes one with a second plug-in call.
      {u"XPEx_ContainerInfo", "XPEx_ContainerInfo(XPEx_MakeContainer(\"twenty characters...\"; \"TEXT\"))",
       [] {
         return std::vector<FmxData*>{
             fmsim::makeContainerData({{fmsim::fourCharCode("TEXT"), std::vector<uint8_t>(20, 'x')},
                                       {fmsim::fourCharCode("FNAM"), {}}})};
       }},
  };
  return cases;
}

void relayCall(benchmark::State& state, const CallCase& c) {
  const fmsim::RegisteredFunction function = functionNamed(c.function);
  if (function.callback == nullptr) {
    state.SkipWithError("the function is not registered");
    return;
  }
  FmxDataVect* parameters = fmsim::makeDataVect(c.parameters());
  FmxData* result = fmsim::makeEmptyData();
  if (fmsim::callFunction(function, session->env, parameters, result) != 0) {
    state.SkipWithError("the call failed");
  } else {
    for (auto _ : state) {
      benchmark::DoNotOptimize(fmsim::callFunction(function, session->env, parameters, result));
    }
  }
  fmsim::deleteData(result);
  fmsim::deleteDataVect(parameters);
}

void evaluateCall(benchmark::State& state, const CallCase& c) {
  if (fmsim::evaluate(c.expression, session->env).code != 0) {
    state.SkipWithError("the evaluation failed");
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(fmsim::evaluate(c.expression, session->env));
}

// The relay's floor: the long[] built from the parameter vector as the relay builds it, and an upcall
// with doFunction's signature of a Java method that returns at once.
void jniBaseline(benchmark::State& state) {
  JNIEnv* env = session->jni;
  FmxDataVect* parameters = fmsim::makeDataVect({});
  HostErrorRecord error{1, 0};
  for (auto _ : state) {
    std::array<jlong, 16> handles{};
    const uint32_t count = std::min<uint32_t>(FM_DataVect_Size(parameters, &error), handles.size());
    for (uint32_t i = 0; i < count; ++i) {
      handles[i] = static_cast<jlong>(reinterpret_cast<intptr_t>(FM_DataVect_At(parameters, i, &error)));
    }
    jlongArray array = env->NewLongArray(static_cast<jsize>(count));
    env->SetLongArrayRegion(array, 0, static_cast<jsize>(count), handles.data());
    jshort answer = env->CallShortMethod(session->baseline, session->baselineDoFunction, jshort{1}, array,
                                         jlong{0}, JNI_FALSE, jlong{0}, jlong{0});
    if (env->ExceptionCheck()) {
      env->ExceptionDescribe();
      env->ExceptionClear();
    }
    env->DeleteLocalRef(array);
    benchmark::DoNotOptimize(answer);
  }
  fmsim::deleteDataVect(parameters);
}

// The simulated host's share of a call: the FM_ operations the relay and the natives make for one call of
// XPEx_Version (6) and of XPEx_Echo (10), in the order the host's trace shows them, without Java.
void hostOperations(benchmark::State& state, bool echo) {
  FmxDataVect* parameters =
      fmsim::makeDataVect(echo ? std::vector<FmxData*>{fmsim::makeTextDataUtf8("twenty characters...")}
                               : std::vector<FmxData*>{});
  FmxData* result = fmsim::makeEmptyData();
  HostErrorRecord error{1, 0};
  const uint16_t version[] = {'1', '.', '0', 0};
  uint16_t units[64] = {};
  for (auto _ : state) {
    const uint32_t count = FM_DataVect_Size(parameters, &error);
    const uint16_t* answer = version;
    if (echo && count > 0) {
      const FmxText* text = FM_Data_GetAsText(FM_DataVect_At(parameters, 0, &error), &error);
      const uint32_t size = std::min<uint32_t>(FM_Text_GetSize(text, &error), 63);
      FM_Text_GetUnicode(text, units, 0, size, &error);
      units[size] = 0;
      answer = units;
    }
    FmxText* made = FM_Text_Constructor1(&error);
    FM_Text_AssignUnicode(made, answer, &error);
    FM_Data_SetAsText(result, made, FM_Data_GetLocale(result, &error), kFmxTypeText, &error);
    FM_Text_Delete(made, &error);
  }
  fmsim::deleteData(result);
  fmsim::deleteDataVect(parameters);
}

// ---- Memory over a million calls --------------------------------------------------------------------

void echoMemory(benchmark::State& state) {
  const fmsim::RegisteredFunction echo = functionNamed(u"XPEx_Echo");
  if (echo.callback == nullptr) {
    state.SkipWithError("XPEx_Echo is not registered");
    return;
  }
  const int64_t liveBefore = fmsim::totalLiveCount();
  FmxDataVect* parameters = fmsim::makeDataVect({fmsim::makeTextDataUtf8("twenty characters...")});
  FmxData* result = fmsim::makeEmptyData();
  int64_t failures = 0;
  int64_t afterWarm = 0;
  int64_t afterHundredThousand = 0;
  for (auto _ : state) {
    for (int64_t call = 1; call <= kEchoTotalCalls; ++call) {
      if (fmsim::callFunction(echo, session->env, parameters, result) != 0) ++failures;
      if (call == kEchoWarmCalls) afterWarm = residentBytes();
      if (call == 100000) afterHundredThousand = residentBytes();
    }
  }
  const int64_t afterAll = residentBytes();
  fmsim::deleteData(result);
  fmsim::deleteDataVect(parameters);
  constexpr double kMiB = 1024.0 * 1024.0;
  state.counters["failed_calls"] = static_cast<double>(failures);
  state.counters["rss_1k_MiB"] = static_cast<double>(afterWarm) / kMiB;
  state.counters["rss_100k_MiB"] = static_cast<double>(afterHundredThousand) / kMiB;
  state.counters["rss_1M_MiB"] = static_cast<double>(afterAll) / kMiB;
  state.counters["rss_growth_KiB"] = static_cast<double>(afterAll - afterWarm) / 1024.0;
  state.counters["live_objects_left"] = static_cast<double>(fmsim::totalLiveCount() - liveBefore);
  state.SetItemsProcessed(kEchoTotalCalls);
}

// ---- Soak: ten million calls from four host threads ---------------------------------------------------

struct SoakCall {
  fmsim::RegisteredFunction function;
  std::vector<FmxData*> (*parameters)();
  std::string expected;  // the result's display text; empty: not compared (a container)
};

struct SoakCounts {
  std::atomic<int64_t> failed{0};
  std::atomic<int64_t> wrong{0};
};

// One host thread: attached to the VM for its whole run, as a thread that calls the plug-in all the time
// would be (attaching per call would measure the VM's attach instead of the module), with an
// environment of its own.
void soakThread(JavaVM* vm, const std::vector<SoakCall>& calls, int64_t count, SoakCounts& counts) {
  JNIEnv* env = nullptr;
  JavaVMAttachArgs arguments{JNI_VERSION_1_4, const_cast<char*>("xplug-bench-host-thread"), nullptr};
  if (vm->AttachCurrentThread(reinterpret_cast<void**>(&env), &arguments) != JNI_OK) {
    counts.failed.fetch_add(count);
    return;
  }
  FmxExprEnv* exprEnv = fmsim::makeExprEnv();
  fmsim::fmsimCurrentEnvironment(exprEnv);
  std::vector<FmxDataVect*> parameters;
  for (const SoakCall& call : calls) parameters.push_back(fmsim::makeDataVect(call.parameters()));
  FmxData* result = fmsim::makeEmptyData();
  int64_t failed = 0;
  int64_t wrong = 0;
  for (int64_t i = 0; i < count; ++i) {
    const std::size_t which = static_cast<std::size_t>(i) % calls.size();
    const SoakCall& call = calls[which];
    if (fmsim::callFunction(call.function, exprEnv, parameters[which], result) != 0) {
      ++failed;
    } else if (i % kSoakCheckInterval == 0 && !call.expected.empty() &&
               fmsim::displayText(result) != call.expected) {
      ++wrong;
    }
  }
  fmsim::deleteData(result);
  for (FmxDataVect* vector : parameters) fmsim::deleteDataVect(vector);
  fmsim::deleteExprEnv(exprEnv);
  vm->DetachCurrentThread();
  counts.failed.fetch_add(failed);
  counts.wrong.fetch_add(wrong);
}

void soakPhase(JavaVM* vm, const std::vector<SoakCall>& calls, int64_t total, SoakCounts& counts) {
  std::vector<std::thread> threads;
  for (int t = 0; t < kSoakThreads; ++t) {
    threads.emplace_back(soakThread, vm, std::cref(calls), total / kSoakThreads, std::ref(counts));
  }
  for (std::thread& thread : threads) thread.join();
}

void soakCalls(benchmark::State& state) {
  std::vector<SoakCall> calls = {
      {functionNamed(u"XPEx_Echo"), [] { return std::vector<FmxData*>{fmsim::makeTextDataUtf8("soak")}; },
       "soak"},
      {functionNamed(u"XPEx_Reverse"), [] { return std::vector<FmxData*>{fmsim::makeTextDataUtf8("soak")}; },
       "kaos"},
      {functionNamed(u"XPEx_MakeContainer"),
       [] {
         return std::vector<FmxData*>{fmsim::makeTextDataUtf8("soak"), fmsim::makeTextDataUtf8("TEXT")};
       },
       ""},
  };
  for (const SoakCall& call : calls) {
    if (call.function.callback == nullptr) {
      state.SkipWithError("a soak function is not registered");
      return;
    }
  }
  JavaVM* vm = nullptr;
  if (session->jni->GetJavaVM(&vm) != JNI_OK || vm == nullptr) {
    state.SkipWithError("no Java VM");
    return;
  }
  const int64_t liveBefore = fmsim::totalLiveCount();
  const std::size_t reportsBefore = fmsim::deadObjectReports().size();
  SoakCounts counts;
  int64_t afterTenth = 0;
  int64_t afterWarm = 0;
  int64_t afterHalf = 0;
  int64_t afterAll = 0;
  for (auto _ : state) {
    soakPhase(vm, calls, kSoakWarmCalls / 10, counts);
    afterTenth = residentBytes();
    soakPhase(vm, calls, kSoakWarmCalls - kSoakWarmCalls / 10, counts);
    afterWarm = residentBytes();
    soakPhase(vm, calls, kSoakHalfCalls - kSoakWarmCalls, counts);
    afterHalf = residentBytes();
    soakPhase(vm, calls, kSoakTotalCalls - kSoakHalfCalls, counts);
    afterAll = residentBytes();
  }
  constexpr double kMiB = 1024.0 * 1024.0;
  state.counters["failed_calls"] = static_cast<double>(counts.failed.load());
  state.counters["wrong_answers"] = static_cast<double>(counts.wrong.load());
  state.counters["dead_object_calls"] =
      static_cast<double>(fmsim::deadObjectReports().size() - reportsBefore);
  state.counters["rss_100k_MiB"] = static_cast<double>(afterTenth) / kMiB;
  state.counters["rss_1M_MiB"] = static_cast<double>(afterWarm) / kMiB;
  state.counters["rss_5M_MiB"] = static_cast<double>(afterHalf) / kMiB;
  state.counters["rss_10M_MiB"] = static_cast<double>(afterAll) / kMiB;
  // Growth over the second half, once the VM's heap has settled: what calls themselves keep.
  state.counters["rss_growth_KiB"] = static_cast<double>(afterAll - afterHalf) / 1024.0;
  state.counters["live_objects_left"] = static_cast<double>(fmsim::totalLiveCount() - liveBefore);
  state.SetItemsProcessed(kSoakTotalCalls);
}

// ---- Start-up in a fresh process --------------------------------------------------------------------

// Runs a probe with its output in the work folder's log and returns the span it measured, in seconds.
std::optional<double> runProbe(std::vector<std::string> arguments, const fs::path& resultFile) {
  fs::remove(resultFile);
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  const std::string log = (session->root / "probe-output.log").string();
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  pid_t child = 0;
  const int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return std::nullopt;
  int status = 0;
  if (::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    return std::nullopt;
  }
  std::optional<int64_t> span = readSpan(resultFile.string());
  if (!span) return std::nullopt;
  return static_cast<double>(*span) / 1e9;
}

std::optional<double> startModuleOnce(int run) {
  const fs::path work = session->root / ("startup-" + std::to_string(run));
  std::optional<double> seconds = runProbe(
      {XPLUG_STARTUP_MODULE_PROBE, benchedModule(), XPLUG_JAVA_HOME, work.string(), (work / "span").string()},
      work / "span");
  std::error_code ignored;
  fs::remove_all(work, ignored);
  return seconds;
}

std::optional<double> startBareVmOnce() {
  const fs::path resultFile = session->root / "bare-span";
  return runProbe({XPLUG_STARTUP_BARE_PROBE, XPLUG_JAVA_HOME, XPLUG_BENCH_BASELINE_JAR, kBaselineClass,
                   resultFile.string()},
                  resultFile);
}

// Both kinds of start-up, taken in turns before either is reported: the load of a shared machine
// changes by the second, and the ratio is only fair when both saw the same.
struct StartupSamples {
  std::vector<std::optional<double>> module;
  std::vector<std::optional<double>> bareVm;
  std::size_t moduleReported = 0;
  std::size_t bareVmReported = 0;
};

StartupSamples& startupSamples() {
  static StartupSamples samples = [] {
    StartupSamples taken;
    for (int run = 1; run <= kStartupRepetitions; ++run) {
      taken.module.push_back(startModuleOnce(run));
      taken.bareVm.push_back(startBareVmOnce());
    }
    return taken;
  }();
  return samples;
}

// Each repetition reports the next of the samples taken in turns.
void reportStartup(benchmark::State& state, const std::vector<std::optional<double>>& samples,
                   std::size_t& reported, const char* failure) {
  for (auto _ : state) {
    const std::optional<double> seconds = reported < samples.size() ? samples[reported] : std::nullopt;
    ++reported;
    if (!seconds) {
      state.SkipWithError(failure);
      break;
    }
    state.SetIterationTime(*seconds);
  }
}

void startupModule(benchmark::State& state) {
  StartupSamples& samples = startupSamples();
  reportStartup(state, samples.module, samples.moduleReported,
                "the module's start-up failed; see probe-output.log");
}

void startupBareVm(benchmark::State& state) {
  StartupSamples& samples = startupSamples();
  reportStartup(state, samples.bareVm, samples.bareVmReported,
                "the bare VM program failed; see probe-output.log");
}

// ---- Extraction of a large attached jar -------------------------------------------------------------

struct LargeModule {
  fs::path file;
  void* handle = nullptr;
  uintmax_t jarBytes = 0;
  std::string error;
};

// A packed module file whose jar carries 20 MB of incompressible bytes besides the example's classes.
LargeModule& largeModule() {
  static LargeModule large = [] {
    LargeModule made;
    const fs::path folder = session->root / "large";
    fs::create_directories(folder / "payload");
    {
      std::mt19937_64 random(20261211);
      std::vector<uint64_t> words(kLargeJarPayload / sizeof(uint64_t));
      std::generate(words.begin(), words.end(), random);
      std::ofstream(folder / "payload" / "payload.bin", std::ios::binary)
          .write(reinterpret_cast<const char*>(words.data()), static_cast<std::streamsize>(kLargeJarPayload));
    }
    tools::JarContents contents;
    contents.manifest = {{"Manifest-Version", "1.0"}, {"plugin-name", "Large"}};
    contents.classDirectories = {(folder / "payload").string()};
    contents.mergedJars = {XPLUG_EXAMPLE_JAR};
    const std::string jar = (folder / "Large.jar").string();
    tools::JarOutcome written = tools::writeJar(jar, contents);
    if (!written.ok) {
      made.error = written.error;
      return made;
    }
    made.file = folder / "plugins" / "Large.fmx";
    fs::create_directories(made.file.parent_path());
    tools::PackOutcome packed = tools::packModule(XPLUG_BENCH_IMAGE, jar, made.file.string(),
                                                  static_cast<uint64_t>(attachedJarOffset));
    if (!packed.ok) {
      made.error = packed.error;
      return made;
    }
    made.jarBytes = fs::file_size(jar);
    made.handle = ::dlopen(made.file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (made.handle == nullptr) made.error = ::dlerror();
    return made;
  }();
  return large;
}

// True when `copy` holds exactly the bytes of `module` from `offset` on: a fast copy that lost or
// reordered bytes is no result.
bool sameContent(const fs::path& copy, const fs::path& module, std::streamoff offset) {
  std::ifstream a(copy, std::ios::binary);
  std::ifstream b(module, std::ios::binary);
  if (!a || !b || !b.seekg(offset)) return false;
  std::vector<char> left(1 << 16);
  std::vector<char> right(1 << 16);
  for (;;) {
    a.read(left.data(), static_cast<std::streamsize>(left.size()));
    b.read(right.data(), static_cast<std::streamsize>(right.size()));
    if (a.gcount() != b.gcount()) return false;
    if (a.gcount() == 0) return true;
    if (!std::equal(left.begin(), left.begin() + a.gcount(), right.begin())) return false;
  }
}

void extractAttachedJar(benchmark::State& state) {
  LargeModule& large = largeModule();
  if (large.handle == nullptr) {
    state.SkipWithError(large.error.c_str());
    return;
  }
  ExternCallRecord record{};
  record.instanceID = reinterpret_cast<uintptr_t>(large.handle);
  currentCallRecord = &record;
  int failures = 0;
  {
    StdoutRedirect quiet(session->root / "module-output.log");
    for (auto _ : state) {
      if (writeAttachedJarFile() != 1) ++failures;
    }
  }
  currentCallRecord = nullptr;
  if (failures > 0 || !sameContent(jarPath, large.file, static_cast<std::streamoff>(attachedJarOffset))) {
    state.SkipWithError("the copy differs from the attached jar");
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(large.jarBytes));
}

// What any program does to copy a file's tail: large reads and writes, no library in between.
bool plainCopy(const fs::path& from, off_t offset, const fs::path& to) {
  const int in = ::open(from.c_str(), O_RDONLY);
  if (in < 0) return false;
  const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  bool ok = out >= 0 && ::lseek(in, offset, SEEK_SET) == offset;
  static std::vector<char> buffer(128 * 1024);
  while (ok) {
    const ssize_t got = ::read(in, buffer.data(), buffer.size());
    if (got <= 0) {
      ok = got == 0;
      break;
    }
    ok = ::write(out, buffer.data(), static_cast<size_t>(got)) == got;
  }
  if (out >= 0 && ::close(out) != 0) ok = false;
  ::close(in);
  return ok;
}

void plainFileCopy(benchmark::State& state) {
  LargeModule& large = largeModule();
  if (large.handle == nullptr) {
    state.SkipWithError(large.error.c_str());
    return;
  }
  const fs::path copy = session->root / "temp" / "plain-copy.jar";
  int failures = 0;
  for (auto _ : state) {
    if (!plainCopy(large.file, static_cast<off_t>(attachedJarOffset), copy)) ++failures;
  }
  if (failures > 0 || !sameContent(copy, large.file, static_cast<std::streamoff>(attachedJarOffset))) {
    state.SkipWithError("the copy differs from the attached jar");
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(large.jarBytes));
}

std::string formatted(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string formatted(const char* format, ...) {
  char text[256];
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(text, sizeof text, format, arguments);
  va_end(arguments);
  return text;
}

// ---- The ratios ---------------------------------------------------------------------------------------

// The console table, then the figures the targets are about, taken from the medians of this run.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(::isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& reports) override {
    ConsoleReporter::ReportRuns(reports);
    for (const Run& run : reports) {
      const std::string& name = run.run_name.function_name;
      if (run.error_occurred) {
        if (std::find(failed_.begin(), failed_.end(), name) == failed_.end()) failed_.push_back(name);
        continue;
      }
      const double seconds = run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") medians_[name] = seconds;
      if (run.run_type == Run::RT_Iteration) counters_[name] = run.counters;
    }
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\nTargets (medians of this run)\n");
    const auto median = [this](const std::string& name) -> std::optional<double> {
      auto found = medians_.find(name);
      if (found == medians_.end()) return std::nullopt;
      return found->second;
    };
    if (auto echo = median("relay/XPEx_Echo")) {
      const double perSecond = 1.0 / *echo;
      target("XPEx_Echo through the relay", perSecond >= 1e6,
             formatted("%.0f calls/s (at least 1,000,000)", perSecond));
    }
    if (auto version = median("relay/XPEx_Version"), bare = median("jni/baseline_upcall"); version && bare) {
      const double ratio = *version / *bare;
      target("XPEx_Version against the bare JNI upcall", ratio <= 3.0,
             formatted("%.2fx (%.0f ns / %.0f ns; at most 3x)", ratio, *version * 1e9, *bare * 1e9));
    }
    if (auto module = median("startup/module"), bare = median("startup/bare_vm"); module && bare) {
      const double ratio = *module / *bare;
      target("start-up against the bare VM program", ratio <= 1.25,
             formatted("%.2fx (%.0f ms / %.0f ms; at most 1.25x)", ratio, *module * 1e3, *bare * 1e3));
    }
    if (auto extract = median("extract/attached_jar_20MB"), copy = median("extract/plain_copy_20MB");
        extract && copy) {
      const double ratio = *copy / *extract;
      target("extraction speed against a plain copy", ratio >= 0.8,
             formatted("%.2fx (%.1f ms / %.1f ms; at least 0.8x)", ratio, *extract * 1e3, *copy * 1e3));
    }
    if (auto found = counters_.find("memory/echo_1M_calls"); found != counters_.end()) {
      benchmark::UserCounters& c = found->second;
      const double growth = c["rss_growth_KiB"];
      target("RSS after 1M XPEx_Echo calls", growth <= kRssNoiseKiB,
             formatted("%.1f MiB after 1k, %.1f MiB after 1M: %+.0f KiB (noise allowance %.0f KiB)",
                       static_cast<double>(c["rss_1k_MiB"]), static_cast<double>(c["rss_1M_MiB"]), growth,
                       kRssNoiseKiB));
      const double live = c["live_objects_left"];
      target(
          "host objects left after 1M calls", live == 0 && c["failed_calls"] == 0,
          formatted("%.0f live, %.0f failed calls (both 0)", live, static_cast<double>(c["failed_calls"])));
    }
    for (const std::string& name : failed_)
      std::printf("  FAILED  %s did not run to the end\n", name.c_str());
    std::fflush(stdout);
  }

 private:
  // What a VM's resident memory moves by on its own between two readings (code cache, GC bookkeeping).
  static constexpr double kRssNoiseKiB = 2048.0;

  static void target(const char* what, bool met, const std::string& detail) {
    std::printf("  %-5s %-44s %s\n", met ? "MET" : "MISS", what, detail.c_str());
  }

  std::map<std::string, double> medians_;
  std::map<std::string, benchmark::UserCounters> counters_;
  std::vector<std::string> failed_;
};

void registerBenchmarks() {
  for (const CallCase& c : callCases()) {
    const std::string name(c.function.begin(), c.function.end());
    benchmark::RegisterBenchmark(("relay/" + name).c_str(), relayCall, c)
        ->Repetitions(kCallRepetitions)
        ->ReportAggregatesOnly();
  }
  benchmark::RegisterBenchmark("jni/baseline_upcall", jniBaseline)
      ->Repetitions(kCallRepetitions)
      ->ReportAggregatesOnly();
  benchmark::RegisterBenchmark("host/XPEx_Version_operations", hostOperations, false)
      ->Repetitions(kCallRepetitions)
      ->ReportAggregatesOnly();
  benchmark::RegisterBenchmark("host/XPEx_Echo_operations", hostOperations, true)
      ->Repetitions(kCallRepetitions)
      ->ReportAggregatesOnly();
  for (const CallCase& c : callCases()) {
    const std::string name(c.function.begin(), c.function.end());
    benchmark::RegisterBenchmark(("evaluate/" + name).c_str(), evaluateCall, c)
        ->Repetitions(kCallRepetitions)
        ->ReportAggregatesOnly();
  }
  benchmark::RegisterBenchmark("memory/echo_1M_calls", echoMemory)
      ->Iterations(1)
      ->Unit(benchmark::kMillisecond);
  // Long (tens of seconds): only when asked for, by scripts/bench --soak.
  const char* soak = std::getenv("XPLUG_BENCH_SOAK");
  if (soak != nullptr && std::string(soak) == "1") {
    benchmark::RegisterBenchmark("soak/4_threads_10M_calls", soakCalls)
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
  }
  benchmark::RegisterBenchmark("extract/attached_jar_20MB", extractAttachedJar)
      ->Repetitions(kExtractRepetitions)
      ->ReportAggregatesOnly()
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
  benchmark::RegisterBenchmark("extract/plain_copy_20MB", plainFileCopy)
      ->Repetitions(kExtractRepetitions)
      ->ReportAggregatesOnly()
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
  benchmark::RegisterBenchmark("startup/module", startupModule)
      ->Iterations(1)
      ->Repetitions(kStartupRepetitions)
      ->ReportAggregatesOnly()
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("startup/bare_vm", startupBareVm)
      ->Iterations(1)
      ->Repetitions(kStartupRepetitions)
      ->ReportAggregatesOnly()
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond);
}

}  // namespace
}  // namespace xplug::bench

int main(int argc, char** argv) {
  using namespace xplug::bench;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  static Session s;
  session = &s;
  if (!startSession(s)) {
    std::fprintf(stderr, "xplug_bench: %s\n", s.setupError.c_str());
    return 1;
  }
  registerBenchmarks();
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  if (s.env != nullptr) fmsim::deleteExprEnv(s.env);
  {
    StdoutRedirect quiet(s.root / "module-output.log");
    s.host.shutdown();
  }
  std::error_code ignored;
  std::filesystem::remove_all(s.root, ignored);
  return 0;
}
