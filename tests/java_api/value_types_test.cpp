// The Java value types and the parameter and result conversions, through the real natives: a test
// plug-in's functions (tests/java_api/plugin) get host-made values, and the results are read back as
// the host sees them.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "fmsim/test_support.h"
#include "fmsim/values.h"
#include "plugin_relay.h"

namespace xplug::testing {
namespace {

using Make = std::function<FmxData*()>;

Make number(const char* decimal) {
  return [decimal] { return fmsim::makeNumberData(decimal); };
}
Make text(const char* utf8) {
  return [utf8] { return fmsim::makeTextDataUtf8(utf8); };
}
Make empty() {
  return [] { return fmsim::makeEmptyData(); };
}

struct Call {
  const char16_t* function;
  std::vector<Make> parameters;
  int16_t code;         // the expected error code
  std::string display;  // the expected result as the host shows it, when code is 0
};

class JavaApiValueTypes : public PluginRelay {
 protected:
  void SetUp() override { start(XPLUG_API_TEST_MODULE); }

  void expectCalls(const std::vector<Call>& calls) {
    for (const Call& c : calls) {
      std::vector<FmxData*> parameters;
      for (const Make& make : c.parameters) parameters.push_back(make());
      SCOPED_TRACE(fmsim::utf16ToUtf8(c.function) + " with " + std::to_string(parameters.size()) +
                   " parameters, expecting " + c.display);
      OwnedData result(fmsim::makeEmptyData());
      EXPECT_EQ(call(c.function, parameters, result.get()), c.code);
      if (c.code == 0) {
        EXPECT_EQ(fmsim::displayText(result.get()), c.display);
      }
    }
  }

