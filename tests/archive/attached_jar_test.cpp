// The copy of the jar appended to the module file: where it goes, what it holds, and every refusal.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "archive/attached_jar.h"
#include "archive_test_env.h"
#include "fmx/fmx_extern.h"
#include "platform/platform.h"
#include "session/host_session.h"

namespace xplug {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::writeFile;

// The jars in a folder; the log may keep its own files there.
std::vector<std::string> jarsIn(const std::string& folder) {
  std::vector<std::string> jars;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
    if (entry.path().extension() == ".jar") jars.push_back(entry.path().string());
  }
  return jars;
}

const std::string kJarBytes = "PK\3\4 the attached jar's bytes, copied as they are \0\xff end";

class AttachedJarTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = test::makeTestFolder();
    ASSERT_FALSE(folder_.empty());
    temp_ = folder_ + "/temp";
    fs::create_directories(temp_);
    setenv("TEMP", temp_.c_str(), 1);
    record_ = ExternCallRecord{};
    currentCallRecord = &record_;
  }
  void TearDown() override { currentCallRecord = nullptr; }

  // Loads a module file at `path` and gives it `bytes` as its content on disk.
  void installModule(const std::string& path, const std::string& bytes) {
    record_.instanceID = test::loadModuleFileAt(path);
    fs::remove(path);
    writeFile(path, bytes);
  }

  // A module image padded to the offset, followed by `jar`. The padding is left as a hole in the file,
  // since debug builds use an offset of many megabytes.
  void installPackedModule(const std::string& path, const std::string& jar) {
    installModule(path,
                  "\x7f"
                  "ELF image");
    fs::resize_file(path, static_cast<uintmax_t>(attachedJarOffset));
    std::ofstream(path, std::ios::binary | std::ios::app) << jar;
  }

  std::string folder_;
  std::string temp_;
  ExternCallRecord record_{};
};

TEST_F(AttachedJarTest, CopiesTheBytesAfterTheOffsetToTheTemporaryFolder) {
  const std::string module = folder_ + "/plugins/Example.fmx";
  installPackedModule(module, kJarBytes);
  const std::string expectedCopy = temp_ + "/Example.jar";

  test::startLogCapture();
  EXPECT_EQ(writeAttachedJarFile(), 1);
  EXPECT_EQ(test::stopLogCapture(),
            std::vector<std::string>{"writeAttachedJarFile(): writing jar " + expectedCopy});
  EXPECT_TRUE(jarWritten);
  EXPECT_EQ(modulePath, module);
  EXPECT_STREQ(jarPath, expectedCopy.c_str());
  EXPECT_EQ(readFile(expectedCopy), kJarBytes);

  // A second run copies again over the first copy.
  fs::remove(expectedCopy);
  EXPECT_EQ(writeAttachedJarFile(), 1);
  EXPECT_TRUE(jarWritten);
  EXPECT_EQ(readFile(expectedCopy), kJarBytes);
}

TEST_F(AttachedJarTest, CopyIsLargerThanOneBlockAndExact) {
  std::string jar;
  for (int i = 0; i < 5000; ++i) jar += static_cast<char>(i * 7);
  installPackedModule(folder_ + "/Big.fmx", jar);
  EXPECT_EQ(writeAttachedJarFile(), 1);
  EXPECT_EQ(readFile(temp_ + "/Big.jar"), jar);
}

TEST_F(AttachedJarTest, ExistingCopyIsTruncatedAndRewritten) {
  installPackedModule(folder_ + "/Example.fmx", kJarBytes);
  writeFile(temp_ + "/Example.jar", std::string(10000, 'x'));
  EXPECT_EQ(writeAttachedJarFile(), 1);
  EXPECT_EQ(readFile(temp_ + "/Example.jar"), kJarBytes);
}

TEST_F(AttachedJarTest, ModuleWithoutAnAttachedJarGivesAnEmptyCopy) {
  const std::string module = folder_ + "/Example.fmx";
  for (const uintmax_t size : {static_cast<uintmax_t>(attachedJarOffset), uintmax_t{100}}) {
    SCOPED_TRACE(size);
    installModule(module, "image");
    fs::resize_file(module, size);
    writeFile(temp_ + "/Example.jar", "stale copy");
    EXPECT_EQ(writeAttachedJarFile(), 1);
    EXPECT_TRUE(fs::exists(temp_ + "/Example.jar"));
    EXPECT_EQ(fs::file_size(temp_ + "/Example.jar"), 0u);
  }
}

TEST_F(AttachedJarTest, MissingModuleFileIsLoggedAndNothingIsWritten) {
  const std::string module = folder_ + "/Example.fmx";
  installPackedModule(module, kJarBytes);
  fs::remove(module);

  test::startLogCapture();
  EXPECT_EQ(writeAttachedJarFile(), 0);
  const std::string copy = temp_ + "/Example.jar";
  EXPECT_EQ(test::stopLogCapture(),
            (std::vector<std::string>{"writeAttachedJarFile(): writing jar " + copy,
                                      "writeAttachedJarFile: failed to open " + module}));
  EXPECT_FALSE(jarWritten);
  EXPECT_FALSE(fs::exists(copy));
}

std::string plantedLine(const std::string& copy) {
  return "writeAttachedJarFile: " + copy +
         " is already there and is not this user's own file; the plug-in is not started from it. Delete "
         "it, or set TEMP to a folder of your own";
}

