#include "runtime/heap.h"

#include <cstddef>

#include "platform/memory.h"

// The block area starts right behind the segment's fields, and every header
// and size is a multiple of HEAP_UNIT, so elements keep the alignment of the
// system memory's start as far as HEAP_UNIT allows (16 on x86_64; with 32-bit
// pointers the 12-byte unit keeps them aligned for pointers and 32-bit fields).
static_assert(sizeof(HeapSegment) % alignof(HeapBlock) == 0);
static_assert(HEAP_UNIT % alignof(HeapBlock) == 0);

static inline char* ElementOf(HeapBlock* block) { return reinterpret_cast<char*>(block) + HEAP_UNIT; }

// Rounds up to HEAP_UNIT; false when the result does not fit 32 bits.
static inline bool RoundToUnit(uint32_t bytes, uint32_t* rounded) {
  uint64_t r = (static_cast<uint64_t>(bytes) + HEAP_UNIT - 1) / HEAP_UNIT * HEAP_UNIT;
  if (r > UINT32_MAX) return false;
  *rounded = static_cast<uint32_t>(r);
  return true;
}

PlatformMutex MutexCreate(bool initiallyOwned) { return PlatformMutexCreate(initiallyOwned); }
void MutexClose(PlatformMutex mutex) { PlatformMutexClose(mutex); }
int MutexWait(PlatformMutex mutex) {
  PlatformMutexWait(mutex);
  return 1;
}
int MutexRelease(PlatformMutex mutex) { return PlatformMutexRelease(mutex); }

HeapBlock* HeapFirstBlock(HeapSegment* segment) {
  return segment == nullptr ? nullptr : reinterpret_cast<HeapBlock*>(segment + 1);
}

HeapBlock* HeapNextBlock(HeapBlock* block) {
  if (block == nullptr || (block->flags & HEAP_BLOCK_LAST) != 0) return nullptr;
  return reinterpret_cast<HeapBlock*>(ElementOf(block) + block->size);
}

// A segment of `capacity` bytes (rounded up) sharing `lock`: one free last
// block spanning it, the rover on that block. Null when memory is refused.
static HeapSegment* SegmentCreate(uint32_t capacity, PlatformMutex lock) {
  uint32_t r;
  if (!RoundToUnit(capacity, &r)) return nullptr;
  uint64_t bytes = static_cast<uint64_t>(sizeof(HeapSegment)) + HEAP_UNIT + r;
  if (bytes > SIZE_MAX) return nullptr;
  auto* segment = static_cast<HeapSegment*>(PlatformGlobalAlloc(static_cast<size_t>(bytes)));
  if (segment == nullptr) return nullptr;
  segment->next = nullptr;
  segment->capacity = r;
  segment->lock = lock;
  HeapBlock* first = HeapFirstBlock(segment);
  first->owner = nullptr;
  first->flags = HEAP_BLOCK_FREE | HEAP_BLOCK_LAST;
  first->size = r;
  segment->rover = first;
  return segment;
}

Heap CreateHeap(uint32_t capacity) {
  PlatformMutex lock = MutexCreate(true);
  if (lock == nullptr) return nullptr;
  HeapSegment* segment = SegmentCreate(capacity, lock);
  if (segment == nullptr) {
    MutexClose(lock);
    return nullptr;
  }
  MutexRelease(lock);
  return segment;
}

// Merges free neighbours from the rover to the end of the segment and leaves
// the rover on the first free block the pass meets (or on the last block).
static void SegmentMerge(HeapSegment* s) {
  HeapBlock* block = s->rover;
  bool roverMoves = (block->flags & HEAP_BLOCK_FREE) == 0;
  while ((block->flags & HEAP_BLOCK_LAST) == 0) {
    if ((block->flags & HEAP_BLOCK_FREE) == 0) {
      block = HeapNextBlock(block);
      continue;
    }
    if (roverMoves) {
      s->rover = block;
      roverMoves = false;
    }
    HeapBlock* follower = HeapNextBlock(block);
    if ((follower->flags & HEAP_BLOCK_FREE) != 0) {
      block->size += HEAP_UNIT + follower->size;
      block->flags = follower->flags;
    } else {
      block = follower;
    }
  }
  if (roverMoves) s->rover = block;
}

// First fit from the rover; null when no free block of `r` bytes is left.
static HeapBlock* SegmentSearch(HeapSegment* s, uint32_t r) {
  for (HeapBlock* block = s->rover; block != nullptr; block = HeapNextBlock(block)) {
    if ((block->flags & HEAP_BLOCK_FREE) != 0 && block->size >= r) return block;
  }
  return nullptr;
}

static void* SegmentTake(HeapSegment* s, HeapBlock* block, uint32_t r) {
  char* element = ElementOf(block);
  if (block->size > r) {
    auto* rest = reinterpret_cast<HeapBlock*>(element + r);
    rest->owner = nullptr;
    rest->flags = block->flags;
    rest->size = block->size - r - HEAP_UNIT;
    block->flags &= static_cast<uint16_t>(~HEAP_BLOCK_LAST);
    block->size = r;
    s->rover = rest;
  }
  block->flags &= static_cast<uint16_t>(~HEAP_BLOCK_FREE);
  block->owner = s;
  return element;
}

// The search runs through the chain under one acquisition of the lock: being
// re-entrant, it would only be counted up and down again per segment.
void* AllocHeap(Heap heap, uint32_t size) {
  if (heap == nullptr) return nullptr;
  PlatformMutex lock = heap->lock;
  MutexWait(lock);
  void* element = nullptr;
  for (HeapSegment* s = heap; s != nullptr;) {
    if (size > s->capacity) {
      // An oversize request gets a segment of its own at the end of the
      // chain; the rest of the heap is not searched for it.
      HeapSegment* last = s;
      while (last->next != nullptr) last = last->next;
      HeapSegment* own = SegmentCreate(size, lock);
      last->next = own;
      s = own;
      continue;
    }
    uint32_t r = 0;
    RoundToUnit(size, &r);  // cannot fail: size <= capacity, itself a rounded 32-bit value
    SegmentMerge(s);
    if (HeapBlock* block = SegmentSearch(s, r); block != nullptr) {
      element = SegmentTake(s, block, r);
      break;
    }
    // Growth takes the size of the segment where the search ran out.
    if (s->next == nullptr) s->next = SegmentCreate(s->capacity, lock);
    s = s->next;
  }
  MutexRelease(lock);
  return element;
}

int FreeHeap(void* element) {
  if (element == nullptr) return 0;
  auto* header = reinterpret_cast<HeapBlock*>(static_cast<char*>(element) - HEAP_UNIT);
  HeapSegment* owner = header->owner;
  if (owner == nullptr) return 0;
  PlatformMutex lock = owner->lock;
  MutexWait(lock);
  header->flags |= HEAP_BLOCK_FREE;
  if (header < owner->rover) owner->rover = header;
  MutexRelease(lock);
  return -1;
}

int DestroyHeap(Heap heap) {
  if (heap == nullptr) return 0;
  PlatformMutex lock = heap->lock;
  MutexWait(lock);
  for (HeapSegment* segment = heap; segment != nullptr;) {
    HeapSegment* next = segment->next;
    PlatformGlobalFree(segment);
    segment = next;
  }
  MutexRelease(lock);
  MutexClose(lock);
  return 1;
}
