// The call scope against the simulated host: what a release deletes, in which order, what an error in
// the middle leaves listed, nested relays, and recording from another thread.
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
#include "natives/values/host_objects.h"
#include "relay/call_scope.h"
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
    CallScopeMark mark = markCallScope();
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
  releaseCallScopeTo(markCallScope());
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
    EXPECT_THROW(releaseCallScope(), std::bad_alloc);
  } else {
    EXPECT_THROW(releaseCallScope(), HostError);
  }
  // The failed delete's entry is gone; the text recorded first and every other kind wait for the next
  // release.
  EXPECT_THAT(test::describeTrace({{first, "1"}, {second, "2"}, {third, "3"}}),
              ElementsAre("FM_Text_Delete@3", "FM_Text_Delete@2"));
  expectListed(1, 0, 1, 1);
  EXPECT_EQ(fmsim::liveCount(ObjectKind::Text), 2);

  startTracing();
  releaseCallScope();
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

TEST_F(CallScope, NestedRelayReleasesOnlyWhatItRecorded) {
  FmxText* outerText = newText();
  FmxData* outerData = newData();
  auto outer = std::make_unique<CallScopeFrame>();
  EXPECT_TRUE(outer->outermost());
  trackText(outerText);
  trackData(outerData);
  {
    FmxText* innerText = newText();
    FmxCharacterStyle* innerStyle = newStyle();
    CallScopeFrame inner;
    EXPECT_FALSE(inner.outermost());
    trackText(innerText);
    trackCharacterStyle(innerStyle);

    startTracing();
    inner.release();
    EXPECT_THAT(test::describeTrace({{innerText, "IT"}, {innerStyle, "IS"}}),
                ElementsAre("FM_Text_Delete@IT", "FM_CharacterStyle_Delete@IS"));
    expectListed(1, 0, 1, 0);
  }
  // The outer relay's objects are still usable after the inner call ended.
  EXPECT_EQ(hostCall(FM_Text_GetSize, outerText), 0u);

  FmxBinaryData* later = newBinary();
  trackBinaryData(later);
  startTracing();
  outer->release();
  EXPECT_THAT(test::describeTrace({{outerText, "OT"}, {outerData, "OD"}, {later, "L"}}),
              ElementsAre("FM_Text_Delete@OT", "FM_BinaryData_Delete@L", "FM_Data_Delete@OD"));
  EXPECT_EQ(fmsim::totalLiveCount(), baseline_);

  // After the outermost relay ended, the next one is outermost again.
  outer.reset();
  CallScopeFrame next;
  EXPECT_TRUE(next.outermost());
}

TEST_F(CallScope, MarkPastTheListsReleasesNothing) {
  FmxText* text = newText();
  trackText(text);
  CallScopeMark mark = markCallScope();
  releaseCallScope();
  startTracing();
  releaseCallScopeTo(mark);
  EXPECT_TRUE(fmsim::traceEntries().empty());
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
