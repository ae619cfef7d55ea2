// The call scope against the simulated host: what a release deletes, in which order, what an error in
// the middle leaves listed, nested calls, calls on several threads and objects made outside any call.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <new>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "fmsim/test_support.h"
#include "natives/values/call_scope.h"
#include "natives/values/host_objects.h"
#include "sim_trace.h"

namespace xplug {
namespace {

using fmsim::ObjectKind;
using ::testing::ElementsAre;

class CallScope : public ::testing::Test {
 protected:
  void SetUp() override {
    fmsim::resetTestSupport();
    baseline_ = fmsim::totalLiveCount();
  }
  void TearDown() override {
    fmsim::disarmFaults();
    EXPECT_TRUE(fmsim::deadObjectReports().empty()) << fmsim::deadObjectReports().front().operation;
  }

  static FmxText* newText() { return hostCall(FM_Text_Constructor1); }
  static FmxData* newData() { return hostCall(FM_Data_Constructor1); }
  static FmxBinaryData* newBinary() { return hostCall(FM_BinaryData_Constructor1); }
  static FmxCharacterStyle* newStyle() { return hostCall(FM_CharacterStyle_Constructor1); }

  static void expectListed(size_t texts, size_t binaryData, size_t data, size_t styles) {
    CallScopeCounts mark = callScopeCounts();
    EXPECT_EQ(mark.texts, texts);
    EXPECT_EQ(mark.binaryData, binaryData);
    EXPECT_EQ(mark.data, data);
    EXPECT_EQ(mark.characterStyles, styles);
  }

  static void startTracing() {
    fmsim::clearTrace();
    fmsim::setTracing(true);
  }

