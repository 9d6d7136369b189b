// Private heaps: chains of segments of system memory, handing out blocks
// first fit from a rover, merging freed neighbours lazily, growing by
// segments and released as a whole.
#pragma once
#include <cstdint>

#include "platform/sync.h"

struct HeapSegment;

// The header in front of every block.
struct HeapBlock {
  HeapSegment* owner;  // segment that handed the block out; kept when freed
  uint16_t flags;      // HEAP_BLOCK_FREE, HEAP_BLOCK_LAST
  uint32_t size;       // data bytes, a multiple of HEAP_UNIT; 0 is possible
};

// The rounding unit of block sizes: one header's size on this build (12 with
// 32-bit pointers, 16 on x86_64), which also keeps elements aligned.
inline constexpr uint32_t HEAP_UNIT = sizeof(HeapBlock);

inline constexpr uint16_t HEAP_BLOCK_FREE = 1;
inline constexpr uint16_t HEAP_BLOCK_LAST = 2;

// One fixed block of system memory; its block area follows these fields.
struct alignas(HeapBlock) HeapSegment {
  HeapSegment* next;   // following segment of the same heap, or null
  uint32_t capacity;   // usable bytes: the capacity asked for, rounded up to HEAP_UNIT
  PlatformMutex lock;  // the heap's lock, shared by every segment
  HeapBlock* rover;    // where merge and search passes start
};

// A heap is addressed by its first segment.
using Heap = HeapSegment*;

// A new heap whose first segment holds `capacity` bytes (rounded up), or null
// when the lock or the memory cannot be had.
Heap CreateHeap(uint32_t capacity);
// An element of at least `size` bytes, or null when the heap is null or the
// system refuses a new segment. Contents are not cleared.
void* AllocHeap(Heap heap, uint32_t size);
// -1 when the block was marked free; 0 for null or a header without owner.
int FreeHeap(void* element);
// 1 when the heap and every element in it were released; 0 for null.
int DestroyHeap(Heap heap);

// The heap lock's mutex operations, one-line wrappers over the platform.
PlatformMutex MutexCreate(bool initiallyOwned);
void MutexClose(PlatformMutex mutex);
int MutexWait(PlatformMutex mutex);  // always 1
int MutexRelease(PlatformMutex mutex);

// Inspection, for tests and checks: the first block of a segment, and the
// block after `block` (null after the last one).
HeapBlock* HeapFirstBlock(HeapSegment* segment);
HeapBlock* HeapNextBlock(HeapBlock* block);
