// The registry's store and its RegQueryValueExW semantics.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "simdesktop/desktop.h"

namespace simdesktop {
namespace {

constexpr char16_t kJavaKey[] = u"Software\\JavaSoft\\Java Runtime Environment";

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { resetDesktop(); }
  void TearDown() override {
    EXPECT_EQ(openRegistryHandleCount(), 0u) << "a test left a key open";
    resetDesktop();
  }
};

// Opens a key and closes it at the end of the scope.
class OpenKey {
 public:
  OpenKey(RegistryRoot root, std::u16string_view path) { status_ = openRegistryKey(root, path, &handle_); }
  ~OpenKey() {
    if (status_ == kErrorSuccess) closeRegistryKey(handle_);
  }
  long status() const { return status_; }
  RegistryHandle handle() const { return handle_; }

 private:
  RegistryHandle handle_ = nullptr;
  long status_;
};

TEST_F(RegistryTest, StringIsStoredAsUtf16LittleEndianWithTerminator) {
  setRegistryString(RegistryRoot::localMachine, kJavaKey, u"CurrentVersion", u"1\u00e9");
  auto value = readRegistryValue(RegistryRoot::localMachine, kJavaKey, u"CurrentVersion");
  ASSERT_TRUE(value);
  EXPECT_EQ(value->type, kRegSz);
  EXPECT_EQ(value->bytes, (std::vector<uint8_t>{'1', 0, 0xE9, 0, 0, 0}));

  setRegistryExpandString(RegistryRoot::localMachine, kJavaKey, u"Path", u"%X%");
  EXPECT_EQ(readRegistryValue(RegistryRoot::localMachine, kJavaKey, u"Path")->type, kRegExpandSz);

  setRegistryDword(RegistryRoot::currentUser, u"A", u"n", 0x12345678);
  value = readRegistryValue(RegistryRoot::currentUser, u"A", u"n");
  ASSERT_TRUE(value);
  EXPECT_EQ(value->type, kRegDword);
  EXPECT_EQ(value->bytes, (std::vector<uint8_t>{0x78, 0x56, 0x34, 0x12}));
}

TEST_F(RegistryTest, QueryFollowsRegQueryValueExSemantics) {
  setRegistryString(RegistryRoot::localMachine, kJavaKey, u"JavaHome", u"/opt/jdk");
  OpenKey key(RegistryRoot::localMachine, kJavaKey);
  ASSERT_EQ(key.status(), kErrorSuccess);
  const uint32_t expectedSize = (8 + 1) * 2;

  // Size only: data null.
  uint32_t type = 99;
  uint32_t size = 0;
  EXPECT_EQ(queryRegistryValue(key.handle(), u"JavaHome", &type, nullptr, &size), kErrorSuccess);
  EXPECT_EQ(type, kRegSz);
  EXPECT_EQ(size, expectedSize);

  // Too small: ERROR_MORE_DATA, the needed size, nothing copied.
  std::vector<char16_t> buffer(20, u'x');
  size = expectedSize - 2;
  EXPECT_EQ(queryRegistryValue(key.handle(), u"JavaHome", &type, buffer.data(), &size), kErrorMoreData);
  EXPECT_EQ(size, expectedSize);
  EXPECT_EQ(buffer[0], u'x');

  // Exact fit.
  size = expectedSize;
  EXPECT_EQ(queryRegistryValue(key.handle(), u"JavaHome", nullptr, buffer.data(), &size), kErrorSuccess);
  EXPECT_EQ(size, expectedSize);
  EXPECT_EQ(std::u16string(buffer.data()), u"/opt/jdk");

  // Missing value; data without a size.
  size = 40;
  EXPECT_EQ(queryRegistryValue(key.handle(), u"RuntimeLib", &type, buffer.data(), &size), kErrorFileNotFound);
  EXPECT_EQ(queryRegistryValue(key.handle(), u"JavaHome", &type, buffer.data(), nullptr),
            kErrorInvalidParameter);
}

TEST_F(RegistryTest, NamesCompareWithoutCaseAndKeepTheirFirstSpelling) {
  setRegistryString(RegistryRoot::currentUser, u"Software\\MIXED\\Case", u"Personal", u"/docs");
  OpenKey key(RegistryRoot::currentUser, u"software\\mixed\\CASE");
  ASSERT_EQ(key.status(), kErrorSuccess);
  uint32_t size = 0;
  EXPECT_EQ(queryRegistryValue(key.handle(), u"PERSONAL", nullptr, nullptr, &size), kErrorSuccess);
  EXPECT_EQ(queryRegistryValue(key.handle(), u"\u00c4", nullptr, nullptr, &size), kErrorFileNotFound);
  setRegistryString(RegistryRoot::currentUser, u"Software\\MIXED\\Case", u"\u00e4", u"latin");
  EXPECT_EQ(queryRegistryValue(key.handle(), u"\u00c4", nullptr, nullptr, &size), kErrorSuccess);
  // Replacing a value under another spelling keeps one value.
  setRegistryString(RegistryRoot::currentUser, u"SOFTWARE\\mixed\\case", u"personal", u"/other");
  auto value = readRegistryValue(RegistryRoot::currentUser, u"Software\\Mixed\\Case", u"Personal");
  ASSERT_TRUE(value);
  EXPECT_EQ(value->bytes.size(), (6 + 1) * 2u);
}

TEST_F(RegistryTest, KeysAreNotFoundUntilCreatedAndRootsAlwaysOpen) {
  RegistryHandle handle = nullptr;
  EXPECT_EQ(openRegistryKey(RegistryRoot::localMachine, u"Software\\JavaSoft", &handle), kErrorFileNotFound);
  {
    OpenKey root(RegistryRoot::localMachine, u"");
    EXPECT_EQ(root.status(), kErrorSuccess);
  }
  setRegistryString(RegistryRoot::localMachine, u"Software\\JavaSoft\\JRE\\17", u"JavaHome", u"/jdk");
  // Parents were created on the way; roots are separate.
  OpenKey parent(RegistryRoot::localMachine, u"Software\\JavaSoft");
  EXPECT_EQ(parent.status(), kErrorSuccess);
  EXPECT_EQ(openRegistryKey(RegistryRoot::currentUser, u"Software\\JavaSoft", &handle), kErrorFileNotFound);

  RegistryHandle sub = nullptr;
  ASSERT_EQ(openRegistrySubKey(parent.handle(), u"jre\\17", &sub), kErrorSuccess);
  uint32_t size = 0;
  EXPECT_EQ(queryRegistryValue(sub, u"JavaHome", nullptr, nullptr, &size), kErrorSuccess);
  EXPECT_EQ(closeRegistryKey(sub), kErrorSuccess);
  EXPECT_EQ(openRegistrySubKey(parent.handle(), u"JRE\\18", &sub), kErrorFileNotFound);
}

TEST_F(RegistryTest, DeletedKeyReportsThroughHandlesStillOpen) {
  setRegistryString(RegistryRoot::localMachine, u"A\\B\\C", u"v", u"1");
  setRegistryString(RegistryRoot::localMachine, u"AB", u"v", u"sibling");
  OpenKey key(RegistryRoot::localMachine, u"A\\B\\C");
  ASSERT_EQ(key.status(), kErrorSuccess);
  EXPECT_TRUE(deleteRegistryKey(RegistryRoot::localMachine, u"a\\b"));
  uint32_t size = 0;
  EXPECT_EQ(queryRegistryValue(key.handle(), u"v", nullptr, nullptr, &size), kErrorKeyDeleted);
  EXPECT_FALSE(readRegistryValue(RegistryRoot::localMachine, u"A\\B\\C", u"v"));
  // A key whose name merely starts the same stays.
  EXPECT_TRUE(readRegistryValue(RegistryRoot::localMachine, u"AB", u"v"));
  EXPECT_FALSE(deleteRegistryKey(RegistryRoot::localMachine, u"A\\B"));
}

TEST_F(RegistryTest, DeleteValueAndClear) {
  setRegistryDword(RegistryRoot::currentUser, u"K", u"one", 1);
  setRegistryDword(RegistryRoot::currentUser, u"K", u"two", 2);
  EXPECT_TRUE(deleteRegistryValue(RegistryRoot::currentUser, u"K", u"ONE"));
  EXPECT_FALSE(deleteRegistryValue(RegistryRoot::currentUser, u"K", u"one"));
  EXPECT_TRUE(readRegistryValue(RegistryRoot::currentUser, u"K", u"two"));
  clearRegistry();
  EXPECT_FALSE(readRegistryValue(RegistryRoot::currentUser, u"K", u"two"));
  RegistryHandle handle = nullptr;
  EXPECT_EQ(openRegistryKey(RegistryRoot::currentUser, u"K", &handle), kErrorFileNotFound);
}

TEST_F(RegistryTest, RawValuesKeepTheirBytesAndUnknownHandlesAreRefused) {
  setRegistryRawValue(RegistryRoot::localMachine, u"K", u"odd", kRegSz, {'a', 0, 'b'});
  OpenKey key(RegistryRoot::localMachine, u"K");
  std::vector<uint8_t> buffer(8);
  uint32_t size = static_cast<uint32_t>(buffer.size());
  uint32_t type = 0;
  ASSERT_EQ(queryRegistryValue(key.handle(), u"odd", &type, buffer.data(), &size), kErrorSuccess);
  EXPECT_EQ(size, 3u);
  EXPECT_EQ(type, kRegSz);
  EXPECT_EQ(std::memcmp(buffer.data(), "a\0b", 3), 0);

  int notAKey = 0;
  EXPECT_EQ(queryRegistryValue(&notAKey, u"odd", &type, nullptr, &size), kErrorInvalidHandle);
  EXPECT_EQ(closeRegistryKey(&notAKey), kErrorInvalidHandle);
  EXPECT_EQ(closeRegistryKey(nullptr), kErrorInvalidHandle);
}

}  // namespace
}  // namespace simdesktop
