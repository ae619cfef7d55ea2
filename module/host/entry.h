// The module's one host entry point. FileMaker (or the simulated host) calls it for every plug-in event
// on its own thread, one call at a time; tests call it the same way.
#ifndef XPLUG_HOST_ENTRY_H
#define XPLUG_HOST_ENTRY_H

#include "fmx/fmx_extern.h"

#if defined(_WIN32)
#define XPLUG_ENTRY_EXPORT __declspec(dllexport)
#elif defined(__GNUC__) || defined(__clang__)
#define XPLUG_ENTRY_EXPORT __attribute__((visibility("default")))
#else
#define XPLUG_ENTRY_EXPORT
#endif

// Stores the record as the current one and hands the call to its handler; every result goes into the
// record. Unknown selectors are ignored. Never raises.
extern "C" XPLUG_ENTRY_EXPORT void FMExternCallProc(ExternCallRecord* record);

#endif  // XPLUG_HOST_ENTRY_H
