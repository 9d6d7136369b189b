// Handle tables: each layer of the connection machinery (the connection
// manager and the three transports) hands out small integers 1 to 500 for its
// environments, listeners and connections. A handle is a slot index plus one
// in that layer's own HandleTable; 0 is no handle.
//
// One mechanism serves all four layers. A table is one block of process
// memory: a reference count, then 500 slots back to back, each an `inUse`
// word followed by the layer's contents. The layers differ only in the size
// of the contents, fixed per table. A table exists while it is attached at
// least once (once per environment of its layer) and is freed, with every
// handle in it, by the last detach.
//
// Every failure posts "HY000", native error 0, SQL_ERROR into the area given
// (null: nothing recorded).
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <type_traits>

#include "platform/sync.h"
#include "runtime/diag.h"

inline constexpr int32_t HANDLE_COUNT = 500;

// Handle kinds, the same in every layer.
inline constexpr uint8_t HANDLE_ENV = 1;
inline constexpr uint8_t HANDLE_LISTENER = 2;  // the serving side of a transport
inline constexpr uint8_t HANDLE_CONNECTION = 3;

inline constexpr const char* HANDLE_MSG_SEQUENCE = "Ung\xFC" "ltige Funktionsreihenfolge";
inline constexpr const char* HANDLE_MSG_INVALID = "Ung\xFC" "ltiges Handle";
inline constexpr const char* HANDLE_MSG_KIND = "Ung\xFC" "ltiger Handle Typ";
inline constexpr const char* HANDLE_MSG_EXHAUSTED = "Keine freien Handles mehr verf\xFC" "gbar";
inline constexpr const char* HANDLE_MSG_SHARED_MEMORY = "Shared Memory Fehler: ";
inline constexpr const char* HANDLE_MSG_NO_MEMORY = "Nicht genug Speicher vorhanden";
inline constexpr const char* HANDLE_MSG_SEMAPHORE = "Semaphoren Fehler: ";

// Slot contents are aligned to this many bytes (enough for pointers, handles
// and 64-bit integers on both builds; the block comes from the system memory
// calls, which align at least this far).
inline constexpr size_t HANDLE_CONTENTS_ALIGN = 8;

// Contents sizes of the four layers, in bytes. Each layer's slot record must
// fit its size (check it with HandleRecordFits where the record is defined).
inline constexpr uint32_t NET_HANDLE_CONTENTS_SIZE = 32;
inline constexpr uint32_t TCP_HANDLE_CONTENTS_SIZE = 32;
inline constexpr uint32_t LOCAL_HANDLE_CONTENTS_SIZE = 32;
inline constexpr uint32_t STDIO_HANDLE_CONTENTS_SIZE = 64;

// The beginning every layer's contents share: zero when the handle is
// allocated, then filled by the layer.
struct HandleHeader {
  uint8_t kind;     // HANDLE_ENV, HANDLE_LISTENER, HANDLE_CONNECTION
  uint16_t parent;  // the owning environment or listener; 0 for an environment
};

// What precedes the contents in each slot.
struct HandleSlotHeader {
  uint32_t inUse;  // 1 while the handle is allocated
};

// Offset of the contents in a slot, and of slot 0 in the block.
inline constexpr size_t HANDLE_CONTENTS_OFFSET =
    (sizeof(HandleSlotHeader) + HANDLE_CONTENTS_ALIGN - 1) / HANDLE_CONTENTS_ALIGN * HANDLE_CONTENTS_ALIGN;

struct HandleBlock {
  int32_t refCount;  // attachments not yet detached
};
inline constexpr size_t HANDLE_SLOTS_OFFSET =
    (sizeof(HandleBlock) + HANDLE_CONTENTS_ALIGN - 1) / HANDLE_CONTENTS_ALIGN * HANDLE_CONTENTS_ALIGN;

