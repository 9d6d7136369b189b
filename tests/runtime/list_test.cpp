#include "runtime/list.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

int UsedBlocks(Heap heap) {
  int used = 0;
  for (HeapSegment* s = heap; s != nullptr; s = s->next)
    for (HeapBlock* b = HeapFirstBlock(s); b != nullptr; b = HeapNextBlock(b))
      if ((b->flags & HEAP_BLOCK_FREE) == 0) ++used;
  return used;
}

// A list on a supplied heap with the items 'a'..'a'+n-1 appended; data
// pointers point into `items`, so they can be compared by address.
class ListTest : public testing::Test {
 protected:
  void SetUp() override {
    heap = CreateHeap(1024);
    ASSERT_NE(heap, nullptr);
    list = ListCreate(heap);
    ASSERT_NE(list, nullptr);
  }
  void TearDown() override { DestroyHeap(heap); }

  void Fill(int n) {
    for (int i = 0; i < n; ++i) ASSERT_EQ(ListInsert(list, LIST_APPEND, &items[i]), -1);
  }
  void* Item(int i) { return &items[i]; }
  void* Cursor() { return ListPosition(list, LIST_CURRENT, nullptr); }

  // The order seen walking forwards, checked against the walk backwards,
  // the count and the first/last invariants.
  std::vector<void*> Order() {
    std::vector<void*> forward;
    ListNode* prev = nullptr;
    for (ListNode* n = list->first; n != nullptr; n = n->next) {
      EXPECT_EQ(n->prev, prev);
      forward.push_back(n->data);
      prev = n;
    }
    EXPECT_EQ(list->last, prev);
    EXPECT_EQ(static_cast<int32_t>(forward.size()), list->count);
    EXPECT_EQ(list->first == nullptr, list->last == nullptr);
    return forward;
  }

