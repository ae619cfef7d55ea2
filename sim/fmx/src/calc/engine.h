// The calculation engine behind FM_ExprEnv_Evaluate: parses an expression of the documented subset of
// FileMaker's calculation language (docs/calculations.md) and evaluates it, calling registered plug-in
// functions. Any thread, without the host lock held; reentrant (a plug-in function may evaluate again).
#ifndef FMSIM_CALC_ENGINE_H
#define FMSIM_CALC_ENGINE_H

#include <string_view>

#include "../value_model.h"

namespace fmsim {

struct EvalOutcome {
  int16_t code = 0;  // 0, a calculation error code or a plug-in function's own non-zero code
  Value value;       // the result when code is 0
};

// `env` is handed to plug-in functions as the environment of the evaluation.
EvalOutcome evaluateExpression(std::u16string_view source, const FmxExprEnv* env);

}  // namespace fmsim

#endif  // FMSIM_CALC_ENGINE_H
