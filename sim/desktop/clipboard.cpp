// Global memory blocks and the clipboard behind one lock, since the clipboard owns blocks. Handles are
// numbers from a counter, looked up in the block table before any use, so a stale or made-up handle
// is refused instead of touching memory. Synthesised text formats are listed from the formats set and
// rendered into blocks of the clipboard's own when first asked for.
#include "simdesktop/clipboard.h"

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "simdesktop/code_pages.h"
#include "simdesktop/threads.h"

namespace simdesktop {
namespace {

constexpr uintptr_t kFirstBlockHandle = 0x000A0004;
constexpr uintptr_t kBlockHandleStep = 8;
// The page CF_TEXT and CF_OEMTEXT are read and written in, that of kClipboardLocale.
constexpr uint32_t kClipboardTextPage = kCodePageWindows1252;

struct Block {
  std::vector<unsigned char> bytes;
  int locks = 0;
  bool clipboardOwned = false;
};

struct ClipboardEntry {
  uint32_t format = 0;
  uintptr_t block = 0;
};

struct Store {
  std::mutex mutex;
  std::map<uintptr_t, Block> blocks;
  uintptr_t nextHandle = kFirstBlockHandle;
  int failingAllocs = 0;

  uint32_t holder = 0;  // thread holding the clipboard open
  WindowHandle openedBy = 0;
  WindowHandle owner = 0;
  std::vector<ClipboardEntry> formats;            // as set, in order
  std::map<uint32_t, uintptr_t> renderedFormats;  // synthesised, by format
};

Store& store() {
  // Never destroyed: blocks may be freed by module code that runs while statics are torn down.
  static Store* instance = new Store;
  return *instance;
}

template <typename Result>
Result failWith(Result failure, long error) {
  setLastError(static_cast<uint32_t>(error));
  return failure;
}

// Calls report failure by value; running out of memory is one more failure.
template <typename Result, typename Body>
Result guarded(Result failure, Body body) noexcept {
  try {
    return body();
  } catch (...) {
    setLastError(kErrorNotEnoughMemory);
    return failure;
  }
}

GlobalMemory asHandle(uintptr_t value) {
  return reinterpret_cast<GlobalMemory>(value);
}

Block* findBlock(Store& s, GlobalMemory handle) {
  auto found = s.blocks.find(reinterpret_cast<uintptr_t>(handle));
  return found == s.blocks.end() ? nullptr : &found->second;
}

uintptr_t newBlockLocked(Store& s, std::vector<unsigned char> bytes, bool clipboardOwned) {
  uintptr_t handle = s.nextHandle;
  while (handle == 0 || s.blocks.count(handle) != 0) handle += kBlockHandleStep;
  s.blocks.emplace(handle, Block{std::move(bytes), 0, clipboardOwned});
  s.nextHandle = handle + kBlockHandleStep;
  return handle;
}

// Closes the clipboard when the thread holding it ends without closing it, so that no other thread
// is locked out for the rest of the process.
struct HolderGuard {
  uint32_t threadId = 0;
  ~HolderGuard() {
    if (threadId == 0) return;
    Store& s = store();
    std::lock_guard lock(s.mutex);
    if (s.holder == threadId) {
      s.holder = 0;
      s.openedBy = 0;
    }
  }
};

thread_local HolderGuard holderGuard;

bool holdsClipboard(const Store& s) {
  return s.holder != 0 && s.holder == currentThreadId();
}

const ClipboardEntry* setEntry(const Store& s, uint32_t format) {
  for (const ClipboardEntry& entry : s.formats) {
    if (entry.format == format) return &entry;
  }
  return nullptr;
}

// The text format that synthesised ones are made from: Unicode text when set, else the ANSI, else the
// OEM text, as the most faithful source comes first.
std::optional<uint32_t> textSource(const Store& s) {
  for (uint32_t format : {kCfUnicodeText, kCfText, kCfOemText}) {
    if (setEntry(s, format)) return format;
  }
  return std::nullopt;
}

std::vector<uint32_t> synthesisedFormats(const Store& s) {
  std::vector<uint32_t> result;
  if (!textSource(s)) return result;
  for (uint32_t format : {kCfLocale, kCfUnicodeText, kCfText, kCfOemText}) {
    if (!setEntry(s, format)) result.push_back(format);
  }
  return result;
}

std::vector<uint32_t> allFormats(const Store& s) {
  std::vector<uint32_t> result;
  for (const ClipboardEntry& entry : s.formats) result.push_back(entry.format);
  for (uint32_t format : synthesisedFormats(s)) result.push_back(format);
  return result;
}

// The source block's text up to its terminator (or its end, when it has none).
std::u16string readText(const Block& block, uint32_t format) {
  std::u16string text;
  if (format == kCfUnicodeText) {
    size_t units = block.bytes.size() / 2;
    for (size_t i = 0; i < units; ++i) {
      char16_t unit = static_cast<char16_t>(block.bytes[2 * i] | (block.bytes[2 * i + 1] << 8));
      if (unit == 0) break;
      text.push_back(unit);
    }
    return text;
  }
  auto end = std::find(block.bytes.begin(), block.bytes.end(), 0);
  int length = static_cast<int>(std::min<std::ptrdiff_t>(end - block.bytes.begin(), INT32_MAX));
  if (length == 0) return text;
  const char* bytes = reinterpret_cast<const char*>(block.bytes.data());
  int needed = multiByteToWideChar(kClipboardTextPage, 0, bytes, length, nullptr, 0);
  text.resize(static_cast<size_t>(std::max(needed, 0)));
  if (needed > 0) multiByteToWideChar(kClipboardTextPage, 0, bytes, length, text.data(), needed);
  return text;
}

std::vector<unsigned char> renderText(const std::u16string& text, uint32_t format) {
  std::vector<unsigned char> bytes;
  if (format == kCfUnicodeText) {
    for (char16_t unit : text) {
      bytes.push_back(static_cast<unsigned char>(unit & 0xFF));
      bytes.push_back(static_cast<unsigned char>(unit >> 8));
    }
    bytes.insert(bytes.end(), {0, 0});
    return bytes;
  }
  int length = static_cast<int>(std::min<size_t>(text.size(), INT32_MAX));
  if (length > 0) {
    int needed = wideCharToMultiByte(kClipboardTextPage, 0, text.data(), length, nullptr, 0);
    bytes.resize(static_cast<size_t>(std::max(needed, 0)));
    if (needed > 0) {
      wideCharToMultiByte(kClipboardTextPage, 0, text.data(), length, reinterpret_cast<char*>(bytes.data()),
                          needed);
    }
  }
  bytes.push_back(0);
  return bytes;
}

uintptr_t renderLocked(Store& s, uint32_t format) {
  auto rendered = s.renderedFormats.find(format);
  if (rendered != s.renderedFormats.end()) return rendered->second;
  std::vector<unsigned char> bytes;
  if (format == kCfLocale) {
    for (int shift = 0; shift < 32; shift += 8)
      bytes.push_back(static_cast<unsigned char>(kClipboardLocale >> shift));
  } else {
    uint32_t source = *textSource(s);
    bytes = renderText(readText(s.blocks.at(setEntry(s, source)->block), source), format);
  }
  uintptr_t handle = newBlockLocked(s, std::move(bytes), true);
  s.renderedFormats[format] = handle;
  return handle;
}

void freeRenderedLocked(Store& s) {
  for (const auto& [format, handle] : s.renderedFormats) s.blocks.erase(handle);
  s.renderedFormats.clear();
}

}  // namespace

// ---- Global memory ----

GlobalMemory globalAlloc(uint32_t /*flags*/, std::size_t bytes) {
  return guarded<GlobalMemory>(nullptr, [&]() -> GlobalMemory {
    Store& s = store();
    std::lock_guard lock(s.mutex);
    if (s.failingAllocs > 0) {
      --s.failingAllocs;
      return failWith<GlobalMemory>(nullptr, kErrorNotEnoughMemory);
    }
    return asHandle(newBlockLocked(s, std::vector<unsigned char>(bytes), false));
  });
}

void* globalLock(GlobalMemory block) {
  Store& s = store();
  std::lock_guard lock(s.mutex);
  Block* data = findBlock(s, block);
  if (!data) return failWith<void*>(nullptr, kErrorInvalidHandle);
  if (data->bytes.empty()) return nullptr;
  ++data->locks;
  return data->bytes.data();
}

bool globalUnlock(GlobalMemory block) {
  Store& s = store();
  std::lock_guard lock(s.mutex);
  Block* data = findBlock(s, block);
  if (!data) return failWith(false, kErrorInvalidHandle);
  if (data->locks == 0) return failWith(false, kErrorNotLocked);
  --data->locks;
  if (data->locks == 0) return failWith(false, kErrorSuccess);
  return true;
}

std::size_t globalSize(GlobalMemory block) {
  Store& s = store();
  std::lock_guard lock(s.mutex);
  Block* data = findBlock(s, block);
  if (!data) return failWith<std::size_t>(0, kErrorInvalidHandle);
  return data->bytes.size();
}

GlobalMemory globalFree(GlobalMemory block) {
  Store& s = store();
  std::lock_guard lock(s.mutex);
  Block* data = findBlock(s, block);
  if (!data || data->clipboardOwned) return failWith(block, kErrorInvalidHandle);
  s.blocks.erase(reinterpret_cast<uintptr_t>(block));
  return nullptr;
}

void failNextGlobalAllocs(int count) {
  Store& s = store();
  std::lock_guard lock(s.mutex);
  s.failingAllocs = std::max(count, 0);
}

std::size_t liveGlobalMemoryCount() {
  Store& s = store();
  std::lock_guard lock(s.mutex);
  return s.blocks.size();
}

// ---- Clipboard ----

bool openClipboard(WindowHandle owner) {
  if (owner != 0 && !isWindow(owner)) return failWith(false, kErrorInvalidWindowHandle);
  Store& s = store();
  std::lock_guard lock(s.mutex);
  uint32_t self = currentThreadId();
  if (s.holder != 0 && s.holder != self) return failWith(false, kErrorAccessDenied);
  s.holder = self;
  s.openedBy = owner;
  holderGuard.threadId = self;
  return true;
}

bool closeClipboard() {
  Store& s = store();
  std::lock_guard lock(s.mutex);
  if (!holdsClipboard(s)) return failWith(false, kErrorClipboardNotOpen);
  s.holder = 0;
  s.openedBy = 0;
  return true;
}

bool emptyClipboard() {
  Store& s = store();
  std::lock_guard lock(s.mutex);
  if (!holdsClipboard(s)) return failWith(false, kErrorClipboardNotOpen);
  freeRenderedLocked(s);
  for (const ClipboardEntry& entry : s.formats) s.blocks.erase(entry.block);
  s.formats.clear();
  s.owner = s.openedBy;
  return true;
}

GlobalMemory setClipboardData(uint32_t format, GlobalMemory block) {
  return guarded<GlobalMemory>(nullptr, [&]() -> GlobalMemory {
    Store& s = store();
    std::lock_guard lock(s.mutex);
    if (!holdsClipboard(s)) return failWith<GlobalMemory>(nullptr, kErrorClipboardNotOpen);
    if (format == 0 || !block) return failWith<GlobalMemory>(nullptr, kErrorInvalidParameter);
    Block* data = findBlock(s, block);
    if (!data) return failWith<GlobalMemory>(nullptr, kErrorInvalidHandle);
    uintptr_t handle = reinterpret_cast<uintptr_t>(block);
    auto existing = std::find_if(s.formats.begin(), s.formats.end(),
                                 [&](const ClipboardEntry& entry) { return entry.format == format; });
    if (existing != s.formats.end() && existing->block == handle) return block;
    // A block has one owner: handing over one the clipboard already holds would free it twice.
    if (data->clipboardOwned) return failWith<GlobalMemory>(nullptr, kErrorInvalidHandle);
    if (existing == s.formats.end()) {
      s.formats.push_back(ClipboardEntry{format, handle});
    } else {
      s.blocks.erase(existing->block);
      existing->block = handle;
    }
    data->clipboardOwned = true;
    freeRenderedLocked(s);
    return block;
  });
}

GlobalMemory getClipboardData(uint32_t format) {
  return guarded<GlobalMemory>(nullptr, [&]() -> GlobalMemory {
    Store& s = store();
    std::lock_guard lock(s.mutex);
    if (!holdsClipboard(s)) return failWith<GlobalMemory>(nullptr, kErrorClipboardNotOpen);
    if (const ClipboardEntry* entry = setEntry(s, format)) return asHandle(entry->block);
    std::vector<uint32_t> synthesised = synthesisedFormats(s);
    if (std::find(synthesised.begin(), synthesised.end(), format) == synthesised.end()) return nullptr;
    return asHandle(renderLocked(s, format));
  });
}

int countClipboardFormats() {
  return guarded<int>(0, [&]() -> int {
    Store& s = store();
    std::lock_guard lock(s.mutex);
    return static_cast<int>(allFormats(s).size());
  });
}

uint32_t enumClipboardFormats(uint32_t format) {
  return guarded<uint32_t>(0, [&]() -> uint32_t {
    Store& s = store();
    std::lock_guard lock(s.mutex);
    if (!holdsClipboard(s)) return failWith(0u, kErrorClipboardNotOpen);
    std::vector<uint32_t> formats = allFormats(s);
    auto next = formats.begin();
    if (format != 0) {
      next = std::find(formats.begin(), formats.end(), format);
      if (next != formats.end()) ++next;
    }
    if (next == formats.end()) return failWith(0u, kErrorSuccess);
    return *next;
  });
}

bool isClipboardFormatAvailable(uint32_t format) {
  return guarded<bool>(false, [&]() -> bool {
    Store& s = store();
    std::lock_guard lock(s.mutex);
    std::vector<uint32_t> formats = allFormats(s);
    return std::find(formats.begin(), formats.end(), format) != formats.end();
  });
}

WindowHandle getClipboardOwner() {
  Store& s = store();
  std::lock_guard lock(s.mutex);
  return s.owner;
}

uint32_t clipboardHolderThreadId() {
  Store& s = store();
  std::lock_guard lock(s.mutex);
  return s.holder;
}

void resetClipboard() {
  Store& s = store();
  std::lock_guard lock(s.mutex);
  s.blocks.clear();
  s.failingAllocs = 0;
  s.holder = 0;
  s.openedBy = 0;
  s.owner = 0;
  s.formats.clear();
  s.renderedFormats.clear();
}

}  // namespace simdesktop
