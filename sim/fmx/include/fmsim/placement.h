// Where the simulated host puts the objects it hands out. In high placement every host object lives above
// 0x80000000, so that on a 32-bit build every handle reaches Java as a negative long and must come back
// to the same object. Call before the first object is made (or set FMSIM_HIGH_PLACEMENT=1); thread-safe.
#ifndef FMSIM_PLACEMENT_H
#define FMSIM_PLACEMENT_H

#include <string>

#include "fmx/fmx_types.h"

namespace fmsim {

// The lowest address an object gets in high placement.
inline constexpr unsigned long kHighPlacementFloor = 0x80000000UL;

// Reserves the region above 0x80000000 and places every object made from now on inside it. True when the
// mode is on (also when it already was); false with a message when the region cannot be had.
FMX_HOST_API bool enableHighPlacement(std::string& error);
FMX_HOST_API bool highPlacementEnabled();

}  // namespace fmsim

#endif  // FMSIM_PLACEMENT_H
