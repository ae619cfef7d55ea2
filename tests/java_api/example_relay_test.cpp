// The example plug-in's functions called the way FileMaker calls them: the host driver starts the
// packed example module in this process, and each test hands host-made values to a registered
// function's callback and reads the result back as the host sees it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fmsim/test_support.h"
#include "fmsim/values.h"
#include "plugin_relay.h"

namespace xplug::testing {
namespace {

class JavaApiExampleRelay : public PluginRelay {
 protected:
  void SetUp() override { start(XPLUG_EXAMPLE_MODULE); }
};

fmsim::CharStyle style(uint16_t font, uint16_t face, uint16_t size, uint8_t red, uint8_t green,
                       uint8_t blue) {
  fmsim::CharStyle result;
  result.font = font;
  result.face = face;
  result.size = size;
  result.red = red;
  result.green = green;
  result.blue = blue;
  return result;
}

TEST_F(JavaApiExampleRelay, UpperKeepsTheStyleOfEveryCharacter) {
  const fmsim::CharStyle plain = style(0, 0, 12, 0, 0, 0);
  const fmsim::CharStyle bold = style(3, 256, 14, 0, 0, 0);
  const fmsim::CharStyle boldRed = style(3, 256, 14, 255, 0, 0);
  const fmsim::CharStyle redItalic = style(3, 512, 14, 255, 0, 0);
  const fmsim::CharStyle blue = style(7, 0, 9, 0, 0, 200);
  struct Case {
    std::u16string text;
    std::vector<fmsim::CharStyle> styles;
    std::u16string upper;
    std::vector<fmsim::CharStyle> upperStyles;
  };
  const std::vector<Case> cases = {
      // Runs that differ only in color: the color has to travel with each character.
      {u"abcd", {bold, boldRed, boldRed, bold}, u"ABCD", {bold, boldRed, boldRed, bold}},
      {u"abcd", {bold, bold, redItalic, blue}, u"ABCD", {bold, bold, redItalic, blue}},
      {u"ab", {plain, plain}, u"AB", {plain, plain}},
      // Upper case may be longer than the text: both units of "SS" keep the style of the one "ß".
      {u"aßc", {plain, redItalic, bold}, u"ASSC", {plain, redItalic, redItalic, bold}},
      // A character outside the basic plane is two units with one style.
      {u"x\U0001D4B6y", {blue, bold, bold, redItalic}, u"X\U0001D4B6Y", {blue, bold, bold, redItalic}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(fmsim::utf16ToUtf8(c.text));
    const int64_t liveBefore = fmsim::totalLiveCount();
    FmxData* result = fmsim::makeEmptyData();
    ASSERT_EQ(call(u"XPEx_Upper", {fmsim::makeTextData(c.text, c.styles)}, result), 0);
    EXPECT_EQ(fmsim::nativeType(result), kFmxTypeText);
    EXPECT_EQ(fmsim::textUnits(result), c.upper);
    EXPECT_EQ(fmsim::textStyles(result), c.upperStyles);
    fmsim::deleteData(result);
    EXPECT_EQ(fmsim::totalLiveCount(), liveBefore) << "objects of the call outlived it";
  }
  EXPECT_TRUE(fmsim::deadObjectReports().empty());
}

TEST_F(JavaApiExampleRelay, EchoGivesEveryUnitBack) {
  for (const std::u16string& text : {std::u16string(u"h\u00e9llo \u2013 w\u00f6rld \u2713"),
                                     std::u16string(u"a\0b", 3), std::u16string(20000, u'x')}) {
    FmxData* result = fmsim::makeEmptyData();
    ASSERT_EQ(call(u"XPEx_Echo", {fmsim::makeTextData(text)}, result), 0);
    EXPECT_EQ(fmsim::nativeType(result), kFmxTypeText);
    EXPECT_EQ(fmsim::textUnits(result), text);
    fmsim::deleteData(result);
  }
}

TEST_F(JavaApiExampleRelay, ContainerInfoListsStreamsInTheHostsOrderOnReturnSeparatedLines) {
  FmxData* result = fmsim::makeEmptyData();
  FmxData* container =
      fmsim::makeContainerData({{fmsim::fourCharCode("JPEG"), {1, 2, 3}},
                                {fmsim::fourCharCode("FNAM"), {}},
                                {fmsim::fourCharCode("SIZE"), std::vector<uint8_t>(70000, 7)}});
  ASSERT_EQ(call(u"XPEx_ContainerInfo", {container}, result), 0);
  EXPECT_EQ(fmsim::textUnits(result), u"JPEG:3\rFNAM:0\rSIZE:70000");
  fmsim::deleteData(result);
}

TEST_F(JavaApiExampleRelay, MakeContainerHoldsOneStreamWithTheTextsUtf8Bytes) {
  FmxData* result = fmsim::makeEmptyData();
  ASSERT_EQ(call(u"XPEx_MakeContainer", {fmsim::makeTextData(u"é✓"), fmsim::makeTextData(u"TEXT")}, result),
            0);
  EXPECT_EQ(fmsim::nativeType(result), kFmxTypeBinary);
  const std::vector<fmsim::Stream> expected = {{fmsim::fourCharCode("TEXT"), {0xC3, 0xA9, 0xE2, 0x9C, 0x93}}};
  EXPECT_EQ(fmsim::containerStreams(result), expected);
  fmsim::deleteData(result);
}

TEST_F(JavaApiExampleRelay, TimestampsCrossAsHostSecondsWithoutATimeZone) {
  // 2:30 on that day does not exist in the Java VM's zone (New York); a timestamp holds wall-clock time, so
  // it must come through unchanged rather than be moved across the daylight-saving gap.
  FmxData* timestamp = fmsim::makeEmptyData();
  ASSERT_EQ(call(u"XPEx_Timestamp",
                 {fmsim::makeNumberData("2026"), fmsim::makeNumberData("3"), fmsim::makeNumberData("8"),
                  fmsim::makeNumberData("2"), fmsim::makeNumberData("30"), fmsim::makeNumberData("0")},
                 timestamp),
            0);
  EXPECT_EQ(fmsim::nativeType(timestamp), kFmxTypeTimeStamp);
  EXPECT_EQ(fmsim::displayText(timestamp), "3/8/2026 2:30:00 AM");

  FmxData* seconds = fmsim::makeEmptyData();
  ASSERT_EQ(call(u"XPEx_Seconds", {fmsim::makeTimeStampData(1970, 1, 1, 0, 0, 0)}, seconds), 0);
  EXPECT_EQ(fmsim::displayText(seconds), "62135683200");
  fmsim::deleteData(seconds);
  fmsim::deleteData(timestamp);
}

}  // namespace
}  // namespace xplug::testing
