// The exported FM_ operations. Each one goes through runOperation, which locks, checks and traces; the
// bodies here only work on live objects.
#include <cstring>
#include <initializer_list>

#include "calc/engine.h"
#include "fmx/fmx_calls.h"
#include "function_registry.h"
#include "gate.h"

namespace fmsim {
namespace {

struct Arg {
  const char* name;
  std::string text;
};

std::string join(std::initializer_list<Arg> args) {
  std::string out;
  for (const Arg& a : args) {
    if (!out.empty()) out += ", ";
    out += a.name;
    out += '=';
    out += a.text;
  }
  return out;
}

auto noOperands() {
  return [] { return std::string(); };
}

template <class Handle>
Handle* handleOf(HostObject* object) {
  return reinterpret_cast<Handle*>(object);
}

std::u16string unitsOf(const uint16_t* units, size_t count) {
  std::u16string out(count, u'\0');
  if (count != 0) std::memcpy(out.data(), units, count * sizeof(uint16_t));
  return out;
}

CharStyle styleOf(const ColorObject& color, CharStyle style) {
  style.red = color.red;
  style.green = color.green;
  style.blue = color.blue;
  style.alpha = color.alpha;
  return style;
}

template <class Object, class Handle>
void deleteOperation(Op op, Handle* handle, HostErrorRecord* err) {
  runOperation<void>(
      op, err,
      [&] {
        return join({{"object", traceText(handle)}});
      },
      [&](Call& call) {
        if (auto* object = call.remove<Object>(handle)) destroyLocked(object);
      });
}

template <class Object, class Handle>
Handle* constructOperation(Op op, HostErrorRecord* err) {
  return runOperation<Handle*>(op, err, noOperands(),
                               [](Call&) { return handleOf<Handle>(createLocked<Object>()); });
}

void setChannel(Op op, FmxColor* color, uint8_t value, uint8_t ColorObject::*channel, HostErrorRecord* err) {
  runOperation<void>(
      op, err,
      [&] {
        return join({{"color", traceText(color)}, {"value", traceText(value)}});
      },
      [&](Call& call) {
        if (auto* c = call.write<ColorObject>(color)) c->*channel = value;
      });
}

void setStyleField(Op op, FmxCharacterStyle* style, int32_t value, uint16_t CharStyle::*field,
                   HostErrorRecord* err) {
  runOperation<void>(
      op, err,
      [&] {
        return join({{"style", traceText(style)}, {"value", traceText(value)}});
      },
      [&](Call& call) {
        // The host keeps 16 bits of what the caller's int carries.
        if (auto* s = call.write<StyleObject>(style)) s->style.*field = static_cast<uint16_t>(value);
      });
}

uint16_t getStyleField(Op op, const FmxCharacterStyle* style, uint16_t CharStyle::*field,
                       HostErrorRecord* err) {
  return runOperation<uint16_t>(
      op, err,
      [&] {
        return join({{"style", traceText(style)}});
      },
      [&](Call& call) -> uint16_t {
        auto* s = call.read<StyleObject>(style);
        return s ? s->style.*field : uint16_t{0};
      });
}

template <class Handle>
const Handle* viewOperation(Op op, const FmxData* data, int bit, HostErrorRecord* err) {
  return runOperation<const Handle*>(
      op, err,
      [&] {
        return join({{"data", traceText(data)}});
      },
      [&](Call& call) -> const Handle* {
        auto* d = call.read<DataObject>(data);
        if (d == nullptr) return nullptr;
        registerViewLocked(d, d->view(bit), bit);
        return handleOf<const Handle>(d->view(bit));
      });
}

void setMoment(Op op, FmxData* data, const FmxDateTime* dateTime, int32_t nativeType, HostErrorRecord* err) {
  runOperation<void>(
      op, err,
      [&] {
        return join({{"data", traceText(data)},
                     {"dateTime", traceText(dateTime)},
                     {"nativeType", traceText(nativeType)}});
      },
      [&](Call& call) {
        auto* d = call.write<DataObject>(data);
        auto* t = call.read<DateTimeObject>(dateTime);
        if (d == nullptr || t == nullptr) return;
        switch (nativeType) {
          case kFmxTypeDate:
            setValueLocked(d,
                           Value::ofMoment(kFmxTypeDate, floorDiv(t->micros, kMicrosPerDay) * kMicrosPerDay));
            break;
          case kFmxTypeTime:
            setValueLocked(d, Value::ofMoment(kFmxTypeTime, floorMod(t->micros, kMicrosPerDay)));
            break;
          case kFmxTypeTimeStamp:
            setValueLocked(d, Value::ofMoment(kFmxTypeTimeStamp, t->micros));
            break;
          default:
            // FileMaker ignores a type it does not know here: no exception, the value stays.
            break;
        }
      });
}

// Moves a date-time to `micros`, refusing moments outside the host's calendar.
bool setMicros(DateTimeObject* t, int64_t micros) {
  if (micros < 0 || micros >= (kLastDay + 1) * kMicrosPerDay) return false;
  t->micros = micros;
  return true;
}

}  // namespace
}  // namespace fmsim

using namespace fmsim;

// ---- Four-character codes

FMX_FUNCTION FmxQuadChar* FM_QuadChar_Constructor1(HostErrorRecord* err) {
  return constructOperation<QuadCharObject, FmxQuadChar>(Op::QuadChar_Constructor1, err);
}

