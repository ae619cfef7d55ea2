// Cost of the simulated host's FM_ operations on the paths a plug-in call takes: one operation, the ~10
// operations of a typical function call, and a whole evaluation that calls a plug-in function.
#include <benchmark/benchmark.h>

#include <string>

#include "fmsim/calculation.h"
#include "fmsim/values.h"
#include "fmx/fmx.h"

namespace {

void BM_TextGetSize(benchmark::State& state) {
  HostErrorRecord err{1, 0};
  FmxText* text = fmsim::makeText(u"abc");
  for (auto _ : state) benchmark::DoNotOptimize(FM_Text_GetSize(text, &err));
  fmsim::deleteText(text);
}
BENCHMARK(BM_TextGetSize);

// What a function that upper-cases its text parameter does with the host.
int16_t FMX_CALL upperFirst(int16_t, const FmxExprEnv*, const FmxDataVect* parameters, FmxData* result) {
  HostErrorRecord err{1, 0};
  uint16_t buffer[64];
  if (FM_DataVect_Size(parameters, &err) == 0) return 1;
  const FmxText* in = FM_Data_GetAsText(FM_DataVect_At(parameters, 0, &err), &err);
  uint32_t size = FM_Text_GetSize(in, &err);
  if (size > 63) size = 63;
  FM_Text_GetUnicode(in, buffer, 0, size, &err);
  for (uint32_t i = 0; i < size; ++i) {
    if (buffer[i] >= 'a' && buffer[i] <= 'z') buffer[i] = static_cast<uint16_t>(buffer[i] - 32);
  }
  FmxText* out = FM_Text_Constructor1(&err);
  FM_Text_AssignUnicodeWithLength(out, buffer, size, &err);
  FM_Data_SetAsText(result, out, FM_Data_GetLocale(result, &err), kFmxTypeText, &err);
  FM_Text_Delete(out, &err);
  return static_cast<int16_t>(err.code);
}

void BM_PluginCallOperations(benchmark::State& state) {
  FmxDataVect* parameters = fmsim::makeDataVect({fmsim::makeTextDataUtf8("hello world")});
  FmxData* result = fmsim::makeEmptyData();
  for (auto _ : state) benchmark::DoNotOptimize(upperFirst(1, nullptr, parameters, result));
  fmsim::deleteData(result);
  fmsim::deleteDataVect(parameters);
}
BENCHMARK(BM_PluginCallOperations);

void BM_EvaluatePluginFunction(benchmark::State& state) {
  HostErrorRecord err{1, 0};
  FmxQuadChar* id = FM_QuadChar_Constructor2('B', 'N', 'C', 'H', &err);
  FmxText* name = fmsim::makeText(u"BN_Upper");
  FM_ExprEnv_RegisterExternalFunction(id, 1, name, name, 1, 1, 0, upperFirst, &err);
  FmxExprEnv* env = fmsim::makeExprEnv();
  FmxData* result = fmsim::makeEmptyData();
  for (auto _ : state) benchmark::DoNotOptimize(fmsim::evaluateInto(u"BN_Upper ( \"hello\" )", env, result));
  fmsim::deleteData(result);
  fmsim::deleteExprEnv(env);
  fmsim::deleteText(name);
  FM_QuadChar_Delete(id, &err);
  fmsim::clearRegisteredFunctions();
}
BENCHMARK(BM_EvaluatePluginFunction);

}  // namespace

BENCHMARK_MAIN();
