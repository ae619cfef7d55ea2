// The host's call record and the module's entry point. The host owns the record and passes it to
// FMExternCallProc for every plug-in event, one call at a time on its own thread.
#ifndef FMX_FMX_EXTERN_H
#define FMX_FMX_EXTERN_H

#include <stddef.h>
#include <stdint.h>

#include "fmx/fmx_types.h"

#ifdef __cplusplus
extern "C" {
#endif

// Selectors (the record's `selector`).
enum {
  kFmxSelectorInit = 0,
  kFmxSelectorIdle = 1,
  kFmxSelectorShutdown = 4,
  kFmxSelectorPreferences = 5,
  kFmxSelectorGetString = 7,
};

// String ids of a get-string call (the record's `callParameter`).
enum {
  kFmxStringName = 128,
  kFmxStringHelp = 129,
  kFmxStringOptions = 131,
};

// Application types of a start-up call (the record's `callParameter`).
enum {
  kFmxAppDeveloper = 0,
  kFmxAppPro = 1,
  kFmxAppRuntime = 2,
  kFmxAppServer = 3,
  kFmxAppWebPublishing = 4,
  kFmxAppMobile = 5,
};

// The start-up result that tells the host not to enable the plug-in.
enum { kFmxDoNotEnable = -2 };

// On 32-bit builds every field sits at the host's byte offset (asserted below); on 64-bit builds the
// address fields are pointer-sized and the order is kept. Bytes the module does not use are reserved.
typedef struct ExternCallRecord {
  int16_t apiVersion;                // start-up: the host's plug-in interface version
  uint8_t reserved0[7];
  uint8_t selector;                  // which call this is
  uint8_t unsafeCalls;               // nonzero while calling back into the host is unsafe
  uint8_t callParameter;             // start-up: application type; idle: idle state; get string: id
  uint8_t reserved1[4];
  uint32_t bufferCapacity;           // get string: capacity of the buffer at `result`, in UTF-16 units
  uintptr_t instanceID;              // the module's instance handle as the host knows it
  uintptr_t result;                  // start-up: the result; get string: address of the UTF-16 buffer
  uint8_t reserved2[44];
  FmxStartScriptFunction cStartScript;  // the host's script-start callback
  FmxCurrentEnvFunction cCurrentEnv;    // the host's current-environment callback
} ExternCallRecord;

#if UINTPTR_MAX == 0xFFFFFFFFu
#ifdef __cplusplus
#define FMX_STATIC_ASSERT static_assert
#else
#define FMX_STATIC_ASSERT _Static_assert
#endif
FMX_STATIC_ASSERT(offsetof(ExternCallRecord, apiVersion) == 0, "apiVersion at 0");
FMX_STATIC_ASSERT(offsetof(ExternCallRecord, selector) == 9, "selector at 9");
FMX_STATIC_ASSERT(offsetof(ExternCallRecord, unsafeCalls) == 10, "unsafeCalls at 10");
FMX_STATIC_ASSERT(offsetof(ExternCallRecord, callParameter) == 11, "callParameter at 11");
FMX_STATIC_ASSERT(offsetof(ExternCallRecord, bufferCapacity) == 16, "bufferCapacity at 16");
FMX_STATIC_ASSERT(offsetof(ExternCallRecord, instanceID) == 20, "instanceID at 20");
FMX_STATIC_ASSERT(offsetof(ExternCallRecord, result) == 24, "result at 24");
FMX_STATIC_ASSERT(offsetof(ExternCallRecord, cStartScript) == 72, "cStartScript at 72");
FMX_STATIC_ASSERT(offsetof(ExternCallRecord, cCurrentEnv) == 76, "cCurrentEnv at 76");
#undef FMX_STATIC_ASSERT
#endif

// The module's one entry point, exported undecorated with the C convention.
typedef void (*FmxExternCallProc)(ExternCallRecord* record);

#ifdef __cplusplus
}
#endif

#endif  // FMX_FMX_EXTERN_H