// One layer's table. Process-wide, constant-initialised with its contents
// size and otherwise empty; everything else belongs to the operations below.
struct HandleTable {
  uint32_t contentsSize;
  HandleBlock* block = nullptr;  // null while the table does not exist
  // Slot 0, published while the table is attached. Atomic because the slots
  // are looked up without the mutex while another thread may attach.
  std::atomic<unsigned char*> slots{nullptr};
  PlatformMutex mutex = nullptr;  // created with the block, closed with it
  // Orders attach and detach of this table among threads: the platform mutex
  // cannot guard its own creation and closing.
  std::mutex lifecycle{};
};

// The four instances.
extern HandleTable NetHandleTable;
extern HandleTable TcpHandleTable;
extern HandleTable LocalHandleTable;
extern HandleTable StdioHandleTable;

// Distance between two slots of `table`.
size_t HandleSlotSize(const HandleTable* table);

// Creates the table on its first attachment (a zero-filled block, the mutex)
// and counts this one. 1 on success; 0 on failure, with "Semaphoren Fehler: "
// or "Shared Memory Fehler: Nicht genug Speicher vorhanden" posted and the
// attachment not counted.
int HandleTableAttach(DiagArea* area, HandleTable* table);
// Takes one attachment back; the last one frees the block with every handle
// and closes the mutex. A table that is not attached is left alone. Always 1.
int HandleTableDetach(DiagArea* area, HandleTable* table);
// The lowest free handle, in use from now with zero contents; 0 when the
// table is not attached, the lock fails or all 500 are taken.
int32_t HandleAlloc(DiagArea* area, HandleTable* table);
// Zeroes the handle's slot, which frees it. 1 when done; 0 when the handle
// is not valid (HandleValid) or the lock fails.
int HandleFree(DiagArea* area, HandleTable* table, int32_t handle);
// 1 when the table is attached and the handle (1 to 500) is allocated. An
// unattached table posts "Ungültige Funktionsreihenfolge", a handle out of
// range "Ungültiges Handle"; a free handle posts nothing. Reads without the
// lock: a slot belongs to whoever holds its handle.
int HandleValid(DiagArea* area, HandleTable* table, int32_t handle);
// The handle's contents when HandleValid holds, else null.
void* HandleSlot(DiagArea* area, HandleTable* table, int32_t handle);
// 1 when the handle's slot exists and its kind is `kind`. A missing slot
// posts "Ungültiges Handle" (after what HandleValid posted), another kind
// "Ungültiger Handle Typ".
int HandleCheckKind(DiagArea* area, HandleTable* table, int32_t handle, uint8_t kind);
// Waits for the table's mutex without a time limit. 1 when held; 0 when the
// wait fails (also when there is no mutex), "Semaphoren Fehler: " posted
// with the system's text.
int HandleTableLock(DiagArea* area, HandleTable* table);
// Releases the table's mutex. 1 when released or there is none; 0 when the
// release fails (this thread does not hold it), posted as for the lock.
int HandleTableUnlock(DiagArea* area, HandleTable* table);

// The system's message text for the calling thread's last error code, cut to
// fit `capacity` bytes (the NUL included); empty when the system has none.
void SystemErrorText(char* buffer, int32_t capacity);

// Whether a layer's slot record can live in contents of `contentsSize`
// bytes: it begins with `kind` and `parent` as HandleHeader does, and its
// size and alignment fit.
template <class Record>
constexpr bool HandleRecordFits(uint32_t contentsSize) {
  return std::is_standard_layout_v<Record> && std::is_trivially_copyable_v<Record> &&
         sizeof(Record) <= contentsSize && alignof(Record) <= HANDLE_CONTENTS_ALIGN &&
         offsetof(Record, kind) == offsetof(HandleHeader, kind) &&
         offsetof(Record, parent) == offsetof(HandleHeader, parent) &&
         std::is_same_v<decltype(Record::kind), uint8_t> && std::is_same_v<decltype(Record::parent), uint16_t>;
}

// HandleSlot typed as the layer's record.
template <class Record>
Record* HandleRecord(DiagArea* area, HandleTable* table, int32_t handle) {
  return static_cast<Record*>(HandleSlot(area, table, handle));
}
