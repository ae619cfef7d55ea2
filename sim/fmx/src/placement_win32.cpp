// The high region on Windows: committed memory at a fixed address. A 32-bit process reaches above
// 2 GiB only when it is large-address aware and runs on a 64-bit system.
#include <windows.h>

#include "placement.h"

namespace fmsim {

void* reserveRegionAbove(uintptr_t floor, size_t size) {
  constexpr uintptr_t kStep = 0x10000000;
  for (uintptr_t at = floor + kStep; at <= uintptr_t{0xFFFFFFFF} - size; at += kStep) {
    void* got = ::VirtualAlloc(reinterpret_cast<void*>(at), size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (got != nullptr) return got;
  }
  // A 64-bit process takes any region above the floor: its handles stay positive either way.
  if constexpr (sizeof(void*) == 8) {
    void* got = ::VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (got != nullptr && reinterpret_cast<uintptr_t>(got) >= floor) return got;
    if (got != nullptr) ::VirtualFree(got, 0, MEM_RELEASE);
  }
  return nullptr;
}

}  // namespace fmsim
