#include "value_model.h"

#include <algorithm>

namespace fmsim {

CharStyle StyledText::styleAt(size_t index) const {
  return styles.empty() || index >= styles.size() ? CharStyle{} : styles[index];
}

void StyledText::assign(std::u16string newUnits) {
  units = std::move(newUnits);
  styles.clear();
}

void StyledText::append(const StyledText& source, size_t position, size_t count) {
  if (count == 0) return;
  // Copies first: the source may be this very text.
  std::u16string addedUnits = source.units.substr(position, count);
  std::vector<CharStyle> addedStyles;
  if (!source.styles.empty()) {
    addedStyles.assign(source.styles.begin() + static_cast<ptrdiff_t>(position),
                       source.styles.begin() + static_cast<ptrdiff_t>(position + count));
  }
  if (!styles.empty() || !addedStyles.empty()) {
    styles.resize(units.size(), CharStyle{});
    if (addedStyles.empty()) {
      styles.insert(styles.end(), count, CharStyle{});
    } else {
      styles.insert(styles.end(), addedStyles.begin(), addedStyles.end());
    }
  }
  units += addedUnits;
}

void StyledText::setStyle(const CharStyle& style, size_t position, size_t count) {
  if (count == 0) return;
  styles.resize(units.size(), CharStyle{});
  std::fill(styles.begin() + static_cast<ptrdiff_t>(position),
            styles.begin() + static_cast<ptrdiff_t>(position + count), style);
}

std::vector<CharStyle> StyledText::allStyles() const {
  if (styles.empty()) return std::vector<CharStyle>(units.size(), CharStyle{});
  return styles;
}

std::optional<size_t> rangeCount(size_t length, uint32_t position, uint32_t count) {
  if (position > length) return std::nullopt;
  if (count == kToEnd) return length - position;
  if (count > length - position) return std::nullopt;
  return count;
}

int64_t floorDiv(int64_t a, int64_t b) {
  int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

int64_t floorMod(int64_t a, int64_t b) {
  return a - floorDiv(a, b) * b;
}

// Days from civil after the well-known era-based algorithm, shifted to the host's day numbers.
int64_t dayFromCivil(int64_t year, int64_t month, int64_t day) {
  year -= month <= 2 ? 1 : 0;
  const int64_t era = floorDiv(year, 400);
  const int64_t yearOfEra = year - era * 400;
  const int64_t monthFromMarch = month > 2 ? month - 3 : month + 9;
  const int64_t dayOfYear = (153 * monthFromMarch + 2) / 5 + day - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468 + kUnixEpochDay;
}

void civilFromDay(int64_t dayNumber, int64_t* year, int64_t* month, int64_t* day) {
  const int64_t z = dayNumber - kUnixEpochDay + 719468;
  const int64_t era = floorDiv(z, 146097);
  const int64_t dayOfEra = z - era * 146097;
  const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;
  *day = dayOfYear - (153 * monthFromMarch + 2) / 5 + 1;
  *month = monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9;
  *year = yearOfEra + era * 400 + (*month <= 2 ? 1 : 0);
}

std::optional<int64_t> normalizedDay(const Decimal& year, const Decimal& month, const Decimal& day) {
  // Fields are whole numbers; anything beyond a few million years is no date the host can hold.
  auto y = year.toScaledInt64(0);
  auto m = month.toScaledInt64(0);
  auto d = day.toScaledInt64(0);
  constexpr int64_t kLimit = int64_t{1} << 40;
  if (!y || !m || !d || *y > kLimit || *y < -kLimit || *m > kLimit || *m < -kLimit || *d > kLimit ||
      *d < -kLimit) {
    return std::nullopt;
  }
  int64_t fullYear = *y + floorDiv(*m - 1, 12);
  int64_t monthOfYear = floorMod(*m - 1, 12) + 1;
  if (fullYear > 100000 || fullYear < -100000) return std::nullopt;
  int64_t dayNumber = dayFromCivil(fullYear, monthOfYear, 1) + *d - 1;
  if (dayNumber < 1 || dayNumber > kLastDay) return std::nullopt;
  return dayNumber;
}

Value Value::ofText(StyledText text) {
  Value v;
  v.type = kFmxTypeText;
  v.text = std::move(text);
  return v;
}

Value Value::ofText(std::u16string units) {
  StyledText text;
  text.assign(std::move(units));
  return ofText(std::move(text));
}

Value Value::ofNumber(Decimal number) {
  Value v;
  v.type = kFmxTypeNumber;
  v.number = std::move(number);
  return v;
}

Value Value::ofBoolean(bool value) {
  Value v;
  v.type = kFmxTypeBoolean;
  v.number = Decimal::fromInt(value ? 1 : 0);
  return v;
}

Value Value::ofMoment(int32_t type, int64_t micros) {
  Value v;
  v.type = type;
  v.micros = micros;
  return v;
}

Value Value::ofStreams(std::vector<Stream> streams) {
  Value v;
  v.type = kFmxTypeBinary;
  v.streams = std::move(streams);
  return v;
}

Value Value::error() {
  Value v = ofText(u"?");
  v.isError = true;
  return v;
}

bool isEmpty(const Value& value) {
  switch (value.type) {
    case kFmxTypeText:
      return value.text.units.empty();
    case kFmxTypeNumber:
    case kFmxTypeBoolean:
      return !value.number.has_value();
    case kFmxTypeDate:
    case kFmxTypeTime:
    case kFmxTypeTimeStamp:
      return false;
    case kFmxTypeBinary:
      return value.streams.empty();
    default:
      return true;
  }
}

char16_t upperUnit(char16_t c) {
  if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 32);
  if (c < 0x80) return c;
  if ((c >= 0xE0 && c <= 0xFE && c != 0xF7)) return static_cast<char16_t>(c - 32);
  if (c == 0xFF) return 0x178;
  if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149 && c != 0x17F) {
    // Latin Extended-A pairs upper/lower as even/odd, except in the runs 0x139-0x148 and 0x179-0x17E.
    bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    bool isLower = oddUpper ? (c % 2 == 0) : (c % 2 == 1);
    return isLower ? static_cast<char16_t>(c - 1) : c;
  }
  if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return static_cast<char16_t>(c - 32);
  if (c >= 0x430 && c <= 0x44F) return static_cast<char16_t>(c - 32);
  if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 80);
  return c;
}

