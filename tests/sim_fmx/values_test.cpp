// The host's value model through the FM_ operations: text ranges and styles, container streams, date-time
// normalisation and host seconds, fixed-point conversions and the views of data values.
#include <array>

#include "fixture.h"

namespace {

using fmsim::CharStyle;

class ValuesTest : public HostTest {};

TEST_F(ValuesTest, TextRangesAreCheckedAndCountAllOnesMeansToTheEnd) {
  struct Case {
    uint32_t position;
    uint32_t count;
    int32_t code;
    std::u16string expected;
  };
  const Case cases[] = {
      {0, 5, 0, u"Hello"},      {1, 0xFFFFFFFFu, 0, u"ello"},
      {5, 0, 0, u""},           {5, 0xFFFFFFFFu, 0, u""},
      {6, 0, 2, u""},           {3, 3, 2, u""},
      {0xFFFFFFFFu, 1, 2, u""},
  };
  FmxText* hello = text(u"Hello");
  for (const Case& c : cases) {
    std::array<uint16_t, 8> buffer;
    buffer.fill(0x7777);
    FM_Text_GetUnicode(hello, buffer.data(), c.position, c.count, &fresh());
    EXPECT_EQ(code(), c.code) << c.position << "," << c.count;
    size_t written = c.code == 0 ? c.expected.size() : 0;
    EXPECT_EQ(std::u16string(buffer.begin(), buffer.begin() + written), c.expected);
    EXPECT_EQ(buffer[written], 0x7777) << "nothing written beyond the range";
  }
  FM_Text_Delete(hello, &fresh());
}

TEST_F(ValuesTest, AssignUnicodeStopsAtTheFirstNulAndRefusesNull) {
  FmxText* t = FM_Text_Constructor1(&fresh());
  const uint16_t input[] = {'a', 'b', 0, 'c', 0};
  FM_Text_AssignUnicode(t, input, &fresh());
  EXPECT_EQ(units(t), u"ab");
  FM_Text_AssignUnicode(t, nullptr, &fresh());
  EXPECT_EQ(code(), kHostErrorFailure);
  EXPECT_EQ(units(t), u"ab");
  FM_Text_Delete(t, &fresh());
}

TEST_F(ValuesTest, AppendCopiesUnitsWithTheirStylesAndMayAppendATextToItself) {
  FmxText* target = text(u"ab");
  FmxText* source = text(u"XYZ");
  FmxCharacterStyle* bold = FM_CharacterStyle_Constructor1(&fresh());
  FM_CharacterStyle_SetFace(bold, 256, &fresh());
  FM_Text_SetStyle(source, bold, 1, 0xFFFFFFFFu, &fresh());

  FM_Text_AppendText(target, source, 1, 0xFFFFFFFFu, &fresh());
  EXPECT_EQ(code(), 0);
  EXPECT_EQ(units(target), u"abYZ");
  std::vector<CharStyle> styles = fmsim::textStyles(target);
  EXPECT_EQ(styles[1].face, 0);
  EXPECT_EQ(styles[2].face, 256);
  EXPECT_EQ(styles[3].face, 256);

  FM_Text_AppendText(target, source, 2, 2, &fresh());
  EXPECT_EQ(code(), kHostErrorFailure) << "range beyond the source";
  FM_Text_AppendText(target, target, 0, 0xFFFFFFFFu, &fresh());
  EXPECT_EQ(units(target), u"abYZabYZ");
  EXPECT_EQ(fmsim::textStyles(target)[7].face, 256);

  FM_CharacterStyle_Delete(bold, &fresh());
  FM_Text_Delete(source, &fresh());
  FM_Text_Delete(target, &fresh());
}

TEST_F(ValuesTest, StylesApplyToRangesAndKeepSixteenBitsOfEachField) {
  FmxText* t = text(u"Hello");
  FmxCharacterStyle* style = FM_CharacterStyle_Constructor1(&fresh());
  FM_CharacterStyle_SetFont(style, 7, &fresh());
  FM_CharacterStyle_SetFace(style, 65536 + 512, &fresh());
  FM_CharacterStyle_SetSize(style, -1, &fresh());
  FmxColor* color = FM_Color_Constructor1(&fresh());
  FM_Color_SetRed(color, 44, &fresh());
  FM_Color_SetAlpha(color, 128, &fresh());
  FM_CharacterStyle_SetColor(style, color, &fresh());
  EXPECT_EQ(FM_CharacterStyle_GetFace(style, &fresh()), 512);
  EXPECT_EQ(FM_CharacterStyle_GetSize(style, &fresh()), 65535);

  // A count of -1 as the module passes it: all ones, to the end.
  FM_Text_SetStyle(t, style, 2, static_cast<uint32_t>(-1), &fresh());
  EXPECT_EQ(code(), 0);
  FM_Text_SetStyle(t, style, 4, 2, &fresh());
  EXPECT_EQ(code(), kHostErrorFailure);

  FmxCharacterStyle* probe = FM_CharacterStyle_Constructor1(&fresh());
  FM_Text_GetStyle(t, probe, 1, &fresh());
  EXPECT_EQ(fmsim::characterStyle(probe), CharStyle{});
  FM_Text_GetStyle(t, probe, 4, &fresh());
  CharStyle expected{7, 512, 65535, 44, 0, 0, 128};
  EXPECT_EQ(fmsim::characterStyle(probe), expected);
  FM_Text_GetStyle(t, probe, 5, &fresh());
  EXPECT_EQ(code(), kHostErrorFailure) << "position past the last unit";
  FM_Text_GetDefaultStyle(t, probe, &fresh());
  EXPECT_EQ(fmsim::characterStyle(probe), CharStyle{});

  for (auto* s : {style, probe}) FM_CharacterStyle_Delete(s, &fresh());
  FM_Color_Delete(color, &fresh());
  FM_Text_Delete(t, &fresh());
  EXPECT_EQ(fmsim::totalLiveCount(), 0);
}

TEST_F(ValuesTest, BinaryStreamsAreTypedOrderedAndRangeChecked) {
  FmxBinaryData* binary = FM_BinaryData_Constructor1(&fresh());
  FmxQuadChar* jpeg = FM_QuadChar_Constructor2('J', 'P', 'E', 'G', &fresh());
  FmxQuadChar* size = FM_QuadChar_Constructor1(&fresh());
  FM_QuadChar_SetMacType(size, fmsim::fourCharCode("SIZE"), &fresh());
  EXPECT_EQ(FM_QuadChar_GetMacType(jpeg, &fresh()), 0x4A504547u);

  std::vector<uint8_t> bytes(200);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i);
  EXPECT_EQ(FM_BinaryData_Add(binary, jpeg, 200, bytes.data(), &fresh()), 0);
  EXPECT_EQ(FM_BinaryData_Add(binary, size, 4, bytes.data(), &fresh()), 0);
  EXPECT_EQ(FM_BinaryData_Add(binary, size, 0, nullptr, &fresh()), 0);
  EXPECT_EQ(FM_BinaryData_Add(binary, size, 4, nullptr, &fresh()), fmsim::kOperandRefused)
      << "a stream without its bytes";
  EXPECT_EQ(code(), 0);
  EXPECT_EQ(FM_BinaryData_GetCount(binary, &fresh()), 3);
  EXPECT_EQ(FM_BinaryData_GetTotalSize(binary, &fresh()), 204u);