FMX_FUNCTION FmxQuadChar* FM_QuadChar_Constructor2(char c0, char c1, char c2, char c3, HostErrorRecord* err) {
  return runOperation<FmxQuadChar*>(
      Op::QuadChar_Constructor2, err,
      [&] {
        return join({{"c0", traceText(static_cast<uint8_t>(c0))},
                     {"c1", traceText(static_cast<uint8_t>(c1))},
                     {"c2", traceText(static_cast<uint8_t>(c2))},
                     {"c3", traceText(static_cast<uint8_t>(c3))}});
      },
      [&](Call&) {
        auto* code = createLocked<QuadCharObject>();
        code->value = uint32_t{static_cast<uint8_t>(c0)} << 24 | uint32_t{static_cast<uint8_t>(c1)} << 16 |
                      uint32_t{static_cast<uint8_t>(c2)} << 8 | uint32_t{static_cast<uint8_t>(c3)};
        return handleOf<FmxQuadChar>(code);
      });
}

FMX_FUNCTION uint32_t FM_QuadChar_GetMacType(const FmxQuadChar* code, HostErrorRecord* err) {
  return runOperation<uint32_t>(
      Op::QuadChar_GetMacType, err,
      [&] {
        return join({{"code", traceText(code)}});
      },
      [&](Call& call) -> uint32_t {
        auto* q = call.read<QuadCharObject>(code);
        return q ? q->value : 0u;
      });
}

FMX_FUNCTION void FM_QuadChar_SetMacType(FmxQuadChar* code, uint32_t value, HostErrorRecord* err) {
  runOperation<void>(
      Op::QuadChar_SetMacType, err,
      [&] {
        return join({{"code", traceText(code)}, {"value", traceText(value)}});
      },
      [&](Call& call) {
        if (auto* q = call.write<QuadCharObject>(code)) q->value = value;
      });
}

FMX_FUNCTION void FM_QuadChar_Delete(FmxQuadChar* code, HostErrorRecord* err) {
  deleteOperation<QuadCharObject>(Op::QuadChar_Delete, code, err);
}

// ---- Fixed-point numbers

FMX_FUNCTION FmxFixPt* FM_FixPt_Constructor1(int32_t value, int32_t precision, HostErrorRecord* err) {
  return runOperation<FmxFixPt*>(
      Op::FixPt_Constructor1, err,
      [&] {
        return join({{"value", traceText(value)}, {"precision", traceText(precision)}});
      },
      [&](Call& call) -> FmxFixPt* {
        if (precision < 0 || precision > 400) {
          call.fail(kHostErrorFailure);
          return nullptr;
        }
        auto* number = createLocked<FixPtObject>();
        number->precision = precision;
        number->set(Decimal::fromInt(value));
        return handleOf<FmxFixPt>(number);
      });
}

FMX_FUNCTION void FM_FixPt_AssignInt(FmxFixPt* number, int32_t value, HostErrorRecord* err) {
  runOperation<void>(
      Op::FixPt_AssignInt, err,
      [&] {
        return join({{"number", traceText(number)}, {"value", traceText(value)}});
      },
      [&](Call& call) {
        if (auto* n = call.write<FixPtObject>(number)) n->set(Decimal::fromInt(value));
      });
}

FMX_FUNCTION int32_t FM_FixPt_AsLong(const FmxFixPt* number, HostErrorRecord* err) {
  return runOperation<int32_t>(
      Op::FixPt_AsLong, err,
      [&] {
        return join({{"number", traceText(number)}});
      },
      [&](Call& call) -> int32_t {
        auto* n = call.read<FixPtObject>(number);
        return n ? n->value.toInt32Wrapped() : 0;
      });
}

FMX_FUNCTION double FM_FixPt_AsFloat(const FmxFixPt* number, HostErrorRecord* err) {
  return runOperation<double>(
      Op::FixPt_AsFloat, err,
      [&] {
        return join({{"number", traceText(number)}});
      },
      [&](Call& call) -> double {
        auto* n = call.read<FixPtObject>(number);
        return n ? n->value.toDouble() : 0.0;
      });
}

FMX_FUNCTION void FM_FixPt_Delete(FmxFixPt* number, HostErrorRecord* err) {
  deleteOperation<FixPtObject>(Op::FixPt_Delete, number, err);
}

// ---- Texts

FMX_FUNCTION FmxText* FM_Text_Constructor1(HostErrorRecord* err) {
  return constructOperation<TextObject, FmxText>(Op::Text_Constructor1, err);
}

FMX_FUNCTION void FM_Text_AssignUnicode(FmxText* text, const uint16_t* units, HostErrorRecord* err) {
  runOperation<void>(
      Op::Text_AssignUnicode, err,
      [&] {
        return join({{"text", traceText(text)}, {"units", traceText(units)}});
      },
      [&](Call& call) {
        auto* t = call.write<TextObject>(text);
        if (t == nullptr) return;
        if (units == nullptr) return call.fail(kHostErrorFailure);
        size_t count = 0;
        while (units[count] != 0) ++count;
        t->text.assign(unitsOf(units, count));
      });
}

FMX_FUNCTION void FM_Text_AssignUnicodeWithLength(FmxText* text, const uint16_t* units, uint32_t count,
                                                  HostErrorRecord* err) {
  runOperation<void>(
      Op::Text_AssignUnicodeWithLength, err,
      [&] {
        return join({{"text", traceText(text)}, {"units", traceText(units)}, {"count", traceText(count)}});
      },
      [&](Call& call) {
        auto* t = call.write<TextObject>(text);
        if (t == nullptr) return;
        if (units == nullptr && count != 0) return call.fail(kHostErrorFailure);
        t->text.assign(unitsOf(units, count));
      });
}

