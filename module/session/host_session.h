// The host's identity as the module knows it, and the record of the latest host call: process-wide
// state that every folder of the module may read, so it sits below all of them. The identity is written
// on FileMaker's thread by start-up and the string handler and read by the log from any thread; the
// record is stored by every host call, on whichever thread FileMaker makes it, and read by Java threads.
#ifndef XPLUG_SESSION_HOST_SESSION_H
#define XPLUG_SESSION_HOST_SESSION_H

#include <atomic>
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
// The record of the latest host call; stored first on every call and never cleared. FileMaker Server
// calls from several threads at once and Java threads read it while a call runs, so it is atomic: a
// reader loads it once and sees one whole record's address.
extern std::atomic<ExternCallRecord*> currentCallRecord;

}  // namespace xplug

#endif  // XPLUG_SESSION_HOST_SESSION_H
