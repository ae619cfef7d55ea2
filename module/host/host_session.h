// The host's identity as the module knows it, and the record of the latest host call. Plain
// process-wide values, constant-initialised, written on FileMaker's thread by the host entry and the
// start-up and string handlers and read by the log from any thread.
#ifndef XPLUG_HOST_HOST_SESSION_H
#define XPLUG_HOST_HOST_SESSION_H

#include <cstdint>

#include "fmx/fmx_extern.h"

namespace xplug {

struct HostSession {
  int16_t appType = -1;
  const char* appTypeName = "Unknown";
  // The manifest's plug-in name once read; null when the manifest had none.
  const char* pluginName = "Unknown";
  bool errorBoxShown = false;
};

extern HostSession hostSession;
// The record of the latest host call; stored first on every call and never cleared.
extern ExternCallRecord* currentCallRecord;

}  // namespace xplug

#endif  // XPLUG_HOST_HOST_SESSION_H
