// The FileMaker plug-in interface as the module sees it: the error record, the opaque host object types,
// the calling convention and the callback types. Included by the module and by the simulated host; both
// sides must agree on every declaration here, so nothing in this header depends on either of them.
#ifndef FMX_FMX_TYPES_H
#define FMX_FMX_TYPES_H

#include <stdbool.h>
#include <stdint.h>

// Calling convention of every callback that crosses between the host and the module. The host calls
// back on 32-bit Windows with stdcall; everywhere else the platform's C convention is used.
#if defined(_WIN32) && !defined(_WIN64)
#define FMX_CALL __stdcall
#else
#define FMX_CALL
#endif

// Visibility of the host's FM_ operations: exported by the host library, imported by the module.
#if defined(_WIN32)
#if defined(FMX_BUILDING_HOST)
#define FMX_HOST_API __declspec(dllexport)
#else
#define FMX_HOST_API __declspec(dllimport)
#endif
#else
#define FMX_HOST_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
#define FMX_EXTERN_C extern "C"
#else
#define FMX_EXTERN_C extern
#endif

#define FMX_FUNCTION FMX_EXTERN_C FMX_HOST_API

#ifdef __cplusplus
extern "C" {
#endif

// Every FM_ operation takes one of these last. The caller sets version 1 and code 0; the host sets
// code 1 when it ran out of memory and 2 for any other failure (an invalid operand, a range outside a
// text, a dead object). Other values are not errors.
typedef struct HostErrorRecord {
  int32_t version;
  int32_t code;
} HostErrorRecord;

enum {
  kHostErrorNone = 0,
  kHostErrorOutOfMemory = 1,
  kHostErrorFailure = 2,
};

// Opaque host objects. The module only ever holds their addresses.
typedef struct FmxQuadChar FmxQuadChar;
typedef struct FmxFixPt FmxFixPt;
typedef struct FmxText FmxText;
typedef struct FmxColor FmxColor;
typedef struct FmxCharacterStyle FmxCharacterStyle;
typedef struct FmxLocale FmxLocale;
typedef struct FmxData FmxData;
typedef struct FmxDataVect FmxDataVect;
typedef struct FmxDateTime FmxDateTime;
typedef struct FmxBinaryData FmxBinaryData;
typedef struct FmxExprEnv FmxExprEnv;

// Native type codes of a data value.
enum {
  kFmxTypeInvalid = 0,
  kFmxTypeText = 1,
  kFmxTypeNumber = 2,
  kFmxTypeDate = 3,
  kFmxTypeTime = 4,
  kFmxTypeTimeStamp = 5,
  kFmxTypeBinary = 6,
  kFmxTypeBoolean = 7,
};

// The callback a plug-in registers for each of its calculation functions: function id, the expression
// environment of the evaluation, the parameter vector and the result data to fill. Returns the host
// error code of the call, 0 for success.
typedef int16_t(FMX_CALL* FmxExternalFunction)(int16_t functionId, const FmxExprEnv* env,
                                                const FmxDataVect* parameters, FmxData* result);

// The host's script-start callback: file name, script name, script control and an optional parameter.
// Returns the host error code, 0 for success.
typedef int16_t(FMX_CALL* FmxStartScriptFunction)(const FmxText* fileName, const FmxText* scriptName,
                                                  int32_t control, const FmxData* parameter);

// The host's current-environment callback: fills the given environment with the context the host is
// evaluating in right now. Returns the host error code, 0 for success.
typedef int16_t(FMX_CALL* FmxCurrentEnvFunction)(FmxExprEnv* env);

// Script control values a script start takes.
enum {
  kFmxScriptHalt = 0,
  kFmxScriptExit = 1,
  kFmxScriptResume = 2,
  kFmxScriptPause = 3,
};

#ifdef __cplusplus
}
#endif

#endif  // FMX_FMX_TYPES_H
