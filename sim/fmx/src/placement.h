// The memory of host objects: the normal heap, or the reserved high region once high placement is on.
// HostObject's operator new and delete come here; any thread may call.
#ifndef FMSIM_PLACEMENT_INTERNAL_H
#define FMSIM_PLACEMENT_INTERNAL_H

#include <cstddef>
#include <cstdint>

namespace fmsim {

void* allocateObjectMemory(size_t size);
void releaseObjectMemory(void* memory);

// The operating system's part: a fresh, zero-filled region of `size` bytes whose first address is at or
// above `floor`, below 4 GiB where the address space allows it, or nullptr. One backend per platform.
void* reserveRegionAbove(uintptr_t floor, size_t size);

}  // namespace fmsim

#endif  // FMSIM_PLACEMENT_INTERNAL_H
