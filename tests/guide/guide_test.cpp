// The writer's guide, step by step: from an empty folder the example plug-in's source is compiled against
// the bridge, written into a jar with xplug-jar, packed onto the module image with xplug-pack, and run and
// checked with fmsim. The outputs the guide shows are compared with what the tools print, so the guide
// cannot drift from the tools.
#include <gtest/gtest.h>
#include <unzip.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "testsupport/fmsim_command_test.h"
#include "testsupport/read_file.h"

namespace xplug::testing {
namespace {

namespace fs = std::filesystem;

// The manifest the guide writes with xplug-jar, in the guide's order.
const std::vector<std::string> kManifestEntries = {
    "Manifest-Version=1.0",     "plugin-name=Hello",
    "plugin-version=1.0",       "plugin-help=Greets, adds and repeats text",
    "plugin-options=HELO1nnYn", "pluginClassName=com.example.hello.HelloPlugin",
};

const char* const kExampleFiles[] = {"HelloPlugin.java", "hello.checks"};

// The names of a zip archive's entries, one a line.
std::string entryNames(const fs::path& zipPath) {
  std::string names;
  unzFile zip = unzOpen(zipPath.string().c_str());
  if (zip == nullptr) return names;
  for (int status = unzGoToFirstFile(zip); status == UNZ_OK; status = unzGoToNextFile(zip)) {
    unz_file_info info{};
    char name[1024];
    if (unzGetCurrentFileInfo(zip, &info, name, sizeof name, nullptr, 0, nullptr, 0) == UNZ_OK) {
      names += std::string(name) + "\n";
    }
  }
  unzClose(zip);
  return names;
}

std::string describe(const CommandResult& run) {
  return "exit status " + std::to_string(run.status) + "\nstdout:\n" + run.out + "\nstderr:\n" + run.err;
}

// Every tool runs with its temporary and home folders inside the test's folder, so that neither the
// module's jar copy nor the Java VM's user preferences land in the real home folder.
class GuideWalkthrough : public FmsimCommandTest {
 protected:
  GuideWalkthrough() : FmsimCommandTest({.folderStem = "guide-", .privateHome = true}) {}

  void SetUp() override {
    FmsimCommandTest::SetUp();
    if (HasFatalFailure()) return;
    for (const char* sub : {"work", "documents", "appdata"}) fs::create_directories(root_ / sub);
    guide_ = readFile(GUIDE_PATH);
    ASSERT_FALSE(guide_.empty()) << "cannot read " << GUIDE_PATH;
    // The guide works in the plug-in's folder with relative paths; so does the test (each test case is
    // a process of its own).
    previousFolder_ = fs::current_path();
    fs::current_path(work());
  }
  void TearDown() override {
    std::error_code ignored;
    if (!previousFolder_.empty()) fs::current_path(previousFolder_, ignored);
    FmsimCommandTest::TearDown();
  }

  fs::path work() const { return root_ / "work"; }

  // The guide's steps from the empty folder to the packed module.
  void buildPlugin(const std::string& options = "plugin-options=HELO1nnYn") {
    for (const char* name : kExampleFiles) {
      fs::copy_file(fs::path(GUIDE_EXAMPLE_DIR) / name, work() / name);
    }
    CommandResult compiled = run(
        XPLUG_JAVAC, {"--release", "8", "-classpath", XPLUG_BRIDGE_JAR, "-d", "classes", "HelloPlugin.java"});
    ASSERT_EQ(compiled.status, 0) << describe(compiled);

    std::vector<std::string> jarArguments{"hello.jar"};
    for (const std::string& entry : kManifestEntries) {
      jarArguments.insert(jarArguments.end(),
                          {"--manifest-entry", entry.rfind("plugin-options=", 0) == 0 ? options : entry});
    }
    jarArguments.insert(jarArguments.end(), {"--dir", "classes", "--jar", XPLUG_BRIDGE_JAR});
    jarred_ = run(XPLUG_JAR_PATH, jarArguments);
    ASSERT_EQ(jarred_.status, 0) << describe(jarred_);

    CommandResult packed = run(XPLUG_PACK_PATH, {XPLUG_MODULE_IMAGE, "hello.jar", "Hello.fmx"});
    ASSERT_EQ(packed.status, 0) << describe(packed);
  }

