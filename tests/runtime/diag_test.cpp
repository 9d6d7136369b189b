#include "runtime/diag.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/memory.h"

namespace {

std::vector<DiagRecord*> Records(DiagArea* area) {
  std::vector<DiagRecord*> records;
  for (ListNode* n = area->records->first; n != nullptr; n = n->next) records.push_back(static_cast<DiagRecord*>(n->data));
  EXPECT_EQ(static_cast<int32_t>(records.size()), area->records->count);
  return records;
}

class DiagTest : public testing::Test {
 protected:
  void SetUp() override {
    area = DiagCreate(nullptr);
    ASSERT_NE(area, nullptr);
  }
  void TearDown() override { DiagDestroy(area); }
  DiagArea* area = nullptr;
};

TEST_F(DiagTest, NewAreaIsEmpty) {
  EXPECT_EQ(DiagReturnCode(area), SQL_SUCCESS);
  EXPECT_EQ(area->flags, 0);
  EXPECT_EQ(area->outOfMemory, 0);
  EXPECT_EQ(area->records->count, 0);
  EXPECT_EQ(area->records->heap, area->heap);
  EXPECT_EQ(area->heap->capacity, (1024 + HEAP_UNIT - 1) / HEAP_UNIT * HEAP_UNIT);
  EXPECT_EQ(DiagReturnCode(nullptr), SQL_SUCCESS);
}

// Each step is a post of a warning (1) or an error (-1), or a
// DiagSetReturnCode of any other value (marked by `set`).
struct Step {
  bool set;
  int16_t code;
};
constexpr Step W{false, 1};
constexpr Step E{false, -1};
constexpr Step Set(int16_t code) { return {true, code}; }

TEST_F(DiagTest, ReturnCodeRanksEverythingRaised) {
  struct Case {
    std::vector<Step> steps;
    SqlReturn expected;
    uint8_t flags;
  };
  const Case cases[] = {
      {{}, 0, 0},
      {{W}, 1, 0x04},
      {{W, E}, -1, 0x06},
      {{E, W}, -1, 0x06},
      {{W, Set(100)}, 100, 0x24},
      {{Set(1)}, 0, 0},
      {{Set(0)}, 0, 0},
      {{Set(-3)}, 0, 0},
      {{Set(101)}, 0, 0},
      {{Set(-2)}, -2, 0x01},
      {{Set(-1)}, -1, 0x02},
      {{Set(2)}, 2, 0x08},
      {{Set(99)}, 99, 0x10},
      {{W, Set(2)}, 2, 0x0C},
      {{Set(2), Set(99)}, 99, 0x18},
      {{Set(99), Set(100)}, 100, 0x30},
      {{Set(100), E}, -1, 0x22},
      {{E, Set(-2)}, -2, 0x03},
      {{Set(-2), Set(-1), Set(2), Set(99), Set(100), W}, -2, 0x3F},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(testing::Message() << "case " << i);
    DiagClear(area);
    for (const Step& step : cases[i].steps) {
      if (step.set)
        DiagSetReturnCode(area, step.code);
      else
        DiagPost(area, "01000", 0, step.code, "m");
    }
    EXPECT_EQ(DiagReturnCode(area), cases[i].expected);
    EXPECT_EQ(area->flags, cases[i].flags);
  }
}

TEST_F(DiagTest, PostStoresRecordsOldestFirst) {
  DiagPost(area, "01004", 1, 1, "Daten ", nullptr, "abgeschnitten");
  DiagPost(area, "HY000", -7, -1, nullptr, "b", nullptr);
  DiagPost(area, "08S01", 42, -1, "a", "b", "c");
  std::vector<DiagRecord*> records = Records(area);
  ASSERT_EQ(records.size(), 3u);
  struct Expected {
    int16_t returnCode;
    const char* state;
    int32_t nativeError;
    const char* message;
  };
  const Expected expected[] = {{1, "01004", 1, "Daten abgeschnitten"}, {-1, "HY000", -7, "b"}, {-1, "08S01", 42, "abc"}};
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(records[i]->returnCode, expected[i].returnCode);
    EXPECT_STREQ(records[i]->sqlState, expected[i].state);
    EXPECT_EQ(records[i]->nativeError, expected[i].nativeError);
    EXPECT_STREQ(records[i]->message, expected[i].message);
  }
}

TEST_F(DiagTest, PostWithOtherReturnCodesDoesNothing) {
  for (int16_t code : {0, 2, 99, 100, -2, 5})
    DiagPost(area, "HY000", 0, code, "ignored");
  EXPECT_EQ(area->flags, 0);
  EXPECT_EQ(area->records->count, 0);
}

TEST_F(DiagTest, AllNullPartsGiveAnEmptyMessage) {
  DiagPost(area, "01000", 0, 1, nullptr);
  ASSERT_EQ(Records(area).size(), 1u);
  EXPECT_STREQ(Records(area)[0]->message, "");
}

TEST_F(DiagTest, OutOfMemoryShowsAsTheErrorCodeAlone) {
  DiagPost(area, DIAG_STATE_OUT_OF_MEMORY, 0, -1, DIAG_MSG_OUT_OF_MEMORY);
  EXPECT_EQ(DiagReturnCode(area), SQL_ERROR);
  EXPECT_EQ(area->outOfMemory, -1);
  EXPECT_EQ(area->records->count, 0);

  DiagClear(area);
  EXPECT_EQ(DiagReturnCode(area), SQL_SUCCESS);
  EXPECT_EQ(area->outOfMemory, -1);  // clearing keeps the mark
  DiagPost(area, "01004", 1, 1, "warning");
  EXPECT_EQ(area->flags, DIAG_FLAG_WITH_INFO);
  EXPECT_EQ(area->records->count, 0);
}

