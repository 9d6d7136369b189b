// Counted strings: a pointer and a signed 32-bit length.
//
// SQL_NTS (-3) means the text runs up to its first NUL; a length above 0 is
// exact (NULs among the bytes are data); any other length, or a null
// pointer, is the empty text. Output buffers are given with their size in
// bytes, the NUL included, and every output is NUL-terminated. Texts are
// single-byte ANSI (the German messages are Windows-1252).
#pragma once
#include <cstdint>

struct DiagArea;
struct HeapSegment;

// ODBC return codes, and the type of an area's return code.
using SqlReturn = int16_t;
inline constexpr SqlReturn SQL_SUCCESS = 0;
inline constexpr SqlReturn SQL_SUCCESS_WITH_INFO = 1;
inline constexpr SqlReturn SQL_STILL_EXECUTING = 2;
inline constexpr SqlReturn SQL_NEED_DATA = 99;
inline constexpr SqlReturn SQL_NO_DATA = 100;
inline constexpr SqlReturn SQL_ERROR = -1;
inline constexpr SqlReturn SQL_INVALID_HANDLE = -2;

inline constexpr int32_t SQL_NTS = -3;

// The truncation warning posted by StrCopy and StrAppend.
inline constexpr const char* STR_STATE_TRUNCATED = "01004";
inline constexpr const char* STR_MSG_TRUNCATED = "Daten wurden abgeschnitten ";

// Length in bytes by the convention above (0 for a null pointer).
int32_t StrLen(const char* text, int32_t length);
// StrLen less all trailing blanks (0x20) and NUL bytes.
int32_t StrLenTrim(const char* text, int32_t length);
// StrLen less trailing NUL bytes only; blanks stay.
int32_t StrLenTrimNul(const char* text, int32_t length);

// Bounded copy: as much of the source as fits (size - 1 bytes), always
// NUL-terminated; a cut posts "01004". Returns the whole area's return code
// (0 with a null area; 0 for an empty source into a valid destination).
SqlReturn StrCopy(DiagArea* area, char* destination, int32_t destinationSize, const char* source,
                  int32_t sourceLength);
// Appends behind the text already in the destination (its length given by
// the convention above), by StrCopy into the room left.
SqlReturn StrAppend(DiagArea* area, char* destination, int32_t destinationSize, int32_t destinationLength,
                    const char* source, int32_t sourceLength);
// A NUL-terminated copy of the trimmed source in `heap`; null for an empty or
// all-blank source (nothing posted), for 65535 bytes or more, and when the
// heap is exhausted ("HY001" posted).
char* StrDup(DiagArea* area, HeapSegment* heap, const char* source, int32_t sourceLength);
// Three-way comparison (-1, 0, 1); trailing blanks never decide it. Texts
// holding a NUL within their length are compared by StrCompareBytes.
int StrCompare(const char* text1, int32_t length1, const char* text2, int32_t length2);
// Byte-wise comparison of counted texts that may hold NULs; trailing NULs
// are dropped, blanks are not.
int StrCompareBytes(const char* text1, int32_t length1, const char* text2, int32_t length2);
// 1 for '\\' and '/', else 0.
int IsSlash(int character);
// sprintf into `destination` of `capacity` bytes; never writes past it (a
// longer result is cut, NUL-terminated). Returns the count sprintf gives.
int StrFormat(char* destination, int32_t capacity, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
