// The module's POSIX platform backend: real files, loading and paths, and the registry and code pages
// it takes from the simulated desktop.
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <vector>

#include "platform/platform.h"
#include "simdesktop/desktop.h"
#include "testsupport/read_file.h"
#include "testsupport/test_folder.h"

namespace xplug::platform {
namespace {

class PlatformPosixTest : public ::testing::Test {
 protected:
  void SetUp() override {
    simdesktop::resetDesktop();
    folder_ = xplug::testing::makeTestFolder("platform_").string();
    ASSERT_FALSE(folder_.empty());
  }
  void TearDown() override {
    EXPECT_EQ(simdesktop::openRegistryHandleCount(), 0u);
    simdesktop::resetDesktop();
    std::filesystem::remove_all(folder_);
  }
  std::string folder_;
};

// What another user could have put at a path in a shared folder: each is refused and left as it was.
struct PlantedFile {
  const char* name;
  std::function<void(const std::string& path, const std::string& target)> plant;
};

std::vector<PlantedFile> plantedFiles() {
  return {
      {"symbolic link",
       [](const std::string& path, const std::string& target) {
         ASSERT_EQ(::symlink(target.c_str(), path.c_str()), 0);
       }},
      {"second name", [](const std::string& path,
                         const std::string& target) { ASSERT_EQ(::link(target.c_str(), path.c_str()), 0); }},
      {"fifo",
       [](const std::string& path, const std::string&) {  // and no wait for a reader
         ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
       }},
      {"folder", [](const std::string& path,
                    const std::string&) { ASSERT_TRUE(std::filesystem::create_directory(path)); }},
  };
}

TEST_F(PlatformPosixTest, ExclusiveCreationReplacesOnlyTheUsersOwnFile) {
  std::string path = folder_ + "/copy.jar";
  std::ofstream(path) << "old contents";
  std::FILE* file = createFileExclusive(path.c_str());
  ASSERT_NE(file, nullptr);
  std::fputs("new", file);
  std::fclose(file);
  EXPECT_EQ(xplug::testing::readFile(path), "new");
  struct stat status;
  ASSERT_EQ(::stat(path.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0600u);

  std::string target = folder_ + "/target";
  for (const PlantedFile& planted : plantedFiles()) {
    SCOPED_TRACE(planted.name);
    std::ofstream(target) << "precious";
    std::string plantedPath = folder_ + "/planted." + planted.name;
    planted.plant(plantedPath, target);
    EXPECT_EQ(createFileExclusive(plantedPath.c_str()), nullptr);
    EXPECT_EQ(lastCRuntimeError(), kPlantedFileError);
    EXPECT_EQ(openFileAppendOwn(plantedPath.c_str()), nullptr);
    EXPECT_EQ(lastCRuntimeError(), kPlantedFileError);
    EXPECT_EQ(xplug::testing::readFile(target), "precious");
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::symlink_status(plantedPath)));
  }
  EXPECT_EQ(createFileExclusive(nullptr), nullptr);
  EXPECT_EQ(openFileAppendOwn(nullptr), nullptr);
}

TEST_F(PlatformPosixTest, AFileOfAnotherUserIsNeverTakenOver) {
  // Only a superuser can give a file away, so that is what this case needs.
  if (::geteuid() != 0) GTEST_SKIP() << "needs a superuser to plant another user's file";
  std::string path = folder_ + "/Kvttemp.log";
  std::ofstream(path) << "theirs";
  ASSERT_EQ(::chown(path.c_str(), 4242, 4242), 0);
  EXPECT_EQ(createFileExclusive(path.c_str()), nullptr);
  EXPECT_EQ(lastCRuntimeError(), kPlantedFileError);
  EXPECT_EQ(openFileAppendOwn(path.c_str()), nullptr);
  EXPECT_EQ(lastCRuntimeError(), kPlantedFileError);
  EXPECT_EQ(xplug::testing::readFile(path), "theirs");
}

TEST_F(PlatformPosixTest, AppendOwnCreatesAndAppends) {
  std::string path = folder_ + "/Kvttemp.log";
  for (const char* line : {"one\n", "two\n"}) {
    std::FILE* file = openFileAppendOwn(path.c_str());
    ASSERT_NE(file, nullptr);
    std::fputs(line, file);
    std::fclose(file);
  }
  EXPECT_EQ(xplug::testing::readFile(path), "one\ntwo\n");
}

TEST_F(PlatformPosixTest, WidePathsAreUtf8OnDisk) {
  std::u16string folder = simdesktop::utf16FromUtf8(folder_) + u"/K\u00e4se";
  EXPECT_TRUE(createDirectory(folder));
  EXPECT_FALSE(createDirectory(folder));  // exists already
  std::u16string file = folder + u"/\U0001F600.log";
  std::FILE* stream = openFileShared(file, "a");
  ASSERT_NE(stream, nullptr);
  std::fclose(stream);
  EXPECT_TRUE(std::filesystem::exists(folder_ + "/K\xC3\xA4se/\xF0\x9F\x98\x80.log"));
  EXPECT_TRUE(deleteFile(file));
  EXPECT_FALSE(deleteFile(file));
  EXPECT_EQ(openFileShared(file, "r"), nullptr);
  EXPECT_EQ(lastCRuntimeError(), ENOENT);
}

TEST_F(PlatformPosixTest, EnvironmentWideAndNarrowAgree) {
  EXPECT_TRUE(setEnvironmentWide(u"XPLUG_PLATFORM_TEST", u"a:\u00e9"));
  EXPECT_EQ(getEnvironment("XPLUG_PLATFORM_TEST"), std::optional<std::string>("a:\xC3\xA9"));
  EXPECT_EQ(getEnvironmentWide(u"XPLUG_PLATFORM_TEST"), std::optional<std::u16string>(u"a:\u00e9"));
  EXPECT_FALSE(setEnvironmentWide(u"BAD=NAME", u"x"));
  EXPECT_FALSE(setEnvironmentWide(u"", u"x"));
  ::unsetenv("XPLUG_PLATFORM_TEST");
  EXPECT_FALSE(getEnvironment("XPLUG_PLATFORM_TEST"));
  EXPECT_FALSE(getEnvironmentWide(u"XPLUG_PLATFORM_TEST"));
  EXPECT_FALSE(getEnvironment(nullptr));
}

TEST_F(PlatformPosixTest, ModuleFileNameComesFromTheLoadedLibrary) {
  Dl_info info{};
  ASSERT_NE(::dladdr(reinterpret_cast<void*>(&simdesktop::resetDesktop), &info), 0);
  void* handle = loadLibrary(simdesktop::utf16FromUtf8(info.dli_fname));
  ASSERT_NE(handle, nullptr);
  auto name = moduleFileName(reinterpret_cast<uintptr_t>(handle));
  ASSERT_TRUE(name);
  EXPECT_EQ(longPathName(*name), longPathName(info.dli_fname));
  EXPECT_EQ(findSymbol(handle, "no_such_symbol_anywhere"), nullptr);
  EXPECT_NE(findSymbol(handle, "_ZN10simdesktop12resetDesktopEv"), nullptr);
  EXPECT_EQ(findSymbol(nullptr, "malloc"), nullptr);
  EXPECT_FALSE(moduleFileName(0));
  EXPECT_EQ(loadLibrary(u"/no/such/library.so"), nullptr);
  EXPECT_EQ(loadLibrary(u""), nullptr);
}

TEST_F(PlatformPosixTest, ModuleLoadedByARelativePathReportsItsFullPath) {
  Dl_info info{};
  ASSERT_NE(::dladdr(reinterpret_cast<void*>(&simdesktop::resetDesktop), &info), 0);
  const std::string folder = xplug::testing::makeTestFolder("xplug-relative-").string();
  ASSERT_FALSE(folder.empty());
  ASSERT_EQ(std::system(("cp '" + std::string(info.dli_fname) + "' '" + folder + "/relative.so'").c_str()),
            0);
  char* previous = ::getcwd(nullptr, 0);
  ASSERT_EQ(::chdir(folder.c_str()), 0);
  void* handle = loadLibrary(u"./relative.so");
  ASSERT_EQ(::chdir(previous), 0);
  std::free(previous);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(moduleFileName(reinterpret_cast<uintptr_t>(handle)),
            std::optional<std::string>(folder + "/relative.so"));
  std::system(("rm -rf '" + folder + "'").c_str());
}

TEST_F(PlatformPosixTest, LongPathNameResolvesLinksAndDots) {
  std::string real = folder_ + "/real";
  std::filesystem::create_directories(real);
  ASSERT_EQ(::symlink(real.c_str(), (folder_ + "/alias").c_str()), 0);
  auto resolved = longPathName(folder_ + "/alias/../real/.");
  ASSERT_TRUE(resolved);
  EXPECT_EQ(*resolved, std::filesystem::canonical(real).string());
  EXPECT_FALSE(longPathName(folder_ + "/missing"));
}

TEST_F(PlatformPosixTest, StreamDescriptor) {
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  EXPECT_TRUE(canWriteToStream(file));
  std::fclose(file);
  char buffer[16];
  std::FILE* memory = ::fmemopen(buffer, sizeof buffer, "w");
  ASSERT_NE(memory, nullptr);
  EXPECT_FALSE(canWriteToStream(memory));
  std::fclose(memory);
  EXPECT_FALSE(canWriteToStream(nullptr));
}

TEST_F(PlatformPosixTest, RegistryKeysCloseWithTheirOwner) {
  simdesktop::setRegistryString(simdesktop::RegistryRoot::localMachine, u"Software\\JavaSoft\\JRE\\17",
                                u"JavaHome", u"/jdk");
  {
    auto key = openRegistryKey(RegistryRoot::localMachine, u"Software\\JavaSoft\\JRE");
    ASSERT_TRUE(key);
    auto sub = openRegistryKey(*key, u"17");
    ASSERT_TRUE(sub);
    EXPECT_EQ(simdesktop::openRegistryHandleCount(), 2u);
    RegistryKey moved = std::move(*sub);
    moved = std::move(*key);  // closes the subkey it held
    EXPECT_EQ(simdesktop::openRegistryHandleCount(), 1u);
    EXPECT_FALSE(openRegistryKey(RegistryRoot::currentUser, u"Software\\JavaSoft\\JRE"));
  }
  EXPECT_EQ(simdesktop::openRegistryHandleCount(), 0u);
}

TEST_F(PlatformPosixTest, RegistryStringReading) {
  using simdesktop::RegistryRoot;
  const char16_t* key = u"K";
  simdesktop::setRegistryString(RegistryRoot::localMachine, key, u"sz", u"/opt/jdk");
  simdesktop::setRegistryExpandString(RegistryRoot::localMachine, key, u"expand", u"%HOME%");
  simdesktop::setRegistryDword(RegistryRoot::localMachine, key, u"dword", 17);
  simdesktop::setRegistryRawValue(RegistryRoot::localMachine, key, u"odd", kRegSz, {'a', 0, 0});
  simdesktop::setRegistryRawValue(RegistryRoot::localMachine, key, u"open", kRegSz, {'a', 0, 'b', 0});
  simdesktop::setRegistryRawValue(RegistryRoot::localMachine, key, u"empty", kRegSz, {});
  simdesktop::setRegistryString(RegistryRoot::localMachine, key, u"long", std::u16string(260, u'x'));
  simdesktop::setRegistryString(RegistryRoot::localMachine, key, u"fits", std::u16string(259, u'x'));
  struct Case {
    const char16_t* name;
    long status;
    std::u16string text;
    uint32_t length;
  };
  const Case cases[] = {
      {u"sz", kErrorSuccess, u"/opt/jdk", 9},   {u"expand", kErrorSuccess, u"%HOME%", 7},  // not expanded
      {u"dword", kErrorInvalidData, u"", 0},    {u"odd", kErrorInvalidData, u"", 0},
      {u"open", kErrorInvalidData, u"", 0},     {u"empty", kErrorSuccess, u"", 0},
      {u"long", kErrorMoreData, u"", 0},        {u"fits", kErrorSuccess, std::u16string(259, u'x'), 260},
      {u"missing", kErrorFileNotFound, u"", 0},
  };
  auto open = openRegistryKey(platform::RegistryRoot::localMachine, key);
  ASSERT_TRUE(open);
  for (const Case& c : cases) {
    SCOPED_TRACE(simdesktop::utf8FromUtf16(c.name));
    RegistryString value = readRegistryString(*open, c.name, 260);
    EXPECT_EQ(value.status, c.status);
    EXPECT_EQ(value.text, c.text);
    EXPECT_EQ(value.length, c.length);
  }
}

TEST_F(PlatformPosixTest, CodePagesAndUserInterfaceReachTheDesktop) {
  char16_t wide[4];
  EXPECT_EQ(multiByteToWideChar(kThreadAnsiCodePage, 0, "\x80", -1, wide, 4), 2);
  EXPECT_EQ(wide[0], 0x20AC);
  char narrow[4];
  EXPECT_EQ(wideCharToMultiByte(kThreadAnsiCodePage, 0, u"\u4e2d", -1, narrow, 4), 2);
  EXPECT_STREQ(narrow, "?");
  showMessageBox(u"text", nullptr);
  outputDebugString(u"debug");
  ASSERT_EQ(simdesktop::recordedMessageBoxes().size(), 1u);
  EXPECT_TRUE(simdesktop::recordedMessageBoxes()[0].defaultCaption);
  EXPECT_EQ(simdesktop::recordedDebugOutput(), std::vector<std::u16string>{u"debug"});
}

}  // namespace
}  // namespace xplug::platform