  Heap heap = nullptr;
  NodeList* list = nullptr;
  char items[8] = {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'};
};

TEST_F(ListTest, CreateStartsEmptyOnTheSuppliedHeap) {
  EXPECT_EQ(list->heap, heap);
  EXPECT_EQ(list->heapGiven, 1);
  EXPECT_EQ(list->count, 0);
  EXPECT_EQ(list->first, nullptr);
  EXPECT_EQ(list->cursor, nullptr);
  EXPECT_EQ(ListPosition(list, LIST_FIRST, nullptr), nullptr);
}

TEST_F(ListTest, InsertIntoEmptyListWorksWithAnyModeAndSetsCursor) {
  for (int mode : {LIST_PREPEND, LIST_APPEND, LIST_BEFORE, LIST_AFTER, 0, 42, -1}) {
    SCOPED_TRACE(mode);
    NodeList* fresh = ListCreate(heap);
    ASSERT_EQ(ListInsert(fresh, mode, Item(0)), -1);
    EXPECT_EQ(fresh->count, 1);
    EXPECT_EQ(fresh->first, fresh->last);
    EXPECT_EQ(fresh->cursor, fresh->first);
    EXPECT_EQ(fresh->first->prev, nullptr);
    EXPECT_EQ(fresh->first->next, nullptr);
    EXPECT_EQ(ListDestroy(fresh), -1);
  }
}

TEST_F(ListTest, PrependAndAppendLeaveTheCursor) {
  Fill(2);  // cursor on a (set by the first insertion)
  ListPosition(list, LIST_LAST, nullptr);
  EXPECT_EQ(ListInsert(list, LIST_PREPEND, Item(2)), -1);
  EXPECT_EQ(ListInsert(list, LIST_APPEND, Item(3)), -1);
  EXPECT_EQ(Cursor(), Item(1));
  EXPECT_EQ(Order(), (std::vector<void*>{Item(2), Item(0), Item(1), Item(3)}));
}

TEST_F(ListTest, BeforeAndAfterLinkAtTheCursorAndMoveIt) {
  Fill(2);
  ListPosition(list, LIST_FIRST, nullptr);
  EXPECT_EQ(ListInsert(list, LIST_BEFORE, Item(2)), -1);  // new first
  EXPECT_EQ(Cursor(), Item(2));
  ListPosition(list, LIST_LAST, nullptr);
  EXPECT_EQ(ListInsert(list, LIST_AFTER, Item(3)), -1);  // new last
  EXPECT_EQ(Cursor(), Item(3));
  ListPosition(list, LIST_FIND, Item(1));
  EXPECT_EQ(ListInsert(list, LIST_BEFORE, Item(4)), -1);  // middle
  EXPECT_EQ(ListInsert(list, LIST_AFTER, Item(5)), -1);   // middle, after the new node
  EXPECT_EQ(Order(), (std::vector<void*>{Item(2), Item(0), Item(4), Item(5), Item(1), Item(3)}));
}

TEST_F(ListTest, BeforeOrAfterWithoutCursorFailsAndFreesTheNode) {
  Fill(2);
  ListPosition(list, LIST_LAST, nullptr);
  ListPosition(list, LIST_NEXT, nullptr);
  ASSERT_EQ(list->cursor, nullptr);
  const int used = UsedBlocks(heap);
  for (int mode : {LIST_BEFORE, LIST_AFTER, LIST_NTH, 11}) {
    EXPECT_EQ(ListInsert(list, mode, Item(5)), 0) << mode;
    EXPECT_EQ(UsedBlocks(heap), used) << mode;  // the node was handed back
  }
  EXPECT_EQ(list->count, 2);
  EXPECT_EQ(Order(), (std::vector<void*>{Item(0), Item(1)}));
}

TEST_F(ListTest, PositionModes) {
  Fill(4);
  struct Case {
    int mode;
    int32_t n;  // for LIST_NTH; the item for LIST_FIND
    int expected;  // index, or -1 for null
  };
  const Case cases[] = {
      {LIST_FIRST, 0, 0}, {LIST_NEXT, 0, 1}, {LIST_CURRENT, 0, 1}, {LIST_LAST, 0, 3}, {LIST_PREV, 0, 2},
      {LIST_NTH, 1, 0},   {LIST_NTH, 0, 0},  {LIST_NTH, -5, 0},    {LIST_NTH, 3, 2},  {LIST_NTH, 4, 3},
      {LIST_NTH, 5, -1},  {LIST_FIND, 2, 2}, {LIST_FIND, 7, -1},   {LIST_FIRST, 0, 0}, {LIST_PREV, 0, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "mode " << c.mode << " n " << c.n);
    const void* argument = c.mode == LIST_NTH ? static_cast<const void*>(&c.n) : Item(c.n);
    void* got = ListPosition(list, c.mode, argument);
    EXPECT_EQ(got, c.expected < 0 ? nullptr : Item(c.expected));
    if (c.expected < 0) {
      EXPECT_EQ(list->cursor, nullptr);
    }
  }
}

TEST_F(ListTest, NthWithoutANumberMeansTheFirst) {
  Fill(3);
  ListPosition(list, LIST_LAST, nullptr);
  EXPECT_EQ(ListPosition(list, LIST_NTH, nullptr), Item(0));
}

TEST_F(ListTest, NextAndPrevWithoutCursorStayNull) {
  Fill(3);
  ListPosition(list, LIST_FIND, Item(7));
  ASSERT_EQ(list->cursor, nullptr);
  EXPECT_EQ(ListPosition(list, LIST_NEXT, nullptr), nullptr);
  EXPECT_EQ(ListPosition(list, LIST_PREV, nullptr), nullptr);
  EXPECT_EQ(list->cursor, nullptr);
}

TEST_F(ListTest, UnknownPositionModeKeepsTheCursor) {
  Fill(3);
  ListPosition(list, LIST_LAST, nullptr);
  for (int mode : {-1, 7, 8, 11}) EXPECT_EQ(ListPosition(list, mode, nullptr), nullptr) << mode;
  EXPECT_EQ(Cursor(), Item(2));
}

TEST_F(ListTest, RemoveMovesTheCursorToTheNextNode) {
  Fill(3);
  ListPosition(list, LIST_FIRST, nullptr);
  EXPECT_EQ(ListRemove(list), -1);  // first
  EXPECT_EQ(Cursor(), Item(1));
  EXPECT_EQ(Order(), (std::vector<void*>{Item(1), Item(2)}));
  ListPosition(list, LIST_LAST, nullptr);
  EXPECT_EQ(ListRemove(list), -1);  // last: no node follows
  EXPECT_EQ(list->cursor, nullptr);
  EXPECT_EQ(ListRemove(list), 0);
  EXPECT_EQ(Order(), (std::vector<void*>{Item(1)}));
  ListPosition(list, LIST_FIRST, nullptr);
  EXPECT_EQ(ListRemove(list), -1);  // the only one
  EXPECT_EQ(Order(), std::vector<void*>{});
  EXPECT_EQ(list->cursor, nullptr);
  // Empty again: the next insertion starts over.
  EXPECT_EQ(ListInsert(list, LIST_AFTER, Item(4)), -1);
  EXPECT_EQ(Order(), (std::vector<void*>{Item(4)}));
}

TEST_F(ListTest, RemoveInTheMiddleRelinksNeighbours) {
  Fill(5);
  int32_t three = 3;
  ListPosition(list, LIST_NTH, &three);
  EXPECT_EQ(ListRemove(list), -1);
  EXPECT_EQ(Cursor(), Item(3));
  EXPECT_EQ(Order(), (std::vector<void*>{Item(0), Item(1), Item(3), Item(4)}));
}

TEST_F(ListTest, NullDataEndsAWalkLikeTheEnd) {
  Fill(1);
  ASSERT_EQ(ListInsert(list, LIST_APPEND, nullptr), -1);
  ASSERT_EQ(ListInsert(list, LIST_APPEND, Item(2)), -1);
  int seen = 0;
  for (void* p = ListPosition(list, LIST_FIRST, nullptr); p != nullptr; p = ListPosition(list, LIST_NEXT, nullptr))
    ++seen;
  EXPECT_EQ(seen, 1);
  EXPECT_NE(list->cursor, nullptr);  // stopped on the node with null data
  EXPECT_EQ(list->count, 3);
}

TEST_F(ListTest, DestroyOnSuppliedHeapFreesOnlyItsElements) {
  void* mine = AllocHeap(heap, 40);
  Fill(6);
  EXPECT_EQ(UsedBlocks(heap), 8);
  EXPECT_EQ(ListDestroy(list), -1);
  list = nullptr;
  EXPECT_EQ(UsedBlocks(heap), 1);
  EXPECT_EQ(FreeHeap(mine), -1);  // the heap is alive
}

TEST(List, OwnHeapIsCreatedAndDestroyedWithTheList) {
  NodeList* list = ListCreate(nullptr);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->heapGiven, 0);
  EXPECT_EQ(list->heap->capacity, (1024 + HEAP_UNIT - 1) / HEAP_UNIT * HEAP_UNIT);
  static int data[100];
  for (int& d : data) ASSERT_EQ(ListInsert(list, LIST_APPEND, &d), -1);
  EXPECT_EQ(ListDestroy(list), 1);  // LeakSanitizer checks the heap went with it
}

TEST(List, NullList) {
  EXPECT_EQ(ListDestroy(nullptr), 0);
  EXPECT_EQ(ListPosition(nullptr, LIST_FIRST, nullptr), nullptr);
  EXPECT_EQ(ListInsert(nullptr, LIST_APPEND, nullptr), 0);
  EXPECT_EQ(ListRemove(nullptr), 0);
}

}  // namespace