FMX_FUNCTION void FM_Text_AppendText(FmxText* text, const FmxText* source, uint32_t position, uint32_t count,
                                     HostErrorRecord* err) {
  runOperation<void>(
      Op::Text_AppendText, err,
      [&] {
        return join({{"text", traceText(text)},
                     {"source", traceText(source)},
                     {"position", traceText(position)},
                     {"count", traceText(count)}});
      },
      [&](Call& call) {
        auto* t = call.write<TextObject>(text);
        auto* s = call.read<TextObject>(source);
        if (t == nullptr || s == nullptr) return;
        auto n = rangeCount(s->text.units.size(), position, count);
        if (!n) return call.fail(kHostErrorFailure);
        t->text.append(s->text, position, *n);
      });
}

FMX_FUNCTION uint32_t FM_Text_GetSize(const FmxText* text, HostErrorRecord* err) {
  return runOperation<uint32_t>(
      Op::Text_GetSize, err,
      [&] {
        return join({{"text", traceText(text)}});
      },
      [&](Call& call) -> uint32_t {
        auto* t = call.read<TextObject>(text);
        return t ? static_cast<uint32_t>(t->text.units.size()) : 0u;
      });
}

FMX_FUNCTION void FM_Text_GetUnicode(const FmxText* text, uint16_t* destination, uint32_t position,
                                     uint32_t count, HostErrorRecord* err) {
  runOperation<void>(
      Op::Text_GetUnicode, err,
      [&] {
        return join({{"text", traceText(text)},
                     {"destination", traceText(destination)},
                     {"position", traceText(position)},
                     {"count", traceText(count)}});
      },
      [&](Call& call) {
        auto* t = call.read<TextObject>(text);
        if (t == nullptr) return;
        auto n = rangeCount(t->text.units.size(), position, count);
        if (!n || (destination == nullptr && *n != 0)) return call.fail(kHostErrorFailure);
        if (*n != 0) std::memcpy(destination, t->text.units.data() + position, *n * sizeof(uint16_t));
      });
}

FMX_FUNCTION void FM_Text_GetStyle(const FmxText* text, FmxCharacterStyle* style, uint32_t position,
                                   HostErrorRecord* err) {
  runOperation<void>(
      Op::Text_GetStyle, err,
      [&] {
        return join(
            {{"text", traceText(text)}, {"style", traceText(style)}, {"position", traceText(position)}});
      },
      [&](Call& call) {
        auto* t = call.read<TextObject>(text);
        auto* s = call.write<StyleObject>(style);
        if (t == nullptr || s == nullptr) return;
        if (position >= t->text.units.size()) return call.fail(kHostErrorFailure);
        s->style = t->text.styleAt(position);
      });
}

FMX_FUNCTION void FM_Text_GetDefaultStyle(const FmxText* text, FmxCharacterStyle* style,
                                          HostErrorRecord* err) {
  runOperation<void>(
      Op::Text_GetDefaultStyle, err,
      [&] {
        return join({{"text", traceText(text)}, {"style", traceText(style)}});
      },
      [&](Call& call) {
        auto* t = call.read<TextObject>(text);
        auto* s = call.write<StyleObject>(style);
        if (t != nullptr && s != nullptr) s->style = CharStyle{};
      });
}

FMX_FUNCTION void FM_Text_SetStyle(FmxText* text, const FmxCharacterStyle* style, uint32_t position,
                                   uint32_t count, HostErrorRecord* err) {
  runOperation<void>(
      Op::Text_SetStyle, err,
      [&] {
        return join({{"text", traceText(text)},
                     {"style", traceText(style)},
                     {"position", traceText(position)},
                     {"count", traceText(count)}});
      },
      [&](Call& call) {
        auto* t = call.write<TextObject>(text);
        auto* s = call.read<StyleObject>(style);
        if (t == nullptr || s == nullptr) return;
        auto n = rangeCount(t->text.units.size(), position, count);
        if (!n) return call.fail(kHostErrorFailure);
        t->text.setStyle(s->style, position, *n);
      });
}

FMX_FUNCTION void FM_Text_Delete(FmxText* text, HostErrorRecord* err) {
  deleteOperation<TextObject>(Op::Text_Delete, text, err);
}

// ---- Colors and character styles

FMX_FUNCTION FmxColor* FM_Color_Constructor1(HostErrorRecord* err) {
  return constructOperation<ColorObject, FmxColor>(Op::Color_Constructor1, err);
}
FMX_FUNCTION void FM_Color_SetRed(FmxColor* color, uint8_t value, HostErrorRecord* err) {
  setChannel(Op::Color_SetRed, color, value, &ColorObject::red, err);
}
FMX_FUNCTION void FM_Color_SetGreen(FmxColor* color, uint8_t value, HostErrorRecord* err) {
  setChannel(Op::Color_SetGreen, color, value, &ColorObject::green, err);
}
FMX_FUNCTION void FM_Color_SetBlue(FmxColor* color, uint8_t value, HostErrorRecord* err) {
  setChannel(Op::Color_SetBlue, color, value, &ColorObject::blue, err);
}
FMX_FUNCTION void FM_Color_SetAlpha(FmxColor* color, uint8_t value, HostErrorRecord* err) {
  setChannel(Op::Color_SetAlpha, color, value, &ColorObject::alpha, err);
}
FMX_FUNCTION void FM_Color_Delete(FmxColor* color, HostErrorRecord* err) {
  deleteOperation<ColorObject>(Op::Color_Delete, color, err);
}

