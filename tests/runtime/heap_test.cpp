#include "runtime/heap.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <latch>
#include <random>
#include <thread>
#include <vector>

#include "platform/memory.h"

namespace {

constexpr uint32_t U = HEAP_UNIT;

uint32_t Rounded(uint32_t n) { return (n + U - 1) / U * U; }

HeapBlock* HeaderOf(void* element) { return reinterpret_cast<HeapBlock*>(static_cast<char*>(element) - U); }

std::vector<HeapBlock*> Blocks(HeapSegment* segment) {
  std::vector<HeapBlock*> blocks;
  for (HeapBlock* b = HeapFirstBlock(segment); b != nullptr; b = HeapNextBlock(b)) blocks.push_back(b);
  return blocks;
}

std::vector<HeapSegment*> Segments(Heap heap) {
  std::vector<HeapSegment*> segments;
  for (HeapSegment* s = heap; s != nullptr; s = s->next) segments.push_back(s);
  return segments;
}

// The blocks of a segment tile its block area exactly, only the final one is
// flagged last, the rover is one of them, and every segment shares the lock.
void ExpectConsistent(Heap heap) {
  for (HeapSegment* s : Segments(heap)) {
    SCOPED_TRACE(testing::Message() << "segment of capacity " << s->capacity);
    EXPECT_EQ(s->lock, heap->lock);
    EXPECT_EQ(s->capacity % U, 0u);
    uint64_t spanned = 0;
    bool roverSeen = false;
    std::vector<HeapBlock*> blocks = Blocks(s);
    for (size_t i = 0; i < blocks.size(); ++i) {
      HeapBlock* b = blocks[i];
      EXPECT_EQ(b->size % U, 0u);
      EXPECT_EQ((b->flags & HEAP_BLOCK_LAST) != 0, i + 1 == blocks.size());
      if ((b->flags & HEAP_BLOCK_FREE) == 0) {
        EXPECT_EQ(b->owner, s);
      }
      roverSeen = roverSeen || b == s->rover;
      spanned += U + b->size;
    }
    EXPECT_EQ(spanned, uint64_t{U} + s->capacity);
    EXPECT_TRUE(roverSeen);
  }
}

bool IsFree(HeapBlock* b) { return (b->flags & HEAP_BLOCK_FREE) != 0; }

TEST(Heap, UnitIsTheHeaderSize) {
  EXPECT_EQ(U, sizeof(HeapBlock));
  EXPECT_EQ(U, sizeof(void*) == 4 ? 12u : 16u);
}

TEST(Heap, FreshSegmentIsOneFreeLastBlock) {
  Heap heap = CreateHeap(1000);
  ASSERT_NE(heap, nullptr);
  EXPECT_EQ(heap->capacity, Rounded(1000));
  EXPECT_EQ(heap->next, nullptr);
  std::vector<HeapBlock*> blocks = Blocks(heap);
  ASSERT_EQ(blocks.size(), 1u);
  EXPECT_EQ(blocks[0]->flags, HEAP_BLOCK_FREE | HEAP_BLOCK_LAST);
  EXPECT_EQ(blocks[0]->size, Rounded(1000));
  EXPECT_EQ(heap->rover, blocks[0]);
  EXPECT_EQ(DestroyHeap(heap), 1);
}

TEST(Heap, WholeRoundedCapacityServedWithoutGrowing) {
  for (uint32_t capacity : {1024u, 1000u, 1u}) {
    SCOPED_TRACE(capacity);
    Heap heap = CreateHeap(capacity);
    ASSERT_NE(heap, nullptr);
    void* element = AllocHeap(heap, Rounded(capacity));
    ASSERT_NE(element, nullptr);
    EXPECT_EQ(heap->next, nullptr);
    EXPECT_EQ(HeaderOf(element), HeapFirstBlock(heap));
    EXPECT_EQ(HeaderOf(element)->flags, HEAP_BLOCK_LAST);
    EXPECT_EQ(HeaderOf(element)->size, Rounded(capacity));
    ExpectConsistent(heap);
    DestroyHeap(heap);
  }
}

TEST(Heap, SplitLeavesRoverOnTheRemainder) {
  Heap heap = CreateHeap(1024);
  void* element = AllocHeap(heap, 100);
  ASSERT_NE(element, nullptr);
  std::vector<HeapBlock*> blocks = Blocks(heap);
  ASSERT_EQ(blocks.size(), 2u);
  EXPECT_EQ(blocks[0]->size, Rounded(100));
  EXPECT_EQ(blocks[0]->flags, 0);
  EXPECT_EQ(blocks[0]->owner, heap);
  EXPECT_EQ(static_cast<void*>(reinterpret_cast<char*>(blocks[0]) + U), element);
  EXPECT_EQ(blocks[1]->size, Rounded(1024) - Rounded(100) - U);
  EXPECT_EQ(blocks[1]->flags, HEAP_BLOCK_FREE | HEAP_BLOCK_LAST);
  EXPECT_EQ(heap->rover, blocks[1]);
  ExpectConsistent(heap);
  DestroyHeap(heap);
}

TEST(Heap, ExactFitKeepsRoverOnTheBlock) {
  Heap heap = CreateHeap(1024);
  void* a = AllocHeap(heap, 100);
  AllocHeap(heap, 100);
  FreeHeap(a);
  EXPECT_EQ(heap->rover, HeaderOf(a));
  EXPECT_EQ(AllocHeap(heap, Rounded(100)), a);
  EXPECT_EQ(heap->rover, HeaderOf(a));
  ExpectConsistent(heap);
  DestroyHeap(heap);
}

TEST(Heap, OversizeRequestGetsItsOwnSegmentAtTheEnd) {
  Heap heap = CreateHeap(1000);
  // Within the rounded capacity: no segment of its own.
  void* fits = AllocHeap(heap, Rounded(1000));
  ASSERT_NE(fits, nullptr);
  EXPECT_EQ(heap->next, nullptr);
  FreeHeap(fits);

  void* big = AllocHeap(heap, 4000);
  ASSERT_NE(big, nullptr);
  std::vector<HeapSegment*> segments = Segments(heap);
  ASSERT_EQ(segments.size(), 2u);
  EXPECT_EQ(segments[1]->capacity, Rounded(4000));
  EXPECT_EQ(HeaderOf(big)->owner, segments[1]);
  EXPECT_EQ(HeaderOf(big)->size, Rounded(4000));

  // A free 4000-byte block in a later segment does not serve another
  // oversize request: that goes to a new segment at the end.
  FreeHeap(big);
  void* other = AllocHeap(heap, 3000);
  ASSERT_NE(other, nullptr);
  segments = Segments(heap);
  ASSERT_EQ(segments.size(), 3u);
  EXPECT_EQ(segments[2]->capacity, Rounded(3000));
  EXPECT_EQ(HeaderOf(other)->owner, segments[2]);
  ExpectConsistent(heap);
  DestroyHeap(heap);
}

TEST(Heap, GrowthSegmentTakesTheSizeOfTheSegmentWhereSearchRanOut) {
  Heap heap = CreateHeap(1000);
  ASSERT_NE(AllocHeap(heap, Rounded(1000)), nullptr);  // first segment full
  ASSERT_NE(AllocHeap(heap, 4000), nullptr);           // full oversize segment
  void* small = AllocHeap(heap, 100);
  ASSERT_NE(small, nullptr);
  std::vector<HeapSegment*> segments = Segments(heap);
  ASSERT_EQ(segments.size(), 3u);
  EXPECT_EQ(segments[2]->capacity, Rounded(4000));
  EXPECT_EQ(HeaderOf(small)->owner, segments[2]);

  // The growth segment's remainder serves the next small requests.
  void* next = AllocHeap(heap, 50);
  EXPECT_EQ(HeaderOf(next)->owner, segments[2]);
  EXPECT_EQ(Segments(heap).size(), 3u);
  ExpectConsistent(heap);
  DestroyHeap(heap);
}

TEST(Heap, GrowthFromTheFirstSegmentHasItsCapacity) {
  Heap heap = CreateHeap(1024);
  std::vector<void*> elements;
  for (int i = 0; i < 20; ++i) elements.push_back(AllocHeap(heap, 100));
  std::vector<HeapSegment*> segments = Segments(heap);
  ASSERT_GE(segments.size(), 2u);
  for (HeapSegment* s : segments) EXPECT_EQ(s->capacity, Rounded(1024));
  for (void* e : elements) EXPECT_EQ(HeaderOf(e)->size, Rounded(100));
  ExpectConsistent(heap);
  DestroyHeap(heap);
}

TEST(Heap, FreedNeighboursMergeOnTheNextAllocation) {
  Heap heap = CreateHeap(1024);
  void* a = AllocHeap(heap, 100);
  void* b = AllocHeap(heap, 100);
  void* c = AllocHeap(heap, 100);
  ASSERT_TRUE(a && b && c);
  EXPECT_EQ(FreeHeap(b), -1);
  EXPECT_EQ(FreeHeap(a), -1);
  // Freeing merges nothing; it moves the rover down to the lowest freed block.
  EXPECT_EQ(Blocks(heap).size(), 4u);
  EXPECT_TRUE(IsFree(HeaderOf(a)) && IsFree(HeaderOf(b)));
  EXPECT_EQ(heap->rover, HeaderOf(a));

  void* merged = AllocHeap(heap, 2 * Rounded(100) + U);
  EXPECT_EQ(merged, a);
  std::vector<HeapBlock*> blocks = Blocks(heap);
  ASSERT_EQ(blocks.size(), 3u);
  EXPECT_EQ(blocks[0]->size, 2 * Rounded(100) + U);
  EXPECT_EQ(blocks[1], HeaderOf(c));
  ExpectConsistent(heap);
  DestroyHeap(heap);
}

TEST(Heap, MergeAbsorbsTheLastBlockAndTakesItsFlag) {
  Heap heap = CreateHeap(1024);
  void* a = AllocHeap(heap, 100);
  void* b = AllocHeap(heap, 200);
  FreeHeap(b);
  FreeHeap(a);
  // Everything is free again: the merge pass rebuilds one free last block.
  void* whole = AllocHeap(heap, Rounded(1024));
  EXPECT_EQ(whole, a);
  EXPECT_EQ(Blocks(heap).size(), 1u);
  EXPECT_EQ(HeaderOf(whole)->flags, HEAP_BLOCK_LAST);
  EXPECT_EQ(heap->next, nullptr);
  DestroyHeap(heap);
}

TEST(Heap, ZeroByteRequestYieldsDistinctElements) {
  Heap heap = CreateHeap(1024);
  void* a = AllocHeap(heap, 0);
  void* b = AllocHeap(heap, 0);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_NE(a, b);
  EXPECT_EQ(HeaderOf(a)->size, 0u);
  EXPECT_EQ(HeaderOf(b)->size, 0u);
  ExpectConsistent(heap);
  DestroyHeap(heap);
}

TEST(Heap, ElementsStayAligned) {
  const uintptr_t alignment = U % 16 == 0 ? 16 : alignof(void*);
  Heap heap = CreateHeap(1024);
  for (uint32_t n : {0u, 1u, 7u, 13u, 100u, 1000u, 5000u}) {
    auto address = reinterpret_cast<uintptr_t>(AllocHeap(heap, n));
    EXPECT_EQ(address % alignment, 0u) << n;
  }
  DestroyHeap(heap);
}

TEST(Heap, NullArgumentsAndForeignHeaders) {
  EXPECT_EQ(AllocHeap(nullptr, 10), nullptr);
  EXPECT_EQ(FreeHeap(nullptr), 0);
  EXPECT_EQ(DestroyHeap(nullptr), 0);
  EXPECT_EQ(HeapFirstBlock(nullptr), nullptr);

  alignas(HeapBlock) unsigned char fake[2 * sizeof(HeapBlock)] = {};
  auto* header = reinterpret_cast<HeapBlock*>(fake);
  header->owner = nullptr;
  header->flags = 0;
  header->size = U;
  EXPECT_EQ(FreeHeap(fake + U), 0);
  EXPECT_EQ(header->flags, 0);
}

TEST(Heap, DestroyReleasesElementsStillInUse) {
  Heap heap = CreateHeap(64);
  for (int i = 0; i < 50; ++i) ASSERT_NE(AllocHeap(heap, 40), nullptr);
  ASSERT_NE(AllocHeap(heap, 10000), nullptr);
  EXPECT_GT(Segments(heap).size(), 2u);
  EXPECT_EQ(DestroyHeap(heap), 1);  // LeakSanitizer checks that every segment went
}

TEST(Heap, RefusedMemory) {
  PlatformFailMemoryRequest(1);
  EXPECT_EQ(CreateHeap(1024), nullptr);
  PlatformFailMemoryRequest(0);

  Heap heap = CreateHeap(1000);
  void* whole = AllocHeap(heap, Rounded(1000));
  PlatformFailMemoryRequest(1, true);
  EXPECT_EQ(AllocHeap(heap, 10), nullptr);      // growth segment refused
  EXPECT_EQ(AllocHeap(heap, 100000), nullptr);  // oversize segment refused
  EXPECT_EQ(PlatformFailedMemoryRequests(), 2);
  PlatformFailMemoryRequest(0);
  // The heap is as it was and still usable.
  EXPECT_EQ(heap->next, nullptr);
  ExpectConsistent(heap);
  FreeHeap(whole);
  EXPECT_EQ(AllocHeap(heap, 10), whole);
  DestroyHeap(heap);
}

TEST(Heap, SizesThatCannotBeRoundedAreRefused) {
  EXPECT_EQ(CreateHeap(UINT32_MAX), nullptr);
  Heap heap = CreateHeap(64);
  EXPECT_EQ(AllocHeap(heap, UINT32_MAX), nullptr);
  EXPECT_EQ(heap->next, nullptr);
  ExpectConsistent(heap);
  EXPECT_NE(AllocHeap(heap, 10), nullptr);
  DestroyHeap(heap);
}

TEST(Heap, LockIsReentrant) {
  Heap heap = CreateHeap(256);
  EXPECT_EQ(MutexWait(heap->lock), 1);
  void* element = AllocHeap(heap, 10);  // takes the lock again on this thread
  EXPECT_EQ(FreeHeap(element), -1);
  EXPECT_EQ(MutexRelease(heap->lock), 1);
  DestroyHeap(heap);
}

// Threads allocate, fill, check and free elements of one heap at once; every
// element must keep its own pattern, and in the end the heap must be whole.
TEST(Heap, ThreadsShareOneHeap) {
  constexpr int kThreads = 4;
  constexpr int kRounds = 1500;
  Heap heap = CreateHeap(512);
  ASSERT_NE(heap, nullptr);
  std::latch start(kThreads);
  std::vector<int> failures(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      std::mt19937 random(static_cast<unsigned>(t + 1));
      struct Live {
        unsigned char* data;
        uint32_t size;
        unsigned char tag;
      };
      std::vector<Live> live;
      start.arrive_and_wait();
      for (int i = 0; i < kRounds; ++i) {
        if (live.size() < 32 && (live.empty() || random() % 3 != 0)) {
          uint32_t size = random() % 300;
          auto* data = static_cast<unsigned char*>(AllocHeap(heap, size));
          if (data == nullptr) {
            ++failures[t];
            continue;
          }
          auto tag = static_cast<unsigned char>(t * 64 + i % 64);
          std::memset(data, tag, size);
          live.push_back({data, size, tag});
        } else {
          size_t pick = random() % live.size();
          Live item = live[pick];
          for (uint32_t k = 0; k < item.size; ++k) {
            if (item.data[k] != item.tag) {
              ++failures[t];
              break;
            }
          }
          if (FreeHeap(item.data) != -1) ++failures[t];
          live[pick] = live.back();
          live.pop_back();
        }
      }
      for (Live& item : live) FreeHeap(item.data);
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(failures[t], 0) << "thread " << t;
  ExpectConsistent(heap);
  for (HeapSegment* s : Segments(heap))
    for (HeapBlock* b : Blocks(s)) EXPECT_TRUE(IsFree(b));
  EXPECT_EQ(DestroyHeap(heap), 1);
}

}  // namespace
