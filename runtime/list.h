// Node lists: doubly linked lists of caller pointers with one cursor,
// living in a Heap.
#pragma once
#include <cstdint>

#include "runtime/heap.h"

struct ListNode {
  ListNode* prev;
  ListNode* next;
  void* data;  // the caller's pointer; never freed by the list
};

struct NodeList {
  Heap heap;          // holds the header and every node
  int32_t heapGiven;  // 1: supplied by the caller; 0: created and owned by the list
  int32_t count;
  ListNode* first;
  ListNode* last;
  ListNode* cursor;
};

// Positioning modes (ListPosition) and inserting modes (ListInsert) share
// one numbering.
inline constexpr int LIST_CURRENT = 0;
inline constexpr int LIST_FIRST = 1;
inline constexpr int LIST_LAST = 2;
inline constexpr int LIST_NEXT = 3;
inline constexpr int LIST_PREV = 4;
inline constexpr int LIST_FIND = 5;
inline constexpr int LIST_NTH = 6;  // argument points to a signed 32-bit n, counted from 1
inline constexpr int LIST_PREPEND = 7;
inline constexpr int LIST_APPEND = 8;
inline constexpr int LIST_BEFORE = 9;
inline constexpr int LIST_AFTER = 10;

// A new list in `heap`, or in a heap of its own when `heap` is null.
NodeList* ListCreate(Heap heap);
// 0 for null; 1 when the list destroyed its own heap; -1 after freeing its
// nodes and header from a supplied heap.
int ListDestroy(NodeList* list);
// Moves the cursor; the data of the node under it afterwards, or null.
void* ListPosition(NodeList* list, int mode, const void* argument);
// -1 when inserted, 0 otherwise.
int ListInsert(NodeList* list, int mode, void* data);
// -1 when the node under the cursor was removed (the cursor moves to its
// next); 0 for a null list or cursor.
int ListRemove(NodeList* list);