  int64_t baseline_ = 0;
};

TEST_F(CallScope, EmptyReleaseCallsNoHostFunction) {
  startTracing();
  releaseCallScope();
  CallScopeFrame frame;
  frame.release();
  EXPECT_TRUE(fmsim::traceEntries().empty());
}

TEST_F(CallScope, DeletesKindByKindLastRecordedFirst) {
  FmxText* a = newText();
  FmxCharacterStyle* c = newStyle();
  FmxData* d = newData();
  FmxText* b = newText();
  FmxBinaryData* e = newBinary();
  FmxData* f = newData();
  trackText(a);
  trackCharacterStyle(c);
  trackData(d);
  trackText(b);
  trackBinaryData(e);
  trackData(f);
  expectListed(2, 1, 2, 1);

  startTracing();
  releaseCallScope();
  EXPECT_THAT(test::describeTrace({{a, "A"}, {b, "B"}, {c, "C"}, {d, "D"}, {e, "E"}, {f, "F"}}),
              ElementsAre("FM_Text_Delete@B", "FM_Text_Delete@A", "FM_BinaryData_Delete@E",
                          "FM_Data_Delete@F", "FM_Data_Delete@D", "FM_CharacterStyle_Delete@C"));
  EXPECT_EQ(fmsim::totalLiveCount(), baseline_);
  expectListed(0, 0, 0, 0);
}

struct MidReleaseFault {
  int32_t code;
  bool outOfMemory;
};

void PrintTo(const MidReleaseFault& fault, std::ostream* out) {
  *out << "code " << fault.code;
}

class CallScopeFault : public CallScope, public ::testing::WithParamInterface<MidReleaseFault> {};

TEST_P(CallScopeFault, OnTheSecondTextLeavesTheRestListed) {
  CallScopeFrame call;
  FmxText* first = newText();
  FmxText* second = newText();
  FmxText* third = newText();
  FmxData* data = newData();
  FmxCharacterStyle* style = newStyle();
  trackText(first);
  trackText(second);
  trackText(third);
  trackData(data);
  trackCharacterStyle(style);

  ASSERT_TRUE(fmsim::armFault("FM_Text_Delete", 2, GetParam().code));
  startTracing();
  if (GetParam().outOfMemory) {
    EXPECT_THROW(call.release(), std::bad_alloc);
  } else {
    EXPECT_THROW(call.release(), HostError);
  }
  // The failed delete's entry is gone; the text recorded first and every other kind wait for the next
  // release.
  EXPECT_THAT(test::describeTrace({{first, "1"}, {second, "2"}, {third, "3"}}),
              ElementsAre("FM_Text_Delete@3", "FM_Text_Delete@2"));
  expectListed(1, 0, 1, 1);
  EXPECT_EQ(fmsim::liveCount(ObjectKind::Text), 2);

  startTracing();
  call.release();
  EXPECT_THAT(test::describeTrace({{first, "1"}, {data, "D"}, {style, "S"}}),
              ElementsAre("FM_Text_Delete@1", "FM_Data_Delete@D", "FM_CharacterStyle_Delete@S"));
  expectListed(0, 0, 0, 0);

  // The host kept the text whose delete failed; it is no longer the call scope's.
  EXPECT_EQ(fmsim::liveCount(ObjectKind::Text), 1);
  hostCall(FM_Text_Delete, second);
}

INSTANTIATE_TEST_SUITE_P(Codes, CallScopeFault,
                         ::testing::Values(MidReleaseFault{kHostErrorOutOfMemory, true},
                                           MidReleaseFault{kHostErrorFailure, false}));

TEST_F(CallScope, AbsentObjectsAreListedButNotHandedToTheHost) {
  FmxText* text = newText();
  trackText(nullptr);
  trackText(text);
  trackData(nullptr);
  expectListed(2, 0, 1, 0);

  startTracing();
  EXPECT_NO_THROW(releaseCallScope());
  EXPECT_THAT(test::describeTrace({{text, "T"}}), ElementsAre("FM_Text_Delete@T"));
  expectListed(0, 0, 0, 0);
}

TEST_F(CallScope, NestedCallReleasesOnlyWhatItRecorded) {
  FmxText* outerText = newText();
  FmxData* outerData = newData();
  auto outer = std::make_unique<CallScopeFrame>();
  trackText(outerText);
  trackData(outerData);
  {
    FmxText* innerText = newText();
    FmxCharacterStyle* innerStyle = newStyle();
    CallScopeFrame inner;
    trackText(innerText);
    trackCharacterStyle(innerStyle);
    expectListed(1, 0, 0, 1);

    startTracing();
    inner.release();
    EXPECT_THAT(test::describeTrace({{innerText, "IT"}, {innerStyle, "IS"}}),
                ElementsAre("FM_Text_Delete@IT", "FM_CharacterStyle_Delete@IS"));
  }
  // The outer call's objects are still usable after the inner call ended, and still its own.
  EXPECT_EQ(hostCall(FM_Text_GetSize, outerText), 0u);
  expectListed(1, 0, 1, 0);

  FmxBinaryData* later = newBinary();
  trackBinaryData(later);
  startTracing();
  outer->release();
  EXPECT_THAT(test::describeTrace({{outerText, "OT"}, {outerData, "OD"}, {later, "L"}}),
              ElementsAre("FM_Text_Delete@OT", "FM_BinaryData_Delete@L", "FM_Data_Delete@OD"));
  EXPECT_EQ(fmsim::totalLiveCount(), baseline_);
  outer.reset();
}

// FileMaker Server's threads: each call deletes its own objects when it ends, whatever the other
// threads' calls are doing, and ending first does not make a call delete another's.
TEST_F(CallScope, CallsOnOtherThreadsKeepTheirObjects) {
  auto first = std::make_unique<CallScopeFrame>();
  FmxText* firstText = newText();
  trackText(firstText);

  FmxText* secondText = nullptr;
  std::thread([&] {
    CallScopeFrame second;
    secondText = newText();
    trackText(secondText);
    startTracing();
    second.release();
  }).join();
  EXPECT_THAT(test::describeTrace({{secondText, "S"}}), ElementsAre("FM_Text_Delete@S"));
  EXPECT_EQ(hostCall(FM_Text_GetSize, firstText), 0u);

  // The other way round: the call that started first ends while another thread's call still runs.
  std::atomic<int> step{0};
  FmxData* lateData = nullptr;
  std::thread late([&] {
    CallScopeFrame frame;
    lateData = newData();
    trackData(lateData);
    step = 1;
    while (step != 2) std::this_thread::yield();
    EXPECT_EQ(hostCall(FM_Data_IsEmpty, lateData), 1);
    frame.release();
  });
  while (step != 1) std::this_thread::yield();
  startTracing();
  first->release();
  first.reset();
  EXPECT_THAT(test::describeTrace({{firstText, "F"}}), ElementsAre("FM_Text_Delete@F"));
  step = 2;
  late.join();
  EXPECT_EQ(fmsim::totalLiveCount(), baseline_);
}

// A Java worker thread (no call of its own, such as a task started by a plug-in function) makes objects
// while FileMaker's thread runs that function and re-enters the plug-in: the nested calls and idles
// must not delete them; the function's end does.
TEST_F(CallScope, UnownedObjectsWaitForTheCallsRunningAtTheirCreation) {
  auto task = std::make_unique<CallScopeFrame>();
  FmxText* taskText = nullptr;
  FmxData* taskData = nullptr;
  std::thread([&] {
    taskText = newText();
    taskData = newData();
    trackText(taskText);
    trackData(taskData);
  }).join();
  EXPECT_EQ(unownedCallScopeCounts().total(), 2u);

  startTracing();
  for (int nested = 0; nested < 2; ++nested) {
    CallScopeFrame reentered;
    trackText(newText());
    reentered.release();
  }
  EXPECT_EQ(fmsim::traceOperations(), (std::vector<std::string>{"FM_Text_Constructor1", "FM_Text_Delete",
                                                                "FM_Text_Constructor1", "FM_Text_Delete"}));
  EXPECT_EQ(unownedCallScopeCounts().total(), 2u);
  EXPECT_EQ(hostCall(FM_Text_GetSize, taskText), 0u);

  startTracing();
  task->release();
  task.reset();
  EXPECT_THAT(test::describeTrace({{taskText, "T"}, {taskData, "D"}}),
              ElementsAre("FM_Text_Delete@T", "FM_Data_Delete@D"));
  EXPECT_EQ(fmsim::totalLiveCount(), baseline_);
}

// Made while no call runs (during start-up, say): the next call's end deletes them, after its own.
TEST_F(CallScope, ObjectsMadeOutsideAnyCallGoWithTheNextCall) {
  FmxText* early = newText();
  trackText(early);
  CallScopeFrame call;
  FmxText* own = newText();
  trackText(own);
  startTracing();
  call.release();
  EXPECT_THAT(test::describeTrace({{early, "E"}, {own, "O"}}),
              ElementsAre("FM_Text_Delete@O", "FM_Text_Delete@E"));
  EXPECT_EQ(unownedCallScopeCounts().total(), 0u);
}

// A call whose release was cut short leaves its objects to the next call's end instead of leaking them.
TEST_F(CallScope, ACallEndingWithObjectsListedHandsThemOn) {
  FmxText* text = newText();
  {
    CallScopeFrame failed;
    trackText(text);
  }
  EXPECT_EQ(unownedCallScopeCounts().texts, 1u);
  CallScopeFrame next;
  startTracing();
  next.release();
  EXPECT_THAT(test::describeTrace({{text, "T"}}), ElementsAre("FM_Text_Delete@T"));
  EXPECT_EQ(fmsim::totalLiveCount(), baseline_);
}

// Java threads may record while the host thread releases: nothing recorded may be lost or deleted twice.
TEST_F(CallScope, RecordingFromAnotherThreadDuringReleasesLosesNothing) {
  constexpr int objectCount = 2000;
  std::atomic<bool> done{false};
  std::thread recorder([&] {
    for (int i = 0; i < objectCount; ++i) {
      trackText(hostCall(FM_Text_Constructor1));
      trackData(hostCall(FM_Data_Constructor1));
    }
    done = true;
  });
  while (!done) releaseCallScope();
  recorder.join();
  releaseCallScope();
  EXPECT_EQ(fmsim::totalLiveCount(), baseline_);
  expectListed(0, 0, 0, 0);
}

}  // namespace
}  // namespace xplug
