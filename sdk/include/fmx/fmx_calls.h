// The host's FM_ operations the module calls. Each takes the host object first and the error record
// last; the host reports failures in the record's code (1 out of memory, 2 any other failure). Callable
// from any thread the host allows; the declarations themselves carry no state.
#ifndef FMX_FMX_CALLS_H
#define FMX_FMX_CALLS_H

#include "fmx/fmx_types.h"

// Four-character codes. The 32-bit form carries the first character in the most significant byte.
FMX_FUNCTION FmxQuadChar* FM_QuadChar_Constructor1(HostErrorRecord* err);
FMX_FUNCTION FmxQuadChar* FM_QuadChar_Constructor2(char c0, char c1, char c2, char c3, HostErrorRecord* err);
FMX_FUNCTION uint32_t FM_QuadChar_GetMacType(const FmxQuadChar* code, HostErrorRecord* err);
FMX_FUNCTION void FM_QuadChar_SetMacType(FmxQuadChar* code, uint32_t value, HostErrorRecord* err);
FMX_FUNCTION void FM_QuadChar_Delete(FmxQuadChar* code, HostErrorRecord* err);

// Fixed-point numbers: exact decimals with a precision (digits kept after the point).
FMX_FUNCTION FmxFixPt* FM_FixPt_Constructor1(int32_t value, int32_t precision, HostErrorRecord* err);
FMX_FUNCTION void FM_FixPt_AssignInt(FmxFixPt* number, int32_t value, HostErrorRecord* err);
FMX_FUNCTION int32_t FM_FixPt_AsLong(const FmxFixPt* number, HostErrorRecord* err);
FMX_FUNCTION double FM_FixPt_AsFloat(const FmxFixPt* number, HostErrorRecord* err);
FMX_FUNCTION void FM_FixPt_Delete(FmxFixPt* number, HostErrorRecord* err);

// Texts: UTF-16 units, each with a character style. A count of 0xFFFFFFFF means "to the end".
FMX_FUNCTION FmxText* FM_Text_Constructor1(HostErrorRecord* err);
FMX_FUNCTION void FM_Text_AssignUnicode(FmxText* text, const uint16_t* units, HostErrorRecord* err);
FMX_FUNCTION void FM_Text_AssignUnicodeWithLength(FmxText* text, const uint16_t* units, uint32_t count,
                                                  HostErrorRecord* err);
FMX_FUNCTION void FM_Text_AppendText(FmxText* text, const FmxText* source, uint32_t position, uint32_t count,
                                     HostErrorRecord* err);
FMX_FUNCTION uint32_t FM_Text_GetSize(const FmxText* text, HostErrorRecord* err);
FMX_FUNCTION void FM_Text_GetUnicode(const FmxText* text, uint16_t* destination, uint32_t position,
                                     uint32_t count, HostErrorRecord* err);
FMX_FUNCTION void FM_Text_GetStyle(const FmxText* text, FmxCharacterStyle* style, uint32_t position,
                                   HostErrorRecord* err);
FMX_FUNCTION void FM_Text_GetDefaultStyle(const FmxText* text, FmxCharacterStyle* style,
                                          HostErrorRecord* err);
FMX_FUNCTION void FM_Text_SetStyle(FmxText* text, const FmxCharacterStyle* style, uint32_t position,
                                   uint32_t count, HostErrorRecord* err);
FMX_FUNCTION void FM_Text_Delete(FmxText* text, HostErrorRecord* err);

// Colors and character styles. Font, face and size arrive as the caller's int; the host keeps 16 bits.
FMX_FUNCTION FmxColor* FM_Color_Constructor1(HostErrorRecord* err);
FMX_FUNCTION void FM_Color_SetRed(FmxColor* color, uint8_t value, HostErrorRecord* err);
FMX_FUNCTION void FM_Color_SetGreen(FmxColor* color, uint8_t value, HostErrorRecord* err);
FMX_FUNCTION void FM_Color_SetBlue(FmxColor* color, uint8_t value, HostErrorRecord* err);
FMX_FUNCTION void FM_Color_SetAlpha(FmxColor* color, uint8_t value, HostErrorRecord* err);
FMX_FUNCTION void FM_Color_Delete(FmxColor* color, HostErrorRecord* err);

