// Global memory blocks and the clipboard: one holder at a time, ownership of blocks handed over,
// zero-length blocks, synthesised text formats, and allocation failure.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "simdesktop/desktop.h"

namespace simdesktop {
namespace {

using Bytes = std::vector<unsigned char>;

class ClipboardTest : public ::testing::Test {
 protected:
  void SetUp() override { resetDesktop(); }
  void TearDown() override {
    EXPECT_EQ(clipboardHolderThreadId(), 0u) << "a test left the clipboard open";
    resetDesktop();
  }

  static GlobalMemory blockWith(const Bytes& bytes) {
    GlobalMemory block = globalAlloc(kGmemMoveable, bytes.size());
    EXPECT_NE(block, nullptr);
    if (!bytes.empty()) {
      void* data = globalLock(block);
      EXPECT_NE(data, nullptr);
      std::memcpy(data, bytes.data(), bytes.size());
      globalUnlock(block);
    }
    return block;
  }
  // Replaces the clipboard's contents with one format, as a writer does.
  static void put(uint32_t format, const Bytes& bytes) {
    ASSERT_TRUE(openClipboard(0));
    ASSERT_TRUE(emptyClipboard());
    GlobalMemory block = blockWith(bytes);
    EXPECT_EQ(setClipboardData(format, block), block);
    ASSERT_TRUE(closeClipboard());
  }
  // The whole block of one format, or none when it is absent.
  static std::optional<Bytes> get(uint32_t format) {
    EXPECT_TRUE(openClipboard(0));
    GlobalMemory block = getClipboardData(format);
    std::optional<Bytes> result;
    if (block) {
      size_t size = globalSize(block);
      const unsigned char* data = static_cast<const unsigned char*>(globalLock(block));
      result = data ? Bytes(data, data + size) : Bytes();
      if (data) globalUnlock(block);
    }
    EXPECT_TRUE(closeClipboard());
    return result;
  }
  static std::vector<uint32_t> formats() {
    EXPECT_TRUE(openClipboard(0));
    std::vector<uint32_t> result;
    for (uint32_t format = enumClipboardFormats(0); format != 0; format = enumClipboardFormats(format))
      result.push_back(format);
    EXPECT_EQ(getLastError(), static_cast<uint32_t>(kErrorSuccess));
    EXPECT_TRUE(closeClipboard());
    EXPECT_EQ(static_cast<int>(result.size()), countClipboardFormats());
    return result;
  }
};

TEST_F(ClipboardTest, AnEmptyClipboardHasNoFormatsAndNoData) {
  EXPECT_EQ(countClipboardFormats(), 0);
  EXPECT_EQ(formats(), std::vector<uint32_t>{});
  EXPECT_EQ(get(kCfUnicodeText), std::nullopt);
  put(0xC123, {1, 2, 3});
  EXPECT_EQ(get(kCfUnicodeText), std::nullopt);  // nothing synthesised from a private format
  EXPECT_EQ(get(kCfBitmap), std::nullopt);
  EXPECT_EQ(get(0xC123), (Bytes{1, 2, 3}));
}

TEST_F(ClipboardTest, AZeroLengthBlockIsSetAndReadBackAsZeroBytes) {
  GlobalMemory empty = globalAlloc(kGmemMoveable, 0);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(globalSize(empty), 0u);
  EXPECT_EQ(globalLock(empty), nullptr);  // a discarded block has no bytes to lock
  EXPECT_EQ(globalFree(empty), nullptr);

  put(kCfUnicodeText, {'a', 0, 0, 0});
  put(0xC123, {});
  EXPECT_EQ(formats(), std::vector<uint32_t>{0xC123});
  EXPECT_EQ(get(0xC123), Bytes{});
}

TEST_F(ClipboardTest, TextFormatsAreSynthesisedFromTheOneSet) {
  // "Grüße €" in Windows-1252 and UTF-16LE; Ω is not in the page and becomes '?'.
  const Bytes ansi{'G', 'r', 0xFC, 0xDF, 'e', ' ', 0x80, 0};
  const Bytes wide{'G', 0, 'r', 0, 0xFC, 0, 0xDF, 0, 'e', 0, ' ', 0, 0xAC, 0x20, 0, 0};
  const Bytes locale{0x09, 0x04, 0, 0};
  struct Case {
    const char* name;
    uint32_t format;
    Bytes set;
    std::vector<uint32_t> order;
    Bytes text, oemText, unicodeText;
  };
  const Case cases[] = {
      {"ansi", kCfText, ansi, {kCfText, kCfLocale, kCfUnicodeText, kCfOemText}, ansi, ansi, wide},
      {"unicode", kCfUnicodeText, wide, {kCfUnicodeText, kCfLocale, kCfText, kCfOemText}, ansi, ansi, wide},
      {"oem", kCfOemText, ansi, {kCfOemText, kCfLocale, kCfUnicodeText, kCfText}, ansi, ansi, wide},
      // Slack after the terminator stays in the format set and is not carried over.
      {"slack",
       kCfText,
       {'h', 'i', 0, 'x', 'y'},
       {kCfText, kCfLocale, kCfUnicodeText, kCfOemText},
       {'h', 'i', 0, 'x', 'y'},
       {'h', 'i', 0},
       {'h', 0, 'i', 0, 0, 0}},
      // Without a terminator the whole block is the text.
      {"unterminated",
       kCfUnicodeText,
       {0xA9, 0x03, 'x', 0},
       {kCfUnicodeText, kCfLocale, kCfText, kCfOemText},
       {'?', 'x', 0},
       {'?', 'x', 0},
       {0xA9, 0x03, 'x', 0}},
      {"empty", kCfUnicodeText, {0, 0}, {kCfUnicodeText, kCfLocale, kCfText, kCfOemText}, {0}, {0}, {0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    put(c.format, c.set);
    EXPECT_EQ(formats(), c.order);
    EXPECT_EQ(get(kCfText), c.text);
    EXPECT_EQ(get(kCfOemText), c.oemText);
    EXPECT_EQ(get(kCfUnicodeText), c.unicodeText);
    EXPECT_EQ(get(kCfLocale), locale);
  }
}

TEST_F(ClipboardTest, FormatsSetExplicitlyAreNotSynthesisedAndKeepTheirOrder) {
  ASSERT_TRUE(openClipboard(0));
  ASSERT_TRUE(emptyClipboard());
  ASSERT_NE(setClipboardData(0xC001, blockWith({1})), nullptr);
  ASSERT_NE(setClipboardData(kCfUnicodeText, blockWith({'w', 0, 0, 0})), nullptr);
  ASSERT_NE(setClipboardData(kCfText, blockWith({'a', 0})), nullptr);
  // Setting a format again replaces its block and frees the old one.
  size_t live = liveGlobalMemoryCount();
  ASSERT_NE(setClipboardData(kCfText, blockWith({'b', 0})), nullptr);
  EXPECT_EQ(liveGlobalMemoryCount(), live);
  ASSERT_TRUE(closeClipboard());
  EXPECT_EQ(formats(), (std::vector<uint32_t>{0xC001, kCfUnicodeText, kCfText, kCfLocale, kCfOemText}));
  EXPECT_EQ(get(kCfText), (Bytes{'b', 0}));
  EXPECT_EQ(get(kCfOemText), (Bytes{'w', 0}));  // made from the Unicode text
}

TEST_F(ClipboardTest, OnlyOneThreadHoldsTheClipboardOpen) {
  ASSERT_TRUE(openClipboard(0));
  EXPECT_TRUE(openClipboard(0));  // again by its holder
  EXPECT_EQ(clipboardHolderThreadId(), currentThreadId());
  std::thread([] {
    EXPECT_FALSE(openClipboard(0));
    EXPECT_EQ(getLastError(), static_cast<uint32_t>(kErrorAccessDenied));
    EXPECT_FALSE(closeClipboard());
    EXPECT_EQ(getLastError(), static_cast<uint32_t>(kErrorClipboardNotOpen));
    // What needs the clipboard open fails for a thread that does not hold it; counting does not.
    EXPECT_FALSE(emptyClipboard());
    EXPECT_EQ(getClipboardData(kCfText), nullptr);
    EXPECT_EQ(enumClipboardFormats(0), 0u);
    EXPECT_EQ(getLastError(), static_cast<uint32_t>(kErrorClipboardNotOpen));
    EXPECT_EQ(countClipboardFormats(), 0);
  }).join();
  ASSERT_TRUE(closeClipboard());
  std::thread([] {
    EXPECT_TRUE(openClipboard(0));
    EXPECT_TRUE(closeClipboard());
  }).join();
  // A holder that ends without closing does not lock the others out.
  std::thread([] { EXPECT_TRUE(openClipboard(0)); }).join();
  EXPECT_TRUE(openClipboard(0));
  EXPECT_TRUE(closeClipboard());
  EXPECT_FALSE(openClipboard(0x4242));
  EXPECT_EQ(getLastError(), static_cast<uint32_t>(kErrorInvalidWindowHandle));
}

TEST_F(ClipboardTest, TheClipboardOwnsWhatItAcceptsAndTheCallerWhatItRefuses) {
  GlobalMemory refused = blockWith({1, 2});
  EXPECT_EQ(setClipboardData(kCfText, refused), nullptr);  // not open
  EXPECT_EQ(getLastError(), static_cast<uint32_t>(kErrorClipboardNotOpen));
  ASSERT_TRUE(openClipboard(0));
  ASSERT_TRUE(emptyClipboard());
  EXPECT_EQ(setClipboardData(0, refused), nullptr);
  EXPECT_EQ(setClipboardData(kCfText, nullptr), nullptr);
  EXPECT_EQ(setClipboardData(kCfText, reinterpret_cast<GlobalMemory>(0x4242)), nullptr);
  EXPECT_EQ(globalFree(refused), nullptr);

  GlobalMemory accepted = blockWith({'x', 0});
  void* locked = globalLock(accepted);
  ASSERT_NE(locked, nullptr);
  EXPECT_EQ(setClipboardData(kCfText, accepted), accepted);  // a locked block may be handed over
  EXPECT_FALSE(globalUnlock(accepted));
  EXPECT_EQ(getLastError(), static_cast<uint32_t>(kErrorSuccess));
  EXPECT_EQ(globalFree(accepted), accepted);  // no longer the caller's to free
  EXPECT_EQ(setClipboardData(0xC001, accepted), nullptr);
  EXPECT_EQ(getClipboardData(kCfText), accepted);
  EXPECT_NE(getClipboardData(kCfUnicodeText), nullptr);
  EXPECT_EQ(liveGlobalMemoryCount(), 2u);  // the block set and the one rendered from it
  ASSERT_TRUE(emptyClipboard());
  EXPECT_EQ(liveGlobalMemoryCount(), 0u);
  EXPECT_EQ(globalSize(accepted), 0u);
  EXPECT_EQ(getLastError(), static_cast<uint32_t>(kErrorInvalidHandle));
  ASSERT_TRUE(closeClipboard());
}

TEST_F(ClipboardTest, GlobalMemoryCountsLocksAndRefusesUnknownHandles) {
  GlobalMemory block = globalAlloc(kGmemMoveable, 5);
  EXPECT_EQ(globalSize(block), 5u);
  unsigned char* first = static_cast<unsigned char*>(globalLock(block));
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(Bytes(first, first + 5), Bytes(5, 0));
  EXPECT_EQ(globalLock(block), first);
  EXPECT_TRUE(globalUnlock(block));
  EXPECT_FALSE(globalUnlock(block));
  EXPECT_EQ(getLastError(), static_cast<uint32_t>(kErrorSuccess));
  EXPECT_FALSE(globalUnlock(block));
  EXPECT_EQ(getLastError(), static_cast<uint32_t>(kErrorNotLocked));
  EXPECT_EQ(globalFree(block), nullptr);
  for (GlobalMemory stale : {block, reinterpret_cast<GlobalMemory>(0x4242), GlobalMemory{}}) {
    EXPECT_EQ(globalLock(stale), nullptr);
    EXPECT_EQ(getLastError(), static_cast<uint32_t>(kErrorInvalidHandle));
    EXPECT_EQ(globalSize(stale), 0u);
    EXPECT_EQ(globalFree(stale), stale);
  }
}

TEST_F(ClipboardTest, AllocationFailsWhenTheTestSaysSo) {
  failNextGlobalAllocs(2);
  for (size_t size : {16u, 0u}) {
    setLastError(0);
    EXPECT_EQ(globalAlloc(kGmemMoveable, size), nullptr);
    EXPECT_EQ(getLastError(), static_cast<uint32_t>(kErrorNotEnoughMemory));
  }
  GlobalMemory block = globalAlloc(kGmemMoveable, 16);
  EXPECT_NE(block, nullptr);
  EXPECT_EQ(globalFree(block), nullptr);
  EXPECT_EQ(liveGlobalMemoryCount(), 0u);
}

}  // namespace
}  // namespace simdesktop