FMX_FUNCTION FmxCharacterStyle* FM_CharacterStyle_Constructor1(HostErrorRecord* err) {
  return constructOperation<StyleObject, FmxCharacterStyle>(Op::CharacterStyle_Constructor1, err);
}
FMX_FUNCTION void FM_CharacterStyle_SetFont(FmxCharacterStyle* style, int32_t font, HostErrorRecord* err) {
  setStyleField(Op::CharacterStyle_SetFont, style, font, &CharStyle::font, err);
}
FMX_FUNCTION void FM_CharacterStyle_SetFace(FmxCharacterStyle* style, int32_t face, HostErrorRecord* err) {
  setStyleField(Op::CharacterStyle_SetFace, style, face, &CharStyle::face, err);
}
FMX_FUNCTION void FM_CharacterStyle_SetSize(FmxCharacterStyle* style, int32_t size, HostErrorRecord* err) {
  setStyleField(Op::CharacterStyle_SetSize, style, size, &CharStyle::size, err);
}
FMX_FUNCTION uint16_t FM_CharacterStyle_GetFont(const FmxCharacterStyle* style, HostErrorRecord* err) {
  return getStyleField(Op::CharacterStyle_GetFont, style, &CharStyle::font, err);
}
FMX_FUNCTION uint16_t FM_CharacterStyle_GetFace(const FmxCharacterStyle* style, HostErrorRecord* err) {
  return getStyleField(Op::CharacterStyle_GetFace, style, &CharStyle::face, err);
}
FMX_FUNCTION uint16_t FM_CharacterStyle_GetSize(const FmxCharacterStyle* style, HostErrorRecord* err) {
  return getStyleField(Op::CharacterStyle_GetSize, style, &CharStyle::size, err);
}
FMX_FUNCTION void FM_CharacterStyle_SetColor(FmxCharacterStyle* style, const FmxColor* color,
                                             HostErrorRecord* err) {
  runOperation<void>(
      Op::CharacterStyle_SetColor, err,
      [&] {
        return join({{"style", traceText(style)}, {"color", traceText(color)}});
      },
      [&](Call& call) {
        auto* s = call.write<StyleObject>(style);
        auto* c = call.read<ColorObject>(color);
        if (s != nullptr && c != nullptr) s->style = styleOf(*c, s->style);
      });
}
FMX_FUNCTION void FM_CharacterStyle_Delete(FmxCharacterStyle* style, HostErrorRecord* err) {
  deleteOperation<StyleObject>(Op::CharacterStyle_Delete, style, err);
}

// ---- Data values

FMX_FUNCTION FmxData* FM_Data_Constructor1(HostErrorRecord* err) {
  return constructOperation<DataObject, FmxData>(Op::Data_Constructor1, err);
}

FMX_FUNCTION bool FM_Data_IsEmpty(const FmxData* data, HostErrorRecord* err) {
  return runOperation<bool>(
      Op::Data_IsEmpty, err,
      [&] {
        return join({{"data", traceText(data)}});
      },
      [&](Call& call) {
        auto* d = call.read<DataObject>(data);
        return d == nullptr || isEmpty(d->value);
      });
}

FMX_FUNCTION const FmxFixPt* FM_Data_GetAsNumber(const FmxData* data, HostErrorRecord* err) {
  return viewOperation<FmxFixPt>(Op::Data_GetAsNumber, data, kNumberView, err);
}
FMX_FUNCTION const FmxDateTime* FM_Data_GetAsDate(const FmxData* data, HostErrorRecord* err) {
  return viewOperation<FmxDateTime>(Op::Data_GetAsDate, data, kDateView, err);
}
FMX_FUNCTION const FmxDateTime* FM_Data_GetAsTimeStamp(const FmxData* data, HostErrorRecord* err) {
  return viewOperation<FmxDateTime>(Op::Data_GetAsTimeStamp, data, kTimeStampView, err);
}
FMX_FUNCTION const FmxText* FM_Data_GetAsText(const FmxData* data, HostErrorRecord* err) {
  return viewOperation<FmxText>(Op::Data_GetAsText, data, kTextView, err);
}
FMX_FUNCTION const FmxBinaryData* FM_Data_GetBinaryData(const FmxData* data, HostErrorRecord* err) {
  return viewOperation<FmxBinaryData>(Op::Data_GetBinaryData, data, kBinaryView, err);
}
FMX_FUNCTION const FmxLocale* FM_Data_GetLocale(const FmxData* data, HostErrorRecord* err) {
  return viewOperation<FmxLocale>(Op::Data_GetLocale, data, kLocaleView, err);
}

FMX_FUNCTION int32_t FM_Data_GetNativeType(const FmxData* data, HostErrorRecord* err) {
  return runOperation<int32_t>(
      Op::Data_GetNativeType, err,
      [&] {
        return join({{"data", traceText(data)}});
      },
      [&](Call& call) {
        auto* d = call.read<DataObject>(data);
        return d ? d->value.type : int32_t{kFmxTypeInvalid};
      });
}

