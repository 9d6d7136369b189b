#include "net/handles.h"

#include <algorithm>
#include <cstring>

#include "platform/error.h"
#include "platform/memory.h"

// Constant-initialised where std::mutex is (not with the mingw runtime, whose
// mutex initialiser is not a constant); no static initialiser uses them.
HandleTable NetHandleTable{NET_HANDLE_CONTENTS_SIZE};
HandleTable TcpHandleTable{TCP_HANDLE_CONTENTS_SIZE};
HandleTable LocalHandleTable{LOCAL_HANDLE_CONTENTS_SIZE};
HandleTable StdioHandleTable{STDIO_HANDLE_CONTENTS_SIZE};

static_assert(HandleRecordFits<HandleHeader>(NET_HANDLE_CONTENTS_SIZE));

// The buffer the table operations word a system error into.
static constexpr int32_t SYSTEM_TEXT_SIZE = 256;

size_t HandleSlotSize(const HandleTable* table) {
  size_t contents = (table->contentsSize + HANDLE_CONTENTS_ALIGN - 1) / HANDLE_CONTENTS_ALIGN * HANDLE_CONTENTS_ALIGN;
  return HANDLE_CONTENTS_OFFSET + contents;
}

static void PostError(DiagArea* area, const char* part1, const char* part2 = nullptr) {
  DiagPost(area, DIAG_STATE_GENERAL, 0, SQL_ERROR, part1, part2);
}

// Words the last error at once, before anything else can change it.
static void PostSemaphoreError(DiagArea* area) {
  char text[SYSTEM_TEXT_SIZE];
  SystemErrorText(text, SYSTEM_TEXT_SIZE - 1);
  PostError(area, HANDLE_MSG_SEMAPHORE, text);
}

void SystemErrorText(char* buffer, int32_t capacity) {
  if (buffer == nullptr || capacity <= 0) return;
  uint32_t code = PlatformGetLastError();
  // Worded into room enough for any system text, then cut to the caller's.
  char text[2048];
  uint32_t length = PlatformFormatMessage(code, text, sizeof text);
  size_t n = std::min<size_t>(length, static_cast<size_t>(capacity) - 1);
  std::memcpy(buffer, text, n);
  buffer[n] = '\0';
}

int HandleTableLock(DiagArea* area, HandleTable* table) {
  if (PlatformMutexWait(table->mutex) == 0) {
    PostSemaphoreError(area);
    return 0;
  }
  return 1;
}

int HandleTableUnlock(DiagArea* area, HandleTable* table) {
  if (table->mutex == nullptr) return 1;
  if (PlatformMutexRelease(table->mutex) == 0) {
    PostSemaphoreError(area);
    return 0;
  }
  return 1;
}

// A failed attachment leaves `slots` as it was: clearing it while the block
// still lives would make every handle of the attachments already counted
// invalid, and their detachments would then never free the block.
int HandleTableAttach(DiagArea* area, HandleTable* table) {
  std::lock_guard<std::mutex> guard(table->lifecycle);
  if (table->mutex == nullptr) {
    table->mutex = PlatformMutexCreate(false);
    if (table->mutex == nullptr) {
      PostSemaphoreError(area);
      return 0;
    }
  }
  if (!HandleTableLock(area, table)) return 0;
  if (table->block == nullptr) {
    size_t bytes = HANDLE_SLOTS_OFFSET + HANDLE_COUNT * HandleSlotSize(table);
    void* memory = PlatformGlobalAlloc(bytes);
    if (memory == nullptr) {
      PostError(area, HANDLE_MSG_SHARED_MEMORY, HANDLE_MSG_NO_MEMORY);
      HandleTableUnlock(area, table);
      return 0;
    }
    std::memset(memory, 0, bytes);
    table->block = static_cast<HandleBlock*>(memory);
  }
  ++table->block->refCount;
  HandleTableUnlock(area, table);
  table->slots.store(reinterpret_cast<unsigned char*>(table->block) + HANDLE_SLOTS_OFFSET, std::memory_order_release);
  return 1;
}

