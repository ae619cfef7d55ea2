// MultiByteToWideChar / WideCharToMultiByte with Windows' semantics for 1252, UTF-8 and the thread page.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "simdesktop/desktop.h"

namespace simdesktop {
namespace {

class CodePagesTest : public ::testing::Test {
 protected:
  void SetUp() override { setThreadAnsiCodePage(kCodePageWindows1252); }
  void TearDown() override { setThreadAnsiCodePage(kCodePageWindows1252); }
};

std::u16string toWide(uint32_t page, std::string_view bytes, uint32_t flags = 0) {
  int needed = multiByteToWideChar(page, flags, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::u16string result(static_cast<size_t>(needed), u'\0');
  if (needed > 0) {
    EXPECT_EQ(
        multiByteToWideChar(page, flags, bytes.data(), static_cast<int>(bytes.size()), result.data(), needed),
        needed);
  }
  return result;
}

std::string toNarrow(uint32_t page, std::u16string_view text, bool* usedDefault = nullptr,
                     const char* defaultChar = nullptr) {
  int needed = wideCharToMultiByte(page, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                   defaultChar, usedDefault);
  std::string result(static_cast<size_t>(needed), '\0');
  if (needed > 0) {
    EXPECT_EQ(wideCharToMultiByte(page, 0, text.data(), static_cast<int>(text.size()), result.data(), needed,
                                  defaultChar, usedDefault),
              needed);
  }
  return result;
}

TEST_F(CodePagesTest, Windows1252TableSpotChecksBothWays) {
  struct Case {
    unsigned char byte;
    char16_t unit;
  };
  const Case cases[] = {{0x41, u'A'},   {0x80, 0x20AC}, {0x81, 0x0081}, {0x83, 0x0192},
                        {0x8A, 0x0160}, {0x8D, 0x008D}, {0x8F, 0x008F}, {0x90, 0x0090},
                        {0x92, 0x2019}, {0x96, 0x2013}, {0x99, 0x2122}, {0x9D, 0x009D},
                        {0x9F, 0x0178}, {0xA0, 0x00A0}, {0xE9, 0x00E9}, {0xFF, 0x00FF}};
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.byte));
    std::string byte(1, static_cast<char>(c.byte));
    EXPECT_EQ(toWide(kCodePageWindows1252, byte), std::u16string(1, c.unit));
    bool usedDefault = true;
    EXPECT_EQ(toNarrow(kCodePageWindows1252, std::u16string(1, c.unit), &usedDefault), byte);
    EXPECT_FALSE(usedDefault);
  }
  // Every byte survives the round trip.
  std::string all;
  for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
  EXPECT_EQ(toNarrow(kCodePageWindows1252, toWide(kCodePageWindows1252, all)), all);
}

TEST_F(CodePagesTest, CharactersThePageLacksBecomeTheDefaultCharacter) {
  bool usedDefault = false;
  // U+0100, a C1 control the page does not map, a Han character and an emoji's two surrogates.
  EXPECT_EQ(toNarrow(kCodePageWindows1252, u"a\u0100\u0085\u4e2d\U0001F600", &usedDefault), "a?????");
  EXPECT_TRUE(usedDefault);
  EXPECT_EQ(toNarrow(kCodePageWindows1252, u"x\u0100", nullptr, "*"), "x*");
}

TEST_F(CodePagesTest, LengthMinusOneCountsTheTerminatorAndCapacityZeroAsksTheSize) {
  EXPECT_EQ(multiByteToWideChar(kCodePageWindows1252, 0, "abc", -1, nullptr, 0), 4);
  char16_t wide[4] = {u'x', u'x', u'x', u'x'};
  EXPECT_EQ(multiByteToWideChar(kCodePageWindows1252, 0, "abc", -1, wide, 4), 4);
  EXPECT_EQ(std::u16string(wide), u"abc");
  EXPECT_EQ(lastConversionError(), kErrorSuccess);

  EXPECT_EQ(wideCharToMultiByte(kCodePageUtf8, 0, u"\u00e9", -1, nullptr, 0), 3);
  char narrow[3];
  EXPECT_EQ(wideCharToMultiByte(kCodePageUtf8, 0, u"\u00e9", -1, narrow, 3), 3);
  EXPECT_STREQ(narrow, "\xC3\xA9");

  // An explicit length converts no terminator.
  EXPECT_EQ(multiByteToWideChar(kCodePageWindows1252, 0, "abc", 2, nullptr, 0), 2);
}

