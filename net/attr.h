// Connection strings: items "key=value" separated by ';', with brace quoting,
// parsed into a NodeList of Attribute records in text order.
//
// Every layer of the connection machinery parses the string itself, walks the
// list from first to last and picks out the keys it knows; there is no lookup
// and no schema. Everything a parse makes (the scanner, the records, the key
// and value copies) lives in the heap its caller passes, and is released by
// destroying that heap as a whole.
#pragma once
#include <cstdint>

#include "runtime/diag.h"

// One item of a connection string. `key` and `value` are StrDup copies
// (trailing blanks dropped, leading blanks kept); null when the text is empty
// or all blanks, or when there is no value. The lengths are always SQL_NTS.
struct Attribute {
  char* key;
  int32_t keyLength;
  char* value;
  int32_t valueLength;
};

inline constexpr int32_t TOKEN_END = 0;
inline constexpr int32_t TOKEN_SEPARATOR = 1;
inline constexpr int32_t TOKEN_WORD = 2;

// The separators of a connection string.
inline constexpr const char* ATTR_SEPARATORS = ";=";

// A token: for a separator, `start` is the index of its character and
// `length` 1; for a word, text[start] .. text[start + length - 1] is its text,
// always inside the scanned text (see AttrNextToken).
struct AttrToken {
  int32_t kind;
  int32_t start;
  int32_t length;
};

struct AttrScanner {
  const char* text;
  int32_t length;    // characters to scan; trailing blanks and NULs excluded
  int32_t position;  // next character to read; may pass `length` by one at the end
  AttrToken token;   // the token found last
};

// Parses `text` (a counted string) and appends one Attribute per key to
// `list`, in text order. Malformed text never fails; out of memory posts
// "HY001" (see the definition for what is kept). With a null list the
// records are made but not appended. Returns the area's return code.
SqlReturn AttrListParse(DiagArea* area, Heap heap, NodeList* list, const char* text, int32_t length);

// 1 when both lists hold the same number of attributes and each attribute of
// `first` finds the first attribute of `second` with the same key (byte for
// byte; a null key only matches a null key) and a StrCompare-equal value;
// else 0. Moves both lists' cursors.
int AttrListEqual(NodeList* first, NodeList* second);

// Reads the next token into scanner->token; `separators` is the NUL-terminated
// set of separator characters.
void AttrNextToken(AttrScanner* scanner, const char* separators);

// The character at `position` when it lies inside the scanned length (it may
// be NUL), else 0; `position` advances by one in every case.
char AttrNextChar(AttrScanner* scanner);
