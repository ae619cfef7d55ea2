// The manifest reader: the line reader's rules over manifest texts, and the reading of the manifest
// entry from archives whole, damaged or missing.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "archive/plugin_manifest.h"
#include "archive_test_env.h"

namespace xplug {
namespace {

using Lines = std::vector<std::string>;
using Value = std::optional<std::string>;

const std::string kModuleManifest =
    "Manifest-Version: 1.0\r\n"
    "plugin-help: Example functions written in Java\r\n"
    "pluginClassName: com.kelvo.xplug.example.ExamplePlugin\r\n"
    "plugin-version: 1.0\r\n"
    "plugin-name: XPlug Example\r\n"
    "plugin-options: XPEX1nnYn\r\n"
    "\r\n";

const Lines kMissingArchiveLines(const std::string& path) {
  return {"Could not locate manifest entry: META-INF/MANIFEST.MF",
          "Could not get info for manifest entry: META-INF/MANIFEST.MF",
          "Could not open manifest entry: META-INF/MANIFEST.MF",
          "Could not close manifest entry: META-INF/MANIFEST.MF", "Could not close zip file: " + path};
}

struct Expected {
  Value name;
  Value options;
  Value help;
  Value version;
  Lines logged;
};

void expectMetadata(const PluginMetadata& metadata, const Expected& expected) {
  EXPECT_EQ(metadata.name, expected.name);
  EXPECT_EQ(metadata.options, expected.options);
  EXPECT_EQ(metadata.help, expected.help);
  EXPECT_EQ(metadata.version, expected.version);
}

class ManifestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = test::makeTestFolder();
    ASSERT_FALSE(folder_.empty());
  }

  // Reads the archive's metadata and checks the values and the lines logged on the way.
  void expectArchive(const std::string& archive, const Expected& expected) {
    test::startLogCapture();
    const PluginMetadata metadata = readPluginMetadata(archive.c_str());
    EXPECT_EQ(test::stopLogCapture(), expected.logged);
    expectMetadata(metadata, expected);
  }

  std::string folder_;
};

struct TextCase {
  const char* what;
  std::string text;
  Expected expected;
};

TEST_F(ManifestTest, TextsAreSplitIntoPairsAsTheReaderDefines) {
  const std::string longName(100, 'n');
  const std::string longValue(300, 'v');
  const TextCase cases[] = {
      {"the module's own manifest",
       kModuleManifest,
       {"XPlug Example", "XPEX1nnYn", "Example functions written in Java", "1.0", {}}},
      {"':' inside a value",
       "plugin-help: see http://example.com:8080/a:b\r\n",
       {{}, {}, "see http://example.com:8080/a:b", {}, {}}},
      {"continuation line",
       "plugin-help: first\r\n part\r\nplugin-name: N\r\n",
       {"N", {}, "firstpart", {}, {}}},
      {"continuation across blank lines", "plugin-help: first\n\n\n part\n", {{}, {}, "firstpart", {}, {}}},
      {"last line without a line feed", "plugin-version: 2\r\nplugin-name: Lost", {{}, {}, {}, "2", {}}},
      {"many line feeds at the end", "plugin-name: Kept\n\n\n\n\n", {"Kept", {}, {}, {}, {}}},
      {"key spelled with capitals",
       "Plugin-Name: Wrong\r\n",
       {{}, {}, {}, {}, {"Unrecognized manifest key: Plugin-Name"}}},
      {"spaces after ':' skipped, trailing spaces kept",
       "plugin-name:     Spaced  Name  \r\n",
       {"Spaced  Name  ", {}, {}, {}, {}}},
      {"LF line ends read like CR LF", "plugin-name: A\nplugin-options: B\n", {"A", "B", {}, {}, {}}},
      {"the last value of a repeated key wins",
       "plugin-name: First\r\nplugin-name: Second\r\n",
       {"Second", {}, {}, {}, {}}},
      {"empty value", "plugin-version:\r\n", {{}, {}, {}, "", {}}},
      {"sections read as one list",
       "Manifest-Version: 1.0\r\n\r\nName: com/x/\r\nplugin-name: N\r\n\r\n",
       {"N", {}, {}, {}, {"Unrecognized manifest key: Name"}}},
      {"line without ':' is skipped", "no colon here\r\nplugin-name: N\r\n", {"N", {}, {}, {}, {}}},
      {"blank line before the first header", "\r\n\r\nplugin-name: N\r\n", {"N", {}, {}, {}, {}}},
      {"long name cut to 63 bytes",
       longName + ": x\n",
       {{}, {}, {}, {}, {"Unrecognized manifest key: " + longName.substr(0, 63)}}},
      {"long value cut to 259 bytes",
       "plugin-help: " + longValue + "\nplugin-name: N\n",
       {"N", {}, longValue.substr(0, 259), {}, {}}},
      {"long value from continuations cut to 259 bytes",
       "plugin-help: " + longValue.substr(0, 200) + "\n " + longValue.substr(0, 200) + "\n",
       {{}, {}, longValue.substr(0, 259), {}, {}}},
      {"empty text", "", {}},
      {"only blank lines", "\r\n\n\n", {}},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(c.what);
    test::startLogCapture();
    const PluginMetadata metadata = parseManifest(c.text.c_str());
    EXPECT_EQ(test::stopLogCapture(), c.expected.logged);
    expectMetadata(metadata, c.expected);
  }
}

