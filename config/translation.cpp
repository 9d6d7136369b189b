#include "config/translation.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/file.h"
#include "platform/sync.h"
#include "runtime/strings.h"

namespace {

TranslationTable store[TRANSLATION_STORE_SIZE];
int32_t storeCount = 0;

// Serialises lookup and load: a record is filled before the count covers it,
// and two threads loading at once would take the same free record.
PlatformCriticalSection StoreLock() {
  static PlatformCriticalSection lock = PlatformCriticalSectionCreate();
  return lock;
}

bool IsWhite(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

// Whether a byte-wise copy from `source` to `destination` may run forward:
// it may unless the destination starts inside the source's bytes.
bool CopiesForward(const char* destination, const char* source) {
  return reinterpret_cast<uintptr_t>(destination) <= reinterpret_cast<uintptr_t>(source);
}

// One number as sscanf's "%u" or "%x" reads it from the start of `p`: an
// optional sign, for hexadecimal an optional "0x", then digits; a minus
// negates modulo 2^32. `overflow` tells whether the
// magnitude passed 2^32 - 1. Returns the characters taken, 0 when no number
// stands there. (The library's scanf leaves overflow undefined; the pairs
// only need the low 8 bits of the second number and a range check of the
// first.)
int ScanNumber(const char* p, bool hex, uint32_t* value, bool* overflow) {
  const char* q = p;
  bool negative = false;
  if (*q == '+' || *q == '-') negative = *q++ == '-';
  auto digit = [hex](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (!hex) return -1;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  if (hex && q[0] == '0' && (q[1] == 'x' || q[1] == 'X')) {
    // The hosts' scanf reads a "0x" with no digit after it as the number 0,
    // the prefix taken with it.
    if (digit(q[2]) < 0) {
      *value = 0;
      *overflow = false;
      return static_cast<int>(q + 2 - p);
    }
    q += 2;
  }
  if (digit(*q) < 0) return 0;
  uint64_t magnitude = 0;
  *overflow = false;
  for (int d; (d = digit(*q)) >= 0; ++q) {
    magnitude = magnitude * (hex ? 16 : 10) + static_cast<uint64_t>(d);
    if (magnitude > 0xFFFFFFFFull) {
      *overflow = true;
      magnitude &= 0xFFFFFFFFull;
    }
  }
  uint32_t v = static_cast<uint32_t>(magnitude);
  *value = negative ? 0u - v : v;
  return static_cast<int>(q - p);
}

// Matches the token against "%u:%u", "%x:%x", "%u:%x" and "%x:%u" in turn.
// True with the first pattern that yields both numbers; `firstInRange` tells
// whether the first number names a byte (0 to 255, no overflow, no minus).
bool ScanPair(const char* token, uint32_t* first, uint32_t* second, bool* firstInRange) {
  static const bool patterns[4][2] = {{false, false}, {true, true}, {false, true}, {true, false}};
  for (const auto& pattern : patterns) {
    bool overflowA = false;
    bool overflowB = false;
    int taken = ScanNumber(token, pattern[0], first, &overflowA);
    if (taken == 0 || token[taken] != ':') continue;
    if (ScanNumber(token + taken + 1, pattern[1], second, &overflowB) == 0) continue;
    *firstInRange = !overflowA && *first <= 255;
    return true;
  }
  return false;
}

// Reads the open translation file into both maps; false on a read error.
bool ReadTranslationLines(FILE* file, TranslationTable* table) {
  char line[TRANSLATION_LINE_MAX];
  bool incomingSection = false;
  while (std::fgets(line, sizeof line, file) != nullptr) {
    char* p = line;
    while (true) {
      while (*p != '\0' && IsWhite(*p)) ++p;
      if (*p == '\0') break;
      char* end = p;
      while (*end != '\0' && !IsWhite(*end)) ++end;
      char saved = *end;
      *end = '\0';
      if (!incomingSection && *p == '/') {
        incomingSection = true;
        break;
      }
      uint32_t a;
      uint32_t b;
      bool inRange;
      if (!ScanPair(p, &a, &b, &inRange)) break;  // not a pair: the rest of the line is comment
      // A first number outside 0 to 255 has no entry in a map; that pair is
      // refused and the line reads on.
      if (inRange) (incomingSection ? table->incoming : table->outgoing)[a] = static_cast<uint8_t>(b & 0xFF);
      *end = saved;
      p = end;
    }
  }
  if (std::ferror(file)) return false;
  if (!incomingSection)
    for (int i = 0; i < 256; ++i) table->incoming[table->outgoing[i]] = static_cast<uint8_t>(i);
  return true;
}

}  // namespace

bool TranslationReadFile(const char* name, TranslationTable* table) {
  if (name == nullptr || table == nullptr) return false;
  FILE* file = PlatformFileOpen(name, "r");
  if (file == nullptr) return false;
  std::memset(table->outgoing, 0, sizeof table->outgoing);
  std::memset(table->incoming, 0, sizeof table->incoming);
  bool ok = ReadTranslationLines(file, table);
  std::fclose(file);
  return ok;
}

TranslationTable* TranslationLoad(const char* name) {
  if (name == nullptr || storeCount >= TRANSLATION_STORE_SIZE) return nullptr;
  size_t nameLength = std::strlen(name);
  if (nameLength >= static_cast<size_t>(TRANSLATION_NAME_MAX)) return nullptr;
  TranslationTable* table = &store[storeCount];
  std::memset(table->name, 0, sizeof table->name);
  std::memcpy(table->name, name, nameLength);
  // A record that failed stays free: the count covers only loaded ones.
  if (!TranslationReadFile(name, table)) return nullptr;
  ++storeCount;
  return table;
}

TranslationTable* TranslationFind(const char* name) {
  if (StrLenTrim(name, SQL_NTS) == 0) return nullptr;
  // A name the record cannot hold whole is refused: a cut name would be
  // found again for other files.
  if (std::strlen(name) >= static_cast<size_t>(TRANSLATION_NAME_MAX)) return nullptr;
  PlatformCriticalSection lock = StoreLock();
  if (lock == nullptr) return nullptr;
  PlatformCriticalSectionEnter(lock);
  TranslationTable* found = nullptr;
  for (int32_t i = 0; i < storeCount && found == nullptr; ++i)
    if (StrCompare(store[i].name, SQL_NTS, name, SQL_NTS) == 0) found = &store[i];
  if (found == nullptr) found = TranslationLoad(name);
  PlatformCriticalSectionLeave(lock);
  return found;
}

int32_t TranslationStoreCount() {
  PlatformCriticalSection lock = StoreLock();
  if (lock == nullptr) return storeCount;
  PlatformCriticalSectionEnter(lock);
  int32_t count = storeCount;
  PlatformCriticalSectionLeave(lock);
  return count;
}

int32_t TranslateOut(const TranslationTable* table, const char* source, int32_t length, char* destination,
                     int32_t size) {
  int32_t n = StrLen(source, length);
  if (destination == nullptr || size < 1) return 0;
  int32_t limit = length == SQL_NTS ? size - 1 : size;
  if (n > limit) n = limit;
  if (table == nullptr) {
    if (destination != source && n > 0) std::memmove(destination, source, static_cast<size_t>(n));
  } else if (n > 0) {
    // Forward when the destination starts at or before the source, backward
    // otherwise, so that overlapping areas read every byte before it is
    // overwritten.
    auto map = [table](char c) {
      uint8_t x = static_cast<uint8_t>(c);
      return static_cast<char>(table->outgoing[x] != 0 ? table->outgoing[x] : x);
    };
    if (CopiesForward(destination, source))
      for (int32_t i = 0; i < n; ++i) destination[i] = map(source[i]);
    else
      for (int32_t i = n; i-- > 0;) destination[i] = map(source[i]);
  }
  if (length == SQL_NTS) destination[n] = '\0';
  return n;
}

int32_t TranslateIn(const TranslationTable* table, const char* source, int32_t length, char* destination,
                    int32_t size) {
  if (destination == nullptr || size < 1) return 0;
  if (table == nullptr) {
    if (destination != source) StrCopy(nullptr, destination, size, source, length);
    const void* end = std::memchr(destination, '\0', static_cast<size_t>(size));
    return end != nullptr ? static_cast<int32_t>(static_cast<const char*>(end) - destination) : size;
  }
  int32_t n = StrLenTrim(source, length);
  if (n == 0) {
    destination[0] = '\0';
    return 0;
  }
  if (n > size - 1) n = size - 1;
  if (CopiesForward(destination, source))
    for (int32_t i = 0; i < n; ++i) destination[i] = static_cast<char>(TranslateByteIn(table, static_cast<uint8_t>(source[i])));
  else
    for (int32_t i = n; i-- > 0;) destination[i] = static_cast<char>(TranslateByteIn(table, static_cast<uint8_t>(source[i])));
  if (length == SQL_NTS) destination[n] = '\0';
  return n;
}

uint8_t TranslateByteIn(const TranslationTable* table, uint8_t byte) {
  if (table == nullptr || table->incoming[byte] == 0) return byte;
  return table->incoming[byte];
}