  // Calls a function with parameters made here and returns the result, failing the test on an error.
  FmxData* result(const std::u16string& function, const std::vector<FmxData*>& parameters) {
    FmxData* data = fmsim::makeEmptyData();
    EXPECT_EQ(call(function, parameters, data), 0);
    return data;
  }
};

TEST_F(JavaApiValueTypes, NumbersConvertExactlyOrFailClearly) {
  expectCalls({
      {u"T_Long", {number("5000000000")}, 0, "5000000000"},
      {u"T_Long", {number("-5000000000.7")}, 0, "-5000000000"},
      {u"T_Long", {number("2147483647")}, 0, "2147483647"},
      {u"T_Long", {number("2.9")}, 0, "2"},
      {u"T_Int", {number("-7")}, 0, "-7"},
      // Too large for an int: an error, not a wrapped number.
      {u"T_Int", {number("5000000000")}, -1, ""},
      {u"T_Decimal", {number("0.1")}, 0, "0.1"},
      {u"T_Decimal", {number("123456789012345678901234567890.5")}, 0, "123456789012345678901234567890.5"},
      {u"T_Decimal", {empty()}, 0, ""},
      {u"T_Boxes", {empty(), empty(), empty(), empty()}, 0, "null|null|null|null"},
      {u"T_Boxes", {number("3"), number("2.5"), number("0"), number("1.50")}, 0, "3|2.5|false|1.5"},
      {u"T_Bool", {number("2")}, 0, "1"},
      {u"T_Bool", {number("0")}, 0, "0"},
      {u"T_Bool", {empty()}, 0, "0"},
  });
}

TEST_F(JavaApiValueTypes, LeftOutAndTrailingParameters) {
  expectCalls({
      {u"T_Optional", {text("a")}, 0, "a|null|0"},
      {u"T_Optional", {text("a"), text("b"), number("3")}, 0, "a|b|3"},
      {u"T_Rest", {text("x")}, 0, "x[]"},
      {u"T_Rest", {text("x"), number("1"), empty(), number("5000000000")}, 0, "x[1, null, 5000000000]"},
  });
}

// A long text with U+0000 inside and a surrogate pair across the 8192-unit piece boundary.
std::u16string longText() {
  std::u16string units;
  for (int i = 0; i < 20000; ++i) units.push_back(static_cast<char16_t>(u'a' + i % 26));
  units[100] = u'\0';
  units[8191] = 0xD83D;
  units[8192] = 0xDE00;
  return units;
}

TEST_F(JavaApiValueTypes, TextsKeepEveryUnitThroughChunkedReadsAndWrites) {
  const std::u16string units = longText();
  for (const char16_t* function : {u"T_Rebuild"}) {
    OwnedData rebuilt(result(function, {fmsim::makeTextData(units)}));
    EXPECT_EQ(fmsim::textUnits(rebuilt.get()), units);
  }
  for (const char* padding : {"0", "5", "9000"}) {
    SCOPED_TRACE(padding);
    OwnedData rebuilt(
        result(u"T_RebuildFromArray", {fmsim::makeTextData(units), fmsim::makeNumberData(padding)}));
    EXPECT_EQ(fmsim::textUnits(rebuilt.get()), units);
  }
  OwnedData empty(result(u"T_Rebuild", {fmsim::makeTextData(u"")}));
  EXPECT_EQ(fmsim::textUnits(empty.get()), u"");
  EXPECT_EQ(fmsim::nativeType(empty.get()), kFmxTypeText);
}

TEST_F(JavaApiValueTypes, PartsOfATextAreReadIntoTheRightPlaces) {
  expectCalls({
      {u"T_Substring", {text("héllo wörld"), number("2"), number("7")}, 0, "llo w"},
      {u"T_Substring", {text("héllo"), number("5"), number("5")}, 0, ""},
      {u"T_Substring", {text("héllo"), number("3"), number("9")}, -1, ""},
      {u"T_Characters", {text("abcdef"), number("3"), number("1"), number("2"), number("5")}, 0, ".de.."},
      {u"T_Characters", {text("abcdef"), number("0"), number("4"), number("2"), number("5")}, -1, ""},
      {u"T_Characters", {text("abcdef"), number("5"), number("0"), number("2"), number("5")}, -1, ""},
  });
  // A buffer beyond one piece, read at an offset.
  const std::u16string units = longText();
  OwnedData read(result(u"T_Characters", {fmsim::makeTextData(units), fmsim::makeNumberData("8000"),
                                          fmsim::makeNumberData("9000"), fmsim::makeNumberData("500"),
                                          fmsim::makeNumberData("10000")}));
  std::u16string expected(10000, u'.');
  expected.replace(9000, 500, units.substr(8000, 500));
  EXPECT_EQ(fmsim::textUnits(read.get()), expected);
}

TEST_F(JavaApiValueTypes, StylesReachToTheEndAndTravelWithAppendedText) {
  OwnedData styled(result(u"T_StyleTail", {fmsim::makeTextData(u"abcd"), fmsim::makeNumberData("2"),
                                           fmsim::makeNumberData("256")}));
  const std::vector<fmsim::CharStyle> styles = fmsim::textStyles(styled.get());
  ASSERT_EQ(styles.size(), 4u);
  const fmsim::CharStyle plain;
  EXPECT_EQ(styles[0], plain);
  EXPECT_EQ(styles[1], plain);
  for (size_t i = 2; i < 4; ++i) {
    EXPECT_EQ(styles[i].face, 256);
    EXPECT_EQ(styles[i].red, 300 % 256);
  }

  fmsim::CharStyle bold;
  bold.face = 256;
  fmsim::CharStyle blue;
  blue.blue = 200;
  OwnedData joined(result(u"T_AppendStyled", {fmsim::makeTextData(u"ab", {bold, blue}),
                                              fmsim::makeTextData(u"cd", {blue, bold})}));
  EXPECT_EQ(fmsim::textUnits(joined.get()), u"abcd");
  EXPECT_EQ(fmsim::textStyles(joined.get()), (std::vector<fmsim::CharStyle>{bold, blue, blue, bold}));
}

TEST_F(JavaApiValueTypes, StylePartsReadBackAsTheHostKeepsThem) {
  fmsim::CharStyle heading;
  heading.font = 7;
  heading.face = 0x8000 | 256;  // beyond a signed 16-bit face: read back without a sign
  heading.size = 36;
  OwnedData info(result(u"T_StyleInfo", {fmsim::makeTextData(u"ab", {fmsim::CharStyle{}, heading}),
                                         fmsim::makeNumberData("1")}));
  EXPECT_EQ(fmsim::displayText(info.get()), "7 33024 36 / 0 0 12");
  expectCalls({
      // Color channels keep their low 8 bits.
      {u"T_NewStyle", {number("3"), number("768"), number("14")}, 0, "3 768 14 255 0 7 128"},
  });
}

std::vector<uint8_t> pattern(size_t size) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i % 251);
  return bytes;
}