char16_t lowerUnit(char16_t c) {
  if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c + 32);
  if (c < 0x80) return c;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<char16_t>(c + 32);
  if (c == 0x178) return 0xFF;
  if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149 && c != 0x17F) {
    bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    bool isUpper = oddUpper ? (c % 2 == 1) : (c % 2 == 0);
    return isUpper ? static_cast<char16_t>(c + 1) : c;
  }
  if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return static_cast<char16_t>(c + 32);
  if (c >= 0x410 && c <= 0x42F) return static_cast<char16_t>(c + 32);
  if (c >= 0x400 && c <= 0x40F) return static_cast<char16_t>(c + 80);
  return c;
}

std::u16string upperText(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out) c = upperUnit(c);
  return out;
}

std::u16string lowerText(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out) c = lowerUnit(c);
  return out;
}

std::u16string asciiToUtf16(std::string_view ascii) {
  return std::u16string(ascii.begin(), ascii.end());
}

Decimal microsToSeconds(int64_t micros) {
  return *Decimal::divide(Decimal::fromInt(micros), Decimal::fromInt(kMicrosPerSecond), 6);
}

std::string formatDate(int64_t micros) {
  int64_t year = 0, month = 0, day = 0;
  civilFromDay(floorDiv(micros, kMicrosPerDay), &year, &month, &day);
  std::string yearText = std::to_string(year < 0 ? -year : year);
  if (yearText.size() < 4) yearText.insert(0, 4 - yearText.size(), '0');
  return std::to_string(month) + "/" + std::to_string(day) + "/" + (year < 0 ? "-" : "") + yearText;
}