TEST_F(ManifestTest, ModulesOwnManifestIsReadStoredOrDeflated) {
  for (const int method : {0, 8}) {
    SCOPED_TRACE(method);
    const std::string archive = folder_ + "/own" + std::to_string(method) + ".jar";
    ASSERT_TRUE(test::writeZip(
        archive, {{"com/x/A.class", "classbytes", 8}, {"META-INF/MANIFEST.MF", kModuleManifest, method}}));
    expectArchive(archive, {"XPlug Example", "XPEX1nnYn", "Example functions written in Java", "1.0", {}});
  }
}

TEST_F(ManifestTest, EntryNameIsFoundWhateverItsLetterCase) {
  const std::string archive = folder_ + "/lower.jar";
  ASSERT_TRUE(
      test::writeZip(archive, {{"a.txt", "Other: x\n"}, {"meta-inf/manifest.mf", "plugin-name: N\r\n"}}));
  expectArchive(archive, {"N", {}, {}, {}, {}});
}

TEST_F(ManifestTest, OnlyTheFirst8192BytesAreRead) {
  // Filler headers bring the text close to the limit; the pair that the limit cuts is dropped.
  std::string text = "plugin-name: N\n";
  while (text.size() < 8192 - 40) text += "X-Filler: " + std::string(50, 'f') + "\n";
  text.resize(8192 - 40);
  text += "\nplugin-version: 1.0\nplugin-help: " + std::string(100, 'h') + "\n";
  const std::string archive = folder_ + "/big.jar";
  ASSERT_TRUE(test::writeZip(archive, {{"META-INF/MANIFEST.MF", text}}));

  test::startLogCapture();
  const PluginMetadata metadata = readPluginMetadata(archive.c_str());
  const Lines lines = test::stopLogCapture();
  EXPECT_EQ(metadata.name, "N");
  EXPECT_EQ(metadata.version, "1.0");
  EXPECT_EQ(metadata.help, std::nullopt);
  for (const std::string& line : lines)
    EXPECT_EQ(line.rfind("Unrecognized manifest key: X-Filler", 0), 0u) << line;
}

TEST_F(ManifestTest, MissingArchiveLogsTheFiveLines) {
  const std::string archive = folder_ + "/missing.jar";
  expectArchive(archive, {{}, {}, {}, {}, kMissingArchiveLines(archive)});
}