FMX_FUNCTION int16_t FM_Data_SetAsText(FmxData* data, const FmxText* text, const FmxLocale* locale,
                                       int32_t nativeType, HostErrorRecord* err) {
  return runOperation<int16_t>(
      Op::Data_SetAsText, err,
      [&] {
        return join({{"data", traceText(data)},
                     {"text", traceText(text)},
                     {"locale", traceText(locale)},
                     {"nativeType", traceText(nativeType)}});
      },
      [&](Call& call) -> int16_t {
        auto* d = call.write<DataObject>(data);
        auto* t = call.read<TextObject>(text);
        auto* l = call.read<LocaleObject>(locale);
        if (d == nullptr || t == nullptr || l == nullptr) return 0;
        auto value = valueFromText(t->text, nativeType);
        if (!value) return kOperandRefused;
        std::string localeName = l->name;  // the locale may be this data value's own
        setValueLocked(d, std::move(*value));
        d->locale.name = std::move(localeName);
        return 0;
      });
}

FMX_FUNCTION void FM_Data_SetAsTime(FmxData* data, const FmxDateTime* time, int32_t nativeType,
                                    HostErrorRecord* err) {
  setMoment(Op::Data_SetAsTime, data, time, nativeType, err);
}

FMX_FUNCTION void FM_Data_SetAsTimeStamp(FmxData* data, const FmxDateTime* timeStamp, int32_t nativeType,
                                         HostErrorRecord* err) {
  setMoment(Op::Data_SetAsTimeStamp, data, timeStamp, nativeType, err);
}

FMX_FUNCTION void FM_Data_SetBinaryData(FmxData* data, const FmxBinaryData* binary, bool forceBinaryType,
                                        HostErrorRecord* err) {
  runOperation<void>(
      Op::Data_SetBinaryData, err,
      [&] {
        return join({{"data", traceText(data)},
                     {"binary", traceText(binary)},
                     {"forceBinaryType", traceText(forceBinaryType)}});
      },
      [&](Call& call) {
        auto* d = call.write<DataObject>(data);
        auto* b = call.read<BinaryObject>(binary);
        if (d == nullptr || b == nullptr) return;
        // Copies first: the source may be this value's own binary view.
        std::vector<Stream> streams = b->streams;
        setValueLocked(d, Value::ofStreams(std::move(streams)));
      });
}

FMX_FUNCTION void FM_Data_Delete(FmxData* data, HostErrorRecord* err) {
  deleteOperation<DataObject>(Op::Data_Delete, data, err);
}

// ---- Parameter vectors

FMX_FUNCTION uint32_t FM_DataVect_Size(const FmxDataVect* vector, HostErrorRecord* err) {
  return runOperation<uint32_t>(
      Op::DataVect_Size, err,
      [&] {
        return join({{"vector", traceText(vector)}});
      },
      [&](Call& call) -> uint32_t {
        auto* v = call.read<DataVectObject>(vector);
        return v ? static_cast<uint32_t>(v->items.size()) : 0u;
      });
}

FMX_FUNCTION const FmxData* FM_DataVect_At(const FmxDataVect* vector, uint32_t index, HostErrorRecord* err) {
  return runOperation<const FmxData*>(
      Op::DataVect_At, err,
      [&] {
        return join({{"vector", traceText(vector)}, {"index", traceText(index)}});
      },
      [&](Call& call) -> const FmxData* {
        auto* v = call.read<DataVectObject>(vector);
        if (v == nullptr) return nullptr;
        if (index >= v->items.size()) {
          call.fail(kHostErrorFailure);
          return nullptr;
        }
        return handleOf<const FmxData>(v->items[index]);
      });
}

// ---- Expression environments, evaluation and registration

FMX_FUNCTION FmxExprEnv* FM_ExprEnv_Constructor1(HostErrorRecord* err) {
  return constructOperation<ExprEnvObject, FmxExprEnv>(Op::ExprEnv_Constructor1, err);
}

FMX_FUNCTION int16_t FM_ExprEnv_Evaluate(const FmxExprEnv* env, const FmxText* expression, FmxData* result,
                                         HostErrorRecord* err) {
  // Not one runOperation: the host lock must be free while the engine runs, since plug-in functions it
  // calls use the FM_ operations themselves.
  Call call(Op::ExprEnv_Evaluate);
  int16_t code = 0;
  std::u16string source;
  bool ready = false;
  checkPluginThread("FM_ExprEnv_Evaluate", env);
  try {
    auto lock = hostLock();
    int32_t faultCode =
        gFaultsArmed.load(std::memory_order_relaxed) ? takeFaultLocked(Op::ExprEnv_Evaluate) : 0;
    if (faultCode != 0) {
      call.fail(faultCode);
    } else {
      auto* e = call.read<ExprEnvObject>(env);
      auto* t = call.read<TextObject>(expression);
      auto* d = call.write<DataObject>(result);
      if (e != nullptr && t != nullptr && d != nullptr) {
        source = t->text.units;
        ready = true;
      }
    }
  } catch (const std::bad_alloc&) {
    call.fail(kHostErrorOutOfMemory);
  }
  if (ready) {
    try {
      EvalOutcome outcome = evaluateExpression(source, env);
      code = outcome.code;
      auto lock = hostLock();
      // A plug-in function may have deleted the result object while the engine ran.
      if (auto* d = call.write<DataObject>(result)) {
        if (code == 0) setValueLocked(d, std::move(outcome.value));
      }
    } catch (const std::bad_alloc&) {
      call.fail(kHostErrorOutOfMemory);
    } catch (...) {
      call.fail(kHostErrorFailure);
    }
  }
  if (call.code() != 0) code = 0;
  if (err != nullptr) err->code = call.code();
  if (gTracing.load(std::memory_order_relaxed)) {
    try {
      emitTrace(Op::ExprEnv_Evaluate,
                join({{"env", traceText(env)},
                      {"expression", traceText(expression)},
                      {"result", traceText(result)}}),
                traceText(code), call.code());
    } catch (...) {
      // Tracing never changes the call's outcome.
    }
  }
  return code;
}

