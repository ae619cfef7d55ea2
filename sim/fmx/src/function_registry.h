// The process-wide table of functions plug-ins register, looked up by name without regard to case.
// All functions need hostLock() held; callers copy an entry out before calling its callback.
#ifndef FMSIM_FUNCTION_REGISTRY_H
#define FMSIM_FUNCTION_REGISTRY_H

#include <optional>
#include <string_view>
#include <vector>

#include "fmsim/calculation.h"

namespace fmsim {

// Replaces an earlier function of the same name (in its place) or adds the function at the end.
void registerFunctionLocked(RegisteredFunction function);
std::optional<RegisteredFunction> findFunctionLocked(std::u16string_view name);
std::vector<RegisteredFunction> registeredFunctionsLocked();
void clearFunctionsLocked();

}  // namespace fmsim

#endif  // FMSIM_FUNCTION_REGISTRY_H
