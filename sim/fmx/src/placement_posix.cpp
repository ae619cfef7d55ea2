// The high region on POSIX systems: an anonymous mapping at a fixed address that nothing else holds.
#include <sys/mman.h>

#include "placement.h"

namespace fmsim {

void* reserveRegionAbove(uintptr_t floor, size_t size) {
  // A few candidates from 2.25 GiB up, so that a VM or library already sitting at one does not stop us.
  constexpr uintptr_t kStep = 0x10000000;
  for (uintptr_t at = floor + kStep; at <= uintptr_t{0xFFFFFFFF} - size; at += kStep) {
    void* wanted = reinterpret_cast<void*>(at);
    void* got = ::mmap(wanted, size, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_FIXED_NOREPLACE, -1, 0);
    if (got == MAP_FAILED) continue;
    // Kernels before MAP_FIXED_NOREPLACE take it as a hint and may put the mapping elsewhere.
    if (got == wanted) return got;
    ::munmap(got, size);
  }
  // A 64-bit process may find the range below 4 GiB taken (AddressSanitizer's shadow lies there); any
  // region above the floor serves it, since its handles stay positive either way.
  if constexpr (sizeof(void*) == 8) {
    void* got =
        ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (got != MAP_FAILED && reinterpret_cast<uintptr_t>(got) >= floor) return got;
    if (got != MAP_FAILED) ::munmap(got, size);
  }
  return nullptr;
}

}  // namespace fmsim