FMX_FUNCTION void FM_ExprEnv_Delete(FmxExprEnv* env, HostErrorRecord* err) {
  deleteOperation<ExprEnvObject>(Op::ExprEnv_Delete, env, err);
}

namespace {

// Both registrations: checks the function and files it; `description` may be null (the plain form).
int16_t registerExternalFunction(Op op, const FmxQuadChar* pluginId, int16_t functionId, const FmxText* name,
                                 const FmxText* prototype, const FmxText* description, int16_t minArgs,
                                 int16_t maxArgs, uint32_t flags, FmxExternalFunction callback,
                                 HostErrorRecord* err) {
  return runOperation<int16_t>(
      op, err,
      [&] {
        const std::string head = join({{"pluginId", traceText(pluginId)},
                                       {"functionId", traceText(functionId)},
                                       {"name", traceText(name)},
                                       {"prototype", traceText(prototype)}});
        const std::string tail = join({{"minArgs", traceText(minArgs)},
                                       {"maxArgs", traceText(maxArgs)},
                                       {"flags", traceText(flags)},
                                       {"callback", traceText(reinterpret_cast<const void*>(callback))}});
        if (op != Op::ExprEnv_RegisterExternalFunctionEx) return head + ", " + tail;
        return head + ", " + join({{"description", traceText(description)}}) + ", " + tail;
      },
      [&](Call& call) -> int16_t {
        auto* id = call.read<QuadCharObject>(pluginId);
        auto* n = call.read<TextObject>(name);
        auto* p = call.read<TextObject>(prototype);
        if (id == nullptr || n == nullptr || p == nullptr) return 0;
        const TextObject* d = nullptr;
        if (op == Op::ExprEnv_RegisterExternalFunctionEx) {
          d = call.read<TextObject>(description);
          if (d == nullptr) return 0;
        }
        // A function without a name, a callback or a sensible parameter range could never be called.
        // FileMaker answers such a registration with an error code, not through the exception record.
        if (callback == nullptr || n->text.units.empty() || minArgs < 0 ||
            (maxArgs != -1 && maxArgs < minArgs)) {
          return kOperandRefused;
        }
        registerFunctionLocked(RegisteredFunction{id->value, functionId, n->text.units, p->text.units,
                                                  minArgs, maxArgs, flags, callback,
                                                  d == nullptr ? std::u16string() : d->text.units});
        return 0;
      });
}

}  // namespace

FMX_FUNCTION int16_t FM_ExprEnv_RegisterExternalFunction(const FmxQuadChar* pluginId, int16_t functionId,
                                                         const FmxText* name, const FmxText* prototype,
                                                         int16_t minArgs, int16_t maxArgs, uint32_t flags,
                                                         FmxExternalFunction callback, HostErrorRecord* err) {
  return registerExternalFunction(Op::ExprEnv_RegisterExternalFunction, pluginId, functionId, name, prototype,
                                  nullptr, minArgs, maxArgs, flags, callback, err);
}

FMX_FUNCTION int16_t FM_ExprEnv_RegisterExternalFunctionEx(const FmxQuadChar* pluginId, int16_t functionId,
                                                           const FmxText* name, const FmxText* prototype,
                                                           const FmxText* description, int16_t minArgs,
                                                           int16_t maxArgs, uint32_t flags,
                                                           FmxExternalFunction callback,
                                                           HostErrorRecord* err) {
  return registerExternalFunction(Op::ExprEnv_RegisterExternalFunctionEx, pluginId, functionId, name,
                                  prototype, description, minArgs, maxArgs, flags, callback, err);
}

// ---- Date-times

FMX_FUNCTION FmxDateTime* FM_DateTime_Constructor1(HostErrorRecord* err) {
  return constructOperation<DateTimeObject, FmxDateTime>(Op::DateTime_Constructor1, err);
}

FMX_FUNCTION int16_t FM_DateTime_SetNormalizedDate2(FmxDateTime* dateTime, const FmxFixPt* year,
                                                    const FmxFixPt* month, const FmxFixPt* day,
                                                    HostErrorRecord* err) {
  return runOperation<int16_t>(
      Op::DateTime_SetNormalizedDate2, err,
      [&] {
        return join({{"dateTime", traceText(dateTime)},
                     {"year", traceText(year)},
                     {"month", traceText(month)},
                     {"day", traceText(day)}});
      },
      [&](Call& call) -> int16_t {
        auto* t = call.write<DateTimeObject>(dateTime);
        auto* y = call.read<FixPtObject>(year);
        auto* m = call.read<FixPtObject>(month);
        auto* d = call.read<FixPtObject>(day);
        if (t == nullptr || y == nullptr || m == nullptr || d == nullptr) return 0;
        auto dayNumber = normalizedDay(y->value, m->value, d->value);
        if (!dayNumber || !setMicros(t, *dayNumber * kMicrosPerDay + floorMod(t->micros, kMicrosPerDay))) {
          return kOperandRefused;
        }
        return 0;
      });
}

