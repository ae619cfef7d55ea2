// The simulated host's calculation parser and engine over arbitrary expressions, with one plug-in
// function registered so that calls out of the engine are reached too.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fmsim/calculation.h"
#include "fmsim/test_support.h"
#include "fmx/fmx.h"

namespace {

// Returns its first parameter's text, or its parameter count when it has none.
int16_t FMX_CALL echo(int16_t, const FmxExprEnv*, const FmxDataVect* parameters, FmxData* result) {
  HostErrorRecord err{1, 0};
  if (FM_DataVect_Size(parameters, &err) == 0) return 0;
  const FmxData* first = FM_DataVect_At(parameters, 0, &err);
  FM_Data_SetAsText(result, FM_Data_GetAsText(first, &err), FM_Data_GetLocale(result, &err), kFmxTypeText,
                    &err);
  return 0;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  HostErrorRecord err{1, 0};
  FmxQuadChar* id = FM_QuadChar_Constructor2('F', 'U', 'Z', 'Z', &err);
  FmxText* name = FM_Text_Constructor1(&err);
  const char16_t units[] = u"FZ_Echo";
  FM_Text_AssignUnicode(name, reinterpret_cast<const uint16_t*>(units), &err);
  FM_ExprEnv_RegisterExternalFunction(id, 1, name, name, 0, -1, 0, echo, &err);
  FM_Text_Delete(name, &err);
  FM_QuadChar_Delete(id, &err);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fmsim::evaluate(std::string_view(reinterpret_cast<const char*>(data), size));
  // The engine and the echo function keep no object alive and misuse none.
  if (fmsim::pluginLiveCount() != 0 || !fmsim::takeDeadObjectReports().empty()) __builtin_trap();
  return 0;
}
