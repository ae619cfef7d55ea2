// UTF-8 into the host's buffers with its log lines, and ANSI <-> UTF-16 in the thread's code page.
#include "text/string_conversions.h"

#include <gtest/gtest.h>

#include <vector>

#include "log_fixture.h"

namespace xplug {
namespace {

using xplug::testing::readFile;

using TextTest = testing::LogFixture;

constexpr char16_t kSentinel = 0xAAAA;

struct HostCopyCase {
  const char* name;
  std::string input;
  uint32_t capacity;
  std::u16string expected;
  bool notLegal;  // the up-front test of the first sequence fails
  int status;     // the conversion failure logged, or -1
};

TEST_F(TextTest, CopyUtf8ToHostConvertsTerminatesAndLogsFailures) {
  const HostCopyCase cases[] = {
      {"empty", "", 4, u"", true, -1},
      {"astral", "A\xF0\x9F\x98\x80", 8, u"A\xD83D\xDE00", false, -1},
      {"astral without room", "\xF0\x9F\x98\x80", 1, u"", false, 2},
      {"astral with one unit free", "A\xF0\x9F\x98\x80", 2, u"A", false, 2},
      {"truncated at the end", "ok\xC3", 8, u"ok", false, 1},
      {"overlong slash", "\xC0\xAF", 8, u"", true, 3},
      {"encoded surrogate", "\xED\xA0\x80", 8, u"", true, 3},
      {"above U+10FFFF", "\xF4\x90\x80\x80", 8, u"", true, 3},
      {"lone continuation", "\x80", 8, u"", true, 3},
      {"lone 0xFF near the end", "\xFF", 8, u"", true, 1},
      {"exactly full", "abc", 3, u"abc", false, -1},
      {"one too many", "abcd", 3, u"abc", false, 2},
      {"illegal after good text", "ab\xC0\xAF", 8, u"ab", false, 3},
      {"zero capacity", "a", 0, u"", false, 2},
  };
  for (const HostCopyCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<char16_t> buffer(c.capacity + 3, kSentinel);
    copyUtf8ToHost(c.input.c_str(), buffer.data(), c.capacity);
    EXPECT_EQ(std::u16string(buffer.data()), c.expected);
    // Nothing is written past the terminator.
    for (size_t i = c.expected.size() + 1; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], kSentinel) << i;

    std::vector<std::string> expectedLog;
    if (c.notLegal) expectedLog.push_back("Input string (" + c.input + ") is not legal");
    if (c.status >= 0) {
      expectedLog.push_back("Conversion of input (" + c.input + ") to UTF-16 failed because of error " +
                            std::to_string(c.status));
    }
    EXPECT_EQ(entries(readFile(sharedLog())), expectedLog);
    std::filesystem::remove(sharedLog());
  }
}

TEST_F(TextTest, Utf8ToUtf16LeavesBothCursorsWhereItStopped) {
  struct Case {
    std::string input;
    size_t outputRoom;
    Utf8Status status;
    size_t inputStop;
    std::u16string output;
  };
  const Case cases[] = {
      {"ab\xC0\xAF"
       "cd",
       8, utf8Illegal, 2, u"ab"},
      {"a\xE2\x82\xAC", 8, utf8Ok, 4, u"a\u20AC"},
      {"a\xE2\x82", 8, utf8Truncated, 1, u"a"},
      {"\xFF\x80\x80\x80\x80\x80", 8, utf8Illegal, 0, u""},  // long enough to be validated
      {"\xF8\x88\x80\x80\x80", 8, utf8Illegal, 0, u""},
      {"xy\xF0\x9F\x98\x80", 3, utf8OutputFull, 2, u"xy"},
      {"\xEF\xBF\xBF\xF4\x8F\xBF\xBF", 8, utf8Ok, 7, u"\uFFFF\U0010FFFF"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    std::vector<char16_t> out(c.outputRoom, kSentinel);
    const auto* begin = reinterpret_cast<const unsigned char*>(c.input.data());
    const unsigned char* input = begin;
    char16_t* output = out.data();
    EXPECT_EQ(utf8ToUtf16(input, begin + c.input.size(), output, out.data() + out.size()), c.status);
    EXPECT_EQ(static_cast<size_t>(input - begin), c.inputStop);
    EXPECT_EQ(std::u16string(out.data(), output), c.output);
  }
}

TEST_F(TextTest, AnsiConversionsUseTheThreadsWindows1252Page) {
  EXPECT_EQ(ansiToWide("\x80 caf\xE9"), std::optional<std::u16string>(u"\u20AC caf\u00e9"));
  EXPECT_EQ(wideToAnsi(u"\u20AC caf\u00e9"), std::optional<std::string>("\x80 caf\xE9"));
  // A character the page lacks becomes its default character, not an absent result.
  EXPECT_EQ(wideToAnsi(u"a\u4e2d\U0001F600"), std::optional<std::string>("a???"));
  EXPECT_EQ(ansiToWide(""), std::optional<std::u16string>(u""));
  EXPECT_EQ(wideToAnsi(u""), std::optional<std::string>(""));
  EXPECT_FALSE(ansiToWide(nullptr));
  EXPECT_FALSE(wideToAnsi(nullptr));
  // Nothing is logged by these two.
  EXPECT_FALSE(std::filesystem::exists(sharedLog()));
}

TEST_F(TextTest, AnsiConversionsFollowAUtf8ThreadPage) {
  ASSERT_TRUE(simdesktop::setThreadAnsiCodePage(simdesktop::kCodePageUtf8));
  EXPECT_EQ(ansiToWide("\xE4\xB8\xAD\xF0\x9F\x98\x80"), std::optional<std::u16string>(u"\u4e2d\U0001F600"));
  // Three bytes per unit: more than twice the units, which a fixed 2 x (n + 1) buffer would refuse.
  std::u16string han(1000, u'\u4e2d');
  auto narrow = wideToAnsi(han.c_str());
  ASSERT_TRUE(narrow);
  EXPECT_EQ(narrow->size(), 3000u);
  EXPECT_EQ(ansiToWide(narrow->c_str()), std::optional<std::u16string>(han));
}

TEST_F(TextTest, LongTextsConvertWithoutExhaustingTheStack) {
  std::string text(16 * 1024 * 1024, 'x');
  auto wideText = ansiToWide(text.c_str());
  ASSERT_TRUE(wideText);
  EXPECT_EQ(wideText->size(), text.size());
  auto back = wideToAnsi(wideText->c_str());
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, text);
}

}  // namespace
}  // namespace xplug