FMX_FUNCTION int16_t FM_DateTime_SetNormalizedTime1(FmxDateTime* dateTime, int64_t hour, int32_t minute,
                                                    int32_t second, int32_t microsecond,
                                                    HostErrorRecord* err) {
  return runOperation<int16_t>(
      Op::DateTime_SetNormalizedTime1, err,
      [&] {
        return join({{"dateTime", traceText(dateTime)},
                     {"hour", traceText(hour)},
                     {"minute", traceText(minute)},
                     {"second", traceText(second)},
                     {"microsecond", traceText(microsecond)}});
      },
      [&](Call& call) -> int16_t {
        auto* t = call.write<DateTimeObject>(dateTime);
        if (t == nullptr) return 0;
        // Hours beyond a few hundred million years are no time the host can hold; checking first keeps
        // the arithmetic below from overflowing.
        constexpr int64_t kHourLimit = 1000000000;
        if (hour > kHourLimit || hour < -kHourLimit) return kOperandRefused;
        int64_t ofDay = ((hour * 60 + minute) * 60 + second) * kMicrosPerSecond + microsecond;
        int64_t midnight = floorDiv(t->micros, kMicrosPerDay) * kMicrosPerDay;
        return setMicros(t, midnight + ofDay) ? int16_t{0} : kOperandRefused;
      });
}

FMX_FUNCTION void FM_DateTime_SetSecsSinceMidnight(FmxDateTime* dateTime, const FmxFixPt* seconds,
                                                   HostErrorRecord* err) {
  runOperation<void>(
      Op::DateTime_SetSecsSinceMidnight, err,
      [&] {
        return join({{"dateTime", traceText(dateTime)}, {"seconds", traceText(seconds)}});
      },
      [&](Call& call) {
        auto* t = call.write<DateTimeObject>(dateTime);
        auto* s = call.read<FixPtObject>(seconds);
        if (t == nullptr || s == nullptr) return;
        auto micros = s->value.toScaledInt64(6);
        int64_t midnight = floorDiv(t->micros, kMicrosPerDay) * kMicrosPerDay;
        // A moment outside the calendar leaves the date-time as it was; the operation has no result
        // to refuse it with, and FileMaker raises nothing.
        if (micros && *micros <= INT64_MAX / 2 && *micros >= INT64_MIN / 2) setMicros(t, midnight + *micros);
      });
}

FMX_FUNCTION int32_t FM_DateTime_GetDaysSinceEpoch(const FmxDateTime* dateTime, HostErrorRecord* err) {
  return runOperation<int32_t>(
      Op::DateTime_GetDaysSinceEpoch, err,
      [&] {
        return join({{"dateTime", traceText(dateTime)}});
      },
      [&](Call& call) -> int32_t {
        auto* t = call.read<DateTimeObject>(dateTime);
        return t ? static_cast<int32_t>(floorDiv(t->micros, kMicrosPerDay)) : 0;
      });
}

FMX_FUNCTION void FM_DateTime_GetSecsSinceMidnight(const FmxDateTime* dateTime, FmxFixPt* seconds,
                                                   HostErrorRecord* err) {
  runOperation<void>(
      Op::DateTime_GetSecsSinceMidnight, err,
      [&] {
        return join({{"dateTime", traceText(dateTime)}, {"seconds", traceText(seconds)}});
      },
      [&](Call& call) {
        auto* t = call.read<DateTimeObject>(dateTime);
        auto* s = call.write<FixPtObject>(seconds);
        if (t != nullptr && s != nullptr) s->set(microsToSeconds(floorMod(t->micros, kMicrosPerDay)));
      });
}

FMX_FUNCTION void FM_DateTime_GetSecondsSinceEpoch(const FmxDateTime* dateTime, FmxFixPt* seconds,
                                                   HostErrorRecord* err) {
  runOperation<void>(
      Op::DateTime_GetSecondsSinceEpoch, err,
      [&] {
        return join({{"dateTime", traceText(dateTime)}, {"seconds", traceText(seconds)}});
      },
      [&](Call& call) {
        auto* t = call.read<DateTimeObject>(dateTime);
        auto* s = call.write<FixPtObject>(seconds);
        if (t != nullptr && s != nullptr) s->set(microsToSeconds(t->micros));
      });
}

FMX_FUNCTION void FM_DateTime_Delete(FmxDateTime* dateTime, HostErrorRecord* err) {
  deleteOperation<DateTimeObject>(Op::DateTime_Delete, dateTime, err);
}

// ---- Binary (container) data

FMX_FUNCTION FmxBinaryData* FM_BinaryData_Constructor1(HostErrorRecord* err) {
  return constructOperation<BinaryObject, FmxBinaryData>(Op::BinaryData_Constructor1, err);
}

FMX_FUNCTION FmxBinaryData* FM_BinaryData_Constructor2(const FmxBinaryData* source, HostErrorRecord* err) {
  return runOperation<FmxBinaryData*>(
      Op::BinaryData_Constructor2, err,
      [&] {
        return join({{"source", traceText(source)}});
      },
      [&](Call& call) -> FmxBinaryData* {
        auto* s = call.read<BinaryObject>(source);
        if (s == nullptr) return nullptr;
        std::vector<Stream> streams = s->streams;
        auto* copy = createLocked<BinaryObject>();
        copy->streams = std::move(streams);
        return handleOf<FmxBinaryData>(copy);
      });
}

FMX_FUNCTION int32_t FM_BinaryData_GetCount(const FmxBinaryData* binary, HostErrorRecord* err) {
  return runOperation<int32_t>(
      Op::BinaryData_GetCount, err,
      [&] {
        return join({{"binary", traceText(binary)}});
      },
      [&](Call& call) -> int32_t {
        auto* b = call.read<BinaryObject>(binary);
        return b ? static_cast<int32_t>(b->streams.size()) : 0;
      });
}