std::string formatTime(int64_t micros) {
  std::string sign = micros < 0 ? "-" : "";
  uint64_t magnitude = micros < 0 ? 0 - static_cast<uint64_t>(micros) : static_cast<uint64_t>(micros);
  uint64_t seconds = magnitude / kMicrosPerSecond;
  uint64_t fraction = magnitude % kMicrosPerSecond;
  auto twoDigits = [](uint64_t n) {
    std::string digits = std::to_string(n);
    if (digits.size() < 2) digits.insert(digits.begin(), '0');
    return digits;
  };
  std::string text = sign + std::to_string(seconds / 3600) + ":" + twoDigits(seconds / 60 % 60) + ":" +
                     twoDigits(seconds % 60);
  if (fraction != 0) {
    std::string digits = std::to_string(fraction);
    digits.insert(0, 6 - digits.size(), '0');
    while (digits.back() == '0') digits.pop_back();
    text += "." + digits;
  }
  return text;
}

std::string formatTimeOfDay12(int64_t micros) {
  micros = floorMod(micros, kMicrosPerDay);
  int64_t hour = micros / (3600 * kMicrosPerSecond);
  int64_t hour12 = hour % 12 == 0 ? 12 : hour % 12;
  std::string rest = formatTime(micros - hour * 3600 * kMicrosPerSecond);  // "0:MM:SS[.frac]"
  return std::to_string(hour12) + rest.substr(rest.find(':')) + (hour < 12 ? " AM" : " PM");
}

std::u16string displayUnits(const Value& value) {
  if (value.isError) return u"?";
  switch (value.type) {
    case kFmxTypeText:
      return value.text.units;
    case kFmxTypeNumber:
    case kFmxTypeBoolean:
      return value.number ? asciiToUtf16(value.number->toDisplay(16)) : u"";
    case kFmxTypeDate:
      return asciiToUtf16(formatDate(value.micros));
    case kFmxTypeTime:
      return asciiToUtf16(formatTime(value.micros));
    case kFmxTypeTimeStamp:
      return asciiToUtf16(formatDate(value.micros) + " " + formatTimeOfDay12(value.micros));
    case kFmxTypeBinary: {
      // A container shows as its file name when it has one.
      for (const Stream& s : value.streams) {
        if (s.type == fourCharCode("FNAM")) return utf8ToUtf16(std::string(s.bytes.begin(), s.bytes.end()));
      }
      return u"";
    }
    default:
      return u"";
  }
}

StyledText asText(const Value& value) {
  if (value.type == kFmxTypeText && !value.isError) return value.text;
  StyledText text;
  text.assign(displayUnits(value));
  return text;
}

std::optional<Decimal> parseNumberText(std::u16string_view text) {
  // Like GetAsNumber: the digits of the text in order, its first decimal point, and a minus sign that
  // comes before the first digit.
  std::string digits;
  bool negative = false;
  bool seenPoint = false;
  for (char16_t c : text) {
    if (c >= u'0' && c <= u'9') {
      digits.push_back(static_cast<char>(c));
    } else if (c == u'.' && !seenPoint) {
      seenPoint = true;
      digits.push_back('.');
    } else if (c == u'-' && digits.find_first_of("0123456789") == std::string::npos) {
      negative = true;
    }
  }
  if (digits.find_first_of("0123456789") == std::string::npos) return std::nullopt;
  auto parsed = Decimal::parse(digits);
  if (!parsed) return std::nullopt;
  return negative ? parsed->negated() : *parsed;
}

