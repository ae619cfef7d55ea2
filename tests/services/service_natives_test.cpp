// The service natives end to end: the test plug-in calls them from a function the host calls through
// the relay, on the test thread as FileMaker's thread, and the test checks what reached the host, the
// desktop and the log. Each test case runs in a process of its own (one VM per process).
#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "fmsim/calculation.h"
#include "fmsim/test_support.h"
#include "simdesktop/clipboard.h"
#include "simdesktop/windows.h"
#include "svc_vm_fixture.h"

namespace xplug::test {
namespace {

using ServiceNativesTest = SvcVmTest;

// A window handle as Java receives it: 32 bits widened with their sign.
std::string javaWindow(simdesktop::WindowHandle window) {
  return std::to_string(static_cast<int64_t>(static_cast<int32_t>(window)));
}

simdesktop::WindowHandle makeWindow(const std::u16string& title,
                                    uint32_t style = simdesktop::kWsOverlappedWindow,
                                    simdesktop::WindowHandle parent = 0) {
  simdesktop::WindowOptions options;
  options.title = title;
  options.style = style;
  options.parentOrOwner = parent;
  return simdesktop::createWindow(options);
}

TEST_F(ServiceNativesTest, ExpressionResultIsNoneBeforeAnyEvaluation) {
  EXPECT_EQ(run("resultBeforeEvaluation"), "0");
}

TEST_F(ServiceNativesTest, EvaluationGivesTheResultOrFileMakersCode) {
  EXPECT_EQ(run("eval", {"Upper(\"abc\") & 1+1"}), "ABC2");
  int16_t syntax = fmsim::evaluate("1 +").code;
  ASSERT_NE(syntax, 0);
  EXPECT_EQ(run("eval", {"1 +"}), "!PluginException:" + std::to_string(syntax));
  expectNothingLeft();
}

// The evaluation calls the plug-in again: the nested call's clean-up leaves the outer call's objects
// and the evaluation's result alone, and the host never touches a deleted object.
TEST_F(ServiceNativesTest, NestedFunctionCallsKeepTheOuterObjectsAndTheResult) {
  EXPECT_EQ(run("evalKeepsOuterObjects", {"SV_Run(\"eval\"; \"1+2\") & SV_Run(\"eval\"; \"\\\"x\\\"\")"}),
            "before|3x|3x");
  expectNothingLeft();
}

// Outside any function call (here FileMaker's idle time) the function that the expression calls is the
// outermost call, and its clean-up must still leave what Java made before the evaluation alone.
TEST_F(ServiceNativesTest, EvaluationOutsideAFunctionCallKeepsWhatJavaMadeBefore) {
  run("evaluateAtIdle", {"SV_Run(\"eval\"; \"1+2\")"});
  fmsim::clearDeadObjectReports();
  driver_.idle(0);
  EXPECT_TRUE(fmsim::deadObjectReports().empty())
      << fmsim::deadObjectReports().front().operation << " " << fmsim::deadObjectReports().front().reason;
  EXPECT_EQ(run("idleAnswer"), "before|3");
  expectNothingLeft();
}

TEST_F(ServiceNativesTest, FailingCurrentEnvironmentSkipsTheEvaluationButRecordsItsResult) {
  fmsim::setCurrentEnvironmentFailure(7);
  fmsim::clearTrace();
  fmsim::setTracing(true);
  EXPECT_EQ(run("evalCurrent", {"1+1"}), "7|true|true");
  std::vector<std::string> operations = fmsim::traceOperations();
  EXPECT_EQ(std::count(operations.begin(), operations.end(), "FM_ExprEnv_Evaluate"), 0);
  fmsim::setTracing(false);

  fmsim::setCurrentEnvironmentFailure(0);
  EXPECT_EQ(run("evalCurrent", {"1+1"}), "0|true|2");
  // Without a current-environment function nothing is called and Java hears a failure.
  EXPECT_EQ(run("evalCurrentWithoutCallback"), "-1");
  expectNothingLeft();
}

// FileMaker allows evaluations only on the thread it calls the plug-in on: the bridge logs the breach,
// the simulated host reports it as it reports a dead object, and the evaluation still goes on.
TEST_F(ServiceNativesTest, EvaluationOffFileMakersThreadIsLoggedReportedAndGoesOn) {
  EXPECT_EQ(run("evalOffThread"), "42");
  EXPECT_EQ(count(logFiles(), "evaluateExpression called from non-FileMaker thread: svc-test-thread"), 1u)
      << logFiles();
  std::vector<fmsim::DeadObjectReport> reports = fmsim::deadObjectReports();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].operation, "FM_ExprEnv_Evaluate");
  EXPECT_EQ(reports[0].reason, fmsim::kThreadRuleBreach);
  fmsim::clearDeadObjectReports();
  expectNothingLeft();
}