  FmxQuadChar* probe = FM_QuadChar_Constructor1(&fresh());
  FM_BinaryData_GetType(binary, 1, probe, &fresh());
  EXPECT_EQ(FM_QuadChar_GetMacType(probe, &fresh()), fmsim::fourCharCode("SIZE"));
  FM_BinaryData_GetType(binary, 3, probe, &fresh());
  EXPECT_EQ(code(), kHostErrorFailure);

  std::array<uint8_t, 10> out{};
  FM_BinaryData_GetData(binary, 0, 100, 10, out.data(), &fresh());
  EXPECT_EQ(code(), 0);
  EXPECT_EQ(out[0], 100);
  EXPECT_EQ(out[9], 109);
  FM_BinaryData_GetData(binary, 0, 195, 10, out.data(), &fresh());
  EXPECT_EQ(code(), kHostErrorFailure);
  FM_BinaryData_GetData(binary, -1, 0, 1, out.data(), &fresh());
  EXPECT_EQ(code(), kHostErrorFailure);
  EXPECT_EQ(FM_BinaryData_GetSize(binary, 7, &fresh()), 0u);
  EXPECT_EQ(code(), kHostErrorFailure);

  FmxBinaryData* copy = FM_BinaryData_Constructor2(binary, &fresh());
  EXPECT_TRUE(FM_BinaryData_Remove(binary, size, &fresh()));
  EXPECT_FALSE(FM_BinaryData_Remove(binary, size, &fresh()));
  EXPECT_EQ(FM_BinaryData_GetCount(binary, &fresh()), 1);
  EXPECT_EQ(FM_BinaryData_GetCount(copy, &fresh()), 3) << "a copy is independent";
  FM_BinaryData_RemoveAll(copy, &fresh());
  EXPECT_EQ(FM_BinaryData_GetTotalSize(copy, &fresh()), 0u);