TEST_F(AttachedJarTest, CopyThatCannotBeCreatedIsLogged) {
  installPackedModule(folder_ + "/Example.fmx", kJarBytes);
  setenv("TEMP", (folder_ + "/no such folder").c_str(), 1);
  const std::string copy = folder_ + "/no such folder/Example.jar";

  test::startLogCapture();
  EXPECT_EQ(writeAttachedJarFile(), 0);
  // The temp log cannot be opened there either; only the copy's own lines matter here.
  std::vector<std::string> lines = test::stopLogCapture();
  std::erase_if(lines, [](const std::string& line) { return line.rfind("writeAttachedJarFile", 0) != 0; });
  EXPECT_EQ(lines, (std::vector<std::string>{"writeAttachedJarFile(): writing jar " + copy,
                                             "writeAttachedJarFile: failed to open " + copy}));
  EXPECT_FALSE(jarWritten);
}

TEST_F(AttachedJarTest, WhatIsPlantedAtTheCopysPathIsReportedAndLeftAlone) {
  installPackedModule(folder_ + "/Example.fmx", kJarBytes);
  const std::string copy = temp_ + "/Example.jar";
  const std::string victim = folder_ + "/victim";
  writeFile(victim, "precious");
  for (const char* planted : {"link", "folder"}) {
    SCOPED_TRACE(planted);
    fs::remove_all(copy);
    if (std::string(planted) == "link") {
      fs::create_symlink(victim, copy);
    } else {
      fs::create_directory(copy);
    }
    test::startLogCapture();
    EXPECT_EQ(writeAttachedJarFile(), 0);
    EXPECT_EQ(test::stopLogCapture(),
              (std::vector<std::string>{"writeAttachedJarFile(): writing jar " + copy, plantedLine(copy)}));
    EXPECT_EQ(readFile(victim), "precious");
    EXPECT_TRUE(fs::exists(fs::symlink_status(copy)));
    EXPECT_FALSE(jarWritten);
  }
}

TEST_F(AttachedJarTest, TemporaryFolderWithATrailingSeparatorIsUsedAsItIs) {
  installPackedModule(folder_ + "/Example.fmx", kJarBytes);
  setenv("TEMP", (temp_ + "/").c_str(), 1);
  EXPECT_EQ(writeAttachedJarFile(), 1);
  EXPECT_STREQ(jarPath, (temp_ + "//Example.jar").c_str());
  EXPECT_EQ(readFile(temp_ + "/Example.jar"), kJarBytes);
}

TEST_F(AttachedJarTest, MissingOrEmptyTempFallsBackToThePlatformsTemporaryFolder) {
  // A name of this test's own, so that the copy in the shared folder belongs to no one else.
  const std::string name = fs::path(folder_).filename().string();
  installPackedModule(folder_ + "/" + name + ".fmx", kJarBytes);
  const std::string fallbackCopy = std::string(platform::kTempFallback) + "/" + name + ".jar";
  for (const char* temp : {static_cast<const char*>(nullptr), ""}) {
    SCOPED_TRACE(temp == nullptr ? "unset" : "empty");
    if (temp == nullptr) {
      unsetenv("TEMP");
    } else {
      setenv("TEMP", temp, 1);
    }
    EXPECT_EQ(writeAttachedJarFile(), 1);
    EXPECT_STREQ(jarPath, fallbackCopy.c_str());
    EXPECT_EQ(readFile(fallbackCopy), kJarBytes);
    fs::remove(fallbackCopy);
  }
}

TEST_F(AttachedJarTest, RefusedPathsWriteNothing) {
  const std::string longFolder = folder_ + "/" + std::string(200, 'd') + "/" + std::string(60, 'e');
  struct Case {
    const char* what;
    std::string module;
    std::string temp;
    std::string line;
  };
  const Case cases[] = {
      {"module file name without an extension", folder_ + "/plugins.d/Example", temp_,
       "writeAttachedJarFile: the module file name has no extension to replace with .jar: " + folder_ +
           "/plugins.d/Example"},
      {"module path of 260 bytes or more", longFolder + "/Example.fmx", temp_,
       "writeAttachedJarFile: module path is longer than 259 bytes: " + longFolder + "/Example.fmx"},
      {"copy path longer than 259 bytes", folder_ + "/Example.fmx", longFolder,
       "writeAttachedJarFile: jar path is longer than 259 bytes: " + longFolder + "/Example.jar"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::create_directories(c.temp);
    installPackedModule(c.module, kJarBytes);
    setenv("TEMP", c.temp.c_str(), 1);
    std::strcpy(jarPath, "earlier");
    test::startLogCapture();
    EXPECT_EQ(writeAttachedJarFile(), 0);
    EXPECT_EQ(test::stopLogCapture(), std::vector<std::string>{c.line});
    EXPECT_STREQ(jarPath, "earlier");
    EXPECT_FALSE(jarWritten);
    EXPECT_EQ(jarsIn(c.temp), std::vector<std::string>{});
    fs::remove(c.module);
  }
}

TEST_F(AttachedJarTest, NoHostCallOrUnknownInstanceEndsWithoutACopy) {
  currentCallRecord = nullptr;
  EXPECT_EQ(writeAttachedJarFile(), 0);
  currentCallRecord = &record_;
  record_.instanceID = 0;
  test::startLogCapture();
  EXPECT_EQ(writeAttachedJarFile(), 0);
  EXPECT_EQ(test::stopLogCapture(),
            std::vector<std::string>{"writeAttachedJarFile: the module's own file name cannot be found"});
  EXPECT_FALSE(jarWritten);
  EXPECT_EQ(jarsIn(temp_), std::vector<std::string>{});
}

}  // namespace
}  // namespace xplug