TEST_F(CodePagesTest, FailuresReturnZeroWithTheWindowsError) {
  char16_t wide[2];
  char narrow[2];
  struct Case {
    int result;
    long error;
  };
  const Case cases[] = {
      {multiByteToWideChar(kCodePageWindows1252, 0, "abc", -1, wide, 2), kErrorInsufficientBuffer},
      {multiByteToWideChar(kCodePageWindows1252, 0, "abc", 0, wide, 2), kErrorInvalidParameter},
      {multiByteToWideChar(kCodePageWindows1252, 0, nullptr, -1, wide, 2), kErrorInvalidParameter},
      {multiByteToWideChar(kCodePageWindows1252, 0, "a", -2, wide, 2), kErrorInvalidParameter},
      {multiByteToWideChar(kCodePageWindows1252, 0, "a", -1, nullptr, 2), kErrorInvalidParameter},
      {multiByteToWideChar(437, 0, "a", -1, wide, 2), kErrorInvalidParameter},
      {multiByteToWideChar(kCodePageUtf8, kMbPrecomposed, "a", -1, wide, 2), kErrorInvalidFlags},
      {multiByteToWideChar(kCodePageUtf8, kMbErrInvalidChars, "\xC0\xAF", 2, wide, 2),
       kErrorNoUnicodeTranslation},
      {wideCharToMultiByte(kCodePageWindows1252, 0, u"abc", -1, narrow, 2), kErrorInsufficientBuffer},
      {wideCharToMultiByte(kCodePageUtf8, 0, u"a", -1, narrow, 2, "?", nullptr), kErrorInvalidParameter},
      {wideCharToMultiByte(kCodePageUtf8, kWcErrInvalidChars, u"\xD800", 1, narrow, 2),
       kErrorNoUnicodeTranslation},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(cases[i].result, 0);
  }
  // The error is per call, so check each in turn.
  EXPECT_EQ(multiByteToWideChar(kCodePageWindows1252, 0, "abc", -1, wide, 2), 0);
  EXPECT_EQ(lastConversionError(), kErrorInsufficientBuffer);
  EXPECT_EQ(multiByteToWideChar(437, 0, "a", -1, wide, 2), 0);
  EXPECT_EQ(lastConversionError(), kErrorInvalidParameter);
  EXPECT_EQ(multiByteToWideChar(kCodePageUtf8, kMbPrecomposed, "a", -1, wide, 2), 0);
  EXPECT_EQ(lastConversionError(), kErrorInvalidFlags);
  EXPECT_EQ(multiByteToWideChar(kCodePageUtf8, kMbErrInvalidChars, "\xC0\xAF", 2, wide, 2), 0);
  EXPECT_EQ(lastConversionError(), kErrorNoUnicodeTranslation);
}

TEST_F(CodePagesTest, Utf8ReplacesIllFormedInputAndLoneSurrogates) {
  EXPECT_EQ(toWide(kCodePageUtf8, "A\xF0\x9F\x98\x80"), u"A\U0001F600");
  EXPECT_EQ(toWide(kCodePageUtf8, "\xC0\xAF"), u"\uFFFD\uFFFD");
  EXPECT_EQ(toWide(kCodePageUtf8, "\xED\xA0\x80z"), u"\uFFFD\uFFFD\uFFFDz");
  EXPECT_EQ(toWide(kCodePageUtf8, "\xE2\x82"), u"\uFFFD");  // a truncated sequence is one replacement
  EXPECT_EQ(toNarrow(kCodePageUtf8,
                     u"a\xD800"
                     u"b"),
            "a\xEF\xBF\xBD"
            "b");
  EXPECT_EQ(toNarrow(kCodePageUtf8, u"\U0001F600"), "\xF0\x9F\x98\x80");
}

TEST_F(CodePagesTest, ThreadPageIsPerThreadAndNamedByCodePageThree) {
  EXPECT_EQ(threadAnsiCodePage(), kCodePageWindows1252);
  EXPECT_EQ(toWide(kCodePageThreadAnsi, "\xE9"), u"\u00e9");
  ASSERT_TRUE(setThreadAnsiCodePage(kCodePageUtf8));
  EXPECT_EQ(toWide(kCodePageThreadAnsi, "\xC3\xA9"), u"\u00e9");
  EXPECT_EQ(toNarrow(kCodePageThreadAnsi, u"\u4e2d"), "\xE4\xB8\xAD");
  uint32_t otherThreadsPage = 0;
  std::thread([&] { otherThreadsPage = threadAnsiCodePage(); }).join();
  EXPECT_EQ(otherThreadsPage, kCodePageWindows1252);
  EXPECT_FALSE(setThreadAnsiCodePage(437));
  EXPECT_EQ(threadAnsiCodePage(), kCodePageUtf8);
}

TEST_F(CodePagesTest, WholeTextHelpersRoundTrip) {
  std::u16string text = u"K\u00e4se \U0001F600";
  EXPECT_EQ(utf16FromUtf8(utf8FromUtf16(text)), text);
  EXPECT_EQ(utf8FromUtf16(u""), "");
}

}  // namespace
}  // namespace simdesktop