TEST_F(ServiceNativesTest, ScriptsStartWithTheirParameterOrNone) {
  driver_.setScriptHandler(
      [](const fmsim::ScriptStart& start) -> int16_t { return start.script == u"Missing" ? 104 : 0; });
  EXPECT_EQ(run("script", {"Sales", "Report", "Q4"}), "started");
  ASSERT_EQ(driver_.scriptStarts().size(), 1u);
  EXPECT_EQ(driver_.scriptStarts()[0].file, u"Sales");
  EXPECT_EQ(driver_.scriptStarts()[0].script, u"Report");
  EXPECT_EQ(driver_.scriptStarts()[0].control, 3);
  EXPECT_EQ(driver_.scriptStarts()[0].parameter, std::optional<std::u16string>(u"Q4"));

  EXPECT_EQ(run("script", {"Sales", "Report"}), "started");
  ASSERT_EQ(driver_.scriptStarts().size(), 2u);
  EXPECT_FALSE(driver_.scriptStarts()[1].parameter.has_value());

  EXPECT_EQ(run("script", {"Sales", "Missing"}), "!ScriptStartException:104:Sales:Missing");

  // Handle 0 passes no parameter; the function Java names is ignored for the current call's own.
  EXPECT_EQ(run("scriptRaw", {"Books", "Close", "1", "0", "12345"}), "0");
  ASSERT_EQ(driver_.scriptStarts().size(), 4u);
  EXPECT_EQ(driver_.scriptStarts()[3].script, u"Close");
  EXPECT_EQ(driver_.scriptStarts()[3].control, 1);
  EXPECT_FALSE(driver_.scriptStarts()[3].parameter.has_value());

  // On 32 bits only the low half of a handle is an address: a handle with only its high half set is
  // no parameter either. (On 64 bits it would be a stray address.)
  if constexpr (sizeof(void*) == 4) {
    EXPECT_EQ(run("scriptRaw", {"Books", "Open", "0", "4294967296", "0"}), "0");
    ASSERT_EQ(driver_.scriptStarts().size(), 5u);
    EXPECT_EQ(driver_.scriptStarts()[4].script, u"Open");
    EXPECT_FALSE(driver_.scriptStarts()[4].parameter.has_value());
  }
  expectNothingLeft();
}

TEST_F(ServiceNativesTest, NullStringsAndDataAreRefusedBeforeAnythingChanges) {
  EXPECT_EQ(run("text", {"keep"}), "keep");
  EXPECT_EQ(run("nulls"),
            "!NullPointerException;!NullPointerException;!NullPointerException;!NullPointerException");
  EXPECT_TRUE(driver_.scriptStarts().empty());
  EXPECT_EQ(run("get", {"13"}), "6b 00 65 00 65 00 70 00 00 00");
  expectNothingLeft();
}

