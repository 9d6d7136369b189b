// AttrListParse on arbitrary bytes. The input is copied into a buffer of
// exactly its size, so ASan sees any read past the counted length. The first
// byte picks how the length is given: exact, SQL_NTS over a NUL-terminated
// copy, or a count shorter than the text. Each parse is checked against what
// the syntax promises: keys and values hold no NUL, no trailing blank, and
// are made only of bytes of the scanned text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "net/attr.h"
#include "runtime/diag.h"

namespace {

void CheckText(const char* text, const std::vector<char>& input, size_t scanned) {
  if (text == nullptr) return;
  size_t n = std::strlen(text);
  if (n == 0 || text[n - 1] == ' ') std::abort();
  // Every byte of a copy occurs in the scanned text.
  for (size_t i = 0; i < n; ++i)
    if (std::memchr(input.data(), text[i], scanned) == nullptr) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > 70000) return 0;
  uint8_t mode = data[0] % 3;
  ++data;
  --size;

  std::vector<char> input(data, data + size);
  int32_t length = static_cast<int32_t>(size);
  const char* text = input.data();
  std::vector<char> terminated;
  if (mode == 1) {
    terminated.assign(data, data + size);
    terminated.push_back('\0');
    text = terminated.data();
    length = SQL_NTS;
  } else if (mode == 2) {
    length = static_cast<int32_t>(size / 2);
  }
  if (size == 0) text = nullptr;

  DiagArea* area = DiagCreate(nullptr);
  Heap heap = DiagCreateHeap(area, 1024);
  NodeList* list = DiagListCreate(area, heap);
  if (area == nullptr || heap == nullptr || list == nullptr) std::abort();
  SqlReturn rc = AttrListParse(area, heap, list, text, length);
  if (rc != SQL_SUCCESS) std::abort();

  size_t scanned = mode == 2 ? size / 2 : size;
  for (auto* a = static_cast<Attribute*>(ListPosition(list, LIST_FIRST, nullptr)); a != nullptr;
       a = static_cast<Attribute*>(ListPosition(list, LIST_NEXT, nullptr))) {
    if (a->keyLength != SQL_NTS || a->valueLength != SQL_NTS) std::abort();
    CheckText(a->key, input, scanned);
    CheckText(a->value, input, scanned);
  }
  // A list equals a parse of the same text.
  NodeList* again = DiagListCreate(area, heap);
  AttrListParse(area, heap, again, text, length);
  int equal = AttrListEqual(list, again);
  // Repeated keys with differing values make a list unequal to itself;
  // without repeated keys it must be equal.
  bool repeated = false;
  for (auto* a = static_cast<Attribute*>(ListPosition(list, LIST_FIRST, nullptr)); a != nullptr && !repeated;
       a = static_cast<Attribute*>(ListPosition(list, LIST_NEXT, nullptr))) {
    int seen = 0;
    for (ListNode* node = list->first; node != nullptr; node = node->next) {
      auto* b = static_cast<Attribute*>(node->data);
      if ((a->key == nullptr && b->key == nullptr) || (a->key && b->key && std::strcmp(a->key, b->key) == 0)) ++seen;
    }
    repeated = seen > 1;
  }
  if (!repeated && equal != 1) std::abort();

  DiagDestroyHeap(heap);
  DiagDestroy(area);
  return 0;
}
