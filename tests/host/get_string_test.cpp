// String queries through the real entry point: the manifest of a prepared archive copy answers ids 128,
// 129 and 131. Every test runs in a process of its own, so each sees the first query of its process.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>

#include "host/entry.h"
#include "host_test_env.h"
#include "session/host_session.h"

namespace xplug {
namespace {

constexpr char16_t untouched = 0xAAAA;

const char* const fullManifest =
    "Manifest-Version: 1.0\r\n"
    "plugin-help: Sends mail: fast\r\n"
    "pluginClassName: com.example.Mail\r\n"
    "plugin-version: 2.1\r\n"
    "plugin-name: Z\xC3\xBCrich Mail\r\n"
    "plugin-options: MailXplug1nnYnn\r\n"
    "\r\n";

class GetString : public ::testing::Test {
 protected:
  void prepare(const std::string& manifest) {
    folder_ = test::prepareTestFolder();
    ASSERT_FALSE(folder_.empty());
    std::string jar = folder_ + "/plugin.jar";
    ASSERT_TRUE(test::writeManifestJar(jar, manifest));
    test::useArchiveCopy(jar);
  }

  // Asks through FMExternCallProc; the buffer starts filled with a marker so that untouched units show.
  std::u16string ask(uint8_t id, uint32_t capacity, std::array<char16_t, 64>& buffer) {
    buffer.fill(untouched);
    ExternCallRecord record = test::makeRecord(kFmxSelectorGetString, id);
    record.bufferCapacity = capacity;
    record.result = reinterpret_cast<uintptr_t>(buffer.data());
    FMExternCallProc(&record);
    auto end = std::find(buffer.begin(), buffer.end(), u'\0');
    return std::u16string(buffer.begin(), end);
  }

  std::string folder_;
};

size_t countOf(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

TEST_F(GetString, AnswersNameDescriptionAndOptionsAndReadsTheManifestOnce) {
  prepare(fullManifest);
  std::array<char16_t, 64> buffer{};
  testing::internal::CaptureStdout();
  std::u16string name = ask(kFmxStringName, 64, buffer);
  std::u16string description = ask(kFmxStringHelp, 64, buffer);
  std::u16string options = ask(kFmxStringOptions, 64, buffer);
  std::string output = testing::internal::GetCapturedStdout();

  EXPECT_EQ(name, u"Z\u00FCrich Mail");
  EXPECT_EQ(description, u"Sends mail: fast (2.1)");
  EXPECT_EQ(options, u"MailXplug1nnYnn");
  EXPECT_EQ(countOf(output,
                    "Finished reading metadata; (Z\xC3\xBCrich Mail) (MailXplug1nnYnn) (Sends mail: fast) "
                    "(2.1)\n"),
            1u)
      << output;
  EXPECT_EQ(countOf(output, "Finished reading metadata"), 1u) << output;
  ASSERT_NE(hostSession.pluginName, nullptr);
  EXPECT_STREQ(hostSession.pluginName, "Z\xC3\xBCrich Mail");
}

TEST_F(GetString, UnansweredIdsLeaveTheBufferUntouched) {
  prepare(fullManifest);
  std::array<char16_t, 64> buffer{};
  for (uint8_t id : {uint8_t{130}, uint8_t{0}, uint8_t{127}, uint8_t{255}}) {
    ask(id, 64, buffer);
    EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](char16_t unit) { return unit == untouched; }))
        << "id " << int(id);
  }
}

TEST_F(GetString, CutsTheTextToTheCapacity) {
  prepare(fullManifest);
  std::array<char16_t, 64> buffer{};
  EXPECT_EQ(ask(kFmxStringOptions, 5, buffer), u"Mail");
  EXPECT_EQ(buffer[4], u'\0');
  EXPECT_EQ(buffer[5], untouched);

  EXPECT_EQ(ask(kFmxStringOptions, 1, buffer), u"");
  EXPECT_EQ(buffer[1], untouched);

  ask(kFmxStringOptions, 0, buffer);
  EXPECT_EQ(buffer[0], untouched);
}

TEST_F(GetString, EmptyVersionStillGivesTheBrackets) {
  prepare("plugin-help: Tool\r\nplugin-version:\r\nplugin-name: T\r\n\r\n");
  std::array<char16_t, 64> buffer{};
  EXPECT_EQ(ask(kFmxStringHelp, 64, buffer), u"Tool ()");
}

TEST_F(GetString, MissingValuesGiveEmptyTexts) {
  prepare("Manifest-Version: 1.0\r\nplugin-version: 3\r\nplugin-options:\r\n\r\n");
  std::array<char16_t, 64> buffer{};
  testing::internal::CaptureStdout();
  EXPECT_EQ(ask(kFmxStringName, 64, buffer), u"");
  EXPECT_EQ(buffer[1], untouched);
  EXPECT_EQ(ask(kFmxStringOptions, 64, buffer), u"");
  EXPECT_EQ(buffer[1], untouched);
  EXPECT_EQ(ask(kFmxStringHelp, 64, buffer), u" (3)");
  std::string output = testing::internal::GetCapturedStdout();
  // An absent key and an empty value are answered quietly: neither is illegal input.
  EXPECT_EQ(output.find("is not legal"), std::string::npos) << output;
  EXPECT_EQ(output.find("Conversion of input"), std::string::npos) << output;
  EXPECT_NE(output.find("Finished reading metadata; ((null)) () ((null)) (3)\n"), std::string::npos)
      << output;
  EXPECT_EQ(hostSession.pluginName, nullptr);
}

TEST_F(GetString, UnreadableArchiveAnswersEmptyTextsAndIsNotReadAgain) {
  folder_ = test::prepareTestFolder();
  ASSERT_FALSE(folder_.empty());
  test::useArchiveCopy(folder_ + "/missing.jar");
  std::array<char16_t, 64> buffer{};
  testing::internal::CaptureStdout();
  EXPECT_EQ(ask(kFmxStringName, 64, buffer), u"");
  EXPECT_EQ(ask(kFmxStringHelp, 64, buffer), u"");
  // A jar appearing later changes nothing: the manifest is read once per process, whatever the outcome.
  ASSERT_TRUE(test::writeManifestJar(folder_ + "/missing.jar", fullManifest));
  EXPECT_EQ(ask(kFmxStringName, 64, buffer), u"");
  std::string output = testing::internal::GetCapturedStdout();
  EXPECT_EQ(countOf(output, "Finished reading metadata; ((null)) ((null)) ((null)) ((null))\n"), 1u)
      << output;
}

}  // namespace
}  // namespace xplug
