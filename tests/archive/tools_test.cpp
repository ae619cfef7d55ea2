// The packer and the jar writer, as functions and as the commands plug-in writers run.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unzip.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "archive_test_env.h"
#include "jar_writer.h"
#include "pack_module.h"
#include "testsupport/run_command.h"

namespace xplug::tools {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::writeFile;

class ToolsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = test::makeTestFolder();
    ASSERT_FALSE(folder_.empty());
    jar_ = folder_ + "/input.jar";
    ASSERT_TRUE(test::writeZip(jar_, {{"a.txt", "jar content"}}));
  }

  // Runs a command line and gives its exit status; its error output goes to `errorFile_`. The tools of a
  // build of another word size run under its emulator.
  int run(const std::string& commandLine) {
    std::string prefix;
    for (const std::string& word : xplug::testing::emulatorFor(XPLUG_PACK_COMMAND))
      prefix += "'" + word + "' ";
    const int status = std::system((prefix + commandLine + " 2>'" + errorFile() + "'").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string errorFile() const { return folder_ + "/stderr.txt"; }

  std::string folder_;
  std::string jar_;
};

// ---- Packer ----

TEST_F(ToolsTest, PackedModuleIsImagePaddingAndJar) {
  for (const size_t imageSize : {size_t{10}, size_t{64}}) {
    SCOPED_TRACE(imageSize);
    const std::string image(imageSize, 'i');
    writeFile(folder_ + "/image", image);
    const PackOutcome outcome = packModule(folder_ + "/image", jar_, folder_ + "/packed", 64);
    ASSERT_TRUE(outcome.ok) << outcome.error;
    EXPECT_EQ(readFile(folder_ + "/packed"), image + std::string(64 - imageSize, '\0') + readFile(jar_));
  }
}

TEST_F(ToolsTest, PackerRefusesWhatWouldNotLoad) {
  writeFile(folder_ + "/image", std::string(101, 'i'));
  writeFile(folder_ + "/notzip", "not a zip archive");
  struct Case {
    const char* what;
    std::string image;
    std::string jar;
    uint64_t offset;
    std::string mentions;
  };
  const Case cases[] = {
      {"image larger than the offset", folder_ + "/image", jar_, 100,
       "101 bytes, larger than the attached-jar offset of 100"},
      {"jar that is no zip archive", folder_ + "/image", folder_ + "/notzip", 200, "not a zip archive"},
      {"missing image", folder_ + "/none", jar_, 200, "cannot read module image"},
      {"missing jar", folder_ + "/image", folder_ + "/none.jar", 200, "cannot open jar"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    writeFile(folder_ + "/packed", "earlier output");
    const PackOutcome outcome = packModule(c.image, c.jar, folder_ + "/packed", c.offset);
    EXPECT_FALSE(outcome.ok);
    EXPECT_NE(outcome.error.find(c.mentions), std::string::npos) << outcome.error;
    EXPECT_EQ(readFile(folder_ + "/packed"), "earlier output");
    EXPECT_FALSE(fs::exists(folder_ + "/packed.partial"));
  }
}

TEST_F(ToolsTest, OffsetsAreDecimalOrHexadecimal) {
  struct Case {
    const char* text;
    bool valid;
    uint64_t value;
  };
  const Case cases[] = {{"237568", true, 237568}, {"0x3A000", true, 0x3A000},
                        {"0", true, 0},           {"", false, 0},
                        {"12abc", false, 0},      {"-5", false, 0},
                        {"0x", false, 0},         {"99999999999999999999999", false, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    uint64_t offset = 7;
    EXPECT_EQ(parseOffset(c.text, &offset), c.valid);
    if (c.valid) {
      EXPECT_EQ(offset, c.value);
    }
  }
}

TEST_F(ToolsTest, PackCommandReportsRefusalWithItsExitStatus) {
  const std::string pack = XPLUG_PACK_COMMAND;
  writeFile(folder_ + "/image", std::string(300, 'i'));
  const std::string output = folder_ + "/packed";

  EXPECT_EQ(run("'" + pack + "' '" + folder_ + "/image' '" + jar_ + "' '" + output + "' --offset 0x100"), 1);
  EXPECT_NE(readFile(errorFile()).find("larger than the attached-jar offset"), std::string::npos);
  EXPECT_FALSE(fs::exists(output));

  EXPECT_EQ(run("'" + pack + "' only-one-argument"), 2);
  EXPECT_NE(readFile(errorFile()).find("usage: xplug-pack"), std::string::npos);
  EXPECT_EQ(run("'" + pack + "' a b c --offset twelve"), 2);

  EXPECT_EQ(run("'" + pack + "' '" + folder_ + "/image' '" + jar_ + "' '" + output + "' --offset 512"), 0);
  EXPECT_EQ(fs::file_size(output), 512 + fs::file_size(jar_));
}

// ---- Jar writer ----

struct JarEntry {
  std::string name;
  std::string data;
  int method;
};

std::vector<JarEntry> readJar(const std::string& path) {
  std::vector<JarEntry> entries;
  unzFile zip = unzOpen(path.c_str());
  EXPECT_NE(zip, nullptr);
  if (zip == nullptr) return entries;
  for (int status = unzGoToFirstFile(zip); status == UNZ_OK; status = unzGoToNextFile(zip)) {
    unz_file_info info{};
    char name[512];
    EXPECT_EQ(unzGetCurrentFileInfo(zip, &info, name, sizeof name, nullptr, 0, nullptr, 0), UNZ_OK);
    EXPECT_EQ(unzOpenCurrentFile(zip), UNZ_OK);
    std::string data(info.uncompressed_size, '\0');
    EXPECT_EQ(unzReadCurrentFile(zip, data.data(), static_cast<unsigned>(data.size())),
              static_cast<int>(data.size()));
    EXPECT_EQ(unzCloseCurrentFile(zip), UNZ_OK);
    entries.push_back({name, data, static_cast<int>(info.compression_method)});
  }
  unzClose(zip);
  return entries;
}

TEST_F(ToolsTest, JarHoldsTheManifestFirstThenFoldersThenMergedJars) {
  fs::create_directories(folder_ + "/classes/com/x/inner");
  fs::create_directories(folder_ + "/classes/META-INF");
  writeFile(folder_ + "/classes/com/x/B.class", "B");
  writeFile(folder_ + "/classes/com/x/inner/A.class", "A");
  writeFile(folder_ + "/classes/META-INF/MANIFEST.MF", "folder manifest");
  ASSERT_TRUE(test::writeZip(folder_ + "/lib.jar",
                             {{"META-INF/", ""},
                              {"META-INF/MANIFEST.MF", "Manifest-Version: 1.0\r\nCreated-By: x\r\n"},
                              {"com/lib/", ""},
                              {"com/lib/L.class", std::string(2000, 'L'), 0}}));
  JarContents contents;
  contents.manifest = {
      {"Manifest-Version", "1.0"}, {"plugin-help", "Help: with a colon"}, {"plugin-name", "N"}};
  contents.classDirectories = {folder_ + "/classes"};
  contents.mergedJars = {folder_ + "/lib.jar"};
  const JarOutcome outcome = writeJar(folder_ + "/out.jar", contents);
  ASSERT_TRUE(outcome.ok) << outcome.error;

  const std::vector<JarEntry> entries = readJar(folder_ + "/out.jar");
  std::vector<std::string> names;
  for (const JarEntry& entry : entries) {
    names.push_back(entry.name);
    EXPECT_EQ(entry.method, 8) << entry.name;
  }
  EXPECT_EQ(names, (std::vector<std::string>{"META-INF/MANIFEST.MF", "com/x/B.class", "com/x/inner/A.class",
                                             "com/lib/L.class"}));
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[0].data,
            "Manifest-Version: 1.0\r\nplugin-help: Help: with a colon\r\nplugin-name: N\r\n\r\n");
  EXPECT_EQ(entries[3].data, std::string(2000, 'L'));
}

TEST_F(ToolsTest, ManifestsTheModuleCouldNotReadAreRefused) {
  const std::string longText(300, 'v');
  struct Case {
    const char* what;
    std::vector<ManifestEntry> manifest;
    std::string mentions;
  };
  const Case cases[] = {
      {"empty key", {{"", "v"}}, "must be 1 to 63"},
      {"key with a colon", {{"a:b", "v"}}, "must be 1 to 63"},
      {"key with a space", {{"a b", "v"}}, "must be 1 to 63"},
      {"key longer than 63 bytes", {{std::string(64, 'k'), "v"}}, "must be 1 to 63"},
      {"key given twice", {{"plugin-name", "a"}, {"plugin-name", "b"}}, "given twice"},
      {"value longer than 259 bytes", {{"plugin-help", longText}}, "at most 259"},
      {"value with a line feed", {{"plugin-help", "a\nb"}}, "line break"},
      {"value with a carriage return", {{"plugin-help", "a\rb"}}, "line break"},
      {"value starting with a space", {{"plugin-help", " a"}}, "starts with a space"},
      {"options without the flags", {{"plugin-options", "HELO"}}, "is 4 characters long"},
      {"options with a 5-character id", {{"plugin-options", "HELLO1nnYn"}}, "is 10 characters long"},
      {"options with a space in the id", {{"plugin-options", "HE O1nnYn"}}, "4 visible ASCII"},
      {"options with a lower-case flag", {{"plugin-options", "HELO1nnyn"}}, "'Y' or 'n' in places 6 to 9"},
      {"options without the 1", {{"plugin-options", "HELOnnnYn"}}, "'1' in place 5"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string error = checkManifest(c.manifest);
    EXPECT_NE(error.find(c.mentions), std::string::npos) << error;
    EXPECT_FALSE(writeJar(folder_ + "/refused.jar", JarContents{c.manifest, {}, {}}).ok);
    EXPECT_FALSE(fs::exists(folder_ + "/refused.jar"));
  }
  std::vector<ManifestEntry> tooMany;
  for (int i = 0; i < 40; ++i) tooMany.push_back({"X-Key-" + std::to_string(i), std::string(250, 'v')});
  EXPECT_NE(checkManifest(tooMany).find("8192"), std::string::npos);
  EXPECT_EQ(checkManifest({{"Manifest-Version", "1.0"},
                           {"plugin-version", ""},
                           {"Key_2", std::string(259, 'v')},
                           {"plugin-options", "AB_21YnYn"}}),
            "");
}

TEST_F(ToolsTest, DuplicateEntryOrMissingInputLeavesNoJar) {
  fs::create_directories(folder_ + "/classes/com");
  writeFile(folder_ + "/classes/com/A.class", "A");
  ASSERT_TRUE(test::writeZip(folder_ + "/dup.jar", {{"com/A.class", "other A"}}));
  const std::vector<ManifestEntry> manifest = {{"Manifest-Version", "1.0"}};
  struct Case {
    const char* what;
    JarContents contents;
    std::string mentions;
  };
  const Case cases[] = {
      {"same entry in a folder and a jar",
       {manifest, {folder_ + "/classes"}, {folder_ + "/dup.jar"}},
       "two different classes com/A.class"},
      {"missing class folder", {manifest, {folder_ + "/none"}, {}}, "is not a folder"},
      {"missing jar", {manifest, {}, {folder_ + "/none.jar"}}, "cannot open jar"},
      {"jar that is no zip archive", {manifest, {}, {folder_ + "/classes/com/A.class"}}, "cannot open jar"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const JarOutcome outcome = writeJar(folder_ + "/out.jar", c.contents);
    EXPECT_FALSE(outcome.ok);
    EXPECT_NE(outcome.error.find(c.mentions), std::string::npos) << outcome.error;
    EXPECT_FALSE(fs::exists(folder_ + "/out.jar"));
    EXPECT_FALSE(fs::exists(folder_ + "/out.jar.partial"));
  }
}

TEST_F(ToolsTest, LibrariesAreMergedAsTheClassPathWouldSeeThem) {
  fs::create_directories(folder_ + "/classes/META-INF");
  writeFile(folder_ + "/classes/Own.class", "own");
  writeFile(folder_ + "/classes/META-INF/LICENSE", "plug-in licence");
  ASSERT_TRUE(test::writeZip(folder_ + "/one.jar",
                             {{"META-INF/NOTICE.txt", "notice one"},
                              {"META-INF/LICENSE.txt", "apache"},
                              {"META-INF/ONE.SF", "signature"},
                              {"META-INF/ONE.RSA", "certificate"},
                              {"META-INF/INDEX.LIST", "index"},
                              {"module-info.class", "module one"},
                              {"META-INF/services/com.api.Codec", "# providers\ncom.one.A\n  com.one.B  \n"},
                              {"com/shared/S.class", "shared"},
                              {"com/one/A.class", "A"}}));
  ASSERT_TRUE(test::writeZip(folder_ + "/two.jar",
                             {{"META-INF/NOTICE.txt", "notice two"},
                              {"META-INF/LICENSE.txt", "apache"},
                              {"META-INF/versions/9/module-info.class", "module two"},
                              {"META-INF/services/com.api.Codec", "com.one.B\ncom.two.C # the fast one"},
                              {"com/shared/S.class", "shared"}}));
  JarContents contents;
  contents.manifest = {{"Manifest-Version", "1.0"}};
  contents.classDirectories = {folder_ + "/classes"};
  contents.mergedJars = {folder_ + "/one.jar", folder_ + "/two.jar"};
  const JarOutcome outcome = writeJar(folder_ + "/out.jar", contents);
  ASSERT_TRUE(outcome.ok) << outcome.error;

  std::vector<std::string> names;
  std::string services;
  for (const JarEntry& entry : readJar(folder_ + "/out.jar")) {
    names.push_back(entry.name);
    if (entry.name == "META-INF/services/com.api.Codec") services = entry.data;
    if (entry.name == "META-INF/licenses/two/NOTICE.txt") {
      EXPECT_EQ(entry.data, "notice two");
    }
  }
  EXPECT_EQ(names,
            (std::vector<std::string>{
                "META-INF/MANIFEST.MF", "META-INF/LICENSE", "Own.class", "META-INF/licenses/one/NOTICE.txt",
                "META-INF/licenses/one/LICENSE.txt", "META-INF/services/com.api.Codec", "com/shared/S.class",
                "com/one/A.class", "META-INF/licenses/two/NOTICE.txt", "META-INF/licenses/two/LICENSE.txt"}));
  EXPECT_EQ(services, "com.one.A\ncom.one.B\ncom.two.C\n");
}

TEST_F(ToolsTest, TwoDifferentCopiesOfOneNameAreRefusedNamingBothJars) {
  ASSERT_TRUE(
      test::writeZip(folder_ + "/old.jar", {{"com/lib/L.class", "version 1"}, {"lib.properties", "a"}}));
  ASSERT_TRUE(test::writeZip(folder_ + "/new.jar", {{"com/lib/L.class", "version 2"}}));
  ASSERT_TRUE(test::writeZip(folder_ + "/props.jar", {{"lib.properties", "b"}}));
  const std::vector<ManifestEntry> manifest = {{"Manifest-Version", "1.0"}};
  const struct {
    const char* second;
    const char* mentions;
  } cases[] = {{"/new.jar", "two different classes com/lib/L.class"},
               {"/props.jar", "two different files lib.properties"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.second);
    const JarOutcome outcome =
        writeJar(folder_ + "/out.jar", JarContents{manifest, {}, {folder_ + "/old.jar", folder_ + c.second}});
    EXPECT_FALSE(outcome.ok);
    EXPECT_NE(outcome.error.find(c.mentions), std::string::npos) << outcome.error;
    EXPECT_NE(outcome.error.find(folder_ + "/old.jar"), std::string::npos) << outcome.error;
    EXPECT_NE(outcome.error.find(folder_ + c.second), std::string::npos) << outcome.error;
    EXPECT_FALSE(fs::exists(folder_ + "/out.jar"));
  }
}

TEST(ClassFileTexts, ReadsTheConstantPoolsTextsAcrossEntriesOfEveryWidth) {
  using namespace std::string_literals;
  const std::string header = "\xCA\xFE\xBA\xBE\x00\x00\x00\x34"s;
  // Seven slots: a Utf8 "HELO", a Long (two slots), a String, a MethodHandle, a Utf8 "run".
  const std::string pool =
      "\x00\x07"
      "\x01\x00\x04HELO"
      "\x05\x00\x00\x00\x00\x00\x00\x00\x2A"
      "\x08\x00\x01"
      "\x0F\x06\x00\x01"
      "\x01\x00\x03run"s;
  EXPECT_EQ(classFileTexts(header + pool), (std::vector<std::string>{"HELO", "run"}));
  EXPECT_EQ(classFileTexts(header + pool.substr(0, pool.size() - 2)), std::nullopt) << "cut short";
  EXPECT_EQ(classFileTexts("PK\x03\x04 not a class"), std::nullopt);
  EXPECT_EQ(classFileTexts(header + "\x00\x02\x63"s), std::nullopt) << "unknown tag";
}

TEST_F(ToolsTest, JarCommandWritesTheManifestInTheOrderGiven) {
  const std::string jarCommand = XPLUG_JAR_COMMAND;
  const std::string output = folder_ + "/cmd.jar";
  EXPECT_EQ(run("'" + jarCommand + "' '" + output +
                "' --manifest-entry Manifest-Version=1.0 --manifest-entry 'plugin-name=A = B' --jar '" +
                jar_ + "'"),
            0);
  const std::vector<JarEntry> entries = readJar(output);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].data, "Manifest-Version: 1.0\r\nplugin-name: A = B\r\n\r\n");
  EXPECT_EQ(entries[1].name, "a.txt");

  EXPECT_EQ(run("'" + jarCommand + "' '" + output + "' --manifest-entry no-equals-sign"), 2);
  EXPECT_EQ(run("'" + jarCommand + "'"), 2);
  EXPECT_NE(readFile(errorFile()).find("usage: xplug-jar"), std::string::npos);
  EXPECT_EQ(run("'" + jarCommand + "' '" + output + "' --manifest-entry 'bad key=v'"), 1);
  EXPECT_NE(readFile(errorFile()).find("must be 1 to 63"), std::string::npos);
}

}  // namespace
}  // namespace xplug::tools
