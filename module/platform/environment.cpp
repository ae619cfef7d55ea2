// The C runtime's view of an environment variable, the same call on every platform.
#include <cstdlib>

#include "platform/platform.h"

namespace xplug::platform {

std::optional<std::string> getEnvironment(const char* name) {
  if (!name) return std::nullopt;
  const char* value = std::getenv(name);
  if (!value) return std::nullopt;
  return std::string(value);
}

}  // namespace xplug::platform