namespace {

// Reads an unsigned run of digits; false when there is none or it is absurdly long.
bool readInt(std::u16string_view text, size_t* at, int64_t* out) {
  size_t start = *at;
  int64_t value = 0;
  while (*at < text.size() && text[*at] >= u'0' && text[*at] <= u'9') {
    if (*at - start >= 12) return false;
    value = value * 10 + (text[*at] - u'0');
    ++*at;
  }
  *out = value;
  return *at > start;
}

std::u16string_view trimSpaces(std::u16string_view text) {
  while (!text.empty() && (text.front() == u' ' || text.front() == u'\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == u' ' || text.back() == u'\t')) text.remove_suffix(1);
  return text;
}

std::optional<int64_t> parseDateDays(std::u16string_view text, size_t* at) {
  int64_t month = 0, day = 0, year = 0;
  if (!readInt(text, at, &month) || *at >= text.size() || text[*at] != u'/') return std::nullopt;
  ++*at;
  if (!readInt(text, at, &day) || *at >= text.size() || text[*at] != u'/') return std::nullopt;
  ++*at;
  if (!readInt(text, at, &year)) return std::nullopt;
  if (month < 1 || month > 12 || day < 1 || day > 31) return std::nullopt;
  int64_t dayNumber = dayFromCivil(year, month, day);
  int64_t y = 0, m = 0, d = 0;
  civilFromDay(dayNumber, &y, &m, &d);
  if (d != day || dayNumber < 1 || dayNumber > kLastDay) return std::nullopt;  // e.g. 2/30
  return dayNumber;
}

std::optional<int64_t> parseTimeMicros(std::u16string_view text, size_t* at) {
  bool negative = false;
  if (*at < text.size() && text[*at] == u'-') {
    negative = true;
    ++*at;
  }
  int64_t hours = 0, minutes = 0, seconds = 0, fraction = 0;
  if (!readInt(text, at, &hours) || *at >= text.size() || text[*at] != u':') return std::nullopt;
  ++*at;
  if (!readInt(text, at, &minutes) || minutes > 59) return std::nullopt;
  if (*at < text.size() && text[*at] == u':') {
    ++*at;
    if (!readInt(text, at, &seconds) || seconds > 59) return std::nullopt;
    if (*at < text.size() && text[*at] == u'.') {
      ++*at;
      int digits = 0;
      while (*at < text.size() && text[*at] >= u'0' && text[*at] <= u'9') {
        if (digits < 6) {
          fraction = fraction * 10 + (text[*at] - u'0');
          ++digits;
        }
        ++*at;
      }
      while (digits++ < 6) fraction *= 10;
    }
  }
  if (hours > 100000000) return std::nullopt;
  // A 12-hour clock's "AM" or "PM" (any case), after optional spaces.
  size_t suffix = *at;
  while (suffix < text.size() && text[suffix] == u' ') ++suffix;
  if (suffix + 1 < text.size() && (text[suffix + 1] == u'M' || text[suffix + 1] == u'm')) {
    char16_t half = text[suffix];
    bool am = half == u'A' || half == u'a';
    bool pm = half == u'P' || half == u'p';
    if (am || pm) {
      if (negative || hours < 1 || hours > 12) return std::nullopt;
      hours = hours % 12 + (pm ? 12 : 0);
      *at = suffix + 2;
    }
  }
  int64_t micros = ((hours * 60 + minutes) * 60 + seconds) * kMicrosPerSecond + fraction;
  return negative ? -micros : micros;
}

}  // namespace

std::optional<int64_t> parseDateText(std::u16string_view text) {
  text = trimSpaces(text);
  size_t at = 0;
  auto day = parseDateDays(text, &at);
  if (!day || at != text.size()) return std::nullopt;
  return *day * kMicrosPerDay;
}

std::optional<int64_t> parseTimeText(std::u16string_view text) {
  text = trimSpaces(text);
  size_t at = 0;
  auto micros = parseTimeMicros(text, &at);
  if (!micros || at != text.size()) return std::nullopt;
  return micros;
}

std::optional<int64_t> parseTimeStampText(std::u16string_view text) {
  text = trimSpaces(text);
  size_t at = 0;
  auto day = parseDateDays(text, &at);
  if (!day || at >= text.size() || text[at] != u' ') return std::nullopt;
  while (at < text.size() && text[at] == u' ') ++at;
  auto micros = parseTimeMicros(text, &at);
  if (!micros || at != text.size() || *micros < 0 || *micros >= kMicrosPerDay) return std::nullopt;
  return *day * kMicrosPerDay + *micros;
}

std::optional<Decimal> asNumber(const Value& value) {
  if (value.isError) return std::nullopt;
  switch (value.type) {
    case kFmxTypeText:
      return parseNumberText(value.text.units);
    case kFmxTypeNumber:
    case kFmxTypeBoolean:
      return value.number;
    case kFmxTypeDate:
      return Decimal::fromInt(floorDiv(value.micros, kMicrosPerDay));
    case kFmxTypeTime:
    case kFmxTypeTimeStamp:
      return microsToSeconds(value.micros).trimmed();
    default:
      return std::nullopt;
  }
}

namespace {

int64_t numberToMicros(const std::optional<Decimal>& number, int64_t unitMicros) {
  if (!number) return 0;
  auto micros = (*number * Decimal::fromInt(unitMicros)).toScaledInt64(0);
  if (!micros) return 0;
  return std::clamp<int64_t>(*micros, 0, (kLastDay + 1) * kMicrosPerDay - 1);
}

int64_t textToMicros(const std::u16string& text, bool dateFirst) {
  return textMoment(text, dateFirst).micros.value_or(0);
}

}  // namespace

TextMoment textMoment(std::u16string_view text, bool numbersCountDays) {
  std::u16string_view trimmed = trimSpaces(text);
  if (trimmed.empty()) return TextMoment{true, std::nullopt};
  if (auto ts = parseTimeStampText(trimmed)) return TextMoment{false, *ts};
  if (auto d = parseDateText(trimmed)) return TextMoment{false, *d};
  if (auto t = parseTimeText(trimmed)) return TextMoment{false, *t};
  // Text written as a date or a time that is none (2/29/2023, 13/1/2024, 25:99) is invalid; reading
  // its digits as one number would give a moment thousands of years away.
  if (trimmed.find_first_of(u"/:") != std::u16string_view::npos) return TextMoment{};
  auto number = parseNumberText(trimmed);
  if (!number) return TextMoment{};
  return TextMoment{false, numberToMicros(number, numbersCountDays ? kMicrosPerDay : kMicrosPerSecond)};
}

Value momentFromText(std::u16string_view text, int32_t nativeType) {
  TextMoment moment = textMoment(text, nativeType == kFmxTypeDate);
  if (moment.empty) return Value::ofText(u"");
  if (!moment.micros) return Value::error();
  switch (nativeType) {
    case kFmxTypeDate:
      return Value::ofMoment(kFmxTypeDate, floorDiv(*moment.micros, kMicrosPerDay) * kMicrosPerDay);
    case kFmxTypeTime:
      return Value::ofMoment(kFmxTypeTime, *moment.micros);
    default:
      return Value::ofMoment(kFmxTypeTimeStamp, *moment.micros);
  }
}

namespace {

// A value as a moment: moments as they are; text and numbers read as days (a date's view) or seconds.
int64_t momentMicros(const Value& value, bool numbersCountDays) {
  switch (value.type) {
    case kFmxTypeDate:
    case kFmxTypeTime:
    case kFmxTypeTimeStamp:
      return value.micros;
    case kFmxTypeText:
      return textToMicros(value.text.units, numbersCountDays);
    case kFmxTypeNumber:
    case kFmxTypeBoolean:
      return numberToMicros(value.number, numbersCountDays ? kMicrosPerDay : kMicrosPerSecond);
    default:
      return 0;
  }
}

}  // namespace

int64_t asDateMicros(const Value& value) {
  return momentMicros(value, true);
}

int64_t asTimeStampMicros(const Value& value) {
  return momentMicros(value, false);
}

std::vector<Stream> asStreams(const Value& value) {
  return value.type == kFmxTypeBinary ? value.streams : std::vector<Stream>{};
}

bool asBoolean(const Value& value) {
  if (value.isError) return false;
  if (value.type == kFmxTypeDate || value.type == kFmxTypeTime || value.type == kFmxTypeTimeStamp) {
    return value.micros != 0;
  }
  if (value.type == kFmxTypeBinary) return !value.streams.empty();
  auto number = asNumber(value);
  return number && !number->isZero();
}

std::optional<Value> valueFromText(const StyledText& text, int32_t nativeType) {
  switch (nativeType) {
    case kFmxTypeText:
      return Value::ofText(text);
    case kFmxTypeNumber: {
      Value v;
      v.type = kFmxTypeNumber;
      v.number = parseNumberText(text.units);
      return v;
    }
    case kFmxTypeBoolean: {
      auto number = parseNumberText(text.units);
      return Value::ofBoolean(number && !number->isZero());
    }
    case kFmxTypeDate:
    case kFmxTypeTime:
    case kFmxTypeTimeStamp:
      return momentFromText(text.units, nativeType);
    default:
      return std::nullopt;
  }
}

}  // namespace fmsim
