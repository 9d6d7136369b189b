#include "runtime/strings.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/sysinfo.h"
#include "runtime/diag.h"

int32_t StrLen(const char* text, int32_t length) {
  if (text == nullptr) return 0;
  if (length == SQL_NTS) return static_cast<int32_t>(std::strlen(text));
  return length > 0 ? length : 0;
}

int32_t StrLenTrim(const char* text, int32_t length) {
  int32_t n = StrLen(text, length);
  while (n > 0 && (text[n - 1] == ' ' || text[n - 1] == '\0')) --n;
  return n;
}

int32_t StrLenTrimNul(const char* text, int32_t length) {
  int32_t n = StrLen(text, length);
  while (n > 0 && text[n - 1] == '\0') --n;
  return n;
}

static void PostTruncated(DiagArea* area) { DiagPost(area, STR_STATE_TRUNCATED, 1, SQL_SUCCESS_WITH_INFO, STR_MSG_TRUNCATED); }

SqlReturn StrCopy(DiagArea* area, char* destination, int32_t destinationSize, const char* source,
                  int32_t sourceLength) {
  int32_t n = StrLen(source, sourceLength);
  if (destination == nullptr) {
    if (n > 0) PostTruncated(area);
    return DiagReturnCode(area);
  }
  if (destinationSize <= 0) {
    PostTruncated(area);
    return DiagReturnCode(area);
  }
  if (n == 0) {
    destination[0] = '\0';
    return SQL_SUCCESS;
  }
  // memmove: a caller may copy a part of the destination onto itself.
  if (n < destinationSize) {
    std::memmove(destination, source, static_cast<size_t>(n));
    destination[n] = '\0';
    return DiagReturnCode(area);
  }
  std::memmove(destination, source, static_cast<size_t>(destinationSize - 1));
  destination[destinationSize - 1] = '\0';
  PostTruncated(area);
  return DiagReturnCode(area);
}

SqlReturn StrAppend(DiagArea* area, char* destination, int32_t destinationSize, int32_t destinationLength,
                    const char* source, int32_t sourceLength) {
  if (destination == nullptr) {
    if (StrLen(source, sourceLength) > 0) PostTruncated(area);
    return DiagReturnCode(area);
  }
  // A NUL-terminated destination is measured within its size only: one with
  // no NUL inside the buffer counts as full instead of being read past its end.
  int32_t d;
  if (destinationLength == SQL_NTS) {
    size_t bound = destinationSize > 0 ? static_cast<size_t>(destinationSize) : 0;
    d = static_cast<int32_t>(strnlen(destination, bound));
  } else {
    d = StrLen(destination, destinationLength);
  }
  if (destinationSize >= d) StrCopy(area, destination + d, destinationSize - d, source, sourceLength);
  return DiagReturnCode(area);
}

char* StrDup(DiagArea* area, HeapSegment* heap, const char* source, int32_t sourceLength) {
  int32_t n = StrLenTrim(source, sourceLength);
  if (n == 0) return nullptr;
  // The size is requested as 16 bits, NUL included: a longer text has no copy
  // rather than one of a wrapped-around size.
  if (n >= 65535) return nullptr;
  auto* copy = static_cast<char*>(DiagAlloc(area, heap, static_cast<uint16_t>(n + 1)));
  if (copy == nullptr) return nullptr;
  std::memcpy(copy, source, static_cast<size_t>(n));
  copy[n] = '\0';
  return copy;
}

int StrCompare(const char* text1, int32_t length1, const char* text2, int32_t length2) {
  int32_t l1 = StrLen(text1, length1);
  int32_t l2 = StrLen(text2, length2);
  if ((l1 > 0 && std::memchr(text1, '\0', static_cast<size_t>(l1)) != nullptr) ||
      (l2 > 0 && std::memchr(text2, '\0', static_cast<size_t>(l2)) != nullptr))
    return StrCompareBytes(text1, l1, text2, l2);
  int32_t t1 = StrLenTrim(text1, length1);
  int32_t t2 = StrLenTrim(text2, length2);
  if (t1 == 0 && t2 == 0) return 0;
  switch (PlatformCompareString(t1 > 0 ? text1 : "", t1, t2 > 0 ? text2 : "", t2)) {
    case PLATFORM_CSTR_LESS_THAN:
      return -1;
    case PLATFORM_CSTR_EQUAL:
      return 0;
    default:  // greater, or the call failed
      return 1;
  }
}

int StrCompareBytes(const char* text1, int32_t length1, const char* text2, int32_t length2) {
  int32_t m1 = StrLenTrimNul(text1, length1);
  int32_t m2 = StrLenTrimNul(text2, length2);
  if (m1 == 0 && m2 == 0) return 0;
  if (m1 == 0) return -1;
  if (m2 == 0) return 1;
  int32_t common = m1 < m2 ? m1 : m2;
  int order = std::memcmp(text1, text2, static_cast<size_t>(common));
  if (m1 == m2) return (order > 0) - (order < 0);
  if (m1 > m2) return order < 0 ? -1 : 1;
  return order > 0 ? 1 : -1;
}

int IsSlash(int character) { return character == '\\' || character == '/' ? 1 : 0; }

// A result longer than the capacity is cut and NUL-terminated; the count is
// still the full length, as sprintf would have written it.
int StrFormat(char* destination, int32_t capacity, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int count;
  if (destination == nullptr || capacity <= 0) {
    count = std::vsnprintf(nullptr, 0, format, args);
  } else {
    count = std::vsnprintf(destination, static_cast<size_t>(capacity), format, args);
    destination[capacity - 1 < count ? capacity - 1 : (count >= 0 ? count : 0)] = '\0';
  }
  va_end(args);
  return count;
}
