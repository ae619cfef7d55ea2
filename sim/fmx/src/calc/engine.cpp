#include "engine.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "../objects.h"
#include "parser.h"

namespace fmsim {
namespace {

using calc::BinaryOp;
using calc::Builtin;
using calc::CalcError;
using calc::Node;

// Digits kept after the point by a division and at most by any other result.
constexpr int32_t kDivisionScale = 20;
constexpr int32_t kMaxScale = 30;
// Evaluations nested through plug-in functions on one thread; deeper means a function that keeps
// evaluating itself.
constexpr int kMaxNestedEvaluations = 16;

thread_local int tNestedEvaluations = 0;
// Host calls and plug-in function calls in progress on this thread: FileMaker lets a plug-in evaluate
// and start scripts only on a thread it is calling the plug-in on.
thread_local int tPluginCalls = 0;

bool isMoment(const Value& v) {
  return v.type == kFmxTypeDate || v.type == kFmxTypeTime || v.type == kFmxTypeTimeStamp;
}

bool isNumeric(const Value& v) {
  return v.type == kFmxTypeNumber || v.type == kFmxTypeBoolean || isMoment(v);
}

Decimal numberOf(const Value& v) {
  return asNumber(v).value_or(Decimal());
}

Decimal limited(const Decimal& d) {
  return d.scale() > kMaxScale ? d.roundedTo(kMaxScale) : d;
}

StyledText slice(const StyledText& text, size_t position, size_t count) {
  StyledText out;
  position = std::min(position, text.units.size());
  count = std::min(count, text.units.size() - position);
  out.append(text, position, count);
  return out;
}

// A count argument of Left, Right and Middle: whole, and never below zero.
size_t countOf(const Value& v) {
  Decimal n = numberOf(v).floor();
  if (n.isNegative()) return 0;
  auto value = n.toScaledInt64(0);
  return value ? static_cast<size_t>(std::min<int64_t>(*value, INT32_MAX)) : static_cast<size_t>(INT32_MAX);
}

// A moment shifted by a number of days (dates) or seconds (times, timestamps); "?" off the calendar.
Value shiftedMoment(const Value& moment, const Decimal& amount) {
  int64_t unit = moment.type == kFmxTypeDate ? kMicrosPerDay : kMicrosPerSecond;
  auto delta = (amount * Decimal::fromInt(unit)).toScaledInt64(0);
  if (!delta || *delta > INT64_MAX / 4 || *delta < INT64_MIN / 4) return Value::error();
  int64_t micros = moment.micros + *delta;
  if (moment.type != kFmxTypeTime && (micros < 0 || micros >= (kLastDay + 1) * kMicrosPerDay)) {
    return Value::error();
  }
  return Value::ofMoment(moment.type, micros);
}

// FileMaker's numbers stop at 10^400; a result beyond, like a text beyond what the host keeps in one
// value, is "?" rather than an ever larger value that exhausts memory.
constexpr int64_t kMaxIntegerDigits = Decimal::kMaxExponent + 1;
constexpr size_t kMaxTextUnits = size_t{1} << 24;

bool outOfRange(const Decimal& d) {
  if (d.integerDigitsBound() <= kMaxIntegerDigits) return false;
  // Near the limit the bound is not exact; the digits themselves are counted then.
  std::string digits = d.truncatedTo(0).toString();
  return static_cast<int64_t>(digits.size()) - (d.isNegative() ? 1 : 0) > kMaxIntegerDigits;
}

Value numberOrError(Decimal d) {
  return outOfRange(d) ? Value::error() : Value::ofNumber(std::move(d));
}

Value textOrError(std::u16string units) {
  return units.size() > kMaxTextUnits ? Value::error() : Value::ofText(std::move(units));
}

// 10 to the power n (0 <= n <= Decimal::kMaxExponent), exactly.
Decimal powerOfTen(int64_t n) {
  return *Decimal::parseScientific("1e" + std::to_string(n));
}

// base ^ exponent: exact for whole exponents up to Decimal::kMaxExponent either way, through a double
// otherwise; "?" where there is no real result (a root of a negative number, zero to a negative power)
// or the result is out of range.
Value raised(const Decimal& base, const Decimal& exponent) {
  std::optional<int64_t> whole = exponent.toScaledInt64(0);
  if (whole && Decimal::compare(Decimal::fromInt(*whole), exponent) == 0 &&
      *whole >= -Decimal::kMaxExponent && *whole <= Decimal::kMaxExponent) {
    Decimal result = Decimal::fromInt(1);
    Decimal factor = base;
    for (uint64_t n = static_cast<uint64_t>(*whole < 0 ? -*whole : *whole); n != 0; n >>= 1) {
      if (n & 1) result = limited(result * factor);
      if (n > 1) factor = limited(factor * factor);
      if (outOfRange(result) || (n > 1 && outOfRange(factor))) return Value::error();
    }
    if (*whole >= 0) return Value::ofNumber(result.trimmed());
    auto inverse = Decimal::divide(Decimal::fromInt(1), result, kDivisionScale);
    return inverse ? Value::ofNumber(inverse->trimmed()) : Value::error();
  }
  double value = std::pow(base.toDouble(), exponent.toDouble());
  if (!std::isfinite(value)) return Value::error();
  char text[64];
  std::snprintf(text, sizeof text, "%.15e", value);
  auto decimal = Decimal::parseScientific(text);
  return decimal ? numberOrError(limited(*decimal).trimmed()) : Value::error();
}

// Round ( n ; places ): half away from zero; negative places round to tens, hundreds, ...
Value rounded(const Decimal& number, const Decimal& placesNumber) {
  std::optional<int64_t> places = placesNumber.toScaledInt64(0);
  int64_t p = std::clamp<int64_t>(places.value_or(0), -Decimal::kMaxExponent, kMaxScale);
  if (p >= 0) return Value::ofNumber(number.roundedTo(static_cast<int32_t>(p)).trimmed());
  Decimal unit = powerOfTen(-p);
  auto units = Decimal::divide(number, unit, static_cast<int32_t>(number.scale() - p));
  return units ? Value::ofNumber((units->roundedTo(0) * unit).trimmed()) : Value::error();
}

constexpr char kBase64Digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
// FileMaker's Base64Encode breaks its output into lines of 76 characters, each ended by CR LF but the last.
constexpr size_t kBase64LineLength = 76;

std::u16string base64Encode(const std::vector<uint8_t>& bytes) {
  std::u16string out;
  size_t written = 0;
  auto put = [&](char c) {
    if (written != 0 && written % kBase64LineLength == 0) out += u"\r\n";
    out.push_back(static_cast<char16_t>(c));
    ++written;
  };
  for (size_t i = 0; i < bytes.size(); i += 3) {
    uint32_t group = uint32_t{bytes[i]} << 16;
    if (i + 1 < bytes.size()) group |= uint32_t{bytes[i + 1]} << 8;
    if (i + 2 < bytes.size()) group |= bytes[i + 2];
    put(kBase64Digits[group >> 18 & 63]);
    put(kBase64Digits[group >> 12 & 63]);
    put(i + 1 < bytes.size() ? kBase64Digits[group >> 6 & 63] : '=');
    put(i + 2 < bytes.size() ? kBase64Digits[group & 63] : '=');
  }
  return out;
}

// Line breaks and spaces are skipped; anything else that is not Base64, or a wrong length, is nothing.
std::optional<std::vector<uint8_t>> base64Decode(std::u16string_view text) {
  std::vector<uint8_t> bytes;
  uint32_t group = 0;
  int count = 0;
  int padding = 0;
  for (char16_t c : text) {
    if (c == u'\r' || c == u'\n' || c == u' ' || c == u'\t') continue;
    int digit = -1;
    if (c == u'=') {
      ++padding;
      digit = 0;
    } else if (padding != 0) {
      return std::nullopt;
    } else if (c < 128) {
      const char* found = std::char_traits<char>::find(kBase64Digits, 64, static_cast<char>(c));
      if (found != nullptr) digit = static_cast<int>(found - kBase64Digits);
    }
    if (digit < 0 || padding > 2) return std::nullopt;
    group = group << 6 | static_cast<uint32_t>(digit);
    if (++count == 4) {
      bytes.push_back(static_cast<uint8_t>(group >> 16));
      if (padding < 2) bytes.push_back(static_cast<uint8_t>(group >> 8));
      if (padding < 1) bytes.push_back(static_cast<uint8_t>(group));
      group = 0;
      count = 0;
    }
  }
  if (count != 0) return std::nullopt;
  return bytes;
}

// The bytes Base64Encode encodes: a container's file (its first stream that is not a name or a size),
// any other value's text as UTF-8.
std::vector<uint8_t> encodedBytes(const Value& value) {
  if (value.type == kFmxTypeBinary) {
    for (const Stream& stream : value.streams) {
      if (stream.type != fourCharCode("FNAM") && stream.type != fourCharCode("SIZE")) return stream.bytes;
    }
    return {};
  }
  std::string utf8 = utf16ToUtf8(asText(value).units);
  return std::vector<uint8_t>(utf8.begin(), utf8.end());
}

std::u16string quoted(std::u16string_view text) {
  std::u16string out = u"\"";
  for (char16_t c : text) {
    if (c == u'"' || c == u'\\') {
      out.push_back(u'\\');
      out.push_back(c);
    } else if (c == u'\r') {
      out.push_back(0x00B6);  // a return is written as the pilcrow
    } else {
      out.push_back(c);
    }
  }
  out.push_back(u'"');
  return out;
}

Value arithmetic(BinaryOp op, const Value& left, const Value& right) {
  if (left.isError || right.isError) return Value::error();
  if (op == BinaryOp::Add || op == BinaryOp::Subtract) {
    bool subtract = op == BinaryOp::Subtract;
    if (isMoment(left) && isMoment(right) && subtract && left.type == right.type) {
      // The distance between two moments of a kind: days for dates, seconds otherwise.
      return Value::ofNumber((numberOf(left) - numberOf(right)).trimmed());
    }
    if (isMoment(left) && !isMoment(right)) {
      Decimal amount = numberOf(right);
      return shiftedMoment(left, subtract ? amount.negated() : amount);
    }
    if (isMoment(right) && !isMoment(left) && !subtract) return shiftedMoment(right, numberOf(left));
  }
  Decimal a = numberOf(left);
  Decimal b = numberOf(right);
  switch (op) {
    case BinaryOp::Add:
      return numberOrError(a + b);
    case BinaryOp::Subtract:
      return numberOrError(a - b);
    case BinaryOp::Multiply:
      if (a.integerDigitsBound() + b.integerDigitsBound() > 2 * kMaxIntegerDigits + 18) return Value::error();
      return numberOrError(limited(a * b));
    case BinaryOp::Divide: {
      auto quotient = Decimal::divide(a, b, kDivisionScale);
      return quotient ? Value::ofNumber(quotient->trimmed()) : Value::error();
    }
    case BinaryOp::Power:
      return raised(a, b);
    default:
      return Value::error();
  }
}

int compareValues(const Value& left, const Value& right) {
  bool numeric = isNumeric(left) && isNumeric(right);
  if (!numeric && (isNumeric(left) || isNumeric(right))) {
    // A number against a text compares as numbers when the text holds one.
    const Value& text = isNumeric(left) ? right : left;
    numeric = text.type == kFmxTypeText && asNumber(text).has_value();
  }
  if (numeric) return Decimal::compare(numberOf(left), numberOf(right));
  std::u16string a = upperText(displayUnits(left));
  std::u16string b = upperText(displayUnits(right));
  return a < b ? -1 : (a == b ? 0 : 1);
}

Value comparison(BinaryOp op, const Value& left, const Value& right) {
  if (left.isError || right.isError) return Value::error();
  int c = compareValues(left, right);
  switch (op) {
    case BinaryOp::Equal:
      return Value::ofBoolean(c == 0);
    case BinaryOp::NotEqual:
      return Value::ofBoolean(c != 0);
    case BinaryOp::Less:
      return Value::ofBoolean(c < 0);
    case BinaryOp::Greater:
      return Value::ofBoolean(c > 0);
    case BinaryOp::LessEqual:
      return Value::ofBoolean(c <= 0);
    default:
      return Value::ofBoolean(c >= 0);
  }
}

// Owns the host objects of one plug-in function call: the parameter vector (with its elements) and the
// result value. Deletes whichever of them are still alive.
class CallObjects {
 public:
  CallObjects(const std::vector<Value>& parameters) {
    auto lock = hostLock();
    vector_ = createLocked<DataVectObject>();
    try {
      for (const Value& p : parameters) {
        auto* item = createLocked<DataObject>(vector_);
        // Owned by the vector from here on, so that deleting the vector deletes it.
        try {
          vector_->items.push_back(item);
        } catch (...) {
          destroyLocked(item);
          throw;
        }
        setValueLocked(item, p);
      }
      result_ = createLocked<DataObject>();
    } catch (...) {
      destroyLocked(vector_);
      throw;
    }
  }
  CallObjects(const CallObjects&) = delete;
  CallObjects& operator=(const CallObjects&) = delete;
  ~CallObjects() {
    auto lock = hostLock();
    // The plug-in may have deleted what it was lent; only what is still alive is deleted here.
    if (auto* v = findAsLocked<DataVectObject>(vector_, Access::Delete, "engine")) destroyLocked(v);
    if (auto* r = findAsLocked<DataObject>(result_, Access::Delete, "engine")) destroyLocked(r);
  }