TEST_F(ServiceNativesTest, ThreadWindowIsTheFrontWindowOfTheFirstCallThatFoundOne) {
  EXPECT_EQ(run("threadWindow"), "0");
  simdesktop::setNextWindowHandle(0x80000010u);
  simdesktop::WindowHandle fileMaker = makeWindow(u"FileMaker Pro - Sales");
  ASSERT_TRUE(simdesktop::setForegroundWindow(fileMaker));
  EXPECT_EQ(run("threadWindow"), "-2147483632");

  simdesktop::WindowHandle other = makeWindow(u"Other");
  ASSERT_TRUE(simdesktop::setForegroundWindow(other));
  EXPECT_EQ(run("threadWindow"), javaWindow(fileMaker));
  EXPECT_EQ(run("frontWindow"), javaWindow(other));
}

TEST_F(ServiceNativesTest, WindowNativesPassHandlesAndResultsThrough) {
  std::u16string longTitle(300, u't');
  longTitle[254] = u'e';
  simdesktop::WindowHandle top = makeWindow(longTitle);
  simdesktop::WindowHandle child = makeWindow(u"control", simdesktop::kWsChild | simdesktop::kWsVisible, top);
  simdesktop::WindowHandle loose = makeWindow(u"loose");
  const std::string threadId = std::to_string(kFileMakerThreadId);

  // Only the low 32 bits of a passed handle count.
  const int64_t highHalf = int64_t{0x12345678} << 32;
  EXPECT_EQ(run("title", {std::to_string(highHalf | top)}), fmsim::utf16ToUtf8(longTitle.substr(0, 255)));
  EXPECT_EQ(run("title", {"999999"}), "");

  EXPECT_EQ(run("windowFacts", {javaWindow(child)}), javaWindow(top) + "|" + threadId + "|true|" + threadId);
  EXPECT_EQ(run("windowFacts", {javaWindow(top)}), "0|" + threadId + "|false|" + threadId);
  EXPECT_EQ(run("windowFacts", {"999999"}), "0|0|false|" + threadId);

  run("enable", {javaWindow(top), "0"});
  EXPECT_FALSE(simdesktop::isWindowEnabled(top));
  run("enable", {javaWindow(top), "1"});
  EXPECT_TRUE(simdesktop::isWindowEnabled(top));

  EXPECT_EQ(run("foreground", {javaWindow(top)}), "true");
  EXPECT_EQ(simdesktop::getForegroundWindow(), top);
  EXPECT_EQ(run("foreground", {"999999"}), "false");

  EXPECT_EQ(run("setParent", {javaWindow(loose), javaWindow(top)}), "0");
  EXPECT_EQ(simdesktop::getParent(loose), top);
  EXPECT_EQ(run("setParent", {"999999", javaWindow(top)}), "0");
  const std::string log = moduleLog();
  EXPECT_EQ(count(log, "SetParent failed with error code"), 1u) << log;
  EXPECT_EQ(count(log, "SetParent failed with error code 1400\n"), 1u) << log;
}

TEST_F(ServiceNativesTest, ClipboardFormatsAndBytesCrossWhole) {
  EXPECT_EQ(run("formats"), "");
  EXPECT_EQ(run("get", {"13"}), "");

  EXPECT_EQ(run("text", {"hi"}), "hi");
  EXPECT_EQ(run("get", {"13"}), "68 00 69 00 00 00");
  EXPECT_EQ(run("formats").substr(0, 3), "13,");

  // One format per call: setting text in the ANSI page replaces the Unicode text.
  run("set", {"1", "41 42 00"});
  EXPECT_EQ(run("get", {"1"}), "41 42 00");
  const std::string formats = run("formats");
  EXPECT_EQ(formats.substr(0, 2), "1,") << formats;
  EXPECT_EQ(run("get", {"2"}), "");

  // A zero-length block is still a format on the clipboard, with no bytes.
  run("set", {"49161"});
  EXPECT_EQ(run("formats"), "49161");
  EXPECT_EQ(run("get", {"49161"}), "");
}

