#include "runtime/list.h"

NodeList* ListCreate(Heap heap) {
  Heap own = heap != nullptr ? heap : CreateHeap(1024);
  if (own == nullptr) return nullptr;
  auto* list = static_cast<NodeList*>(AllocHeap(own, sizeof(NodeList)));
  if (list == nullptr) {
    if (heap == nullptr) DestroyHeap(own);
    return nullptr;
  }
  list->heap = own;
  list->heapGiven = heap != nullptr ? 1 : 0;
  list->count = 0;
  list->first = nullptr;
  list->last = nullptr;
  list->cursor = nullptr;
  return list;
}

int ListDestroy(NodeList* list) {
  if (list == nullptr) return 0;
  if (list->heapGiven == 0) return DestroyHeap(list->heap);
  for (ListNode* node = list->first; node != nullptr;) {
    ListNode* next = node->next;
    FreeHeap(node);
    node = next;
  }
  FreeHeap(list);
  return -1;
}

void* ListPosition(NodeList* list, int mode, const void* argument) {
  if (list == nullptr) return nullptr;
  switch (mode) {
    case LIST_CURRENT:
      break;
    case LIST_FIRST:
      list->cursor = list->first;
      break;
    case LIST_LAST:
      list->cursor = list->last;
      break;
    case LIST_NEXT:
      if (list->cursor == nullptr) return nullptr;
      list->cursor = list->cursor->next;
      break;
    case LIST_PREV:
      if (list->cursor == nullptr) return nullptr;
      list->cursor = list->cursor->prev;
      break;
    case LIST_FIND:
      list->cursor = list->first;
      while (list->cursor != nullptr && list->cursor->data != argument) list->cursor = list->cursor->next;
      break;
    case LIST_NTH: {
      // A null argument counts as n = 1, like any n below 1.
      int32_t n = argument != nullptr ? *static_cast<const int32_t*>(argument) : 1;
      list->cursor = list->first;
      for (int32_t i = 1; list->cursor != nullptr && i < n; ++i) list->cursor = list->cursor->next;
      break;
    }
    default:
      return nullptr;
  }
  return list->cursor != nullptr ? list->cursor->data : nullptr;
}

int ListInsert(NodeList* list, int mode, void* data) {
  if (list == nullptr) return 0;
  auto* node = static_cast<ListNode*>(AllocHeap(list->heap, sizeof(ListNode)));
  if (node == nullptr) return 0;
  node->data = data;
  node->prev = nullptr;
  node->next = nullptr;

  if (list->first == nullptr) {
    list->first = node;
    list->last = node;
    list->cursor = node;
  } else {
    ListNode* cursor = list->cursor;
    switch (mode) {
      case LIST_PREPEND:
        node->next = list->first;
        list->first->prev = node;
        list->first = node;
        break;
      case LIST_APPEND:
        node->prev = list->last;
        list->last->next = node;
        list->last = node;
        break;
      case LIST_BEFORE:
        if (cursor == nullptr) {
          FreeHeap(node);
          return 0;
        }
        node->prev = cursor->prev;
        node->next = cursor;
        if (cursor->prev != nullptr) cursor->prev->next = node;
        cursor->prev = node;
        if (list->first == cursor) list->first = node;
        list->cursor = node;
        break;
      case LIST_AFTER:
        if (cursor == nullptr) {
          FreeHeap(node);
          return 0;
        }
        node->prev = cursor;
        node->next = cursor->next;
        if (cursor->next != nullptr) cursor->next->prev = node;
        cursor->next = node;
        if (list->last == cursor) list->last = node;
        list->cursor = node;
        break;
      default:
        FreeHeap(node);
        return 0;
    }
  }
  ++list->count;
  return -1;
}

int ListRemove(NodeList* list) {
  if (list == nullptr || list->cursor == nullptr) return 0;
  ListNode* node = list->cursor;
  if (list->first == node) list->first = node->next;
  if (list->last == node) list->last = node->prev;
  if (node->prev != nullptr) node->prev->next = node->next;
  if (node->next != nullptr) node->next->prev = node->prev;
  list->cursor = node->next;
  FreeHeap(node);
  --list->count;
  return -1;
}