  const FmxDataVect* vectorHandle() const {
    return reinterpret_cast<const FmxDataVect*>(static_cast<HostObject*>(vector_));
  }
  FmxData* resultHandle() const { return reinterpret_cast<FmxData*>(static_cast<HostObject*>(result_)); }

  Value takeResult() {
    auto lock = hostLock();
    auto* r = findAsLocked<DataObject>(result_, Access::Read, "engine");
    if (r == nullptr) throw CalcError{kCalcGeneric};
    return r->value;
  }

 private:
  DataVectObject* vector_ = nullptr;
  DataObject* result_ = nullptr;
};

class Evaluator {
 public:
  explicit Evaluator(const FmxExprEnv* env) : env_(env) {}

  Value eval(const Node& node) {
    switch (node.kind) {
      case Node::Kind::Literal:
        return node.literal;
      case Node::Kind::Variable:
        for (auto it = variables_.rbegin(); it != variables_.rend(); ++it) {
          if (it->first == node.name) return it->second;
        }
        throw CalcError{kCalcFieldMissing};
      case Node::Kind::Negate: {
        Value v = eval(*node.children[0]);
        if (v.isError) return v;
        return Value::ofNumber(numberOf(v).negated());
      }
      case Node::Kind::Not: {
        Value v = eval(*node.children[0]);
        return v.isError ? v : Value::ofBoolean(!asBoolean(v));
      }
      case Node::Kind::Binary:
        return binary(node);
      case Node::Kind::Builtin:
        return builtin(node);
      case Node::Kind::External:
        return external(node);
      case Node::Kind::Let: {
        size_t mark = variables_.size();
        for (size_t i = 0; i < node.names.size(); ++i) {
          Value bound = eval(*node.children[i]);
          variables_.emplace_back(node.names[i], std::move(bound));
        }
        Value result = eval(*node.children.back());
        variables_.resize(mark);
        return result;
      }
    }
    throw CalcError{kCalcGeneric};
  }