FMX_FUNCTION FmxCharacterStyle* FM_CharacterStyle_Constructor1(HostErrorRecord* err);
FMX_FUNCTION void FM_CharacterStyle_SetFont(FmxCharacterStyle* style, int32_t font, HostErrorRecord* err);
FMX_FUNCTION void FM_CharacterStyle_SetFace(FmxCharacterStyle* style, int32_t face, HostErrorRecord* err);
FMX_FUNCTION void FM_CharacterStyle_SetSize(FmxCharacterStyle* style, int32_t size, HostErrorRecord* err);
FMX_FUNCTION uint16_t FM_CharacterStyle_GetFont(const FmxCharacterStyle* style, HostErrorRecord* err);
FMX_FUNCTION uint16_t FM_CharacterStyle_GetFace(const FmxCharacterStyle* style, HostErrorRecord* err);
FMX_FUNCTION uint16_t FM_CharacterStyle_GetSize(const FmxCharacterStyle* style, HostErrorRecord* err);
FMX_FUNCTION void FM_CharacterStyle_SetColor(FmxCharacterStyle* style, const FmxColor* color,
                                             HostErrorRecord* err);
FMX_FUNCTION void FM_CharacterStyle_Delete(FmxCharacterStyle* style, HostErrorRecord* err);

// Data values and their views. A view belongs to the data it came from and lives as long as it does.
FMX_FUNCTION FmxData* FM_Data_Constructor1(HostErrorRecord* err);
FMX_FUNCTION bool FM_Data_IsEmpty(const FmxData* data, HostErrorRecord* err);
FMX_FUNCTION const FmxFixPt* FM_Data_GetAsNumber(const FmxData* data, HostErrorRecord* err);
FMX_FUNCTION const FmxDateTime* FM_Data_GetAsDate(const FmxData* data, HostErrorRecord* err);
FMX_FUNCTION const FmxDateTime* FM_Data_GetAsTimeStamp(const FmxData* data, HostErrorRecord* err);
FMX_FUNCTION const FmxText* FM_Data_GetAsText(const FmxData* data, HostErrorRecord* err);
FMX_FUNCTION const FmxBinaryData* FM_Data_GetBinaryData(const FmxData* data, HostErrorRecord* err);
FMX_FUNCTION const FmxLocale* FM_Data_GetLocale(const FmxData* data, HostErrorRecord* err);
FMX_FUNCTION int32_t FM_Data_GetNativeType(const FmxData* data, HostErrorRecord* err);
FMX_FUNCTION int16_t FM_Data_SetAsText(FmxData* data, const FmxText* text, const FmxLocale* locale,
                                       int32_t nativeType, HostErrorRecord* err);
FMX_FUNCTION void FM_Data_SetAsTime(FmxData* data, const FmxDateTime* time, int32_t nativeType,
                                    HostErrorRecord* err);
FMX_FUNCTION void FM_Data_SetAsTimeStamp(FmxData* data, const FmxDateTime* timeStamp, int32_t nativeType,
                                         HostErrorRecord* err);
FMX_FUNCTION void FM_Data_SetBinaryData(FmxData* data, const FmxBinaryData* binary, bool forceBinaryType,
                                        HostErrorRecord* err);
FMX_FUNCTION void FM_Data_Delete(FmxData* data, HostErrorRecord* err);

// The parameter vector of a function call.
FMX_FUNCTION uint32_t FM_DataVect_Size(const FmxDataVect* vector, HostErrorRecord* err);
FMX_FUNCTION const FmxData* FM_DataVect_At(const FmxDataVect* vector, uint32_t index, HostErrorRecord* err);

// Expression environments, evaluation and function registration.
FMX_FUNCTION FmxExprEnv* FM_ExprEnv_Constructor1(HostErrorRecord* err);
FMX_FUNCTION int16_t FM_ExprEnv_Evaluate(const FmxExprEnv* env, const FmxText* expression, FmxData* result,
                                         HostErrorRecord* err);