TEST_F(ManifestTest, FileThatIsNoArchiveReadsLikeAMissingOne) {
  const std::string garbage = folder_ + "/garbage.jar";
  test::writeFile(garbage, std::string(3000, 'g'));
  expectArchive(garbage, {{}, {}, {}, {}, kMissingArchiveLines(garbage)});
  // minizip does not open an archive without entries either.
  const std::string empty = folder_ + "/empty.jar";
  ASSERT_TRUE(test::writeZip(empty, {}));
  expectArchive(empty, {{}, {}, {}, {}, kMissingArchiveLines(empty)});
}

TEST_F(ManifestTest, ArchiveWithoutAManifestReadsItsFirstEntry) {
  const std::string archive = folder_ + "/nomanifest.jar";
  ASSERT_TRUE(test::writeZip(archive, {{"notes.txt", "Hello: world\nplugin-name: FromNotes\n"},
                                       {"second.txt", "plugin-version: 9\n"}}));
  expectArchive(archive, {"FromNotes",
                          {},
                          {},
                          {},
                          {"Could not locate manifest entry: META-INF/MANIFEST.MF",
                           "Unrecognized manifest key: Hello"}});
}

TEST_F(ManifestTest, EntryThatMinizipCannotOpenIsNotRead) {
  // The method field of the entry's local header sits at byte 8, that of its central header at byte
  // 10 after the central header's signature.
  struct Case {
    const char* what;
    bool patchLocal;
    bool patchCentral;
  };
  const Case cases[] = {{"unknown compression method", true, true},
                        {"local header differing from the central directory", true, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string archive = folder_ + "/method.jar";
    ASSERT_TRUE(test::writeZip(archive, {{"META-INF/MANIFEST.MF", "plugin-name: N\n", 0}}));
    std::string bytes = test::readFile(archive);
    const size_t central = bytes.find("PK\1\2");
    ASSERT_NE(central, std::string::npos);
    if (c.patchLocal) bytes[8] = 99;
    if (c.patchCentral) bytes[central + 10] = 99;
    test::writeFile(archive, bytes);
    expectArchive(archive, {{},
                            {},
                            {},
                            {},
                            {"Could not open manifest entry: META-INF/MANIFEST.MF",
                             "Could not close manifest entry: META-INF/MANIFEST.MF"}});
  }
}

// Finds `needle` in the archive's bytes and overwrites it, damaging the entry's stored data.
void damageArchive(const std::string& archive, const std::string& needle, const std::string& replacement) {
  std::string bytes = test::readFile(archive);
  const size_t at = bytes.find(needle);
  ASSERT_NE(at, std::string::npos);
  bytes.replace(at, replacement.size(), replacement);
  test::writeFile(archive, bytes);
}

TEST_F(ManifestTest, StoredEntryWithAWrongChecksumIsNotUsed) {
  const std::string archive = folder_ + "/crc.jar";
  ASSERT_TRUE(test::writeZip(archive, {{"META-INF/MANIFEST.MF", "plugin-name: Genuine\n", 0}}));
  damageArchive(archive, "Genuine", "Forgery");
  expectArchive(archive, {{}, {}, {}, {}, {"Could not close manifest entry: META-INF/MANIFEST.MF"}});
}

TEST_F(ManifestTest, DamagedDeflateStreamGivesAnEmptyText) {
  const std::string archive = folder_ + "/deflate.jar";
  std::string manifest;
  for (int i = 0; i < 200; ++i)
    manifest += "X-Line-" + std::to_string(i) + ": value " + std::to_string(i * i) + "\n";
  ASSERT_TRUE(test::writeZip(archive, {{"META-INF/MANIFEST.MF", manifest, 8}}));
  // The deflate stream starts right after the 30-byte local header and the entry name.
  std::string bytes = test::readFile(archive);
  const size_t dataStart = 30 + std::string("META-INF/MANIFEST.MF").size();
  ASSERT_GT(bytes.size(), dataStart + 4);
  for (size_t i = dataStart; i < dataStart + 4; ++i) bytes[i] = static_cast<char>(0xff);
  test::writeFile(archive, bytes);
  expectArchive(archive, {{}, {}, {}, {}, {"Could not read manifest entry: META-INF/MANIFEST.MF"}});
}

}  // namespace
}  // namespace xplug
