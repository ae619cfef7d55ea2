// The clipboard natives of com.kelvo.xplug.PluginBridge: the formats on the clipboard, one format's
// bytes, and replacing the contents with one format. Each opens the clipboard without an owner window
// and has closed it again when it returns, also when it fails.
#include <jni.h>

#include <climits>
#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>
#include <vector>

#include "log/plugin_log.h"
#include "natives/jni_declarations.h"
#include "natives/values/native_edge.h"
#include "platform/platform.h"

namespace {

using namespace xplug;

// The clipboard held open by this native; closed when the native ends. When another holder has it
// open, the native goes on without it (the calls then find nothing or fail) and closes nothing.
class OpenClipboard {
 public:
  OpenClipboard() noexcept : opened_(platform::openClipboard(0)) {}
  OpenClipboard(const OpenClipboard&) = delete;
  OpenClipboard& operator=(const OpenClipboard&) = delete;
  ~OpenClipboard() {
    if (opened_) platform::closeClipboard();
  }

 private:
  bool opened_;
};

// A global memory block this native allocated and still owns: freed when the native ends, unless the
// clipboard took it over.
class OwnedGlobalMemory {
 public:
  explicit OwnedGlobalMemory(platform::GlobalMemory block) noexcept : block_(block) {}
  OwnedGlobalMemory(const OwnedGlobalMemory&) = delete;
  OwnedGlobalMemory& operator=(const OwnedGlobalMemory&) = delete;
  ~OwnedGlobalMemory() {
    if (block_ != nullptr) platform::globalFree(block_);
  }

  platform::GlobalMemory get() const noexcept { return block_; }
  // The clipboard owns the block from now on.
  void handOver() noexcept { block_ = nullptr; }

 private:
  platform::GlobalMemory block_;
};

// A lock on a global memory block; unlocked when the owner goes. A block of 0 bytes locks to null and
// has no bytes to reach.
class GlobalMemoryLock {
 public:
  explicit GlobalMemoryLock(platform::GlobalMemory block) noexcept
      : block_(block), bytes_(block != nullptr ? platform::globalLock(block) : nullptr) {}
  GlobalMemoryLock(const GlobalMemoryLock&) = delete;
  GlobalMemoryLock& operator=(const GlobalMemoryLock&) = delete;
  ~GlobalMemoryLock() { unlock(); }

  void* bytes() const noexcept { return bytes_; }
  void unlock() noexcept {
    if (bytes_ != nullptr) platform::globalUnlock(block_);
    bytes_ = nullptr;
  }

 private:
  platform::GlobalMemory block_;
  void* bytes_;
};

}  // namespace

extern "C" {

JNIEXPORT jintArray JNICALL Java_com_kelvo_xplug_PluginBridge__1getClipboardFormatsWin(JNIEnv* env, jclass) {
  return nativeEdge(env, [&]() -> jintArray {
    std::vector<jint> formats;
    {
      OpenClipboard clipboard;
      int count = platform::countClipboardFormats();
      formats.reserve(count > 0 ? static_cast<std::size_t>(count) : 0);
      // The count bounds the walk. When the enumeration ends early (another holder has the clipboard
      // open) the array is just shorter: it holds the formats found, nothing undefined.
      for (uint32_t format = platform::enumClipboardFormats(0);
           format != 0 && std::cmp_less(formats.size(), count);
           format = platform::enumClipboardFormats(format)) {
        formats.push_back(static_cast<jint>(format));
      }
    }
    jintArray array = env->NewIntArray(static_cast<jsize>(formats.size()));
    throwIfJavaExceptionPending(env);
    if (!formats.empty()) {
      env->SetIntArrayRegion(array, 0, static_cast<jsize>(formats.size()), formats.data());
      throwIfJavaExceptionPending(env);
    }
    return array;
  });
}

JNIEXPORT jbyteArray JNICALL Java_com_kelvo_xplug_PluginBridge__1getClipboardData(JNIEnv* env, jclass,
                                                                                  jint format) {
  return nativeEdge(env, [&]() -> jbyteArray {
    OpenClipboard clipboard;
    platform::GlobalMemory block = platform::getClipboardData(static_cast<uint32_t>(format));
    std::size_t size = block != nullptr ? platform::globalSize(block) : 0;
    GlobalMemoryLock lock(block);
    // A block that cannot be reached gives no bytes rather than bytes that were never read.
    if (lock.bytes() == nullptr) size = 0;
    if (size > static_cast<std::size_t>(INT32_MAX)) throw std::bad_alloc();
    jbyteArray array = env->NewByteArray(static_cast<jsize>(size));
    throwIfJavaExceptionPending(env);
    if (size > 0) {
      env->SetByteArrayRegion(array, 0, static_cast<jsize>(size), static_cast<const jbyte*>(lock.bytes()));
      throwIfJavaExceptionPending(env);
    }
    return array;
  });
}

JNIEXPORT void JNICALL Java_com_kelvo_xplug_PluginBridge__1setClipboardData(JNIEnv* env, jclass, jint format,
                                                                            jbyteArray data) {
  nativeEdge(env, [&] {
    // Refused before the clipboard is touched, so that a bad call loses nothing.
    if (data == nullptr) throw JavaNullArgument("The clipboard data is null");
    jsize length = env->GetArrayLength(data);

    OpenClipboard clipboard;
    platform::emptyClipboard();
    OwnedGlobalMemory block(platform::globalAlloc(platform::kGmemMoveable, static_cast<std::size_t>(length)));
    if (block.get() == nullptr) {
      logMessage("Could not allocate memory for clipboard; exiting. Clipboard contents were NOT set.\n");
      return;
    }
    {
      GlobalMemoryLock lock(block.get());
      if (lock.bytes() != nullptr && length > 0) {
        env->GetByteArrayRegion(data, 0, length, static_cast<jbyte*>(lock.bytes()));
        throwIfJavaExceptionPending(env);
      }
    }
    // Unlocked before the hand-over: afterwards the block is the clipboard's, not this native's.
    if (platform::setClipboardData(static_cast<uint32_t>(format), block.get()) == nullptr) {
      logMessage("The clipboard refused format %d (error code %d); its contents were NOT set.\n",
                 static_cast<int>(format), static_cast<int>(platform::getLastError()));
      return;
    }
    block.handOver();
  });
}

}  // extern "C"