TEST_F(JavaApiValueTypes, ContainerBytesAreReadIntoTheCallersBuffer) {
  const std::vector<uint8_t> stream = pattern(100000);
  struct Read {
    int position, count, offset, bufferSize;
  };
  // Small and direct, at an offset, and beyond one piece of the scratch array.
  for (const Read& r : {Read{100, 10, 0, 10}, Read{70000, 20000, 3, 20010}, Read{1000, 80000, 0, 80000}}) {
    SCOPED_TRACE(std::to_string(r.position) + "+" + std::to_string(r.count) + " at " +
                 std::to_string(r.offset));
    OwnedData read(result(
        u"T_Bytes",
        {fmsim::makeContainerData(
             {{fmsim::fourCharCode("FNAM"), {1}}, {fmsim::fourCharCode("JPEG"), stream}}),
         fmsim::makeTextData(u"JPEG"), fmsim::makeNumberData(std::to_string(r.position)),
         fmsim::makeNumberData(std::to_string(r.count)), fmsim::makeNumberData(std::to_string(r.offset)),
         fmsim::makeNumberData(std::to_string(r.bufferSize))}));
    std::vector<uint8_t> expected(r.bufferSize, 0x55);
    std::copy(stream.begin() + r.position, stream.begin() + r.position + r.count,
              expected.begin() + r.offset);
    const std::vector<fmsim::Stream> streams = fmsim::containerStreams(read.get());
    ASSERT_EQ(streams.size(), 1u);
    EXPECT_EQ(streams[0].type, fmsim::fourCharCode("DATA"));
    EXPECT_TRUE(streams[0].bytes == expected);
  }
  // Beyond the stream, and beyond the buffer: refused before anything is read.
  for (const Read& r : {Read{99995, 10, 0, 10}, Read{0, 10, 5, 10}}) {
    OwnedData read(fmsim::makeEmptyData());
    EXPECT_EQ(
        call(u"T_Bytes",
             {fmsim::makeContainerData({{fmsim::fourCharCode("JPEG"), stream}}), fmsim::makeTextData(u"JPEG"),
              fmsim::makeNumberData(std::to_string(r.position)),
              fmsim::makeNumberData(std::to_string(r.count)), fmsim::makeNumberData(std::to_string(r.offset)),
              fmsim::makeNumberData(std::to_string(r.bufferSize))},
             read.get()),
        -1);
  }
}

TEST_F(JavaApiValueTypes, AddingAStreamReplacesOneOfTheSameType) {
  auto container = [] {
    return fmsim::makeContainerData(
        {{fmsim::fourCharCode("JPEG"), {1, 2}}, {fmsim::fourCharCode("FNAM"), {'a'}}});
  };
  struct Case {
    const char16_t* function;
    std::vector<FmxData*> extra;
    std::vector<fmsim::Stream> streams;
  };
  const std::vector<fmsim::Stream> both = {{fmsim::fourCharCode("JPEG"), {1, 2}},
                                           {fmsim::fourCharCode("FNAM"), {'a'}}};
  std::vector<Case> cases;
  cases.push_back({u"T_AddStream",
                   {fmsim::makeTextData(u"JPEG"), fmsim::makeTextData(u"xyz")},
                   {{fmsim::fourCharCode("FNAM"), {'a'}}, {fmsim::fourCharCode("JPEG"), {'x', 'y', 'z'}}}});
  cases.push_back({u"T_AddStream",
                   {fmsim::makeTextData(u"SIZE"), fmsim::makeTextData(u"")},
                   {both[0], both[1], {fmsim::fourCharCode("SIZE"), {}}}});
  cases.push_back({u"T_RemoveStream", {fmsim::makeTextData(u"FNAM")}, {both[0]}});
  cases.push_back({u"T_RemoveStream", {fmsim::makeTextData(u"ZZZZ")}, both});
  for (Case& c : cases) {
    SCOPED_TRACE(fmsim::utf16ToUtf8(c.function));
    std::vector<FmxData*> parameters = {container()};
    parameters.insert(parameters.end(), c.extra.begin(), c.extra.end());
    OwnedData changed(result(c.function, parameters));
    EXPECT_EQ(fmsim::containerStreams(changed.get()), c.streams);
  }
}