TEST_F(DiagTest, OutOfMemoryPostedAsWarningStillSetsTheMark) {
  DiagPost(area, DIAG_STATE_OUT_OF_MEMORY, 0, 1, "x");
  EXPECT_EQ(DiagReturnCode(area), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(area->outOfMemory, -1);
  EXPECT_EQ(area->records->count, 0);
}

TEST_F(DiagTest, MessageLimitIs512Characters) {
  struct Case {
    size_t part1, part2, part3;
    bool stored;
  };
  const Case cases[] = {{512, 0, 0, true}, {513, 0, 0, false}, {200, 200, 112, true}, {200, 200, 113, false},
                        {0, 0, 512, true}, {0, 600, 0, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.part1 << "+" << c.part2 << "+" << c.part3);
    DiagClear(area);
    std::string p1(c.part1, 'a'), p2(c.part2, 'b'), p3(c.part3, 'c');
    DiagPost(area, "HY000", 0, -1, c.part1 ? p1.c_str() : nullptr, c.part2 ? p2.c_str() : nullptr,
             c.part3 ? p3.c_str() : nullptr);
    EXPECT_EQ(DiagReturnCode(area), SQL_ERROR);
    std::vector<DiagRecord*> records = Records(area);
    ASSERT_EQ(records.size(), c.stored ? 1u : 0u);
    if (c.stored) {
      EXPECT_EQ(std::string(records[0]->message), p1 + p2 + p3);
    }
  }
}

TEST_F(DiagTest, SqlStateIsCutToFiveCharacters) {
  struct Case {
    const char* given;
    const char* stored;
  };
  const Case cases[] = {{"HY000", "HY000"}, {"1234567890", "12345"}, {"HY0011", "HY001"}, {"01", "01"}, {nullptr, ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored);
    DiagClear(area);
    DiagPost(area, c.given, 0, -1, "m");
    std::vector<DiagRecord*> records = Records(area);
    ASSERT_EQ(records.size(), 1u);  // only exactly "HY001" is the out-of-memory state
    EXPECT_EQ(std::memcmp(records[0]->sqlState, c.stored, std::strlen(c.stored) + 1), 0);
    EXPECT_EQ(records[0]->sqlState[5], '\0');
    EXPECT_EQ(area->outOfMemory, 0);
  }
}

int UsedBlocks(Heap heap) {
  int used = 0;
  for (HeapSegment* s = heap; s != nullptr; s = s->next)
    for (HeapBlock* b = HeapFirstBlock(s); b != nullptr; b = HeapNextBlock(b))
      if ((b->flags & HEAP_BLOCK_FREE) == 0) ++used;
  return used;
}

TEST_F(DiagTest, ClearFreesEveryRecord) {
  const int empty = UsedBlocks(area->heap);  // the area and its list
  for (int i = 0; i < 50; ++i) DiagPost(area, "01004", i, 1, "some message text");
  DiagSetReturnCode(area, 100);
  EXPECT_EQ(area->records->count, 50);
  DiagClear(area);
  EXPECT_EQ(DiagReturnCode(area), SQL_SUCCESS);
  EXPECT_EQ(area->records->count, 0);
  EXPECT_EQ(area->records->first, nullptr);
  EXPECT_EQ(UsedBlocks(area->heap), empty);
  DiagPost(area, "01004", 1, 1, "again");
  EXPECT_EQ(area->records->count, 1);
}

TEST(Diag, NullAreaIsIgnored) {
  DiagPost(nullptr, "HY000", 0, -1, "x");
  DiagSetReturnCode(nullptr, -1);
  DiagClear(nullptr);
  DiagDestroy(nullptr);
  EXPECT_EQ(DiagReturnCode(nullptr), 0);
  DiagArea* area = DiagCreate(nullptr);
  ASSERT_NE(area, nullptr);
  DiagDestroy(area);
}

TEST(Diag, CreateReportsARefusedHeapIntoTheGivenArea) {
  DiagArea* report = DiagCreate(nullptr);
  PlatformFailMemoryRequest(1);
  EXPECT_EQ(DiagCreate(report), nullptr);
  PlatformFailMemoryRequest(0);
  EXPECT_EQ(DiagReturnCode(report), SQL_ERROR);
  EXPECT_EQ(report->outOfMemory, -1);
  EXPECT_EQ(report->records->count, 0);
  DiagDestroy(report);
}

TEST(Diag, WrappersPostOutOfMemoryOnlyOnFailure) {
  DiagArea* report = DiagCreate(nullptr);
  Heap heap = DiagCreateHeap(report, 100);
  ASSERT_NE(heap, nullptr);
  void* block = DiagAlloc(report, heap, 65535);
  ASSERT_NE(block, nullptr);
  DiagFree(block);
  NodeList* list = DiagListCreate(report, heap);
  ASSERT_NE(list, nullptr);
  int item = 0;
  EXPECT_EQ(DiagListAppend(report, list, &item), 0);
  EXPECT_EQ(list->count, 1);
  EXPECT_EQ(DiagListAppend(report, nullptr, &item), 0);
  EXPECT_EQ(DiagReturnCode(report), SQL_SUCCESS);

  EXPECT_EQ(DiagAlloc(report, nullptr, 10), nullptr);  // no heap: posts like an exhausted one
  EXPECT_EQ(DiagReturnCode(report), SQL_ERROR);
  EXPECT_EQ(report->outOfMemory, -1);
  DiagListDestroy(list);
  DiagDestroyHeap(heap);
  DiagDestroy(report);
}

}  // namespace
