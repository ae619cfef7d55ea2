// The registry's text format: what each line form stores, and that a bad file changes nothing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "simdesktop/desktop.h"
#include "testsupport/test_folder.h"

namespace simdesktop {
namespace {

class RegistryFileTest : public ::testing::Test {
 protected:
  void SetUp() override { resetDesktop(); }
  void TearDown() override { resetDesktop(); }
};

std::vector<uint8_t> stringBytes(std::u16string_view text) {
  std::vector<uint8_t> bytes;
  for (char16_t unit : text) {
    bytes.push_back(static_cast<uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<uint8_t>(unit >> 8));
  }
  bytes.insert(bytes.end(), {0, 0});
  return bytes;
}

TEST_F(RegistryFileTest, EveryValueFormIsStoredAsWindowsWould) {
  std::string error;
  ASSERT_TRUE(loadRegistryText(
      "Windows Registry Editor Version 5.00\r\n"
      "\r\n"
      "; the Java runtime\r\n"
      "[HKEY_LOCAL_MACHINE\\Software\\JavaSoft\\Java Runtime Environment]\r\n"
      "\"CurrentVersion\"=\"17\"\r\n"
      "[HKLM\\Software\\JavaSoft\\Java Runtime Environment\\17]\n"
      "  \"JavaHome\" = \"C:\\\\Java \\\"jre\\\"\"  \n"
      "\"Path\"=expand:\"%HOME%\\\\bin\"\n"
      "\"Count\"=dword:0000001F\n"
      "\"Blob\"=hex:01, 02,ff\n"
      "\"Empty\"=hex:\n"
      "@=\"default \u00e9\"\n"
      "# another comment\n"
      "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders]\n"
      "\"Personal\"=\"/home/user/Documents\"\n",
      &error))
      << error;
  const char16_t* key17 = u"Software\\JavaSoft\\Java Runtime Environment\\17";
  auto value = readRegistryValue(RegistryRoot::localMachine, u"Software\\JavaSoft\\Java Runtime Environment",
                                 u"CurrentVersion");
  ASSERT_TRUE(value);
  EXPECT_EQ(value->bytes, stringBytes(u"17"));
  value = readRegistryValue(RegistryRoot::localMachine, key17, u"JavaHome");
  ASSERT_TRUE(value);
  EXPECT_EQ(value->type, kRegSz);
  EXPECT_EQ(value->bytes, stringBytes(u"C:\\Java \"jre\""));
  value = readRegistryValue(RegistryRoot::localMachine, key17, u"Path");
  EXPECT_EQ(value->type, kRegExpandSz);
  EXPECT_EQ(value->bytes, stringBytes(u"%HOME%\\bin"));
  value = readRegistryValue(RegistryRoot::localMachine, key17, u"Count");
  EXPECT_EQ(value->type, kRegDword);
  EXPECT_EQ(value->bytes, (std::vector<uint8_t>{0x1F, 0, 0, 0}));
  value = readRegistryValue(RegistryRoot::localMachine, key17, u"Blob");
  EXPECT_EQ(value->type, kRegBinary);
  EXPECT_EQ(value->bytes, (std::vector<uint8_t>{1, 2, 0xFF}));
  EXPECT_TRUE(readRegistryValue(RegistryRoot::localMachine, key17, u"Empty")->bytes.empty());
  EXPECT_EQ(readRegistryValue(RegistryRoot::localMachine, key17, u"")->bytes, stringBytes(u"default \u00e9"));
  EXPECT_TRUE(readRegistryValue(RegistryRoot::currentUser,
                                u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                                u"Personal"));
}

TEST_F(RegistryFileTest, DeletionLinesRemoveKeysAndValues) {
  setRegistryString(RegistryRoot::currentUser, u"Old\\Sub", u"x", u"1");
  setRegistryString(RegistryRoot::currentUser, u"Keep", u"gone", u"1");
  setRegistryString(RegistryRoot::currentUser, u"Keep", u"stay", u"1");
  std::string error;
  ASSERT_TRUE(loadRegistryText("[-HKEY_CURRENT_USER\\Old]\n[HKCU\\Keep]\n\"gone\"=-\n", &error)) << error;
  EXPECT_FALSE(readRegistryValue(RegistryRoot::currentUser, u"Old\\Sub", u"x"));
  EXPECT_FALSE(readRegistryValue(RegistryRoot::currentUser, u"Keep", u"gone"));
  EXPECT_TRUE(readRegistryValue(RegistryRoot::currentUser, u"Keep", u"stay"));
}

TEST_F(RegistryFileTest, BadLineIsNamedAndNothingIsApplied) {
  struct Case {
    const char* text;
    const char* expectedError;
  };
  const Case cases[] = {
      {"[HKLM\\A]\n\"ok\"=\"1\"\nFoo=bar\n", "line 3: expected \"Name\"=value: Foo=bar"},
      {"\"early\"=\"1\"\n", "line 1: a value needs a [key] line before it"},
      {"[HKEY_USERS\\A]\n", "line 1: unknown root"},
      {"[HKLM\\A\n", "line 1: a key line must end with ]"},
      {"[HKLM\\A]\n\"n\"=dword:123456789\n", "line 2: a dword needs 1 to 8 hexadecimal digits"},
      {"[HKLM\\A]\n\"n\"=dword:xyz\n", "line 2: a dword needs 1 to 8 hexadecimal digits"},
      {"[HKLM\\A]\n\"n\"=hex:1,02\n", "line 2: binary data must be two-digit"},
      {"[HKLM\\A]\n\"n\"=hex:01,\n", "line 2: binary data ends with a comma"},
      {"[HKLM\\A]\n\"n\"=\"open\n", "line 2: missing closing quote"},
      {"[HKLM\\A]\n\"n\"=\"a\\tb\"\n", "line 2: unknown escape"},
      {"[HKLM\\A]\n\"n\"=\"a\" junk\n", "line 2: unexpected text after the closing quote"},
      {"[HKLM\\A]\n\"n\"=qword:1\n", "line 2: unknown value"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::string error;
    EXPECT_FALSE(loadRegistryText(c.text, &error));
    EXPECT_EQ(error.rfind(c.expectedError, 0), 0u) << error;
    EXPECT_FALSE(readRegistryValue(RegistryRoot::localMachine, u"A", u"ok"));
    RegistryHandle handle = nullptr;
    EXPECT_EQ(openRegistryKey(RegistryRoot::localMachine, u"A", &handle), kErrorFileNotFound);
  }
  EXPECT_FALSE(loadRegistryText("Foo\n", nullptr));
}

TEST_F(RegistryFileTest, FileIsReadAndAMissingFileIsAnError) {
  const std::string folder = xplug::testing::makeTestFolder("sim_desktop_registry_").string();
  ASSERT_FALSE(folder.empty());
  std::string path = folder + "/java.reg";
  std::ofstream(path) << "[HKLM\\Software\\JavaSoft\\JDK]\n\"CurrentVersion\"=\"17\"\n";
  std::string error;
  EXPECT_TRUE(loadRegistryFile(path, &error)) << error;
  EXPECT_TRUE(readRegistryValue(RegistryRoot::localMachine, u"Software\\JavaSoft\\JDK", u"CurrentVersion"));

  std::ofstream(path) << "[HKLM\\X]\nbad\n";
  EXPECT_FALSE(loadRegistryFile(path, &error));
  EXPECT_EQ(error, path + ": line 2: expected \"Name\"=value: bad");
  EXPECT_FALSE(loadRegistryFile(folder + "/missing.reg", &error));
  EXPECT_NE(error.find("missing.reg"), std::string::npos);
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace simdesktop