int HandleTableDetach(DiagArea* area, HandleTable* table) {
  std::lock_guard<std::mutex> guard(table->lifecycle);
  if (table->slots.load(std::memory_order_acquire) == nullptr) return 1;
  if (HandleTableLock(area, table)) {
    if (--table->block->refCount == 0) {
      table->slots.store(nullptr, std::memory_order_release);
      PlatformGlobalFree(table->block);
      table->block = nullptr;
      // Closed while held; the lock goes with it.
      PlatformMutexClose(table->mutex);
      table->mutex = nullptr;
    } else {
      HandleTableUnlock(area, table);
    }
  }
  return 1;
}

static unsigned char* SlotAddress(unsigned char* slots, const HandleTable* table, int32_t handle) {
  return slots + static_cast<size_t>(handle - 1) * HandleSlotSize(table);
}

// The slot of an allocated handle, or null (posting as HandleValid does).
static unsigned char* ValidSlot(DiagArea* area, HandleTable* table, int32_t handle) {
  unsigned char* slots = table->slots.load(std::memory_order_acquire);
  if (slots == nullptr) {
    PostError(area, HANDLE_MSG_SEQUENCE);
    return nullptr;
  }
  if (handle < 1 || handle > HANDLE_COUNT) {
    PostError(area, HANDLE_MSG_INVALID);
    return nullptr;
  }
  unsigned char* slot = SlotAddress(slots, table, handle);
  return reinterpret_cast<HandleSlotHeader*>(slot)->inUse != 0 ? slot : nullptr;
}

int32_t HandleAlloc(DiagArea* area, HandleTable* table) {
  unsigned char* slots = table->slots.load(std::memory_order_acquire);
  if (slots == nullptr) {
    PostError(area, HANDLE_MSG_SEQUENCE);
    return 0;
  }
  if (!HandleTableLock(area, table)) return 0;
  size_t slotSize = HandleSlotSize(table);
  for (int32_t index = 0; index < HANDLE_COUNT; ++index) {
    unsigned char* slot = slots + static_cast<size_t>(index) * slotSize;
    auto* header = reinterpret_cast<HandleSlotHeader*>(slot);
    if (header->inUse == 0) {
      header->inUse = 1;
      // A free slot is already zero; clearing it again costs little and keeps
      // the promise even after a stray write through a freed handle's pointer.
      std::memset(slot + HANDLE_CONTENTS_OFFSET, 0, slotSize - HANDLE_CONTENTS_OFFSET);
      HandleTableUnlock(area, table);
      return index + 1;
    }
  }
  HandleTableUnlock(area, table);
  PostError(area, HANDLE_MSG_EXHAUSTED);
  return 0;
}

int HandleFree(DiagArea* area, HandleTable* table, int32_t handle) {
  unsigned char* slot = ValidSlot(area, table, handle);
  if (slot == nullptr) return 0;
  if (!HandleTableLock(area, table)) return 0;
  std::memset(slot, 0, HandleSlotSize(table));
  HandleTableUnlock(area, table);
  return 1;
}

int HandleValid(DiagArea* area, HandleTable* table, int32_t handle) {
  return ValidSlot(area, table, handle) != nullptr ? 1 : 0;
}

void* HandleSlot(DiagArea* area, HandleTable* table, int32_t handle) {
  unsigned char* slot = ValidSlot(area, table, handle);
  return slot != nullptr ? slot + HANDLE_CONTENTS_OFFSET : nullptr;
}

int HandleCheckKind(DiagArea* area, HandleTable* table, int32_t handle, uint8_t kind) {
  auto* contents = static_cast<const uint8_t*>(HandleSlot(area, table, handle));
  if (contents == nullptr) {
    PostError(area, HANDLE_MSG_INVALID);
    return 0;
  }
  if (contents[offsetof(HandleHeader, kind)] != kind) {
    PostError(area, HANDLE_MSG_KIND);
    return 0;
  }
  return 1;
}