 private:
  // A chain of one precedence, folded left to right; and/or skip what can no longer change the result.
  Value binary(const Node& node) {
    Value left = eval(*node.children[0]);
    for (size_t i = 0; i < node.ops.size(); ++i) {
      BinaryOp op = node.ops[i];
      const Node& next = *node.children[i + 1];
      if (op == BinaryOp::And || op == BinaryOp::Or) {
        if (left.isError) return left;
        bool decided = op == BinaryOp::And ? !asBoolean(left) : asBoolean(left);
        if (decided) {
          left = Value::ofBoolean(op == BinaryOp::Or);
          continue;
        }
        Value right = eval(next);
        left = right.isError ? right : Value::ofBoolean(asBoolean(right));
        continue;
      }
      Value right = eval(next);
      left = combine(op, left, right);
    }
    return left;
  }

  static Value combine(BinaryOp op, const Value& left, const Value& right) {
    switch (op) {
      case BinaryOp::Xor:
        if (left.isError || right.isError) return Value::error();
        return Value::ofBoolean(asBoolean(left) != asBoolean(right));
      case BinaryOp::Concat: {
        if (left.isError || right.isError) return Value::error();
        StyledText text = asText(left);
        StyledText tail = asText(right);
        if (text.units.size() + tail.units.size() > kMaxTextUnits) return Value::error();
        text.append(tail, 0, tail.units.size());
        return Value::ofText(std::move(text));
      }
      case BinaryOp::Add:
      case BinaryOp::Subtract:
      case BinaryOp::Multiply:
      case BinaryOp::Divide:
      case BinaryOp::Power:
        return arithmetic(op, left, right);
      default:
        return comparison(op, left, right);
    }
  }

