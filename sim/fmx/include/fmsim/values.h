// The host's own way to build and read FileMaker values: for the host driver (fmsim) and tests that hand
// values to a plug-in and check what it returns. These calls are not traced and trip no faults, but the
// objects they make are live objects like any other. Thread-safe.
#ifndef FMSIM_VALUES_H
#define FMSIM_VALUES_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fmx/fmx_types.h"

namespace fmsim {

// A character style: font id, face bits, size and an RGBA color.
struct CharStyle {
  uint16_t font = 0;
  uint16_t face = 0;
  uint16_t size = 12;
  uint8_t red = 0;
  uint8_t green = 0;
  uint8_t blue = 0;
  uint8_t alpha = 255;
  friend bool operator==(const CharStyle&, const CharStyle&) = default;
};

// One stream of container data: a four-character type (first character in the most significant byte)
// and its bytes.
struct Stream {
  uint32_t type = 0;
  std::vector<uint8_t> bytes;
  friend bool operator==(const Stream&, const Stream&) = default;
};

// "JPEG" -> 0x4A504547; shorter texts are padded with zero bytes.
FMX_HOST_API uint32_t fourCharCode(std::string_view code);

// ---- Building data values. Each returns a new data value (delete it with deleteData), or null when the
// input is not valid (a malformed number, styles that don't match the units, an impossible date).
FMX_HOST_API FmxData* makeEmptyData();
// `styles` is empty (every unit gets the default style) or holds one style per unit.
FMX_HOST_API FmxData* makeTextData(std::u16string_view units, const std::vector<CharStyle>& styles = {});
FMX_HOST_API FmxData* makeTextDataUtf8(std::string_view utf8);
// A decimal number such as "-12.5".
FMX_HOST_API FmxData* makeNumberData(std::string_view decimal);
FMX_HOST_API FmxData* makeBooleanData(bool value);
// Calendar fields are normalised the way the host's date-time setters do (month 13 is January of the
// next year, hour 25 is 1 o'clock the next day).
FMX_HOST_API FmxData* makeDateData(int32_t year, int32_t month, int32_t day);
FMX_HOST_API FmxData* makeTimeData(int64_t hour, int32_t minute, int32_t second);
FMX_HOST_API FmxData* makeTimeStampData(int32_t year, int32_t month, int32_t day, int64_t hour,
                                        int32_t minute, int32_t second);
FMX_HOST_API FmxData* makeContainerData(const std::vector<Stream>& streams);
// Returns false (and records a dead-object report) when `data` is not a live data value it may delete.
FMX_HOST_API bool deleteData(FmxData* data);

// ---- Reading data values back. Dead or foreign objects read as empty values.
FMX_HOST_API int32_t nativeType(const FmxData* data);
FMX_HOST_API bool isEmpty(const FmxData* data);
FMX_HOST_API std::u16string textUnits(const FmxData* data);
// One style per unit of textUnits(data).
FMX_HOST_API std::vector<CharStyle> textStyles(const FmxData* data);
// The value as FileMaker shows it, in UTF-8: numbers without trailing zeros, dates M/D/YYYY, times
// H:MM:SS, timestamps M/D/YYYY H:MM:SS, booleans 1 or 0, "?" for an error value.
FMX_HOST_API std::string displayText(const FmxData* data);
FMX_HOST_API std::vector<Stream> containerStreams(const FmxData* data);
// The number view as an exact decimal string ("12.5"); empty for a value without a number.
FMX_HOST_API std::string numberText(const FmxData* data);

// ---- Texts and styles the host makes for a plug-in.
FMX_HOST_API FmxText* makeText(std::u16string_view units);
FMX_HOST_API std::u16string textUnits(const FmxText* text);
FMX_HOST_API std::vector<CharStyle> textStyles(const FmxText* text);
FMX_HOST_API bool deleteText(FmxText* text);
FMX_HOST_API std::optional<CharStyle> characterStyle(const FmxCharacterStyle* style);

// ---- Parameter vectors. The vector takes the given data values over: they become its elements,
// read-only for a plug-in, and are deleted with it. Null entries become empty values.
FMX_HOST_API FmxDataVect* makeDataVect(const std::vector<FmxData*>& values);
FMX_HOST_API bool deleteDataVect(FmxDataVect* vector);

// ---- UTF-8 <-> UTF-16 for the host's texts (invalid UTF-8 becomes U+FFFD).
FMX_HOST_API std::u16string utf8ToUtf16(std::string_view utf8);
FMX_HOST_API std::string utf16ToUtf8(std::u16string_view units);

}  // namespace fmsim

#endif  // FMSIM_VALUES_H