FMX_FUNCTION uint32_t FM_BinaryData_GetTotalSize(const FmxBinaryData* binary, HostErrorRecord* err) {
  return runOperation<uint32_t>(
      Op::BinaryData_GetTotalSize, err,
      [&] {
        return join({{"binary", traceText(binary)}});
      },
      [&](Call& call) -> uint32_t {
        auto* b = call.read<BinaryObject>(binary);
        if (b == nullptr) return 0;
        uint64_t total = 0;
        for (const Stream& s : b->streams) total += s.bytes.size();
        return static_cast<uint32_t>(total);
      });
}

namespace {

const Stream* streamAt(Call& call, const FmxBinaryData* binary, int32_t index) {
  auto* b = call.read<BinaryObject>(binary);
  if (b == nullptr) return nullptr;
  if (index < 0 || static_cast<size_t>(index) >= b->streams.size()) {
    call.fail(kHostErrorFailure);
    return nullptr;
  }
  return &b->streams[static_cast<size_t>(index)];
}

}  // namespace

FMX_FUNCTION void FM_BinaryData_GetType(const FmxBinaryData* binary, int32_t index, FmxQuadChar* type,
                                        HostErrorRecord* err) {
  runOperation<void>(
      Op::BinaryData_GetType, err,
      [&] {
        return join({{"binary", traceText(binary)}, {"index", traceText(index)}, {"type", traceText(type)}});
      },
      [&](Call& call) {
        const Stream* s = streamAt(call, binary, index);
        auto* q = call.write<QuadCharObject>(type);
        if (s != nullptr && q != nullptr) q->value = s->type;
      });
}

FMX_FUNCTION uint32_t FM_BinaryData_GetSize(const FmxBinaryData* binary, int32_t index,
                                            HostErrorRecord* err) {
  return runOperation<uint32_t>(
      Op::BinaryData_GetSize, err,
      [&] {
        return join({{"binary", traceText(binary)}, {"index", traceText(index)}});
      },
      [&](Call& call) -> uint32_t {
        const Stream* s = streamAt(call, binary, index);
        return s ? static_cast<uint32_t>(s->bytes.size()) : 0u;
      });
}

FMX_FUNCTION void FM_BinaryData_GetData(const FmxBinaryData* binary, int32_t index, uint32_t offset,
                                        uint32_t amount, void* destination, HostErrorRecord* err) {
  runOperation<void>(
      Op::BinaryData_GetData, err,
      [&] {
        return join({{"binary", traceText(binary)},
                     {"index", traceText(index)},
                     {"offset", traceText(offset)},
                     {"amount", traceText(amount)},
                     {"destination", traceText(destination)}});
      },
      [&](Call& call) {
        const Stream* s = streamAt(call, binary, index);
        if (s == nullptr) return;
        if (uint64_t{offset} + amount > s->bytes.size() || (destination == nullptr && amount != 0)) {
          return call.fail(kHostErrorFailure);
        }
        if (amount != 0) std::memcpy(destination, s->bytes.data() + offset, amount);
      });
}

FMX_FUNCTION int16_t FM_BinaryData_Add(FmxBinaryData* binary, const FmxQuadChar* type, uint32_t amount,
                                       const void* source, HostErrorRecord* err) {
  return runOperation<int16_t>(
      Op::BinaryData_Add, err,
      [&] {
        return join({{"binary", traceText(binary)},
                     {"type", traceText(type)},
                     {"amount", traceText(amount)},
                     {"source", traceText(source)}});
      },
      [&](Call& call) -> int16_t {
        auto* b = call.write<BinaryObject>(binary);
        auto* q = call.read<QuadCharObject>(type);
        if (b == nullptr || q == nullptr) return 0;
        uint64_t total = amount;
        for (const Stream& s : b->streams) total += s.bytes.size();
        if (source == nullptr && amount != 0) return kOperandRefused;
        // Sizes are reported in 32 bits; a container that would outgrow them is refused.
        if (total > UINT32_MAX) {
          call.fail(kHostErrorOutOfMemory);
          return 0;
        }
        const auto* bytes = static_cast<const uint8_t*>(source);
        Stream stream{q->value,
                      amount != 0 ? std::vector<uint8_t>(bytes, bytes + amount) : std::vector<uint8_t>{}};
        b->streams.push_back(std::move(stream));
        return 0;
      });
}

FMX_FUNCTION bool FM_BinaryData_Remove(FmxBinaryData* binary, const FmxQuadChar* type, HostErrorRecord* err) {
  return runOperation<bool>(
      Op::BinaryData_Remove, err,
      [&] {
        return join({{"binary", traceText(binary)}, {"type", traceText(type)}});
      },
      [&](Call& call) {
        auto* b = call.write<BinaryObject>(binary);
        auto* q = call.read<QuadCharObject>(type);
        if (b == nullptr || q == nullptr) return false;
        return std::erase_if(b->streams, [&](const Stream& s) { return s.type == q->value; }) != 0;
      });
}

FMX_FUNCTION void FM_BinaryData_RemoveAll(FmxBinaryData* binary, HostErrorRecord* err) {
  runOperation<void>(
      Op::BinaryData_RemoveAll, err,
      [&] {
        return join({{"binary", traceText(binary)}});
      },
      [&](Call& call) {
        if (auto* b = call.write<BinaryObject>(binary)) b->streams.clear();
      });
}

FMX_FUNCTION void FM_BinaryData_Delete(FmxBinaryData* binary, HostErrorRecord* err) {
  deleteOperation<BinaryObject>(Op::BinaryData_Delete, binary, err);
}