  Value argument(const Node& node, size_t index) { return eval(*node.children[index]); }

  Value builtin(const Node& node) {
    switch (node.builtin) {
      case Builtin::If: {
        if (asBoolean(argument(node, 0))) return argument(node, 1);
        return node.children.size() > 2 ? argument(node, 2) : Value::ofText(u"");
      }
      case Builtin::Case: {
        size_t i = 0;
        for (; i + 1 < node.children.size(); i += 2) {
          if (asBoolean(argument(node, i))) return argument(node, i + 1);
        }
        return i < node.children.size() ? argument(node, i) : Value::ofText(u"");
      }
      default:
        break;
    }
    std::vector<Value> args;
    for (size_t i = 0; i < node.children.size(); ++i) {
      args.push_back(argument(node, i));
      if (args.back().isError) return Value::error();
    }
    switch (node.builtin) {
      case Builtin::Length: {
        if (args[0].type == kFmxTypeBinary) {
          int64_t total = 0;
          for (const Stream& s : args[0].streams) total += static_cast<int64_t>(s.bytes.size());
          return Value::ofNumber(Decimal::fromInt(total));
        }
        return Value::ofNumber(Decimal::fromInt(static_cast<int64_t>(asText(args[0]).units.size())));
      }
      case Builtin::Upper:
      case Builtin::Lower: {
        StyledText text = asText(args[0]);
        text.units = node.builtin == Builtin::Upper ? upperText(text.units) : lowerText(text.units);
        return Value::ofText(std::move(text));
      }
      case Builtin::Left: {
        StyledText text = asText(args[0]);
        return Value::ofText(slice(text, 0, countOf(args[1])));
      }
      case Builtin::Right: {
        StyledText text = asText(args[0]);
        size_t n = std::min(countOf(args[1]), text.units.size());
        return Value::ofText(slice(text, text.units.size() - n, n));
      }
      case Builtin::Middle: {
        StyledText text = asText(args[0]);
        size_t start = countOf(args[1]);
        if (start == 0) start = 1;
        return Value::ofText(slice(text, start - 1, countOf(args[2])));
      }
      case Builtin::GetAsText:
        return Value::ofText(asText(args[0]));
      case Builtin::GetAsNumber: {
        Value v;
        v.type = kFmxTypeNumber;
        v.number = asNumber(args[0]);
        return v;
      }
      case Builtin::GetAsDate:
      case Builtin::GetAsTime:
      case Builtin::GetAsTimestamp:
        if (args[0].type == kFmxTypeText) {
          // Text reads as FileMaker reads it: empty stays empty, an impossible date is "?".
          int32_t type = node.builtin == Builtin::GetAsDate   ? kFmxTypeDate
                         : node.builtin == Builtin::GetAsTime ? kFmxTypeTime
                                                              : kFmxTypeTimeStamp;
          return momentFromText(args[0].text.units, type);
        }
        break;
      default:
        break;
    }
    switch (node.builtin) {
      case Builtin::GetAsDate:
        return Value::ofMoment(kFmxTypeDate, floorDiv(asDateMicros(args[0]), kMicrosPerDay) * kMicrosPerDay);
      case Builtin::GetAsTime:
        return args[0].type == kFmxTypeTime
                   ? args[0]
                   : Value::ofMoment(kFmxTypeTime, args[0].type == kFmxTypeTimeStamp
                                                       ? floorMod(args[0].micros, kMicrosPerDay)
                                                       : asTimeStampMicros(args[0]));
      case Builtin::GetAsTimestamp:
        return Value::ofMoment(kFmxTypeTimeStamp, asTimeStampMicros(args[0]));
      case Builtin::Date: {
        auto day =
            normalizedDay(numberOf(args[2]).floor(), numberOf(args[0]).floor(), numberOf(args[1]).floor());
        return day ? Value::ofMoment(kFmxTypeDate, *day * kMicrosPerDay) : Value::error();
      }
      case Builtin::Time: {
        Decimal seconds = numberOf(args[0]) * Decimal::fromInt(3600) +
                          numberOf(args[1]) * Decimal::fromInt(60) + numberOf(args[2]);
        auto micros = seconds.toScaledInt64(6);
        if (!micros || *micros > INT64_MAX / 4 || *micros < INT64_MIN / 4) return Value::error();
        return Value::ofMoment(kFmxTypeTime, *micros);
      }
      case Builtin::Timestamp: {
        int64_t day = floorDiv(asDateMicros(args[0]), kMicrosPerDay);
        int64_t ofDay =
            args[1].type == kFmxTypeTime || args[1].type == kFmxTypeTimeStamp
                ? (args[1].type == kFmxTypeTime ? args[1].micros : floorMod(args[1].micros, kMicrosPerDay))
                : asTimeStampMicros(args[1]);
        int64_t micros = day * kMicrosPerDay + ofDay;
        if (micros < 0 || micros >= (kLastDay + 1) * kMicrosPerDay) return Value::error();
        return Value::ofMoment(kFmxTypeTimeStamp, micros);
      }
      case Builtin::Abs: {
        Decimal n = numberOf(args[0]);
        return Value::ofNumber(n.isNegative() ? n.negated() : n);
      }
      case Builtin::Int:
        return Value::ofNumber(numberOf(args[0]).truncatedTo(0));
      case Builtin::Round:
        return rounded(numberOf(args[0]), numberOf(args[1]));
      case Builtin::Exact:
        return Value::ofBoolean(asText(args[0]).units == asText(args[1]).units);
      case Builtin::Quote:
        return textOrError(quoted(asText(args[0]).units));
      case Builtin::Base64Encode:
        return textOrError(base64Encode(encodedBytes(args[0])));
      case Builtin::Base64Decode: {
        auto bytes = base64Decode(asText(args[0]).units);
        if (!bytes) return Value::error();
        if (args.size() < 2) return Value::ofText(utf8ToUtf16(std::string(bytes->begin(), bytes->end())));
        // A file in a container: its bytes and its name.
        std::string name = utf16ToUtf8(asText(args[1]).units);
        return Value::ofStreams(
            {Stream{fourCharCode("FILE"), std::move(*bytes)},
             Stream{fourCharCode("FNAM"), std::vector<uint8_t>(name.begin(), name.end())}});
      }
      default:
        throw CalcError{kCalcGeneric};
    }
  }

