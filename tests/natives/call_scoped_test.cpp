// Creation of call-scoped objects without a VM: a creation the host reports as failed leaves nothing
// listed and nothing alive, and raises what the native edge turns into the Java exception; the color
// native reads nothing from the host.
#include <gtest/gtest.h>
#include <jni.h>

#include <new>

#include "fmsim/test_support.h"
#include "natives/values/call_scope.h"
#include "natives/values/call_scoped_objects.h"
#include "natives/values/host_objects.h"

extern "C" jint JNICALL Java_com_kelvo_xplug_types_FMCharacterStyle_jni_1getColor(JNIEnv*, jobject, jlong);

namespace xplug {
namespace {

class CallScopedCreation : public ::testing::Test {
 protected:
  void SetUp() override {
    fmsim::resetTestSupport();
    baseline_ = fmsim::totalLiveCount();
  }
  void TearDown() override {
    releaseCallScope();
    fmsim::disarmFaults();
    EXPECT_EQ(fmsim::totalLiveCount(), baseline_);
    EXPECT_TRUE(fmsim::deadObjectReports().empty());
  }

  static std::size_t listed() { return callScopeCounts().total(); }

  int64_t baseline_ = 0;
};

TEST_F(CallScopedCreation, ANewObjectIsListedBeforeItIsReturned) {
  FmxText* text = createCallScopedText();
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(callScopeCounts().texts, 1u);
  EXPECT_EQ(fmsim::liveCount(fmsim::ObjectKind::Text), 1);
  FmxBinaryData* binary = createCallScopedBinaryData();
  EXPECT_NE(createCallScopedBinaryCopy(binary), nullptr);
  EXPECT_EQ(callScopeCounts().binaryData, 2u);
}

TEST_F(CallScopedCreation, AFailedCreationIsNeitherListedNorReturned) {
  struct Case {
    const char* operation;
    int32_t code;
    void (*create)();
  };
  const Case cases[] = {
      {"FM_Data_Constructor1", kHostErrorOutOfMemory, [] { createCallScopedData(); }},
      {"FM_Text_Constructor1", kHostErrorFailure, [] { createCallScopedText(); }},
      {"FM_CharacterStyle_Constructor1", kHostErrorOutOfMemory, [] { createCallScopedCharacterStyle(); }},
      {"FM_BinaryData_Constructor1", kHostErrorFailure, [] { createCallScopedBinaryData(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.operation);
    ASSERT_TRUE(fmsim::armFault(c.operation, 1, c.code));
    if (c.code == kHostErrorOutOfMemory) {
      EXPECT_THROW(c.create(), std::bad_alloc);
    } else {
      EXPECT_THROW(c.create(), HostError);
    }
    EXPECT_EQ(listed(), 0u);
    EXPECT_EQ(fmsim::totalLiveCount(), baseline_);
  }
}

TEST_F(CallScopedCreation, ACopyOfNoBinaryDataIsAHostFailure) {
  // The host reports the dead source itself; no object of the copy is listed.
  EXPECT_THROW(createCallScopedBinaryCopy(nullptr), HostError);
  EXPECT_EQ(listed(), 0u);
  fmsim::clearDeadObjectReports();
}

TEST(CharacterStyleColor, IsNeverReadFromTheHost) {
  fmsim::resetTestSupport();
  fmsim::setTracing(true);
  EXPECT_EQ(Java_com_kelvo_xplug_types_FMCharacterStyle_jni_1getColor(nullptr, nullptr, 0x1234), 0);
  EXPECT_TRUE(fmsim::traceEntries().empty());
  fmsim::setTracing(false);
}

}  // namespace
}  // namespace xplug