  for (auto* q : {jpeg, size, probe}) FM_QuadChar_Delete(q, &fresh());
  for (auto* b : {binary, copy}) FM_BinaryData_Delete(b, &fresh());
  EXPECT_EQ(fmsim::totalLiveCount(), 0);
}

class DateTimeTest : public HostTest {
 protected:
  FmxFixPt* number(int32_t value) { return FM_FixPt_Constructor1(value, 16, &fresh()); }

  // Sets the date and time through the normalising setters and returns the stored timestamp's display.
  std::string normalized(int32_t y, int32_t m, int32_t d, int64_t hour, int32_t minute, int32_t second) {
    FmxDateTime* t = FM_DateTime_Constructor1(&fresh());
    FmxFixPt *fy = number(y), *fm = number(m), *fd = number(d);
    FM_DateTime_SetNormalizedDate2(t, fy, fm, fd, &fresh());
    EXPECT_EQ(code(), 0);
    FM_DateTime_SetNormalizedTime1(t, hour, minute, second, 0, &fresh());
    EXPECT_EQ(code(), 0);
    FmxData* data = FM_Data_Constructor1(&fresh());
    FM_Data_SetAsTimeStamp(data, t, kFmxTypeTimeStamp, &fresh());
    std::string shown = fmsim::displayText(data);
    FM_Data_Delete(data, &fresh());
    for (auto* n : {fy, fm, fd}) FM_FixPt_Delete(n, &fresh());
    FM_DateTime_Delete(t, &fresh());
    return shown;
  }
};

