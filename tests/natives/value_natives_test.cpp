// The value natives of FMData, FMText, FMCharacterStyle and FMBinary, end to end: the test plug-in
// calls them from a function the host calls through the relay, and the test reads what reached the
// host. Each test case runs in a process of its own (one VM per process).
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "fmsim/values.h"
#include "nat_vm_fixture.h"

namespace xplug::test {
namespace {

using ValueNativesTest = NatVmTest;

TEST_F(ValueNativesTest, TextCrossesUnchangedBothWays) {
  {
    FunctionOutcome echo =
        run("echo", {fmsim::makeTextDataUtf8("h\xC3\xA9llo \xE2\x80\x93 w\xC3\xB6rld \xE2\x9C\x93")});
    EXPECT_EQ(echo.code, 0);
    EXPECT_EQ(echo.text(), "h\xC3\xA9llo \xE2\x80\x93 w\xC3\xB6rld \xE2\x9C\x93");
    EXPECT_EQ(fmsim::nativeType(echo.result), kFmxTypeText);
    // Reading keeps every unit, U+0000 included; the empty text reads as the empty string.
    FunctionOutcome units = run("units", {fmsim::makeTextData(std::u16string(u"a\0b", 3))});
    EXPECT_EQ(units.text(), "3:61 0 62");
    EXPECT_EQ(run("units", {fmsim::makeTextDataUtf8("")}).text(), "0:");
    // Writing and creating a text stop at U+0000, as the host takes zero-terminated characters.
    EXPECT_EQ(fmsim::textUnits(run("setZero").result), u"ab");
    EXPECT_EQ(run("createZero").text(), "2,0");
  }
  expectNothingLeft();
}

TEST_F(ValueNativesTest, NativeTypesAreTheHostsCodes) {
  struct Case {
    FmxData* value;
    const char* type;
  };
  std::vector<Case> cases = {
      {fmsim::makeTextDataUtf8("x"), "1"},
      {fmsim::makeNumberData("2.5"), "2"},
      {fmsim::makeDateData(2024, 2, 29), "3"},
      {fmsim::makeTimeData(1, 2, 3), "4"},
      {fmsim::makeTimeStampData(2024, 2, 29, 1, 2, 3), "5"},
      {fmsim::makeContainerData({{fmsim::fourCharCode("JPEG"), {1, 2}}}), "6"},
      {fmsim::makeBooleanData(true), "7"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(run("type", {c.value}).text(), c.type);
  }
  expectNothingLeft();
}

TEST_F(ValueNativesTest, NumbersAreReadAsTheHostConvertsThem) {
  EXPECT_EQ(run("long", {fmsim::makeNumberData("-5")}).text(), "-5");
  EXPECT_EQ(run("double", {fmsim::makeNumberData("12.5")}).text(), "12.5");
  // Beyond 32 bits the result is the host's 32-bit conversion, widened with its sign.
  long long wide = std::stoll(run("long", {fmsim::makeNumberData("4294967301")}).text());
  EXPECT_GE(wide, INT32_MIN);
  EXPECT_LE(wide, INT32_MAX);
  expectNothingLeft();
}

TEST_F(ValueNativesTest, DateTimesCountTheHostsSeconds) {
  constexpr long long kUnixEpoch = 62135683200LL;
  EXPECT_EQ(run("dateTime", {fmsim::makeEmptyData()}).text(), "0");
  EXPECT_EQ(run("dateTime", {fmsim::makeTimeStampData(1970, 1, 1, 0, 0, 0)}).text(),
            std::to_string(kUnixEpoch));
  EXPECT_EQ(run("dateTime", {fmsim::makeTimeStampData(1970, 1, 2, 1, 0, 1)}).text(),
            std::to_string(kUnixEpoch + 86400 + 3601));
  EXPECT_EQ(run("time", {fmsim::makeTimeData(1, 2, 3)}).text(), "3723");

  {
    // Midnight of a day is stored as a timestamp, not as a date.
    FunctionOutcome midnight = run(
        "setDate", {fmsim::makeNumberData("2024"), fmsim::makeNumberData("2"), fmsim::makeNumberData("29"),
                    fmsim::makeNumberData("0"), fmsim::makeNumberData("0"), fmsim::makeNumberData("0")});
    EXPECT_EQ(midnight.code, 0);
    EXPECT_EQ(fmsim::nativeType(midnight.result), kFmxTypeTimeStamp);
    EXPECT_EQ(midnight.text(), "2/29/2024 12:00:00 AM");
    // Out-of-range fields reach the host's normalising setters unchanged.
    FunctionOutcome rolled = run(
        "setDate", {fmsim::makeNumberData("2023"), fmsim::makeNumberData("13"), fmsim::makeNumberData("1"),
                    fmsim::makeNumberData("25"), fmsim::makeNumberData("0"), fmsim::makeNumberData("0")});
    EXPECT_EQ(rolled.text(), "1/2/2024 1:00:00 AM");
    FunctionOutcome time = run("setTime", {fmsim::makeNumberData("3723")});
    EXPECT_EQ(fmsim::nativeType(time.result), kFmxTypeTime);
    EXPECT_EQ(time.text(), "1:02:03");
  }
  // Day 1 is 0001-01-01, so its tenth second is second 86410 of the host's count.
  EXPECT_EQ(run("dateValue", {fmsim::makeTimeStampData(1, 1, 1, 0, 0, 10)}).text(), "86410");
  expectNothingLeft();
}

TEST_F(ValueNativesTest, EmptyValuesAndNewData) {
  EXPECT_EQ(run("empty", {fmsim::makeEmptyData()}).text(), "true,true");
  EXPECT_EQ(run("empty", {fmsim::makeTextDataUtf8("x")}).text(), "false,true");
  expectNothingLeft();
}

TEST_F(ValueNativesTest, TextsAreBuiltAndReadInRanges) {
  // Elements 10 to 14, nothing for a count of 0, then the last element.
  EXPECT_EQ(run("appendChars").text(), "ABCDEJ");
  // Appending a text to itself appends it once: the size is read before the append.
  EXPECT_EQ(run("appendText").text(), "abcdabcd");
  // Text units 3 and 4 into elements 1 and 2; the others stay as they were.
  EXPECT_EQ(run("getChars").text(), "w34z");
  // The value's own text is read in place.
  EXPECT_EQ(run("view", {fmsim::makeTextDataUtf8("view me")}).text(), "view me");
  expectNothingLeft();
}

TEST_F(ValueNativesTest, StylesReachTheTextWithTheirChannelsAndRanges) {
  {
    FunctionOutcome styled = run("styleRange");
    ASSERT_EQ(styled.code, 0);
    EXPECT_EQ(fmsim::textUnits(styled.result), u"abcdef");
    std::vector<fmsim::CharStyle> styles = fmsim::textStyles(styled.result);
    ASSERT_EQ(styles.size(), 6u);
    // Red 300 keeps its low 8 bits (44), green -1 becomes 255; the count -1 runs to the text's end.
    fmsim::CharStyle expected{3, 256, 20, 44, 255, 7, 128};
    EXPECT_EQ(styles[0], styles[1]);
    EXPECT_NE(styles[1], expected);
    for (std::size_t i = 2; i < styles.size(); ++i) EXPECT_EQ(styles[i], expected) << "unit " << i;
  }
  // Faces, fonts and sizes of 32768 and more come back positive; each read makes a new style.
  EXPECT_EQ(run("styleRead").text(), "40000,65535,33000,true,0,0");
  expectNothingLeft();
}

TEST_F(ValueNativesTest, ContainerStreamsAreAddedReadAndRemoved) {
  {
    FunctionOutcome listed = run("binary");
    EXPECT_EQ(listed.code, 0);
    EXPECT_EQ(listed.text(),
              "0/0 4/265 JPEG=256 \xC3\xA9"
              "AB=2 EMPT=0 UTXT=7 data 100 101 102 103 104 105 106 107 108 109 -1 -1 "
              "text=abc after=3 copy=0/3,true");

    FunctionOutcome stored = run("binaryStore");
    EXPECT_EQ(fmsim::nativeType(stored.result), kFmxTypeBinary);
    std::vector<fmsim::Stream> streams = fmsim::containerStreams(stored.result);
    ASSERT_EQ(streams.size(), 3u);
    EXPECT_EQ(streams[0].type, fmsim::fourCharCode("JPEG"));
    EXPECT_EQ(streams[0].bytes.size(), 256u);
    EXPECT_EQ(streams[0].bytes[200], 200);
    // A byte of 128 or more packs as its unsigned value into its own position.
    EXPECT_EQ(streams[1].type, 0xC3A94142u);
    EXPECT_EQ(streams[1].bytes, (std::vector<uint8_t>{1, 2}));
    EXPECT_EQ(streams[2].type, fmsim::fourCharCode("UTXT"));
  }
  // A zero byte ends the type's string early.
  FmxData* container =
      fmsim::makeContainerData({{fmsim::fourCharCode("JPEG"), {1}}, {0x41004243u, {2}}, {0xC3A94142u, {3}}});
  EXPECT_EQ(run("types", {container}).text(),
            "4:JPEG,1:A,3:\xC3\xA9"
            "AB");
  expectNothingLeft();
}

TEST_F(ValueNativesTest, RangesOutsideTheirArraysRaiseTheIndexExceptionAndTouchNothing) {
  const std::string outOfBounds = "ArrayIndexOutOfBoundsException";
  std::string expected;
  for (const std::string& outcome :
       {outOfBounds, outOfBounds, outOfBounds, outOfBounds, outOfBounds, std::string("ok"), outOfBounds,
        outOfBounds, outOfBounds, outOfBounds, outOfBounds, std::string("HostException")}) {
    expected += (expected.empty() ? "" : ",") + outcome;
  }
  // The arrays keep their contents, the text its length and the binary data its one stream.
  EXPECT_EQ(run("ranges").text(), expected + " abcd 99 10/1");
  expectNothingLeft();
}

TEST_F(ValueNativesTest, NullStringsAndArraysRaiseNullPointerException) {
  std::string expected;
  for (int i = 0; i < 11; ++i) expected += (i == 0 ? "" : ",") + std::string("NullPointerException");
  EXPECT_EQ(run("nulls").text(), expected + " 0");
  expectNothingLeft();
}

TEST_F(ValueNativesTest, RegistrationPassesTheFunctionOnAsTheBridgeGaveIt) {
  const fmsim::RegisteredFunction* runFunction = findFunction(u"NT_Run");
  ASSERT_NE(runFunction, nullptr);
  EXPECT_EQ(runFunction->pluginId, fmsim::fourCharCode("NTST"));
  EXPECT_EQ(runFunction->prototype, u"NT_Run( scenario ; ... )");
  EXPECT_EQ(runFunction->minArgs, 1);
  EXPECT_EQ(runFunction->maxArgs, -1);
  const fmsim::RegisteredFunction* bare = findFunction(u"NT_Bare");
  ASSERT_NE(bare, nullptr);
  EXPECT_EQ(bare->prototype, u"NT_Bare");
  EXPECT_EQ(bare->maxArgs, -1);

  EXPECT_EQ(run("register").text(), "registered ok");
  // The plug-in id's characters in order, the name up to its U+0000, counts and flags unchanged, and a
  // second registration of the same id passed on as well.
  const fmsim::RegisteredFunction* zero = findFunction(u"NT_Zero");
  ASSERT_NE(zero, nullptr);
  EXPECT_EQ(zero->pluginId, fmsim::fourCharCode("ABCD"));
  EXPECT_EQ(zero->functionId, 77);
  EXPECT_EQ(zero->prototype, u"NT_Zero");
  EXPECT_EQ(zero->minArgs, 2);
  EXPECT_EQ(zero->maxArgs, -1);
  EXPECT_EQ(zero->flags, 0x5Au);
  const fmsim::RegisteredFunction* twice = findFunction(u"NT_Twice");
  ASSERT_NE(twice, nullptr);
  EXPECT_EQ(twice->functionId, 77);
  EXPECT_EQ(findFunction(u"NT_Refused"), nullptr);
  EXPECT_EQ(fmsim::liveCount(fmsim::ObjectKind::QuadChar), 0);
  expectNothingLeft();
}

// True when `part` occurs in `whole` as one unbroken run.
bool containsRun(const std::vector<std::string>& whole, const std::vector<std::string>& part) {
  return std::search(whole.begin(), whole.end(), part.begin(), part.end()) != whole.end();
}

TEST_F(ValueNativesTest, NativesCallTheHostInTheirOrder) {
  struct Case {
    const char* scenario;
    std::vector<std::string> run;
    const char* number = nullptr;  // the scenario's parameter, when it takes one
  };
  const std::vector<Case> cases = {
      {"setTime",
       {"FM_FixPt_Constructor1", "FM_FixPt_AssignInt", "FM_DateTime_Constructor1",
        "FM_DateTime_SetSecsSinceMidnight", "FM_Data_SetAsTime", "FM_DateTime_Delete", "FM_FixPt_Delete"},
       "3723"},
      {"dateTime",
       {"FM_Data_IsEmpty", "FM_FixPt_Constructor1", "FM_Data_GetAsTimeStamp", "FM_DateTime_GetDaysSinceEpoch",
        "FM_Data_GetAsTimeStamp", "FM_DateTime_GetSecsSinceMidnight", "FM_FixPt_AsLong", "FM_FixPt_Delete"},
       "1"},
      {"setZero",
       {"FM_Text_Constructor1", "FM_Text_AssignUnicode", "FM_Data_GetLocale", "FM_Data_SetAsText",
        "FM_Text_Delete"}},
      {"register",
       {"FM_QuadChar_Constructor2", "FM_Text_Constructor1", "FM_Text_AssignUnicode", "FM_Text_Constructor1",
        "FM_Text_AssignUnicode", "FM_ExprEnv_RegisterExternalFunction", "FM_Text_Delete", "FM_Text_Delete",
        "FM_QuadChar_Delete"}},
      {"binary",
       {"FM_QuadChar_Constructor1", "FM_QuadChar_SetMacType", "FM_BinaryData_Add", "FM_QuadChar_Delete"}},
      {"binary",
       {"FM_QuadChar_Constructor1", "FM_BinaryData_GetType", "FM_QuadChar_GetMacType", "FM_QuadChar_Delete"}},
      {"binary", {"FM_BinaryData_GetSize", "FM_BinaryData_GetData"}},
      {"binary", {"FM_Data_GetBinaryData", "FM_BinaryData_Constructor2"}},
      {"styleRange",
       {"FM_Color_Constructor1", "FM_Color_SetRed", "FM_Color_SetGreen", "FM_Color_SetBlue",
        "FM_Color_SetAlpha", "FM_CharacterStyle_SetColor", "FM_Color_Delete"}},
      {"appendChars",
       {"FM_Text_Constructor1", "FM_Text_AssignUnicodeWithLength", "FM_Text_AppendText", "FM_Text_Delete"}},
      {"appendText", {"FM_Text_GetSize", "FM_Text_AppendText"}},
      {"styleRead", {"FM_CharacterStyle_Constructor1", "FM_Text_GetStyle"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.scenario);
    fmsim::clearTrace();
    fmsim::setTracing(true);
    {
      FunctionOutcome outcome =
          c.number != nullptr ? run(c.scenario, {fmsim::makeNumberData(c.number)}) : run(c.scenario);
      EXPECT_EQ(outcome.text().rfind('!', 0), std::string::npos) << outcome.text();
    }
    fmsim::setTracing(false);
    std::vector<std::string> operations = fmsim::traceOperations();
    // The relay reads the parameter vector before anything else happens.
    ASSERT_GE(operations.size(), 2u);
    EXPECT_EQ(operations[0], "FM_DataVect_Size");
    EXPECT_EQ(operations[1], "FM_DataVect_At");
    EXPECT_TRUE(containsRun(operations, c.run));
  }
  expectNothingLeft();
}

}  // namespace
}  // namespace xplug::test