  Value external(const Node& node) {
    std::vector<Value> args;
    for (size_t i = 0; i < node.children.size(); ++i) args.push_back(argument(node, i));
    CallObjects objects(args);
    // No lock is held here: the function calls back into the host, maybe evaluating again.
    PluginCallMark call;
    int16_t code = node.function.callback(node.function.functionId, env_, objects.vectorHandle(),
                                          objects.resultHandle());
    if (code != 0) throw CalcError{code};
    return objects.takeResult();
  }

  const FmxExprEnv* env_;
  std::vector<std::pair<std::u16string, Value>> variables_;
};

struct NestingGuard {
  NestingGuard() { ++tNestedEvaluations; }
  ~NestingGuard() { --tNestedEvaluations; }
  NestingGuard(const NestingGuard&) = delete;
  NestingGuard& operator=(const NestingGuard&) = delete;
};

}  // namespace

EvalOutcome evaluateExpression(std::u16string_view source, const FmxExprEnv* env) {
  NestingGuard nesting;
  if (tNestedEvaluations > kMaxNestedEvaluations) return EvalOutcome{kCalcGeneric, Value()};
  try {
    calc::NodePtr tree = calc::parseCalculation(source);
    Evaluator evaluator(env);
    return EvalOutcome{kCalcOk, evaluator.eval(*tree)};
  } catch (const CalcError& error) {
    return EvalOutcome{error.code, Value()};
  }
}

void enterPluginCall() noexcept {
  ++tPluginCalls;
}

void leavePluginCall() noexcept {
  --tPluginCalls;
}

bool pluginCalledOnThisThread() noexcept {
  return tPluginCalls > 0;
}

bool checkPluginThread(std::string_view operation, const void* address) {
  if (tPluginCalls > 0) return true;
  auto lock = hostLock();
  recordDeadObjectLocked(operation, address, std::string(kThreadRuleBreach));
  return false;
}

int16_t callFunction(const RegisteredFunction& function, const FmxExprEnv* env, const FmxDataVect* parameters,
                     FmxData* result) {
  PluginCallMark call;
  return function.callback(function.functionId, env, parameters, result);
}

}  // namespace fmsim
