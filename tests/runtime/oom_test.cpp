// Out of memory: every operation that can meet "HY001" is run with the 1st,
// 2nd, ... platform memory request failing in turn, until a run meets no
// failure. Each failing run must give the failure result and leave nothing
// behind (LeakSanitizer checks the system memory; used-block counts check
// the heaps).
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "platform/memory.h"
#include "runtime/diag.h"
#include "runtime/strings.h"

namespace {

constexpr uint32_t Rounded(uint32_t n) { return (n + HEAP_UNIT - 1) / HEAP_UNIT * HEAP_UNIT; }

int UsedBlocks(Heap heap) {
  int used = 0;
  for (HeapSegment* s = heap; s != nullptr; s = s->next)
    for (HeapBlock* b = HeapFirstBlock(s); b != nullptr; b = HeapNextBlock(b))
      if ((b->flags & HEAP_BLOCK_FREE) == 0) ++used;
  return used;
}

// Free bytes of the first segment, headers included.
uint32_t FreeBytes(Heap heap) {
  uint32_t bytes = 0;
  for (HeapBlock* b = HeapFirstBlock(heap); b != nullptr; b = HeapNextBlock(b))
    if ((b->flags & HEAP_BLOCK_FREE) != 0) bytes += HEAP_UNIT + b->size;
  return bytes;
}

int Segments(Heap heap) {
  int n = 0;
  for (HeapSegment* s = heap; s != nullptr; s = s->next) ++n;
  return n;
}

// A heap whose first segment is used up.
Heap FullHeap(uint32_t capacity) {
  Heap heap = CreateHeap(capacity);
  EXPECT_NE(AllocHeap(heap, Rounded(capacity)), nullptr);
  return heap;
}

struct Scenario {
  std::function<void()> setup;
  std::function<bool()> operation;  // true on success
  std::function<void()> checkFailed;
  std::function<void()> teardown;
};

// Returns the number of runs in which a request failed.
int FaultLoop(const Scenario& scenario) {
  int failingRuns = 0;
  for (int nth = 1; nth < 50; ++nth) {
    SCOPED_TRACE(testing::Message() << "request " << nth << " fails");
    scenario.setup();
    PlatformFailMemoryRequest(nth);
    bool ok = scenario.operation();
    int failed = PlatformFailedMemoryRequests();
    PlatformFailMemoryRequest(0);
    if (failed == 0) {
      EXPECT_TRUE(ok);
      scenario.teardown();
      return failingRuns;
    }
    ++failingRuns;
    EXPECT_FALSE(ok);
    scenario.checkFailed();
    scenario.teardown();
  }
  ADD_FAILURE() << "operation never completed";
  return failingRuns;
}

// The report area of a failed operation: the error code alone, the mark, no record.
void ExpectOutOfMemoryReported(DiagArea* report) {
  EXPECT_EQ(DiagReturnCode(report), SQL_ERROR);
  EXPECT_EQ(report->outOfMemory, -1);
  EXPECT_EQ(report->records->count, 0);
}

class OutOfMemory : public testing::Test {
 protected:
  void SetUp() override { PlatformFailMemoryRequest(0); }
  void TearDown() override { PlatformFailMemoryRequest(0); }
  void NewReport() {
    report = DiagCreate(nullptr);
    ASSERT_NE(report, nullptr);
  }
  void DropReport() {
    DiagDestroy(report);
    report = nullptr;
  }
  DiagArea* report = nullptr;
  Heap heap = nullptr;
  NodeList* list = nullptr;
  void* result = nullptr;
};

TEST_F(OutOfMemory, DiagCreate) {
  EXPECT_GE(FaultLoop({[&] { NewReport(); },
                       [&] { return (result = DiagCreate(report)) != nullptr; },
                       [&] { ExpectOutOfMemoryReported(report); },
                       [&] {
                         DiagDestroy(static_cast<DiagArea*>(result));
                         DropReport();
                       }}),
            1);
}

TEST_F(OutOfMemory, DiagCreateHeap) {
  EXPECT_GE(FaultLoop({[&] { NewReport(); },
                       [&] { return (heap = DiagCreateHeap(report, 5000)) != nullptr; },
                       [&] { ExpectOutOfMemoryReported(report); },
                       [&] {
                         DiagDestroyHeap(heap);
                         DropReport();
                       }}),
            1);
}

TEST_F(OutOfMemory, DiagListCreateWithItsOwnHeap) {
  EXPECT_GE(FaultLoop({[&] { NewReport(); },
                       [&] { return (list = DiagListCreate(report, nullptr)) != nullptr; },
                       [&] { ExpectOutOfMemoryReported(report); },
                       [&] {
                         DiagListDestroy(list);
                         DropReport();
                       }}),
            1);
}

TEST_F(OutOfMemory, DiagListCreateOnAFullHeap) {
  EXPECT_GE(FaultLoop({[&] {
                         NewReport();
                         heap = FullHeap(64);
                       },
                       [&] { return (list = DiagListCreate(report, heap)) != nullptr; },
                       [&] {
                         ExpectOutOfMemoryReported(report);
                         EXPECT_EQ(UsedBlocks(heap), 1);
                         EXPECT_EQ(Segments(heap), 1);  // the supplied heap is left as it was
                       },
                       [&] {
                         DestroyHeap(heap);
                         DropReport();
                       }}),
            1);
}

TEST_F(OutOfMemory, DiagAllocGrowthAndOversize) {
  for (uint16_t size : {uint16_t{40}, uint16_t{60000}}) {
    SCOPED_TRACE(size);
    EXPECT_GE(FaultLoop({[&] {
                           NewReport();
                           heap = FullHeap(64);
                         },
                         [&] { return (result = DiagAlloc(report, heap, size)) != nullptr; },
                         [&] {
                           ExpectOutOfMemoryReported(report);
                           EXPECT_EQ(Segments(heap), 1);
                         },
                         [&] {
                           DestroyHeap(heap);
                           DropReport();
                         }}),
              1);
  }
}

TEST_F(OutOfMemory, DiagListAppend) {
  static int item;
  EXPECT_GE(FaultLoop({[&] {
                         NewReport();
                         heap = CreateHeap(sizeof(NodeList));
                         list = ListCreate(heap);  // its header fills the heap
                         ASSERT_NE(list, nullptr);
                         ASSERT_EQ(HeapFirstBlock(heap)->flags, HEAP_BLOCK_LAST);
                       },
                       [&] { return DiagListAppend(report, list, &item) == 0; },
                       [&] {
                         ExpectOutOfMemoryReported(report);
                         EXPECT_EQ(list->count, 0);
                         EXPECT_EQ(list->first, nullptr);
                         // The list stays usable once memory is back.
                         EXPECT_EQ(DiagListAppend(nullptr, list, &item), 0);
                         EXPECT_EQ(ListPosition(list, LIST_FIRST, nullptr), &item);
                       },
                       [&] {
                         DestroyHeap(heap);
                         DropReport();
                       }}),
            1);
}

TEST_F(OutOfMemory, StrDup) {
  static const std::string big(40000, 'x');
  for (const char* text : {"hello  ", big.c_str()}) {
    SCOPED_TRACE(std::strlen(text));
    EXPECT_GE(FaultLoop({[&] {
                           NewReport();
                           heap = FullHeap(64);
                         },
                         [&] { return (result = StrDup(report, heap, text, SQL_NTS)) != nullptr; },
                         [&] { ExpectOutOfMemoryReported(report); },
                         [&] {
                           if (result != nullptr) {
                             EXPECT_EQ(std::strlen(static_cast<char*>(result)), std::strlen(text) == 7 ? 5u : big.size());
                           }
                           DestroyHeap(heap);
                           DropReport();
                         }}),
              1);
  }
}

// A failure inside DiagPost is reported nowhere: the flag is raised, the
// record is dropped, and whatever was taken for it is given back. The area's
// heap is filled so that the record, its message or its list node in turn
// is the piece that needs a new segment.
TEST_F(OutOfMemory, DiagPostDropsTheRecord) {
  const std::string message(100, 'm');
  const uint32_t recordBlock = HEAP_UNIT + Rounded(sizeof(DiagRecord));
  const uint32_t messageBlock = HEAP_UNIT + Rounded(static_cast<uint32_t>(message.size() + 1));
  for (uint32_t room : {0u, recordBlock, recordBlock + messageBlock}) {
    SCOPED_TRACE(testing::Message() << "room " << room);
    int usedBefore = 0;
    EXPECT_GE(FaultLoop({[&] {
                           NewReport();
                           // Leave exactly `room` bytes (headers included) in the first segment.
                           uint32_t left = report->heap->rover->size;
                           ASSERT_GE(left, room + HEAP_UNIT);
                           ASSERT_NE(AllocHeap(report->heap, room ? left - room : left), nullptr);
                           ASSERT_EQ(FreeBytes(report->heap), room);
                           usedBefore = UsedBlocks(report->heap);
                         },
                         [&] {
                           DiagPost(report, "HY000", 5, -1, message.c_str());
                           return report->records->count == 1;
                         },
                         [&] {
                           EXPECT_EQ(DiagReturnCode(report), SQL_ERROR);
                           EXPECT_EQ(report->outOfMemory, 0);
                           EXPECT_EQ(report->records->count, 0);
                           EXPECT_EQ(UsedBlocks(report->heap), usedBefore);
                         },
                         [&] { DropReport(); }}),
              1);
  }
}

// Truncation into an area whose memory is gone: the copy is still made and
// the warning still counts, though no record is stored.
TEST_F(OutOfMemory, TruncationWarningWithoutMemory) {
  NewReport();
  DiagPost(report, DIAG_STATE_OUT_OF_MEMORY, 0, -1, DIAG_MSG_OUT_OF_MEMORY);
  DiagClear(report);
  char buffer[4];
  EXPECT_EQ(StrCopy(report, buffer, sizeof buffer, "abcdef", SQL_NTS), SQL_SUCCESS_WITH_INFO);
  EXPECT_STREQ(buffer, "abc");
  EXPECT_EQ(report->records->count, 0);
  DropReport();
}

}  // namespace
