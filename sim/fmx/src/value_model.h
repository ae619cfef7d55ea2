// The host's values as plain C++: styled texts, date-times, container streams and the tagged value a data
// object and the calculation engine hold, with the conversions between kinds and FileMaker's display
// forms. No shared state; callers synchronise access to values they share.
#ifndef FMSIM_VALUE_MODEL_H
#define FMSIM_VALUE_MODEL_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "decimal.h"
#include "fmsim/values.h"
#include "fmx/fmx_types.h"

namespace fmsim {

inline constexpr uint32_t kToEnd = 0xFFFFFFFFu;
inline constexpr int64_t kMicrosPerSecond = 1000000;
inline constexpr int64_t kMicrosPerDay = 86400 * kMicrosPerSecond;
// Day numbers of the host's calendar: 0001-01-01 is day 1, 1970-01-01 is day 719163.
inline constexpr int64_t kUnixEpochDay = 719163;
// Dates the host accepts: 0001-01-01 to 9999-12-31 (and times of day 0 around them).
inline constexpr int64_t kFirstDay = 0;
inline constexpr int64_t kLastDay = 3652059;
inline constexpr int32_t kDefaultPrecision = 16;

struct StyledText {
  std::u16string units;
  std::vector<CharStyle> styles;  // empty: every unit has the default style; otherwise one per unit

  CharStyle styleAt(size_t index) const;
  void assign(std::u16string newUnits);
  // Appends source[position, position + count); the caller has checked the range.
  void append(const StyledText& source, size_t position, size_t count);
  void setStyle(const CharStyle& style, size_t position, size_t count);
  std::vector<CharStyle> allStyles() const;
};

// Resolves a (position, count) pair against a length: count kToEnd means "to the end". Nothing when the
// range is outside the text.
std::optional<size_t> rangeCount(size_t length, uint32_t position, uint32_t count);

// Calendar: host day numbers <-> proleptic Gregorian dates.
int64_t dayFromCivil(int64_t year, int64_t month, int64_t day);
void civilFromDay(int64_t dayNumber, int64_t* year, int64_t* month, int64_t* day);
// Normalising: month 13 is January of the next year, day 0 the last day of the month before.
std::optional<int64_t> normalizedDay(const Decimal& year, const Decimal& month, const Decimal& day);
int64_t floorDiv(int64_t a, int64_t b);
int64_t floorMod(int64_t a, int64_t b);

// A tagged value. Dates, times and timestamps are microseconds since midnight of day 0 (a date is its
// day at midnight, a time the duration since day 0).
struct Value {
  int32_t type = kFmxTypeInvalid;
  StyledText text;                // kFmxTypeText
  std::optional<Decimal> number;  // kFmxTypeNumber, kFmxTypeBoolean; empty: a number that is blank
  int64_t micros = 0;             // kFmxTypeDate, kFmxTypeTime, kFmxTypeTimeStamp
  std::vector<Stream> streams;    // kFmxTypeBinary
  bool isError = false;           // the calculation's "?" (a division by zero)

  static Value ofText(StyledText text);
  static Value ofText(std::u16string units);
  static Value ofNumber(Decimal number);
  static Value ofBoolean(bool value);
  static Value ofMoment(int32_t type, int64_t micros);
  static Value ofStreams(std::vector<Stream> streams);
  static Value error();
};

bool isEmpty(const Value& value);
StyledText asText(const Value& value);
std::u16string displayUnits(const Value& value);
// GetAsNumber: a date is its day number, a time its seconds, a timestamp its seconds since day 0, a text
// the number its digits make (nothing when it has none).
std::optional<Decimal> asNumber(const Value& value);
// The date-time view: GetAsDate of a number is that day; GetAsTimeStamp of a number those seconds.
int64_t asDateMicros(const Value& value);
int64_t asTimeStampMicros(const Value& value);
std::vector<Stream> asStreams(const Value& value);
// Truth value for If, Case, and, or, not.
bool asBoolean(const Value& value);

// Parsing texts the way the host reads typed input. Each gives nothing when the text is not of its form.
std::optional<Decimal> parseNumberText(std::u16string_view text);
std::optional<int64_t> parseDateText(std::u16string_view text);       // M/D/YYYY -> micros
std::optional<int64_t> parseTimeText(std::u16string_view text);       // H:MM[:SS[.frac]][ AM|PM] -> micros
std::optional<int64_t> parseTimeStampText(std::u16string_view text);  // M/D/YYYY H:MM[:SS][ AM|PM]
// What a text is as a moment, the way GetAsDate, GetAsTime and GetAsTimestamp read it: empty text is
// empty; a date, a time, a timestamp or a number (days for a date, else seconds) is that moment; any
// other text, an impossible date such as 2/29/2023 included, is invalid.
struct TextMoment {
  bool empty = false;
  std::optional<int64_t> micros;  // none for empty or invalid text
};
TextMoment textMoment(std::u16string_view text, bool numbersCountDays);
// The value GetAsDate (and its kin) give for a text: the moment of `nativeType`, empty, or "?".
Value momentFromText(std::u16string_view text, int32_t nativeType);
// The text as a value of `nativeType` (1 to 5, 7); nothing for another type.
std::optional<Value> valueFromText(const StyledText& text, int32_t nativeType);

// Simple case mapping of a UTF-16 unit: ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic.
char16_t upperUnit(char16_t unit);
char16_t lowerUnit(char16_t unit);
std::u16string upperText(std::u16string_view text);
std::u16string lowerText(std::u16string_view text);

std::string formatDate(int64_t micros);
std::string formatTime(int64_t micros);
// A time of day as FileMaker shows it in a US timestamp: "1:30:00 PM", "12:00:05.5 AM".
std::string formatTimeOfDay12(int64_t micros);
std::u16string asciiToUtf16(std::string_view ascii);
Decimal microsToSeconds(int64_t micros);

}  // namespace fmsim

#endif  // FMSIM_VALUE_MODEL_H