TEST_F(ServiceNativesTest, ClipboardFailuresLoseNoMemoryAndLeaveItClosed) {
  run("text", {"old"});
  simdesktop::failNextGlobalAllocs(1);
  run("set", {"1", "41 00"});
  // Emptied first, then nothing could be set.
  EXPECT_EQ(run("formats"), "");
  EXPECT_EQ(run("text", {"ok"}), "ok");

  // While another thread holds the clipboard open, nothing can be set and the block is freed again.
  std::mutex mutex;
  std::condition_variable changed;
  bool holding = false;
  bool release = false;
  std::thread holder([&] {
    std::unique_lock<std::mutex> lock(mutex);
    simdesktop::openClipboard(0);
    holding = true;
    changed.notify_all();
    changed.wait(lock, [&] { return release; });
    simdesktop::closeClipboard();
  });
  {
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [&] { return holding; });
  }
  const std::size_t blocks = simdesktop::liveGlobalMemoryCount();
  run("set", {"1", "41 00"});
  EXPECT_EQ(simdesktop::liveGlobalMemoryCount(), blocks);
  // The count is there, but enumeration needs the clipboard: the list is shorter, never undefined.
  EXPECT_EQ(run("formats"), "");
  {
    std::lock_guard<std::mutex> lock(mutex);
    release = true;
  }
  changed.notify_all();
  holder.join();
  EXPECT_EQ(run("get", {"13"}), "6f 00 6b 00 00 00");

  const std::string log = moduleLog();
  EXPECT_EQ(
      count(log, "Could not allocate memory for clipboard; exiting. Clipboard contents were NOT set.\n"), 1u)
      << log;
  EXPECT_EQ(count(log, "The clipboard refused format 1"), 1u) << log;
}

// FileMaker's window as fmsim would have it: what its procedure saw, and whether it was enabled then.
struct RecordingWindow {
  simdesktop::WindowHandle handle = 0;
  std::vector<std::pair<uint32_t, bool>> seen;

  void create() {
    simdesktop::WindowOptions options;
    options.title = u"FileMaker Pro - Untitled";
    options.procedure = [this](simdesktop::WindowHandle window, uint32_t message, uintptr_t,
                               intptr_t) -> intptr_t {
      seen.emplace_back(message, simdesktop::isWindowEnabled(window));
      return 0;
    };
    handle = simdesktop::createWindow(options);
  }
};

TEST_F(ServiceNativesTest, TaskRunsOnTheEventThreadWhileFileMakersThreadPumps) {
  RecordingWindow fileMaker;
  fileMaker.create();
  ASSERT_TRUE(simdesktop::setForegroundWindow(fileMaker.handle));
  EXPECT_EQ(run("threadWindow"), javaWindow(fileMaker.handle));
  simdesktop::WindowHandle other = makeWindow(u"Other");
  ASSERT_TRUE(simdesktop::setForegroundWindow(other));

  const std::string outcome = run("task", {"50"});
  ASSERT_EQ(outcome.substr(0, outcome.find('|')), "xplug-event-thread") << outcome;
  EXPECT_EQ(outcome.substr(outcome.find('|') + 1), std::to_string(fileMaker.seen.size()));
  ASSERT_FALSE(fileMaker.seen.empty());
  for (const auto& [message, enabled] : fileMaker.seen) EXPECT_FALSE(enabled) << message;
  EXPECT_TRUE(simdesktop::isWindowEnabled(fileMaker.handle));
  EXPECT_EQ(simdesktop::getForegroundWindow(), fileMaker.handle);

  // A task that throws ends the loop too; the window comes back before Java sees the exception.
  ASSERT_TRUE(simdesktop::setForegroundWindow(other));
  EXPECT_EQ(run("task", {"10", "throw"}), "!IllegalStateException");
  EXPECT_TRUE(simdesktop::isWindowEnabled(fileMaker.handle));
  EXPECT_EQ(simdesktop::getForegroundWindow(), fileMaker.handle);
  EXPECT_EQ(simdesktop::queuedMessageCount(kFileMakerThreadId), 0u);
  expectNothingLeft();
}