  // fmsim with the packed plug-in the guide built.
  CommandResult fmsim(std::vector<std::string> arguments, const std::string& input = {}) const {
    arguments.insert(arguments.begin(),
                     {"--common-appdata", (root_ / "appdata").string(), "--plugin", "Hello.fmx"});
    return FmsimCommandTest::fmsim(arguments, input);
  }

  // The guide shows this output of a command verbatim.
  void expectGuideShows(const std::string& output) const {
    EXPECT_NE(guide_.find(output), std::string::npos) << "the guide does not show this output:\n" << output;
  }

  fs::path previousFolder_;
  std::string guide_;
  CommandResult jarred_;
};

TEST_F(GuideWalkthrough, GuideShowsTheExampleFilesAndManifestAsTheTestUsesThem) {
  for (const char* name : kExampleFiles) {
    const std::string file = readFile(fs::path(GUIDE_EXAMPLE_DIR) / name);
    ASSERT_FALSE(file.empty()) << name;
    EXPECT_NE(guide_.find("\n" + file + "```\n"), std::string::npos)
        << "the guide's copy of " << name << " differs from docs/examples/hello/" << name;
  }
  for (const std::string& entry : kManifestEntries) {
    const bool plain = guide_.find("--manifest-entry " + entry + " ") != std::string::npos;
    const bool quoted = guide_.find("--manifest-entry \"" + entry + "\" ") != std::string::npos;
    EXPECT_TRUE(plain || quoted) << "the guide's xplug-jar command lacks " << entry;
  }
}

TEST_F(GuideWalkthrough, PackedPluginAnswersWithItsManifestAndFunctions) {
  ASSERT_NO_FATAL_FAILURE(buildPlugin());
  EXPECT_EQ(jarred_.err, "") << "the guide's plug-in builds without warnings";

  CommandResult info = fmsim({"--info"});
  EXPECT_EQ(info.status, 0) << describe(info);
  EXPECT_EQ(info.out, "128: Hello\n129: Greets, adds and repeats text (1.0)\n131: HELO1nnYn\n");
  expectGuideShows(info.out);

  CommandResult functions = fmsim({"--functions"});
  EXPECT_EQ(functions.status, 0) << describe(functions);
  EXPECT_EQ(functions.out,
            "Hello_Add\tHello_Add( a ; b )\nHello_Greet\tHello_Greet( name { ; greeting } )\tGreets a name, "
            "with Hello unless a greeting is given\n"
            "Hello_Repeat\tHello_Repeat( text ; count )\n");
  expectGuideShows(functions.out);
}

TEST_F(GuideWalkthrough, PackedPluginEvaluatesFromTheCommandLineAndStandardInput) {
  ASSERT_NO_FATAL_FAILURE(buildPlugin());

  CommandResult evaluated = fmsim({"-e", "Hello_Greet(\"World\")", "-e", "Hello_Add(2; 40)"});
  EXPECT_EQ(evaluated.status, 0) << describe(evaluated);
  EXPECT_EQ(evaluated.out, "Hello, World!\n42\n");
  expectGuideShows("-e 'Hello_Greet(\"World\")' -e 'Hello_Add(2; 40)'\n" + evaluated.out);

  CommandResult piped = fmsim({}, "Hello_Repeat(\"ab\"; 3)\n");
  EXPECT_EQ(piped.status, 0) << describe(piped);
  EXPECT_EQ(piped.out, "ababab\n");
  expectGuideShows("echo 'Hello_Repeat(\"ab\"; 3)' | \"$XPLUG/bin/fmsim\" --plugin Hello.fmx\n" + piped.out);
}

TEST_F(GuideWalkthrough, ChecksFilePassesAndAFailedCheckFailsTheRun) {
  ASSERT_NO_FATAL_FAILURE(buildPlugin());

  CommandResult checked = fmsim({"--check", "hello.checks"});
  EXPECT_EQ(checked.status, 0) << describe(checked);
  EXPECT_EQ(checked.out, "8 passed, 0 failed\n");
  expectGuideShows("--check hello.checks\n" + checked.out);

  std::string checks = readFile(work() / "hello.checks");
  const std::string line = "Hello_Add(2; 40) => 42";
  ASSERT_NE(checks.find(line), std::string::npos);
  checks.replace(checks.find(line), line.size(), "Hello_Add(2; 40) => 41");
  std::ofstream(work() / "broken.checks", std::ios::binary) << checks;
  CommandResult broken = fmsim({"--check", "broken.checks"});
  EXPECT_EQ(broken.status, 1) << describe(broken);
  EXPECT_EQ(broken.out, "line 4: Hello_Add(2; 40): expected 41, got 42\n7 passed, 1 failed\n");
  expectGuideShows("`line 4: Hello_Add(2; 40): expected 41, got 42`");
}

TEST_F(GuideWalkthrough, FunctionErrorReachesTheCallerAndTheLogWhereTheGuideSays) {
  ASSERT_NO_FATAL_FAILURE(buildPlugin());

  CommandResult failed = fmsim({"--log", "-e", "Hello_Repeat(\"ab\"; -1)"});
  EXPECT_EQ(failed.status, 1) << describe(failed);
  EXPECT_EQ(failed.out, "");
  EXPECT_NE(failed.err.find("error 10: "), std::string::npos) << failed.err;
  // --log echoes the module's own lines.
  EXPECT_NE(failed.err.find("(C++ "), std::string::npos) << failed.err;
  EXPECT_NE(failed.err.find(" *** INIT for Hello_FMPro at "), std::string::npos) << failed.err;

  const std::string log = readFile(root_ / "documents" / "KvtPlugin Logs" / "Hello_FMPro.log");
  EXPECT_NE(log.find(") The function Hello_Repeat returned error 10: Hello_Repeat takes a count from 0 to "
                     "1000, not -1"),
            std::string::npos)
      << log;
  // java.util.logging reaches the same log.
  EXPECT_NE(log.find(") WARNING com.example.hello: refusing the count -1\n"), std::string::npos) << log;
  EXPECT_TRUE(fs::exists(root_ / "documents" / "KvtPlugin Logs" / "miscellaneous.log"));
  EXPECT_EQ(readFile(root_ / "temp" / "Hello.jar"), readFile(work() / "hello.jar"));
  EXPECT_TRUE(fs::exists(root_ / "temp" / "Kvttemp.log"));
}

// The id is written twice, in plugin-options and in pluginId(); a difference keeps the plug-in from
// starting and the log says why.
TEST_F(GuideWalkthrough, PluginIdDifferingFromTheOptionsStringIsLoggedAndKeepsThePluginDisabled) {
  ASSERT_NO_FATAL_FAILURE(buildPlugin("plugin-options=HELX1nnYn"));
  // xplug-jar finds no "HELX" in the plug-in class and says so, but writes the jar.
  EXPECT_NE(
      jarred_.err.find("xplug-jar: warning: the plug-in class com.example.hello.HelloPlugin holds no text "
                       "\"HELX\", the id plugin-options starts with"),
      std::string::npos)
      << jarred_.err;

  CommandResult evaluated = fmsim({"-e", "Hello_Add(2; 40)"});
  EXPECT_NE(evaluated.status, 0) << describe(evaluated);
  const std::string log = readFile(root_ / "documents" / "KvtPlugin Logs" / "Hello_FMPro.log");
  EXPECT_NE(log.find("The plug-in id \"HELO\" of pluginId() differs from \"HELX\" at the start of "
                     "plugin-options; the plug-in stays disabled"),
            std::string::npos)
      << log;
}

// The guide's plug-in with three of Debian's library jars, which all hold META-INF/NOTICE.txt and
// META-INF/LICENSE.txt: the jar keeps each library's licence files and the plug-in runs.
TEST_F(GuideWalkthrough, PluginWithDebianLibrariesIsMergedIntoOneJarAndRuns) {
  const std::string java = DEBIAN_JAVA_DIR;
  const std::vector<std::string> libraries = {"commons-lang3", "commons-io", "commons-codec"};
  for (const std::string& library : libraries) {
    ASSERT_TRUE(fs::exists(java + "/" + library + ".jar"))
        << java << "/" << library << ".jar is missing: scripts/setup installs it";
  }
  const std::string source = readFile(fs::path(GUIDE_LIBRARIES_DIR) / "TextToolsPlugin.java");
  ASSERT_FALSE(source.empty());
  EXPECT_NE(guide_.find("\n" + source + "```\n"), std::string::npos)
      << "the guide's copy of TextToolsPlugin.java differs from docs/examples/libraries";
  fs::copy_file(fs::path(GUIDE_LIBRARIES_DIR) / "TextToolsPlugin.java", work() / "TextToolsPlugin.java");

  std::string classPath = XPLUG_BRIDGE_JAR;
  for (const std::string& library : libraries) classPath += ":" + java + "/" + library + ".jar";
  CommandResult compiled =
      run(XPLUG_JAVAC, {"--release", "8", "-classpath", classPath, "-d", "classes", "TextToolsPlugin.java"});
  ASSERT_EQ(compiled.status, 0) << describe(compiled);
  std::vector<std::string> jarArguments{"texttools.jar",
                                        "--manifest-entry",
                                        "Manifest-Version=1.0",
                                        "--manifest-entry",
                                        "plugin-name=TextTools",
                                        "--manifest-entry",
                                        "plugin-options=TXTL1nnYn",
                                        "--manifest-entry",
                                        "pluginClassName=com.example.texttools.TextToolsPlugin",
                                        "--dir",
                                        "classes",
                                        "--jar",
                                        XPLUG_BRIDGE_JAR};
  for (const std::string& library : libraries)
    jarArguments.insert(jarArguments.end(), {"--jar", java + "/" + library + ".jar"});
  CommandResult jarred = run(XPLUG_JAR_PATH, jarArguments);
  ASSERT_EQ(jarred.status, 0) << describe(jarred);
  const std::string listed = entryNames(work() / "texttools.jar");
  for (const std::string& library : libraries) {
    EXPECT_NE(listed.find("META-INF/licenses/" + library + "/NOTICE.txt\n"), std::string::npos) << library;
    EXPECT_NE(listed.find("META-INF/licenses/" + library + "/LICENSE.txt\n"), std::string::npos) << library;
  }
  CommandResult packed = run(XPLUG_PACK_PATH, {XPLUG_MODULE_IMAGE, "texttools.jar", "TextTools.fmx"});
  ASSERT_EQ(packed.status, 0) << describe(packed);

  CommandResult evaluated =
      FmsimCommandTest::fmsim({"--common-appdata", (root_ / "appdata").string(), "--plugin", "TextTools.fmx",
                               "-e", "Text_Extension(\"photo.JPG\")", "-e",
                               "Text_Abbreviate(\"abcdefghij\"; 7)", "-e", "Text_Sha256(\"abc\")"});
  EXPECT_EQ(evaluated.status, 0) << describe(evaluated);
  EXPECT_EQ(evaluated.out,
            "JPG\nabcd...\nba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad\n");
  expectGuideShows("-e 'Text_Extension(\"photo.JPG\")'\n```\n\nprints `JPG`.");
}

}  // namespace
}  // namespace xplug::testing
