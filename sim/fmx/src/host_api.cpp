// The host's C++ API (fmsim/values.h, fmsim/calculation.h): the same objects as the FM_ operations, made
// and read under the host lock but without tracing or faults.
#include <new>

#include "calc/engine.h"
#include "fmsim/calculation.h"
#include "fmsim/values.h"
#include "objects.h"

namespace fmsim {
namespace {

constexpr std::string_view kHostCaller = "fmsim host";

template <class Handle>
Handle* handleOf(HostObject* object) {
  return reinterpret_cast<Handle*>(object);
}

// Makes a new data value holding `value`; null when memory runs out.
FmxData* dataWith(Value value) {
  try {
    auto lock = hostLock();
    auto* data = createLocked<DataObject>();
    setValueLocked(data, std::move(value));
    return handleOf<FmxData>(data);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

// A copy of the value of a live data value; an empty value for anything else.
Value valueOf(const FmxData* data) {
  auto lock = hostLock();
  auto* d = findAsLocked<DataObject>(data, Access::Read, kHostCaller);
  return d ? d->value : Value();
}

std::optional<int64_t> momentOf(int32_t year, int32_t month, int32_t day, int64_t hour, int32_t minute,
                                int32_t second) {
  auto dayNumber = normalizedDay(Decimal::fromInt(year), Decimal::fromInt(month), Decimal::fromInt(day));
  constexpr int64_t kHourLimit = 1000000000;
  if (!dayNumber || hour > kHourLimit || hour < -kHourLimit) return std::nullopt;
  int64_t micros = *dayNumber * kMicrosPerDay + ((hour * 60 + minute) * 60 + second) * kMicrosPerSecond;
  if (micros < 0 || micros >= (kLastDay + 1) * kMicrosPerDay) return std::nullopt;
  return micros;
}

template <class Object, class Handle>
bool deleteObject(Handle* handle) {
  auto lock = hostLock();
  auto* object = findAsLocked<Object>(handle, Access::Delete, kHostCaller);
  if (object == nullptr) return false;
  destroyLocked(object);
  return true;
}

}  // namespace

uint32_t fourCharCode(std::string_view code) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i) value = value << 8 | (i < code.size() ? static_cast<uint8_t>(code[i]) : 0u);
  return value;
}

FmxData* makeEmptyData() {
  return dataWith(Value());
}

FmxData* makeTextData(std::u16string_view units, const std::vector<CharStyle>& styles) {
  if (!styles.empty() && styles.size() != units.size()) return nullptr;
  StyledText text;
  text.units = units;
  text.styles = styles;
  return dataWith(Value::ofText(std::move(text)));
}

FmxData* makeTextDataUtf8(std::string_view utf8) {
  return makeTextData(utf8ToUtf16(utf8));
}

FmxData* makeNumberData(std::string_view decimal) {
  auto number = Decimal::parse(decimal);
  return number ? dataWith(Value::ofNumber(*number)) : nullptr;
}

FmxData* makeBooleanData(bool value) {
  return dataWith(Value::ofBoolean(value));
}

FmxData* makeDateData(int32_t year, int32_t month, int32_t day) {
  auto micros = momentOf(year, month, day, 0, 0, 0);
  return micros ? dataWith(Value::ofMoment(kFmxTypeDate, *micros)) : nullptr;
}

FmxData* makeTimeData(int64_t hour, int32_t minute, int32_t second) {
  constexpr int64_t kHourLimit = 1000000000;
  if (hour > kHourLimit || hour < -kHourLimit) return nullptr;
  return dataWith(Value::ofMoment(kFmxTypeTime, ((hour * 60 + minute) * 60 + second) * kMicrosPerSecond));
}

FmxData* makeTimeStampData(int32_t year, int32_t month, int32_t day, int64_t hour, int32_t minute,
                           int32_t second) {
  auto micros = momentOf(year, month, day, hour, minute, second);
  return micros ? dataWith(Value::ofMoment(kFmxTypeTimeStamp, *micros)) : nullptr;
}

FmxData* makeContainerData(const std::vector<Stream>& streams) {
  return dataWith(Value::ofStreams(streams));
}

bool deleteData(FmxData* data) {
  return deleteObject<DataObject>(data);
}

int32_t nativeType(const FmxData* data) {
  return valueOf(data).type;
}
bool isEmpty(const FmxData* data) {
  return isEmpty(valueOf(data));
}
std::u16string textUnits(const FmxData* data) {
  return asText(valueOf(data)).units;
}
std::vector<CharStyle> textStyles(const FmxData* data) {
  return asText(valueOf(data)).allStyles();
}
std::string displayText(const FmxData* data) {
  return utf16ToUtf8(displayUnits(valueOf(data)));
}
std::vector<Stream> containerStreams(const FmxData* data) {
  return asStreams(valueOf(data));
}

std::string numberText(const FmxData* data) {
  auto number = asNumber(valueOf(data));
  return number ? number->toString() : std::string();
}

FmxText* makeText(std::u16string_view units) {
  try {
    auto lock = hostLock();
    auto* text = createLocked<TextObject>();
    text->text.assign(std::u16string(units));
    return handleOf<FmxText>(text);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

std::u16string textUnits(const FmxText* text) {
  auto lock = hostLock();
  auto* t = findAsLocked<TextObject>(text, Access::Read, kHostCaller);
  return t ? t->text.units : std::u16string();
}

std::vector<CharStyle> textStyles(const FmxText* text) {
  auto lock = hostLock();
  auto* t = findAsLocked<TextObject>(text, Access::Read, kHostCaller);
  return t ? t->text.allStyles() : std::vector<CharStyle>();
}

bool deleteText(FmxText* text) {
  return deleteObject<TextObject>(text);
}

std::optional<CharStyle> characterStyle(const FmxCharacterStyle* style) {
  auto lock = hostLock();
  auto* s = findAsLocked<StyleObject>(style, Access::Read, kHostCaller);
  return s ? std::optional<CharStyle>(s->style) : std::nullopt;
}

FmxDataVect* makeDataVect(const std::vector<FmxData*>& values) {
  try {
    auto lock = hostLock();
    auto* vector = createLocked<DataVectObject>();
    for (FmxData* given : values) {
      auto* item = createLocked<DataObject>(vector);
      vector->items.push_back(item);
      auto* source = given ? findAsLocked<DataObject>(given, Access::Delete, kHostCaller) : nullptr;
      if (source != nullptr) {
        setValueLocked(item, source->value);
        destroyLocked(source);
      }
    }
    return handleOf<FmxDataVect>(vector);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

bool deleteDataVect(FmxDataVect* vector) {
  return deleteObject<DataVectObject>(vector);
}

std::u16string utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  size_t i = 0;
  while (i < utf8.size()) {
    auto byte = static_cast<uint8_t>(utf8[i]);
    uint32_t code = 0xFFFD;
    size_t length = byte < 0x80           ? 1
                    : (byte >> 5) == 0x6  ? 2
                    : (byte >> 4) == 0xE  ? 3
                    : (byte >> 3) == 0x1E ? 4
                                          : 0;
    if (length == 0 || i + length > utf8.size()) {
      ++i;
    } else {
      code = length == 1 ? byte : byte & (0x7F >> length);
      bool valid = true;
      for (size_t k = 1; k < length; ++k) {
        auto next = static_cast<uint8_t>(utf8[i + k]);
        if ((next & 0xC0) != 0x80) valid = false;
        code = code << 6 | (next & 0x3F);
      }
      static constexpr uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
      if (!valid || code < kSmallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        code = 0xFFFD;
        ++i;
      } else {
        i += length;
      }
    }
    if (code >= 0x10000) {
      code -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(code));
    }
  }
  return out;
}

std::string utf16ToUtf8(std::u16string_view units) {
  std::string out;
  out.reserve(units.size());
  for (size_t i = 0; i < units.size(); ++i) {
    uint32_t code = units[i];
    if (code >= 0xD800 && code <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      code = 0x10000 + ((code - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      ++i;
    } else if (code >= 0xD800 && code <= 0xDFFF) {
      code = 0xFFFD;
    }
    if (code < 0x80) {
      out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (code >> 6)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (code >> 12)));
      out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (code >> 18)));
      out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
  }
  return out;
}

// ---- Calculation side

std::string calcErrorMessage(int16_t code) {
  switch (code) {
    case kCalcOk:
      return "";
    case kCalcFieldMissing:
      return "Field is missing";
    case kCalcGeneric:
      return "Generic calculation error";
    case kCalcTooFewParameters:
      return "Too few parameters in this function";
    case kCalcTooManyParameters:
      return "Too many parameters in this function";
    case kCalcOperandExpected:
      return "Number, text constant, field name or \"(\" expected";
    case kCalcUnterminatedComment:
      return "Comment is not terminated with \"*/\"";
    case kCalcUnterminatedText:
      return "Text constant must end with a quotation mark";
    case kCalcUnbalancedParenthesis:
      return "Unbalanced parenthesis";
    case kCalcOperatorMissing:
      return "Operator missing, function not found or \"(\" not expected";
    default:
      return "Plug-in function failed with error " + std::to_string(code);
  }
}

namespace {

// The environment to evaluate in: the given one when it is alive, or a fresh one filled with the host's
// current context when none is given. Deletes what it made.
class EvaluationEnvironment {
 public:
  explicit EvaluationEnvironment(const FmxExprEnv* given) : env_(given) {
    if (given == nullptr) {
      own_ = makeExprEnv();
      if (own_ != nullptr) fmsimCurrentEnvironment(own_);
      env_ = own_;
      return;
    }
    auto lock = hostLock();
    if (findAsLocked<ExprEnvObject>(given, Access::Read, kHostCaller) == nullptr) env_ = nullptr;
  }
  EvaluationEnvironment(const EvaluationEnvironment&) = delete;
  EvaluationEnvironment& operator=(const EvaluationEnvironment&) = delete;
  ~EvaluationEnvironment() {
    if (own_ != nullptr) deleteExprEnv(own_);
  }
  const FmxExprEnv* get() const { return env_; }

 private:
  const FmxExprEnv* env_;
  FmxExprEnv* own_ = nullptr;
};

}  // namespace

int16_t evaluateInto(std::u16string_view expression, const FmxExprEnv* env, FmxData* result) {
  try {
    EvaluationEnvironment environment(env);
    if (environment.get() == nullptr) return kCalcGeneric;
    EvalOutcome outcome = evaluateExpression(expression, environment.get());
    if (outcome.code != 0) return outcome.code;
    auto lock = hostLock();
    auto* d = findAsLocked<DataObject>(result, Access::Write, kHostCaller);
    if (d == nullptr) return kCalcGeneric;
    setValueLocked(d, std::move(outcome.value));
    return kCalcOk;
  } catch (const std::bad_alloc&) {
    return kCalcGeneric;
  }
}

EvaluationResult evaluate(std::string_view expression, const FmxExprEnv* env) {
  EvaluationResult result;
  try {
    EvaluationEnvironment environment(env);
    EvalOutcome outcome = environment.get() != nullptr
                              ? evaluateExpression(utf8ToUtf16(expression), environment.get())
                              : EvalOutcome{kCalcGeneric, Value()};
    result.code = outcome.code;
    if (outcome.code == 0) result.text = utf16ToUtf8(displayUnits(outcome.value));
  } catch (const std::bad_alloc&) {
    result.code = kCalcGeneric;
    result.text.clear();
  }
  if (result.code != 0) result.message = calcErrorMessage(result.code);
  return result;
}

void setHostContext(const HostContext& context) {
  auto lock = hostLock();
  hostContextLocked() = context;
}

HostContext hostContext() {
  auto lock = hostLock();
  return hostContextLocked();
}

FmxExprEnv* makeExprEnv() {
  try {
    auto lock = hostLock();
    return handleOf<FmxExprEnv>(createLocked<ExprEnvObject>());
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

bool deleteExprEnv(FmxExprEnv* env) {
  return deleteObject<ExprEnvObject>(env);
}

bool hasContext(const FmxExprEnv* env) {
  auto lock = hostLock();
  auto* e = findAsLocked<ExprEnvObject>(env, Access::Read, kHostCaller);
  return e != nullptr && e->hasContext;
}

HostContext environmentContext(const FmxExprEnv* env) {
  auto lock = hostLock();
  auto* e = findAsLocked<ExprEnvObject>(env, Access::Read, kHostCaller);
  return e ? e->context : HostContext{};
}

void setCurrentEnvironmentFailure(int16_t code) {
  auto lock = hostLock();
  currentEnvironmentFailureLocked() = code;
}

extern "C" int16_t FMX_CALL fmsimCurrentEnvironment(FmxExprEnv* env) {
  try {
    auto lock = hostLock();
    if (int16_t failure = currentEnvironmentFailureLocked(); failure != 0) return failure;
    auto* e = findAsLocked<ExprEnvObject>(env, Access::Write, "current-environment callback");
    if (e == nullptr) return kHostErrorFailure;
    e->context = hostContextLocked();
    e->hasContext = true;
    return 0;
  } catch (const std::bad_alloc&) {
    return kHostErrorOutOfMemory;
  }
}

}  // namespace fmsim