TEST_F(JavaApiValueTypes, ValuesAreCopiedInTheirOwnForm) {
  const std::vector<Make> values = {
      [] {
        return fmsim::makeTextData(u"a\u00e9",
                                   {fmsim::CharStyle{}, fmsim::CharStyle{0, 512, 12, 0, 0, 0, 255}});
      },
      [] { return fmsim::makeTimeStampData(2026, 7, 4, 12, 34, 56); },
      [] { return fmsim::makeTimeData(13, 5, 9); },
      [] {
        return fmsim::makeContainerData({{fmsim::fourCharCode("FNAM"), {'f'}}});
      },
      number("-12.5"),
  };
  for (const char16_t* function : {u"T_Copy", u"T_CopyMade"}) {
    for (const Make& make : values) {
      OwnedData original(make());
      SCOPED_TRACE(fmsim::utf16ToUtf8(function) + " of " + fmsim::displayText(original.get()));
      OwnedData copy(result(function, {make()}));
      EXPECT_EQ(fmsim::displayText(copy.get()), fmsim::displayText(original.get()));
      EXPECT_EQ(fmsim::textStyles(copy.get()), fmsim::textStyles(original.get()));
      EXPECT_EQ(fmsim::containerStreams(copy.get()), fmsim::containerStreams(original.get()));
      if (fmsim::nativeType(original.get()) != kFmxTypeNumber) {
        EXPECT_EQ(fmsim::nativeType(copy.get()), fmsim::nativeType(original.get()));
      }
    }
  }
}

TEST_F(JavaApiValueTypes, DatesAndTimesKeepTheirWallClockTime) {
  auto timestamp = [](int year, int month, int day, int hour, int minute, int second) -> Make {
    return [=] { return fmsim::makeTimeStampData(year, month, day, hour, minute, second); };
  };
  // The Java VM runs in New York (PluginRelay::start).
  expectCalls({
      {u"T_Date", {timestamp(2026, 7, 4, 12, 34, 56)}, 0, "7/4/2026 12:34:56 PM"},
      {u"T_Date", {timestamp(2026, 1, 15, 0, 0, 0)}, 0, "1/15/2026 12:00:00 AM"},
      // 1:30 happens twice on this night; either way it is written back as 1:30.
      {u"T_Date", {timestamp(2026, 11, 1, 1, 30, 0)}, 0, "11/1/2026 1:30:00 AM"},
      // 2:30 does not exist on this night: as a java.util.Date it is 3:30.
      {u"T_Date", {timestamp(2026, 3, 8, 2, 30, 0)}, 0, "3/8/2026 3:30:00 AM"},
      {u"T_Date", {empty()}, 0, ""},
      {u"T_Millis", {empty()}, 0, "0"},
      {u"T_Millis", {timestamp(1970, 1, 1, 0, 0, 0)}, 0, "18000000"},
      {u"T_Millis", {timestamp(2026, 3, 8, 1, 30, 0)}, 0, "1772951400000"},
      {u"T_LocalDate", {[] { return fmsim::makeDateData(2026, 2, 28); }}, 0, "2/28/2026 12:00:00 AM"},
      {u"T_LocalTime", {[] { return fmsim::makeTimeData(13, 5, 9); }}, 0, "13:05:09"},
      // A duration beyond a day is no time of day, and is not cut down to one.
      {u"T_LocalTime", {[] { return fmsim::makeTimeData(25, 0, 0); }}, -1, ""},
      {u"T_LocalTime", {[] { return fmsim::makeTimeData(-1, 0, 0); }}, -1, ""},
      {u"T_LocalTime", {[] { return fmsim::makeTimeStampData(2026, 1, 2, 23, 59, 59); }}, 0, "23:59:59"},
  });
  OwnedData time(result(u"T_LocalTime", {fmsim::makeTimeData(0, 0, 1)}));
  EXPECT_EQ(fmsim::nativeType(time.get()), kFmxTypeTime);
}

}  // namespace
}  // namespace xplug::testing
