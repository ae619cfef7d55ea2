// Turns the text of a calculation into a tree, checking its syntax, the names it uses and the number of
// parameters of every function call before anything is evaluated. Used by the engine only; any thread
// (it reads the function registry under the host lock).
#ifndef FMSIM_CALC_PARSER_H
#define FMSIM_CALC_PARSER_H

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "../value_model.h"
#include "fmsim/calculation.h"

namespace fmsim::calc {

// A calculation error; thrown inside the engine only and turned into its code at the engine's edge.
struct CalcError {
  int16_t code;
};

enum class Builtin {
  Length,
  Upper,
  Lower,
  Left,
  Right,
  Middle,
  GetAsText,
  GetAsNumber,
  GetAsDate,
  GetAsTime,
  GetAsTimestamp,
  Date,
  Time,
  Timestamp,
  If,
  Case,
  Abs,
  Int,
  Round,
  Exact,
  Quote,
  Base64Encode,
  Base64Decode,
};

enum class BinaryOp {
  Add,
  Subtract,
  Multiply,
  Divide,
  Power,
  Concat,
  Equal,
  NotEqual,
  Less,
  Greater,
  LessEqual,
  GreaterEqual,
  And,
  Or,
  Xor
};

struct Node;
using NodePtr = std::unique_ptr<Node>;

struct Node {
  enum class Kind { Literal, Variable, Negate, Not, Binary, Builtin, External, Let };
  Kind kind = Kind::Literal;
  Value literal;                      // Literal
  std::u16string name;                // Variable (folded), Builtin and External (as written)
  std::vector<BinaryOp> ops;          // Binary: a chain of one precedence, ops[i] between children i, i+1
  Builtin builtin = Builtin::Length;  // Builtin
  RegisteredFunction function;        // External, as registered when the expression was parsed
  std::vector<std::u16string> names;  // Let: the bound names (folded), one per binding child
  std::vector<NodePtr> children;      // operands, parameters; Let: bindings, then the body
  bool chainClosed = false;           // Binary in parentheses: later operators start a new chain
};

// Throws CalcError for a syntax error, an unknown name or a wrong number of parameters.
NodePtr parseCalculation(std::u16string_view source);

}  // namespace fmsim::calc

#endif  // FMSIM_CALC_PARSER_H