// FileMaker re-enters the plug-in while it pumps FileMaker's messages: the window procedure makes an idle
// call (Java evaluates there, making objects of its own) and a nested plug-in call, while the task's
// thread holds values it made outside any call. The re-entering calls delete only their own objects:
// the task's values survive them and go with the end of the call that ran the task.
TEST_F(ServiceNativesTest, ReenteringCallsWhileATaskRunsLeaveTheTasksValuesAlive) {
  simdesktop::WindowHandle fileMaker = 0;
  int reentered = 0;
  std::string nestedAnswer;
  simdesktop::WindowOptions options;
  options.title = u"FileMaker Pro - Untitled";
  options.procedure = [&](simdesktop::WindowHandle, uint32_t message, uintptr_t, intptr_t) -> intptr_t {
    if (message == simdesktop::kWmNull && reentered++ == 0) {
      driver_.idle(0);
      nestedAnswer = fmsim::evaluate("SV_Run(\"nested\")").text;
    }
    return 0;
  };
  fileMaker = simdesktop::createWindow(options);
  ASSERT_TRUE(simdesktop::setForegroundWindow(fileMaker));
  run("evaluateAtIdle", {"SV_Run(\"eval\"; \"6*7\")"});
  fmsim::clearDeadObjectReports();

  EXPECT_EQ(run("taskValues"), "made by the task and kept|made by the task");
  EXPECT_EQ(nestedAnswer, "nested");
  EXPECT_GE(reentered, 1);
  EXPECT_EQ(run("idleAnswer"), "before|42");
  expectNothingLeft();
  simdesktop::destroyWindow(fileMaker);
}

// The task reads FileMaker's window title and disables the window from the event thread; both wait for
// FileMaker's thread, which pumps while the task runs, so the task ends and the window comes back.
TEST_F(ServiceNativesTest, TaskUsingFileMakersWindowFromItsThreadEnds) {
  RecordingWindow fileMaker;
  fileMaker.create();
  ASSERT_TRUE(simdesktop::setForegroundWindow(fileMaker.handle));
  EXPECT_EQ(run("taskTouchesWindow"), "FileMaker Pro - Untitled");
  EXPECT_TRUE(simdesktop::isWindowEnabled(fileMaker.handle));
  EXPECT_EQ(simdesktop::sentMessageCount(kFileMakerThreadId), 0u);
  expectNothingLeft();
}

// No window was in front at any function call: no loop could serve FileMaker's window, so the task runs
// while FileMaker's thread just waits for it.
TEST_F(ServiceNativesTest, TaskWithoutFileMakersWindowRunsWithoutALoop) {
  EXPECT_EQ(run("task", {"10"}), "xplug-event-thread|0");
  EXPECT_EQ(
      count(logFiles(), "FileMaker's window 0 is not this thread's; the task runs without a message loop"),
      1u)
      << logFiles();
  expectNothingLeft();
}

TEST_F(ServiceNativesTest, LoopNativesFromJava) {
  RecordingWindow fileMaker;
  fileMaker.create();
  // A stop before the start: the loop handles exactly one message.
  run("stopLoop");
  simdesktop::postMessage(fileMaker.handle, simdesktop::kWmUser, 1, 0);
  simdesktop::postMessage(fileMaker.handle, simdesktop::kWmUser, 2, 0);
  run("startLoop", {javaWindow(fileMaker.handle)});
  EXPECT_EQ(fileMaker.seen.size(), 1u);
  EXPECT_EQ(simdesktop::queuedMessageCount(kFileMakerThreadId), 1u);
  run("pump", {javaWindow(fileMaker.handle)});
  EXPECT_EQ(fileMaker.seen.size(), 2u);

  // An invalid window ends a pump at once, with the error in the log.
  run("pump", {"999999"});
  const std::string log = moduleLog();
  EXPECT_EQ(count(log, "bRet is negative 1, an error or type 1400 occurred!\n"), 1u) << log;
}

}  // namespace
}  // namespace xplug::test