FMX_FUNCTION void FM_ExprEnv_Delete(FmxExprEnv* env, HostErrorRecord* err);
FMX_FUNCTION int16_t FM_ExprEnv_RegisterExternalFunction(const FmxQuadChar* pluginId, int16_t functionId,
                                                         const FmxText* name, const FmxText* prototype,
                                                         int16_t minArgs, int16_t maxArgs, uint32_t flags,
                                                         FmxExternalFunction callback, HostErrorRecord* err);
// The same with a one-line description, which the host shows beside the function.
FMX_FUNCTION int16_t FM_ExprEnv_RegisterExternalFunctionEx(const FmxQuadChar* pluginId, int16_t functionId,
                                                           const FmxText* name, const FmxText* prototype,
                                                           const FmxText* description, int16_t minArgs,
                                                           int16_t maxArgs, uint32_t flags,
                                                           FmxExternalFunction callback,
                                                           HostErrorRecord* err);

// Date-times: days since the host's epoch (0001-01-01 is day 1) and seconds since midnight. Seconds
// since the epoch count 1970-01-01 00:00:00 as 62135683200.
FMX_FUNCTION FmxDateTime* FM_DateTime_Constructor1(HostErrorRecord* err);
FMX_FUNCTION int16_t FM_DateTime_SetNormalizedDate2(FmxDateTime* dateTime, const FmxFixPt* year,
                                                    const FmxFixPt* month, const FmxFixPt* day,
                                                    HostErrorRecord* err);
FMX_FUNCTION int16_t FM_DateTime_SetNormalizedTime1(FmxDateTime* dateTime, int64_t hour, int32_t minute,
                                                    int32_t second, int32_t microsecond,
                                                    HostErrorRecord* err);
FMX_FUNCTION void FM_DateTime_SetSecsSinceMidnight(FmxDateTime* dateTime, const FmxFixPt* seconds,
                                                   HostErrorRecord* err);
FMX_FUNCTION int32_t FM_DateTime_GetDaysSinceEpoch(const FmxDateTime* dateTime, HostErrorRecord* err);
FMX_FUNCTION void FM_DateTime_GetSecsSinceMidnight(const FmxDateTime* dateTime, FmxFixPt* seconds,
                                                   HostErrorRecord* err);
FMX_FUNCTION void FM_DateTime_GetSecondsSinceEpoch(const FmxDateTime* dateTime, FmxFixPt* seconds,
                                                   HostErrorRecord* err);
FMX_FUNCTION void FM_DateTime_Delete(FmxDateTime* dateTime, HostErrorRecord* err);

// Binary (container) data: an ordered list of streams, each a run of bytes with a four-character type.
FMX_FUNCTION FmxBinaryData* FM_BinaryData_Constructor1(HostErrorRecord* err);
FMX_FUNCTION FmxBinaryData* FM_BinaryData_Constructor2(const FmxBinaryData* source, HostErrorRecord* err);
FMX_FUNCTION int32_t FM_BinaryData_GetCount(const FmxBinaryData* binary, HostErrorRecord* err);
FMX_FUNCTION uint32_t FM_BinaryData_GetTotalSize(const FmxBinaryData* binary, HostErrorRecord* err);
FMX_FUNCTION void FM_BinaryData_GetType(const FmxBinaryData* binary, int32_t index, FmxQuadChar* type,
                                        HostErrorRecord* err);
FMX_FUNCTION uint32_t FM_BinaryData_GetSize(const FmxBinaryData* binary, int32_t index, HostErrorRecord* err);
FMX_FUNCTION void FM_BinaryData_GetData(const FmxBinaryData* binary, int32_t index, uint32_t offset,
                                        uint32_t amount, void* destination, HostErrorRecord* err);
FMX_FUNCTION int16_t FM_BinaryData_Add(FmxBinaryData* binary, const FmxQuadChar* type, uint32_t amount,
                                       const void* source, HostErrorRecord* err);
FMX_FUNCTION bool FM_BinaryData_Remove(FmxBinaryData* binary, const FmxQuadChar* type, HostErrorRecord* err);
FMX_FUNCTION void FM_BinaryData_RemoveAll(FmxBinaryData* binary, HostErrorRecord* err);
FMX_FUNCTION void FM_BinaryData_Delete(FmxBinaryData* binary, HostErrorRecord* err);

#endif  // FMX_FMX_CALLS_H
