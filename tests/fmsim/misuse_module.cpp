// A plug-in module without Java that misuses the host on purpose, for the tests of fmsim's strict
// checks: "MU_Leak" makes a text and never deletes it, "MU_UseDeleted" reads a text it has deleted,
// "MU_Fine" does everything right. With MISUSE_UNTERMINATED set it answers the help string (129)
// without a terminator; started as Runtime (type 2) it leaves the start-up result unset. FileMaker's
// thread only.
#include <cstdint>
#include <cstdlib>

#include "fmx/fmx.h"

namespace {

int16_t FMX_CALL leak(int16_t, const FmxExprEnv*, const FmxDataVect*, FmxData*) {
  HostErrorRecord err{1, 0};
  FM_Text_Constructor1(&err);
  return 0;
}

int16_t FMX_CALL useDeleted(int16_t, const FmxExprEnv*, const FmxDataVect*, FmxData*) {
  HostErrorRecord err{1, 0};
  FmxText* text = FM_Text_Constructor1(&err);
  FM_Text_Delete(text, &err);
  FM_Text_GetSize(text, &err);
  return 0;
}

int16_t FMX_CALL fine(int16_t, const FmxExprEnv*, const FmxDataVect*, FmxData*) {
  HostErrorRecord err{1, 0};
  FmxText* text = FM_Text_Constructor1(&err);
  FM_Text_Delete(text, &err);
  return 0;
}

void registerFunction(int16_t id, const char16_t* name, FmxExternalFunction callback) {
  HostErrorRecord err{1, 0};
  FmxQuadChar* pluginId = FM_QuadChar_Constructor2('M', 'I', 'S', 'U', &err);
  FmxText* text = FM_Text_Constructor1(&err);
  FM_Text_AssignUnicode(text, reinterpret_cast<const uint16_t*>(name), &err);
  FM_ExprEnv_RegisterExternalFunction(pluginId, id, text, text, 0, 0, 0, callback, &err);
  FM_Text_Delete(text, &err);
  FM_QuadChar_Delete(pluginId, &err);
}

}  // namespace

extern "C" FMX_HOST_API void FMExternCallProc(ExternCallRecord* record) {
  switch (record->selector) {
    case kFmxSelectorInit:
      registerFunction(1, u"MU_Leak", leak);
      registerFunction(2, u"MU_UseDeleted", useDeleted);
      registerFunction(3, u"MU_Fine", fine);
      if (record->callParameter != kFmxAppRuntime) record->result = 0;
      break;
    case kFmxSelectorGetString: {
      auto* buffer = reinterpret_cast<char16_t*>(record->result);
      if (record->bufferCapacity == 0) break;
      if (record->callParameter == kFmxStringHelp && std::getenv("MISUSE_UNTERMINATED") != nullptr) {
        for (uint32_t i = 0; i < record->bufferCapacity; ++i) buffer[i] = u'x';
      } else {
        buffer[0] = 0;
      }
      break;
    }
    default:
      break;
  }
}
