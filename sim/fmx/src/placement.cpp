#include "placement.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_map>
#include <vector>

#include "fmsim/placement.h"

namespace fmsim {
namespace {

// Room for a few million objects; pages are only backed once touched.
constexpr size_t kRegionSize = size_t{256} << 20;
// Every block starts with a header that keeps its size, and stays aligned like the heap's blocks.
constexpr size_t kGrain = alignof(std::max_align_t) < 16 ? 16 : alignof(std::max_align_t);

// The high region: a bump pointer and, per block size, the blocks that came back. A block is only
// given back after the object table's quarantine lets go of it, so reuse is as late as on the heap.
struct Region {
  std::mutex mutex;
  std::atomic<std::byte*> base{nullptr};
  size_t used = 0;
  std::unordered_map<size_t, std::vector<std::byte*>> freeBlocks;
};

Region& region() {
  // Never destroyed: objects may be released while the process exits.
  static Region* instance = new Region();
  return *instance;
}

size_t roundedSize(size_t size) {
  return (size + kGrain - 1) / kGrain * kGrain;
}

bool inRegion(const std::byte* block, const std::byte* base) {
  return base != nullptr && block >= base && block < base + kRegionSize;
}

// FMSIM_HIGH_PLACEMENT=1 turns the mode on as the library loads, before any object exists; a test suite
// that asked for it and cannot have it must not pass silently in the normal placement.
[[maybe_unused]] const bool placementFromEnvironment = [] {
  const char* wanted = std::getenv("FMSIM_HIGH_PLACEMENT");
  if (wanted == nullptr || std::strcmp(wanted, "1") != 0) return false;
  std::string error;
  if (!enableHighPlacement(error)) {
    std::fprintf(stderr, "fmsim: FMSIM_HIGH_PLACEMENT=1: %s\n", error.c_str());
    std::abort();
  }
  return true;
}();

}  // namespace

bool enableHighPlacement(std::string& error) {
  Region& r = region();
  std::lock_guard lock(r.mutex);
  if (r.base.load() != nullptr) return true;
  void* memory = reserveRegionAbove(kHighPlacementFloor, kRegionSize);
  if (memory == nullptr) {
    error = "cannot reserve " + std::to_string(kRegionSize >> 20) +
            " MiB for host objects above 0x80000000 (the address space there is taken)";
    return false;
  }
  r.base.store(static_cast<std::byte*>(memory));
  return true;
}

bool highPlacementEnabled() {
  return region().base.load() != nullptr;
}

void* allocateObjectMemory(size_t size) {
  Region& r = region();
  if (r.base.load() == nullptr) return ::operator new(size);
  const size_t blockSize = kGrain + roundedSize(size);
  std::lock_guard lock(r.mutex);
  std::byte* block = nullptr;
  if (auto found = r.freeBlocks.find(blockSize); found != r.freeBlocks.end() && !found->second.empty()) {
    block = found->second.back();
    found->second.pop_back();
  } else {
    if (kRegionSize - r.used < blockSize) throw std::bad_alloc();
    block = r.base.load() + r.used;
    r.used += blockSize;
  }
  std::memcpy(block, &blockSize, sizeof blockSize);
  return block + kGrain;
}

void releaseObjectMemory(void* memory) {
  if (memory == nullptr) return;
  Region& r = region();
  std::byte* block = static_cast<std::byte*>(memory) - kGrain;
  if (!inRegion(static_cast<std::byte*>(memory), r.base.load())) {
    ::operator delete(memory);
    return;
  }
  size_t blockSize = 0;
  std::memcpy(&blockSize, block, sizeof blockSize);
  std::lock_guard lock(r.mutex);
  r.freeBlocks[blockSize].push_back(block);
}

}  // namespace fmsim
