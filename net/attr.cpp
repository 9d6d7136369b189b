#include "net/attr.h"

#include <cstring>

static bool IsSeparator(char character, const char* separators) {
  for (const char* s = separators; *s != '\0'; ++s)
    if (*s == character) return true;
  return false;
}

char AttrNextChar(AttrScanner* scanner) {
  char character = scanner->position >= 0 && scanner->position < scanner->length ? scanner->text[scanner->position] : '\0';
  // Reading the end steps past it by one; the guard only matters for a text
  // of INT32_MAX characters, where the step would overflow.
  if (scanner->position < INT32_MAX) ++scanner->position;
  return character;
}

// A word ends before the first separator outside braces, at a NUL or at the
// end of the scanned length. A '{' at depth 0 or less opens a group and the
// word's text starts again just after it; '{' and '}' nested inside a group
// belong to the text; the '}' that brings the depth back to 0 (or a stray
// one below it) ends the text. Characters between the end of the text and
// the end of the word are passed over: ab{cd} gives cd, {ab}cd gives ab,
// {a}{b} gives b, a}b gives a. So the token's start and length always
// describe characters that were counted, all of them inside the word.
void AttrNextToken(AttrScanner* scanner, const char* separators) {
  AttrToken& token = scanner->token;
  token.start = scanner->position;
  token.length = 0;
  int32_t depth = 0;
  char character = AttrNextChar(scanner);
  if (character == '\0') {
    token.kind = TOKEN_END;
    return;
  }
  if (IsSeparator(character, separators)) {
    token.kind = TOKEN_SEPARATOR;
    token.length = 1;
    return;
  }
  bool textEnded = false;
  while (character != '\0') {
    if (depth <= 0 && IsSeparator(character, separators)) break;
    if (character == '{') {
      if (depth > 0) {
        if (!textEnded) ++token.length;
      } else {
        token.start = scanner->position;
        token.length = 0;
        textEnded = false;
      }
      ++depth;
    } else if (character == '}') {
      --depth;
      if (depth > 0) {
        if (!textEnded) ++token.length;
      } else {
        textEnded = true;
      }
    } else if (!textEnded) {
      ++token.length;
    }
    character = AttrNextChar(scanner);
  }
  // The character that ended the word is read again as the next token.
  --scanner->position;
  token.kind = TOKEN_WORD;
}

SqlReturn AttrListParse(DiagArea* area, Heap heap, NodeList* list, const char* text, int32_t length) {
  auto* scanner = static_cast<AttrScanner*>(DiagAlloc(area, heap, sizeof(AttrScanner)));
  if (scanner == nullptr) return DiagReturnCode(area);
  scanner->text = text;
  scanner->length = StrLenTrim(text, length);
  scanner->position = 0;
  const AttrToken& token = scanner->token;
  AttrNextToken(scanner, ATTR_SEPARATORS);
  while (token.kind != TOKEN_END) {
    if (token.kind == TOKEN_SEPARATOR) {
      if (text[token.start] == ';') {
        AttrNextToken(scanner, ATTR_SEPARATORS);
      } else {
        // An '=' without a key before it: everything up to the next separator
        // is discarded; that separator is read as usual.
        do {
          AttrNextToken(scanner, ATTR_SEPARATORS);
        } while (token.kind == TOKEN_WORD);
      }
      continue;
    }
    auto* attribute = static_cast<Attribute*>(DiagAlloc(area, heap, sizeof(Attribute)));
    // The scanner is left to the heap, which the caller destroys.
    if (attribute == nullptr) return DiagReturnCode(area);
    std::memset(attribute, 0, sizeof *attribute);
    attribute->key = StrDup(area, heap, text + token.start, token.length);
    attribute->keyLength = SQL_NTS;
    attribute->valueLength = SQL_NTS;
    DiagListAppend(area, list, attribute);
    AttrNextToken(scanner, ATTR_SEPARATORS);
    if (token.kind == TOKEN_SEPARATOR && text[token.start] == '=') {
      AttrNextToken(scanner, ATTR_SEPARATORS);
      if (token.kind == TOKEN_WORD) {
        attribute->value = StrDup(area, heap, text + token.start, token.length);
        AttrNextToken(scanner, ATTR_SEPARATORS);
      }
    }
  }
  DiagFree(scanner);
  return DiagReturnCode(area);
}

static int32_t AttrCount(NodeList* list) {
  int32_t count = 0;
  for (void* item = ListPosition(list, LIST_FIRST, nullptr); item != nullptr; item = ListPosition(list, LIST_NEXT, nullptr))
    ++count;
  return count;
}

static bool KeysEqual(const char* key1, const char* key2) {
  if (key1 == nullptr || key2 == nullptr) return key1 == key2;
  return std::strcmp(key1, key2) == 0;
}

int AttrListEqual(NodeList* first, NodeList* second) {
  if (AttrCount(first) != AttrCount(second)) return 0;
  for (auto* a = static_cast<Attribute*>(ListPosition(first, LIST_FIRST, nullptr)); a != nullptr;
       a = static_cast<Attribute*>(ListPosition(first, LIST_NEXT, nullptr))) {
    Attribute* match = nullptr;
    for (auto* b = static_cast<Attribute*>(ListPosition(second, LIST_FIRST, nullptr)); b != nullptr;
         b = static_cast<Attribute*>(ListPosition(second, LIST_NEXT, nullptr))) {
      if (KeysEqual(a->key, b->key)) {
        match = b;
        break;
      }
    }
    if (match == nullptr) return 0;
    if (StrCompare(a->value, SQL_NTS, match->value, SQL_NTS) != 0) return 0;
  }
  return 1;
}
