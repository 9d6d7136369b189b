// Character translation tables: an outgoing and an incoming byte map, loaded
// from translation files into a process-wide store of ten.
#pragma once
#include <cstdint>

inline constexpr int32_t TRANSLATION_NAME_MAX = 512;  // name field, NUL included
inline constexpr int32_t TRANSLATION_STORE_SIZE = 10;
inline constexpr int32_t TRANSLATION_LINE_MAX = 512;  // one read: 511 characters

struct TranslationTable {
  char name[TRANSLATION_NAME_MAX];  // the file name exactly as given to TranslationFind
  uint8_t outgoing[256];            // entry 0: the byte goes unchanged
  uint8_t incoming[256];            // entry 0: the byte arrives unchanged
};

// The table of the translation file `name`, loaded on first use and kept for
// the life of the process. Null for a null, empty or all-blank name, a name of
// TRANSLATION_NAME_MAX characters or more (it cannot be kept whole), a full
// store, or a file that cannot be opened or read. Names are told apart like
// StrCompare does (case counts, trailing blanks do not). Lookup and load are
// serialised, so threads may call this at the same time.
TranslationTable* TranslationFind(const char* name);
// Loads `name` into the next free record of the store; null as above. Only
// TranslationFind calls it; the caller holds the store's lock.
TranslationTable* TranslationLoad(const char* name);

// Copies the counted source through the outgoing map (a null table copies
// plainly). At most size - 1 bytes for SQL_NTS, then a NUL; at most size
// bytes and no NUL for an explicit length. The areas may overlap. Returns the
// bytes written, the NUL not counted.
int32_t TranslateOut(const TranslationTable* table, const char* source, int32_t length, char* destination,
                     int32_t size);
// Copies the counted source through the incoming map. With a table, trailing
// blanks and NULs of the source are dropped; without one it is a StrCopy.
// Source and destination may be the same buffer. Returns the bytes written.
int32_t TranslateIn(const TranslationTable* table, const char* source, int32_t length, char* destination,
                    int32_t size);
// One byte through the incoming map.
uint8_t TranslateByteIn(const TranslationTable* table, uint8_t byte);

// Reads the translation file `name` into both maps of `table` (its name is
// left alone): the lines before a slash token fill the outgoing map, those
// after it the incoming one, which is otherwise derived from the outgoing
// map. False when the file cannot be opened or a read fails.
bool TranslationReadFile(const char* name, TranslationTable* table);

// Number of records in use; for tests and checks.
int32_t TranslationStoreCount();
