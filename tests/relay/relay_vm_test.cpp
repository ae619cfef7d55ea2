// The function relay end to end: FileMaker's calculation engine calls the test plug-in's functions
// through the relay of a packed module. Covers the parameters Java receives, the error code FileMaker
// gets, the release of every object a call made (in order, and only the inner call's objects when a
// call is nested), threads that were not attached, and every host failure on the way, injected into
// each FM_ operation the natives and the relay use. Each test case runs in a process of its own.
#include <gtest/gtest.h>
#include <jni.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "fmsim/calculation.h"
#include "fmsim/test_support.h"
#include "nat_vm_fixture.h"

namespace xplug::test {
namespace {

using RelayTest = NatVmTest;

// The VM the module created in this process.
JavaVM* createdVm() {
  return xplug::testing::createdJavaVm(XPLUG_TEST_JAVA_HOME);
}

std::vector<std::string> wordsOf(const std::string& text) {
  std::vector<std::string> words;
  std::istringstream in(text);
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

TEST_F(RelayTest, ParametersReachJavaInOrderAndTheCallsObjectsAreDeleted) {
  fmsim::EvaluationResult none = fmsim::evaluate("NT_Run(\"params\")");
  EXPECT_EQ(none.code, 0);
  EXPECT_EQ(none.text, "0");
  fmsim::EvaluationResult three = fmsim::evaluate("NT_Run(\"params\"; \"a\"; 2; \"c\")");
  EXPECT_EQ(three.code, 0);
  EXPECT_EQ(three.text, "3|a|2|c");
  EXPECT_EQ(fmsim::evaluate("NT_Run(\"make\")").text, "made");
  expectNothingLeft();
}

TEST_F(RelayTest, TheFunctionsErrorCodeReachesFileMakerAfterTheRelease) {
  fmsim::EvaluationResult failed = fmsim::evaluate("NT_Run(\"fail\"; 7)");
  EXPECT_EQ(failed.code, 7);
  expectNothingLeft();
}

TEST_F(RelayTest, JavaGetsTheHostsScriptStartCallbackOfTheLatestHostCall) {
  const ExternCallRecord& record = driver_.call(kFmxSelectorIdle, 0);
  ASSERT_NE(record.cStartScript, nullptr);
  char expected[32];
  std::snprintf(expected, sizeof(expected), "%llx",
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(record.cStartScript)));
  EXPECT_EQ(fmsim::evaluate("NT_Run(\"startScript\")").text, expected);
  expectNothingLeft();
}

// Java prints each handle in hex; the host's trace shows the address it stands for, which on a 32-bit
// build is the handle's low half (a high address reaches Java sign-extended).
std::string addressOfHandle(const std::string& hex) {
  const uint64_t handle = std::stoull(hex, nullptr, 16);
  char text[32];
  std::snprintf(text, sizeof(text), "0x%llx",
                static_cast<unsigned long long>(static_cast<uintptr_t>(handle)));
  return text;
}

TEST_F(RelayTest, ReleaseDeletesTextsThenBinaryDataThenDataThenStylesLastMadeFirst) {
  std::vector<std::string> made;
  {
    fmsim::setTracing(true);
    FunctionOutcome outcome = run("order");
    fmsim::setTracing(false);
    ASSERT_EQ(outcome.code, 0);
    for (const std::string& handle : wordsOf(outcome.text())) made.push_back(addressOfHandle(handle));
  }
  ASSERT_EQ(made.size(), 5u);
  const std::string& textA = made[0];
  const std::string& textB = made[1];
  const std::string& style = made[2];
  const std::string& data = made[3];
  const std::string& binary = made[4];

  std::vector<std::string> deletes;
  for (const fmsim::TraceEntry& entry : fmsim::traceEntries()) {
    for (const std::string* object : {&textA, &textB, &style, &data, &binary}) {
      if (entry.operation.find("_Delete") != std::string::npos &&
          entry.operands.find(*object) != std::string::npos) {
        deletes.push_back(entry.operation + "@" + *object);
      }
    }
  }
  EXPECT_EQ(deletes, (std::vector<std::string>{"FM_Text_Delete@" + textB, "FM_Text_Delete@" + textA,
                                               "FM_BinaryData_Delete@" + binary, "FM_Data_Delete@" + data,
                                               "FM_CharacterStyle_Delete@" + style}));
  expectNothingLeft();
}

TEST_F(RelayTest, ANestedCallDeletesOnlyItsOwnObjects) {
  // The outer call reads its text, style and binary data after the inner call returned.
  fmsim::EvaluationResult once = fmsim::evaluate("NT_Run(\"nest\"; 1)");
  EXPECT_EQ(once.code, 0);
  EXPECT_EQ(once.text, "outer,512,1,0,made");
  fmsim::EvaluationResult deep = fmsim::evaluate("NT_Run(\"nest\"; 3)");
  EXPECT_EQ(deep.code, 0);
  EXPECT_EQ(deep.text, "outer,512,1,0,outer,512,1,0,outer,512,1,0,made");
  expectNothingLeft();
}

TEST_F(RelayTest, AThreadThatWasNotAttachedIsAttachedForTheCallOnly) {
  JavaVM* vm = createdVm();
  ASSERT_NE(vm, nullptr);
  jint before = JNI_OK;
  jint after = JNI_OK;
  fmsim::EvaluationResult result;
  std::thread other([&] {
    void* env = nullptr;
    before = vm->GetEnv(&env, JNI_VERSION_1_4);
    result = fmsim::evaluate("NT_Run(\"params\"; \"x\")");
    after = vm->GetEnv(&env, JNI_VERSION_1_4);
  });
  other.join();
  EXPECT_EQ(before, JNI_EDETACHED);
  EXPECT_EQ(result.text, "1|x");
  EXPECT_EQ(after, JNI_EDETACHED);
  // FileMaker's own thread was attached by start-up and stays so.
  EXPECT_EQ(fmsim::evaluate("NT_Run(\"params\")").text, "0");
  void* env = nullptr;
  EXPECT_EQ(vm->GetEnv(&env, JNI_VERSION_1_4), JNI_OK);
  expectNothingLeft();
}

// Every FM_ operation that the natives and the relay call. The "all" scenario calls each of them; an
// injected failure of any must end as a Java exception the function sees (and reports in its result)
// or as a non-zero code for FileMaker, with every object of the call deleted.
const char* const kOperations[] = {
    "FM_QuadChar_Constructor1",
    "FM_QuadChar_Constructor2",
    "FM_QuadChar_GetMacType",
    "FM_QuadChar_SetMacType",
    "FM_QuadChar_Delete",
    "FM_FixPt_Constructor1",
    "FM_FixPt_AssignInt",
    "FM_FixPt_AsLong",
    "FM_FixPt_AsFloat",
    "FM_FixPt_Delete",
    "FM_Text_Constructor1",
    "FM_Text_AssignUnicode",
    "FM_Text_AssignUnicodeWithLength",
    "FM_Text_AppendText",
    "FM_Text_GetSize",
    "FM_Text_GetUnicode",
    "FM_Text_GetStyle",
    "FM_Text_GetDefaultStyle",
    "FM_Text_SetStyle",
    "FM_Text_Delete",
    "FM_Color_Constructor1",
    "FM_Color_SetRed",
    "FM_Color_SetGreen",
    "FM_Color_SetBlue",
    "FM_Color_SetAlpha",
    "FM_Color_Delete",
    "FM_CharacterStyle_Constructor1",
    "FM_CharacterStyle_SetFont",
    "FM_CharacterStyle_SetFace",
    "FM_CharacterStyle_SetSize",
    "FM_CharacterStyle_GetFont",
    "FM_CharacterStyle_GetFace",
    "FM_CharacterStyle_GetSize",
    "FM_CharacterStyle_SetColor",
    "FM_CharacterStyle_Delete",
    "FM_Data_Constructor1",
    "FM_Data_IsEmpty",
    "FM_Data_GetAsNumber",
    "FM_Data_GetAsDate",
    "FM_Data_GetAsTimeStamp",
    "FM_Data_GetAsText",
    "FM_Data_GetBinaryData",
    "FM_Data_GetLocale",
    "FM_Data_GetNativeType",
    "FM_Data_SetAsText",
    "FM_Data_SetAsTime",
    "FM_Data_SetAsTimeStamp",
    "FM_Data_SetBinaryData",
    "FM_Data_Delete",
    "FM_DataVect_Size",
    "FM_DataVect_At",
    "FM_ExprEnv_RegisterExternalFunction",
    "FM_DateTime_Constructor1",
    "FM_DateTime_SetNormalizedDate2",
    "FM_DateTime_SetNormalizedTime1",
    "FM_DateTime_SetSecsSinceMidnight",
    "FM_DateTime_GetDaysSinceEpoch",
    "FM_DateTime_GetSecsSinceMidnight",
    "FM_DateTime_GetSecondsSinceEpoch",
    "FM_DateTime_Delete",
    "FM_BinaryData_Constructor1",
    "FM_BinaryData_Constructor2",
    "FM_BinaryData_GetCount",
    "FM_BinaryData_GetTotalSize",
    "FM_BinaryData_GetType",
    "FM_BinaryData_GetSize",
    "FM_BinaryData_GetData",
    "FM_BinaryData_Add",
    "FM_BinaryData_Remove",
    "FM_BinaryData_RemoveAll",
    "FM_BinaryData_Delete",
};

TEST_F(RelayTest, EveryInjectedHostFailureEndsAsAJavaExceptionOrAnErrorCode) {
  ASSERT_EQ(fmsim::evaluate("NT_Run(\"all\"; 5)").text, "done");
  expectNothingLeft();

  for (const char* operation : kOperations) {
    for (int32_t code : {kHostErrorOutOfMemory, kHostErrorFailure}) {
      SCOPED_TRACE(std::string(operation) + " code " + std::to_string(code));
      fmsim::resetTestSupport();
      ASSERT_TRUE(fmsim::armFault(operation, 1, code));
      fmsim::EvaluationResult result = fmsim::evaluate("NT_Run(\"all\"; 5)");
      EXPECT_EQ(fmsim::firedFaultCount(), 1u) << "the scenario does not reach " << operation;
      if (result.code == 0) {
        EXPECT_EQ(result.text, code == kHostErrorOutOfMemory ? "!OutOfMemoryError" : "!HostException:2");
      }
      // A delete the host refused leaves that one object; every other object of the call is gone.
      bool refusedDelete = std::string(operation).ends_with("_Delete");
      EXPECT_EQ(fmsim::totalLiveCount(), baseline_ + (refusedDelete ? 1 : 0));
      EXPECT_TRUE(fmsim::deadObjectReports().empty());
      fmsim::disarmFaults();
      baseline_ = fmsim::totalLiveCount();
    }
  }
  // Failures in the relay itself and in the release reach FileMaker as a code.
  fmsim::resetTestSupport();
  ASSERT_TRUE(fmsim::armFault("FM_DataVect_At", 1, kHostErrorFailure));
  EXPECT_NE(fmsim::evaluate("NT_Run(\"all\"; 5)").code, 0);
  ASSERT_TRUE(fmsim::armFault("FM_CharacterStyle_Delete", 1, kHostErrorOutOfMemory));
  EXPECT_NE(fmsim::evaluate("NT_Run(\"make\")").code, 0);
  fmsim::disarmFaults();
  // The objects whose delete the host refused stay; they are the faults' doing, not the module's.
  EXPECT_EQ(fmsim::takeObjectsLeftAlive(),
            "2 QuadChar, 2 FixPt, 2 Text, 2 Color, 3 CharacterStyle, 2 Data, 2 DateTime, 2 BinaryData");
  finishCapture();
  EXPECT_NE(stdout_.find("The host reported error 2 passing the parameters of function 0 to Java"),
            std::string::npos);
  EXPECT_NE(stdout_.find("The host ran out of memory deleting an object of function 0"), std::string::npos);
}

}  // namespace
}  // namespace xplug::test