TEST_F(DateTimeTest, SettersNormaliseOutOfRangeFields) {
  struct Case {
    int32_t y, m, d;
    int64_t hour;
    int32_t minute, second;
    const char* expected;
  };
  const Case cases[] = {
      {2024, 13, 1, 0, 0, 0, "1/1/2025 12:00:00 AM"},     {2024, 3, 0, 0, 0, 0, "2/29/2024 12:00:00 AM"},
      {2023, 3, 0, 0, 0, 0, "2/28/2023 12:00:00 AM"},     {2024, 0, 15, 0, 0, 0, "12/15/2023 12:00:00 AM"},
      {2024, 1, 31, 25, 0, 0, "2/1/2024 1:00:00 AM"},     {2024, 1, 1, 0, -30, 0, "12/31/2023 11:30:00 PM"},
      {2024, 12, 31, 23, 59, 60, "1/1/2025 12:00:00 AM"}, {1, 1, 1, 0, 0, 0, "1/1/0001 12:00:00 AM"},
      {2024, -11, 1, 12, 0, -1, "1/1/2023 11:59:59 AM"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(normalized(c.y, c.m, c.d, c.hour, c.minute, c.second), c.expected)
        << c.y << "-" << c.m << "-" << c.d << " " << c.hour << ":" << c.minute << ":" << c.second;
  }
}

TEST_F(DateTimeTest, HostSecondsCountFromDayOne) {
  FmxDateTime* t = FM_DateTime_Constructor1(&fresh());
  FmxFixPt *y = number(1970), *m = number(1), *d = number(1);
  FM_DateTime_SetNormalizedDate2(t, y, m, d, &fresh());
  FmxFixPt* seconds = number(0);
  FM_DateTime_GetSecondsSinceEpoch(t, seconds, &fresh());
  EXPECT_EQ(FM_FixPt_AsFloat(seconds, &fresh()), 62135683200.0);
  EXPECT_EQ(FM_DateTime_GetDaysSinceEpoch(t, &fresh()), 719163);

  // Half a second past midnight survives as an exact fraction.
  FmxData* halfData = fmsim::makeNumberData("45.5");
  FM_DateTime_SetSecsSinceMidnight(t, FM_Data_GetAsNumber(halfData, &fresh()), &fresh());
  FM_DateTime_GetSecsSinceMidnight(t, seconds, &fresh());
  EXPECT_EQ(FM_FixPt_AsFloat(seconds, &fresh()), 45.5);
  EXPECT_EQ(FM_FixPt_AsLong(seconds, &fresh()), 45);
  FM_DateTime_GetSecondsSinceEpoch(t, seconds, &fresh());
  EXPECT_EQ(FM_FixPt_AsFloat(seconds, &fresh()), 62135683245.5);
  EXPECT_EQ(FM_FixPt_AsLong(seconds, &fresh()), static_cast<int32_t>(62135683245LL & 0xFFFFFFFF))
      << "wraps to 32 bits";
  fmsim::deleteData(halfData);

  FM_FixPt_AssignInt(y, 0, &fresh());
  EXPECT_EQ(FM_DateTime_SetNormalizedDate2(t, y, m, d, &fresh()), fmsim::kOperandRefused)
      << "year 0 is before the host's calendar";
  EXPECT_EQ(code(), 0) << "a refusal is the result, not an exception";
  EXPECT_EQ(FM_DateTime_GetDaysSinceEpoch(t, &fresh()), 719163) << "a refused date changes nothing";
  EXPECT_EQ(FM_DateTime_SetNormalizedTime1(t, -24 * 719164, 0, 0, 0, &fresh()), fmsim::kOperandRefused);
  EXPECT_EQ(code(), 0);
  FmxData* farData = fmsim::makeNumberData("-99999999999");
  FM_DateTime_SetSecsSinceMidnight(t, FM_Data_GetAsNumber(farData, &fresh()), &fresh());
  EXPECT_EQ(code(), 0);
  fmsim::deleteData(farData);
  EXPECT_EQ(FM_DateTime_GetDaysSinceEpoch(t, &fresh()), 719163) << "nor does a refused time";

  for (auto* n : {y, m, d, seconds}) FM_FixPt_Delete(n, &fresh());
  FM_DateTime_Delete(t, &fresh());
  EXPECT_EQ(fmsim::totalLiveCount(), 0);
}

TEST_F(ValuesTest, NumberViewsTruncateWrapAndRoundToNearestDouble) {
  struct Case {
    const char* decimal;
    int32_t asLong;
    double asFloat;
  };
  const Case cases[] = {
      {"-7.9", -7, -7.9},
      {"4294967297", 1, 4294967297.0},
      {"2147483648", -2147483647 - 1, 2147483648.0},
      {"0.1", 0, 0.1},
      {"123456789012345678901234567890.5", 1312754386 /* the low 32 bits */, 1.2345678901234568e29},
  };
  for (const Case& c : cases) {
    FmxData* data = fmsim::makeNumberData(c.decimal);
    const FmxFixPt* view = FM_Data_GetAsNumber(data, &fresh());
    EXPECT_EQ(FM_FixPt_AsFloat(view, &fresh()), c.asFloat) << c.decimal;
    EXPECT_EQ(FM_FixPt_AsLong(view, &fresh()), c.asLong) << c.decimal;
    fmsim::deleteData(data);
  }
}

TEST_F(ValuesTest, ViewsBelongToTheirDataAndFollowItsChanges) {
  FmxData* data = fmsim::makeNumberData("12.50");
  const FmxText* view = FM_Data_GetAsText(data, &fresh());
  EXPECT_EQ(units(view), u"12.5");
  EXPECT_EQ(FM_Data_GetAsText(data, &fresh()), view) << "one view per data value";

  FmxText* input = text(u"abc-12.5x");
  const FmxLocale* locale = FM_Data_GetLocale(data, &fresh());
  FM_Data_SetAsText(data, input, locale, kFmxTypeNumber, &fresh());
  EXPECT_EQ(code(), 0);
  EXPECT_EQ(FM_Data_GetNativeType(data, &fresh()), kFmxTypeNumber);
  EXPECT_EQ(units(view), u"-12.5") << "the view shows the new value";

  EXPECT_EQ(FM_Data_SetAsText(data, input, locale, 9, &fresh()), fmsim::kOperandRefused)
      << "no such native type";
  EXPECT_EQ(code(), 0);
  EXPECT_EQ(units(view), u"-12.5");

  // A view is read-only and not the plug-in's to delete.
  FM_Text_AppendText(const_cast<FmxText*>(view), input, 0, 1, &fresh());
  EXPECT_EQ(code(), kHostErrorFailure);
  FM_Text_Delete(const_cast<FmxText*>(view), &fresh());
  EXPECT_EQ(code(), kHostErrorFailure);
  EXPECT_EQ(units(view), u"-12.5");

  fmsim::deleteData(data);
  FM_Text_GetSize(view, &fresh());
  EXPECT_EQ(code(), kHostErrorFailure) << "a view dies with its data";
  FM_Text_Delete(input, &fresh());
  EXPECT_EQ(fmsim::totalLiveCount(), 0);
  EXPECT_EQ(takeMisuse(),
            (std::vector<std::string>{"FM_Text_AppendText: read-only", "FM_Text_Delete: not deletable",
                                      "FM_Text_GetSize: deleted Text"}));
}

TEST_F(ValuesTest, DateTimeViewsGiveTheWholeValue) {
  struct Case {
    FmxData* data;
    int32_t days;
    int32_t secs;
    const char* shown;
  };
  const Case cases[] = {
      {fmsim::makeTimeData(1, 2, 3), 0, 3723, "1:02:03"},
      {fmsim::makeDateData(1970, 1, 1), 719163, 0, "1/1/1970"},
      {fmsim::makeTimeStampData(1970, 1, 2, 0, 0, 5), 719164, 5, "1/2/1970 12:00:05 AM"},
  };
  for (const Case& c : cases) {
    FmxFixPt* secs = FM_FixPt_Constructor1(0, 16, &fresh());
    for (const FmxDateTime* view :
         {FM_Data_GetAsDate(c.data, &fresh()), FM_Data_GetAsTimeStamp(c.data, &fresh())}) {
      EXPECT_EQ(FM_DateTime_GetDaysSinceEpoch(view, &fresh()), c.days) << c.shown;
      FM_DateTime_GetSecsSinceMidnight(view, secs, &fresh());
      EXPECT_EQ(FM_FixPt_AsLong(secs, &fresh()), c.secs) << c.shown;
    }
    EXPECT_EQ(fmsim::displayText(c.data), c.shown);
    FM_FixPt_Delete(secs, &fresh());
    fmsim::deleteData(c.data);
  }
}

TEST_F(ValuesTest, ContainerDataRoundTripsThroughItsBinaryView) {
  std::vector<fmsim::Stream> streams = {{fmsim::fourCharCode("FNAM"), {'a', '.', 'p', 'n', 'g'}},
                                        {fmsim::fourCharCode("PNGf"), {1, 2, 3}}};
  FmxData* source = fmsim::makeContainerData(streams);
  EXPECT_EQ(fmsim::displayText(source), "a.png");
  FmxBinaryData* copy = FM_BinaryData_Constructor2(FM_Data_GetBinaryData(source, &fresh()), &fresh());
  FmxData* target = FM_Data_Constructor1(&fresh());
  EXPECT_TRUE(FM_Data_IsEmpty(target, &fresh()));
  FM_Data_SetBinaryData(target, copy, true, &fresh());
  EXPECT_EQ(FM_Data_GetNativeType(target, &fresh()), kFmxTypeBinary);
  EXPECT_EQ(fmsim::containerStreams(target), streams);
  FM_BinaryData_Delete(copy, &fresh());
  FM_Data_Delete(target, &fresh());
  fmsim::deleteData(source);
}

TEST_F(ValuesTest, VectorElementsAreReadOnlyAndIndexChecked) {
  FmxDataVect* vector = fmsim::makeDataVect({fmsim::makeTextDataUtf8("x"), fmsim::makeNumberData("2")});
  EXPECT_EQ(fmsim::liveCount(fmsim::ObjectKind::Data), 0) << "elements belong to the vector";
  EXPECT_EQ(FM_DataVect_Size(vector, &fresh()), 2u);
  const FmxData* second = FM_DataVect_At(vector, 1, &fresh());
  EXPECT_EQ(fmsim::displayText(second), "2");
  EXPECT_EQ(FM_DataVect_At(vector, 2, &fresh()), nullptr);
  EXPECT_EQ(code(), kHostErrorFailure);
  FM_Data_Delete(const_cast<FmxData*>(second), &fresh());
  EXPECT_EQ(code(), kHostErrorFailure);
  EXPECT_TRUE(fmsim::deleteDataVect(vector));
  EXPECT_EQ(fmsim::totalLiveCount(), 0);
  EXPECT_EQ(takeMisuse(), std::vector<std::string>{"FM_Data_Delete: not deletable"});
}

}  // namespace
