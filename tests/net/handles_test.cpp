#include "net/handles.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <ostream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/error.h"
#include "platform/memory.h"
#include "platform/sync.h"
#include "runtime/diag.h"

namespace {

std::vector<std::string> Messages(DiagArea* area) {
  std::vector<std::string> out;
  for (auto* r = static_cast<DiagRecord*>(ListPosition(area->records, LIST_FIRST, nullptr)); r != nullptr;
       r = static_cast<DiagRecord*>(ListPosition(area->records, LIST_NEXT, nullptr))) {
    EXPECT_STREQ(r->sqlState, "HY000");
    EXPECT_EQ(r->nativeError, 0);
    EXPECT_EQ(r->returnCode, SQL_ERROR);
    out.emplace_back(r->message);
  }
  return out;
}

using Texts = std::vector<std::string>;

const std::string SEQUENCE = "Ung\xFC" "ltige Funktionsreihenfolge";
const std::string INVALID = "Ung\xFC" "ltiges Handle";
const std::string KIND = "Ung\xFC" "ltiger Handle Typ";
const std::string EXHAUSTED = "Keine freien Handles mehr verf\xFC" "gbar";

std::string SemaphoreMessage(uint32_t code) {
  char text[256];
  PlatformFormatMessage(code, text, sizeof text);
  EXPECT_NE(text[0], '\0') << code;
  return "Semaphoren Fehler: " + std::string(text);
}

struct Instance {
  const char* name;
  HandleTable* table;
  uint32_t contentsSize;
};

void PrintTo(const Instance& instance, std::ostream* out) { *out << instance.name; }

const Instance INSTANCES[] = {
    {"Net", &NetHandleTable, NET_HANDLE_CONTENTS_SIZE},
    {"Tcp", &TcpHandleTable, TCP_HANDLE_CONTENTS_SIZE},
    {"Local", &LocalHandleTable, LOCAL_HANDLE_CONTENTS_SIZE},
    {"Stdio", &StdioHandleTable, STDIO_HANDLE_CONTENTS_SIZE},
};

// Each test runs on every instance, with a fresh area, and leaves all four
// tables absent again.
class HandleTableTest : public ::testing::TestWithParam<Instance> {
 protected:
  void SetUp() override {
    area = DiagCreate(nullptr);
    ASSERT_NE(area, nullptr);
    table = GetParam().table;
    ASSERT_EQ(table->slots.load(), nullptr);
  }
  void TearDown() override {
    PlatformFailMutexWait(0);
    PlatformFailMemoryRequest(0);
    for (const Instance& instance : INSTANCES) {
      for (int i = 0; i < 1000 && instance.table->slots.load() != nullptr; ++i) HandleTableDetach(nullptr, instance.table);
      EXPECT_EQ(instance.table->slots.load(), nullptr);
      EXPECT_EQ(instance.table->block, nullptr);
      EXPECT_EQ(instance.table->mutex, nullptr);
    }
    DiagDestroy(area);
  }
  Texts Posted() {
    Texts texts = Messages(area);
    DiagClear(area);
    return texts;
  }

  DiagArea* area = nullptr;
  HandleTable* table = nullptr;
};

TEST_P(HandleTableTest, HandlesAreNumberedLowestFreeFirst) {
  ASSERT_EQ(HandleTableAttach(area, table), 1);
  EXPECT_EQ(HandleAlloc(area, table), 1);
  EXPECT_EQ(HandleAlloc(area, table), 2);
  EXPECT_EQ(HandleAlloc(area, table), 3);
  EXPECT_EQ(HandleFree(area, table, 2), 1);
  EXPECT_EQ(HandleValid(area, table, 2), 0);
  EXPECT_EQ(HandleFree(area, table, 2), 0);
  EXPECT_EQ(Posted(), Texts{});  // a free handle is not valid, silently
  EXPECT_EQ(HandleAlloc(area, table), 2);
  EXPECT_EQ(HandleAlloc(area, table), 4);
  EXPECT_EQ(Posted(), Texts{});
}

TEST_P(HandleTableTest, FiveHundredHandlesThenNone) {
  ASSERT_EQ(HandleTableAttach(area, table), 1);
  for (int32_t expected = 1; expected <= HANDLE_COUNT; ++expected) ASSERT_EQ(HandleAlloc(area, table), expected);
  EXPECT_EQ(HandleValid(area, table, 1), 1);
  EXPECT_EQ(HandleValid(area, table, 500), 1);
  EXPECT_EQ(Posted(), Texts{});
  EXPECT_EQ(HandleAlloc(area, table), 0);
  EXPECT_EQ(Posted(), Texts{EXHAUSTED});
  EXPECT_EQ(HandleFree(area, table, 500), 1);
  EXPECT_EQ(HandleAlloc(area, table), 500);
}

TEST_P(HandleTableTest, HandlesOutOfRangeAreRefused) {
  ASSERT_EQ(HandleTableAttach(area, table), 1);
  for (int32_t handle : {0, -1, 501, INT32_MIN, INT32_MAX}) {
    SCOPED_TRACE(handle);
    EXPECT_EQ(HandleValid(area, table, handle), 0);
    EXPECT_EQ(Posted(), Texts{INVALID});
    EXPECT_EQ(HandleSlot(area, table, handle), nullptr);
    EXPECT_EQ(Posted(), Texts{INVALID});
    EXPECT_EQ(HandleFree(area, table, handle), 0);
    EXPECT_EQ(Posted(), Texts{INVALID});
    // HandleCheckKind posts after HandleValid has posted.
    EXPECT_EQ(HandleCheckKind(area, table, handle, HANDLE_ENV), 0);
    EXPECT_EQ(Posted(), (Texts{INVALID, INVALID}));
  }
}

TEST_P(HandleTableTest, CheckKind) {
  ASSERT_EQ(HandleTableAttach(area, table), 1);
  int32_t env = HandleAlloc(area, table);
  int32_t conn = HandleAlloc(area, table);
  auto* envHeader = static_cast<HandleHeader*>(HandleSlot(area, table, env));
  auto* connHeader = static_cast<HandleHeader*>(HandleSlot(area, table, conn));
  ASSERT_NE(envHeader, nullptr);
  ASSERT_NE(connHeader, nullptr);
  envHeader->kind = HANDLE_ENV;
  connHeader->kind = HANDLE_CONNECTION;
  connHeader->parent = static_cast<uint16_t>(env);
  EXPECT_EQ(HandleCheckKind(area, table, env, HANDLE_ENV), 1);
  EXPECT_EQ(HandleCheckKind(area, table, conn, HANDLE_CONNECTION), 1);
  EXPECT_EQ(Posted(), Texts{});
  EXPECT_EQ(HandleCheckKind(area, table, conn, HANDLE_ENV), 0);
  EXPECT_EQ(Posted(), Texts{KIND});
  EXPECT_EQ(HandleCheckKind(area, table, env, HANDLE_LISTENER), 0);
  EXPECT_EQ(Posted(), Texts{KIND});
  // Kinds compare as unsigned 8-bit values.
  envHeader->kind = 0xFF;
  EXPECT_EQ(HandleCheckKind(area, table, env, 0xFF), 1);
  // A free handle in range: nothing from HandleValid, one posting here.
  EXPECT_EQ(HandleFree(area, table, conn), 1);
  EXPECT_EQ(HandleCheckKind(area, table, conn, HANDLE_CONNECTION), 0);
  EXPECT_EQ(Posted(), Texts{INVALID});
}

TEST_P(HandleTableTest, WithoutAttachmentEveryOperationIsOutOfSequence) {
  EXPECT_EQ(HandleAlloc(area, table), 0);
  EXPECT_EQ(Posted(), Texts{SEQUENCE});
  EXPECT_EQ(HandleValid(area, table, 1), 0);
  EXPECT_EQ(Posted(), Texts{SEQUENCE});
  EXPECT_EQ(HandleSlot(area, table, 1), nullptr);
  EXPECT_EQ(Posted(), Texts{SEQUENCE});
  EXPECT_EQ(HandleFree(area, table, 1), 0);
  EXPECT_EQ(Posted(), Texts{SEQUENCE});
  EXPECT_EQ(HandleCheckKind(area, table, 1, HANDLE_ENV), 0);
  EXPECT_EQ(Posted(), (Texts{SEQUENCE, INVALID}));
  EXPECT_EQ(HandleTableDetach(area, table), 1);
  EXPECT_EQ(Posted(), Texts{});
  // A null area records nothing and changes nothing else.
  EXPECT_EQ(HandleAlloc(nullptr, table), 0);
  EXPECT_EQ(HandleCheckKind(nullptr, table, 0, HANDLE_ENV), 0);
}

TEST_P(HandleTableTest, LastDetachFreesTheTable) {
  ASSERT_EQ(HandleTableAttach(area, table), 1);
  ASSERT_EQ(HandleTableAttach(area, table), 1);
  EXPECT_EQ(table->block->refCount, 2);
  int32_t handle = HandleAlloc(area, table);
  ASSERT_EQ(handle, 1);
  ASSERT_EQ(HandleAlloc(area, table), 2);
  static_cast<HandleHeader*>(HandleSlot(area, table, 2))->kind = HANDLE_CONNECTION;

  EXPECT_EQ(HandleTableDetach(area, table), 1);
  EXPECT_EQ(HandleValid(area, table, handle), 1);
  EXPECT_EQ(HandleAlloc(area, table), 3);
  EXPECT_EQ(table->block->refCount, 1);

  EXPECT_EQ(HandleTableDetach(area, table), 1);
  EXPECT_EQ(table->block, nullptr);
  EXPECT_EQ(table->mutex, nullptr);
  EXPECT_EQ(HandleValid(area, table, handle), 0);
  EXPECT_EQ(Posted(), Texts{SEQUENCE});
  EXPECT_EQ(HandleTableDetach(area, table), 1);

  // A new table starts over: numbering from 1, every slot zero.
  ASSERT_EQ(HandleTableAttach(area, table), 1);
  EXPECT_EQ(table->block->refCount, 1);
  EXPECT_EQ(HandleAlloc(area, table), 1);
  EXPECT_EQ(HandleAlloc(area, table), 2);
  auto* contents = static_cast<unsigned char*>(HandleSlot(area, table, 2));
  for (uint32_t i = 0; i < GetParam().contentsSize; ++i) ASSERT_EQ(contents[i], 0) << i;
  EXPECT_EQ(Posted(), Texts{});
}

// Writes every byte of every slot's contents and reads it back: slots do not
// overlap, and the last one ends inside the block (ASan watches the end).
TEST_P(HandleTableTest, ContentsAreSeparateAlignedAndZeroWhenAllocated) {
  ASSERT_EQ(HandleTableAttach(area, table), 1);
  const uint32_t size = GetParam().contentsSize;
  EXPECT_EQ(table->contentsSize, size);
  for (int32_t handle = 1; handle <= HANDLE_COUNT; ++handle) {
    ASSERT_EQ(HandleAlloc(area, table), handle);
    auto* contents = static_cast<unsigned char*>(HandleSlot(area, table, handle));
    ASSERT_NE(contents, nullptr);
    ASSERT_EQ(reinterpret_cast<uintptr_t>(contents) % HANDLE_CONTENTS_ALIGN, 0u);
    std::memset(contents, handle & 0xFF, size);
  }
  for (int32_t handle = 1; handle <= HANDLE_COUNT; ++handle) {
    auto* contents = static_cast<unsigned char*>(HandleSlot(area, table, handle));
    for (uint32_t i = 0; i < size; ++i) ASSERT_EQ(contents[i], handle & 0xFF) << handle << " byte " << i;
  }
  EXPECT_EQ(HandleFree(area, table, 7), 1);
  EXPECT_EQ(HandleAlloc(area, table), 7);
  auto* reused = static_cast<unsigned char*>(HandleSlot(area, table, 7));
  for (uint32_t i = 0; i < size; ++i) ASSERT_EQ(reused[i], 0) << i;
  EXPECT_EQ(Posted(), Texts{});
}

// One table's state never shows in another's.
TEST_P(HandleTableTest, InstancesAreIndependent) {
  for (const Instance& instance : INSTANCES) ASSERT_EQ(HandleTableAttach(area, instance.table), 1);
  for (int i = 0; i < 3; ++i) HandleAlloc(area, table);
  for (const Instance& instance : INSTANCES) {
    if (instance.table == table) continue;
    SCOPED_TRACE(instance.name);
    EXPECT_EQ(HandleValid(area, instance.table, 2), 0);
    EXPECT_EQ(HandleAlloc(area, instance.table), 1);
  }
  EXPECT_EQ(HandleTableDetach(area, table), 1);
  EXPECT_EQ(HandleValid(area, table, 1), 0);
  EXPECT_EQ(Posted(), Texts{SEQUENCE});
  for (const Instance& instance : INSTANCES) {
    if (instance.table == table) continue;
    SCOPED_TRACE(instance.name);
    EXPECT_EQ(HandleValid(area, instance.table, 1), 1);
    EXPECT_EQ(instance.table->block->refCount, 1);
  }
  EXPECT_EQ(Posted(), Texts{});
}

TEST_P(HandleTableTest, ThreadsTakingAndFreeingGetDistinctHandlesAndLoseNone) {
  ASSERT_EQ(HandleTableAttach(area, table), 1);
  constexpr int THREADS = 4;
  constexpr int ROUNDS = 300;
  constexpr int HELD = 60;  // per thread, so that the four together come near 500
  std::atomic<int> ready{0};
  std::atomic<int> faults{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < THREADS; ++t) {
    threads.emplace_back([&, t] {
      ready.fetch_add(1);
      while (ready.load() < THREADS) std::this_thread::yield();
      std::vector<int32_t> held;
      for (int round = 0; round < ROUNDS; ++round) {
        while (static_cast<int>(held.size()) < HELD) {
          int32_t handle = HandleAlloc(nullptr, table);
          auto* contents = static_cast<int32_t*>(HandleSlot(nullptr, table, handle));
          // A fresh slot is zero; then it carries its owner's mark.
          if (handle == 0 || contents == nullptr || contents[1] != 0) {
            faults.fetch_add(1);
            return;
          }
          contents[1] = (t + 1) * 1000 + handle;
          held.push_back(handle);
        }
        for (size_t i = round % 2; i < held.size(); i += 2) {
          auto* contents = static_cast<int32_t*>(HandleSlot(nullptr, table, held[i]));
          if (contents == nullptr || contents[1] != (t + 1) * 1000 + held[i] || HandleFree(nullptr, table, held[i]) != 1)
            faults.fetch_add(1);
          held[i] = 0;
        }
        std::erase(held, 0);
      }
      for (int32_t handle : held) {
        auto* contents = static_cast<int32_t*>(HandleSlot(nullptr, table, handle));
        if (contents == nullptr || contents[1] != (t + 1) * 1000 + handle) faults.fetch_add(1);
        HandleFree(nullptr, table, handle);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(faults.load(), 0);
  // Every handle came back: all 500 can be taken again, lowest first.
  for (int32_t expected = 1; expected <= HANDLE_COUNT; ++expected) ASSERT_EQ(HandleAlloc(area, table), expected);
  EXPECT_EQ(HandleAlloc(area, table), 0);
}

// Threads that set up and release environments at the same time: each
// attachment is counted once, the table is created once, and the last
// detach frees it.
TEST_P(HandleTableTest, ConcurrentAttachAndDetachCountEachOnce) {
  constexpr int THREADS = 4;
  for (int cycle = 0; cycle < 50; ++cycle) {
    std::atomic<int> ready{0};
    std::atomic<int> faults{0};
    std::atomic<int> attached{0};
    std::atomic<int> detached{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < THREADS; ++t) {
      threads.emplace_back([&] {
        ready.fetch_add(1);
        while (ready.load() < THREADS) std::this_thread::yield();
        if (HandleTableAttach(nullptr, table) != 1) faults.fetch_add(1);
        int32_t handle = HandleAlloc(nullptr, table);
        if (handle == 0) faults.fetch_add(1);
        attached.fetch_add(1);
        // All threads hold their attachment at once before any lets go.
        while (attached.load() < THREADS) std::this_thread::yield();
        if (HandleValid(nullptr, table, handle) != 1) faults.fetch_add(1);
        detached.fetch_add(1);
        while (detached.load() < THREADS) std::this_thread::yield();
        HandleFree(nullptr, table, handle);
        HandleTableDetach(nullptr, table);
      });
    }
    for (std::thread& thread : threads) thread.join();
    ASSERT_EQ(faults.load(), 0) << cycle;
    ASSERT_EQ(table->slots.load(), nullptr) << cycle;
    ASSERT_EQ(table->block, nullptr) << cycle;
    ASSERT_EQ(table->mutex, nullptr) << cycle;
  }
}

TEST_P(HandleTableTest, BlockMemoryRefused) {
  PlatformFailMemoryRequest(1);
  EXPECT_EQ(HandleTableAttach(area, table), 0);
  PlatformFailMemoryRequest(0);
  EXPECT_EQ(Posted(), Texts{"Shared Memory Fehler: Nicht genug Speicher vorhanden"});
  // The mutex stays, the block does not, the attachment is not counted.
  EXPECT_NE(table->mutex, nullptr);
  EXPECT_EQ(table->block, nullptr);
  EXPECT_EQ(HandleAlloc(area, table), 0);
  EXPECT_EQ(Posted(), Texts{SEQUENCE});

  ASSERT_EQ(HandleTableAttach(area, table), 1);
  EXPECT_EQ(table->block->refCount, 1);
  EXPECT_EQ(HandleAlloc(area, table), 1);
  EXPECT_EQ(HandleTableDetach(area, table), 1);
  EXPECT_EQ(table->block, nullptr);
  EXPECT_EQ(table->mutex, nullptr);
}

TEST_P(HandleTableTest, LockWithoutMutexFailsUnlockWithoutMutexSucceeds) {
  EXPECT_EQ(HandleTableLock(area, table), 0);
  EXPECT_EQ(Posted(), Texts{SemaphoreMessage(PLATFORM_ERROR_INVALID_HANDLE)});
  EXPECT_EQ(HandleTableUnlock(area, table), 1);
  EXPECT_EQ(Posted(), Texts{});
}

TEST_P(HandleTableTest, LockIsReentrantAndReleaseByAnotherThreadFails) {
  ASSERT_EQ(HandleTableAttach(area, table), 1);
  ASSERT_EQ(HandleTableLock(area, table), 1);
  // Held by this thread, allocation still goes through (the mutex is
  // re-entrant), while another thread can neither release nor take it.
  EXPECT_EQ(HandleAlloc(area, table), 1);
  int unlockResult = -1;
  std::thread other([&] {
    DiagArea* otherArea = DiagCreate(nullptr);
    unlockResult = HandleTableUnlock(otherArea, table);
    EXPECT_EQ(Messages(otherArea), Texts{SemaphoreMessage(PLATFORM_ERROR_NOT_OWNER)});
    DiagDestroy(otherArea);
  });
  other.join();
  EXPECT_EQ(unlockResult, 0);
  EXPECT_EQ(HandleTableUnlock(area, table), 1);
  EXPECT_EQ(HandleTableUnlock(area, table), 0);
  EXPECT_EQ(Posted(), Texts{SemaphoreMessage(PLATFORM_ERROR_NOT_OWNER)});
}

TEST_P(HandleTableTest, FailedWaitsLeaveTheTableAsItWas) {
  const std::string semaphore = SemaphoreMessage(PLATFORM_ERROR_INVALID_HANDLE);
  ASSERT_EQ(HandleTableAttach(area, table), 1);
  ASSERT_EQ(HandleAlloc(area, table), 1);

  PlatformFailMutexWait(1);
  EXPECT_EQ(HandleAlloc(area, table), 0);
  EXPECT_EQ(Posted(), Texts{semaphore});
  EXPECT_EQ(HandleAlloc(area, table), 2);

  PlatformFailMutexWait(1);
  EXPECT_EQ(HandleFree(area, table, 2), 0);
  EXPECT_EQ(Posted(), Texts{semaphore});
  EXPECT_EQ(HandleValid(area, table, 2), 1);

  // A second attachment whose lock fails is not counted and leaves the
  // first one's table and handles in place.
  PlatformFailMutexWait(1);
  EXPECT_EQ(HandleTableAttach(area, table), 0);
  EXPECT_EQ(Posted(), Texts{semaphore});
  EXPECT_EQ(table->block->refCount, 1);
  EXPECT_EQ(HandleValid(area, table, 1), 1);
  EXPECT_EQ(Posted(), Texts{});

  // A detach whose lock fails takes nothing back.
  PlatformFailMutexWait(1);
  EXPECT_EQ(HandleTableDetach(area, table), 1);
  EXPECT_EQ(Posted(), Texts{semaphore});
  EXPECT_EQ(table->block->refCount, 1);
  EXPECT_EQ(HandleValid(area, table, 1), 1);

  // The one counted attachment is the last: its detach frees the table.
  EXPECT_EQ(HandleTableDetach(area, table), 1);
  EXPECT_EQ(table->block, nullptr);
  EXPECT_EQ(table->mutex, nullptr);
  EXPECT_EQ(table->slots.load(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Layers, HandleTableTest, ::testing::ValuesIn(INSTANCES),
                         [](const ::testing::TestParamInfo<Instance>& info) { return std::string(info.param.name); });

// A table defined by a layer of its own, with an odd contents size: the
// stride keeps every slot's contents aligned.
TEST(HandleTable, OwnInstanceWithOddContentsSize) {
  struct Record {
    uint8_t kind;
    uint16_t parent;
    void* pointer;
    uint8_t flag;
  };
  static_assert(HandleRecordFits<Record>(24));
  static_assert(!HandleRecordFits<Record>(8));
  static HandleTable table{static_cast<uint32_t>(sizeof(Record)) + 1};
  EXPECT_GE(HandleSlotSize(&table), HANDLE_CONTENTS_OFFSET + sizeof(Record) + 1);
  EXPECT_EQ(HandleSlotSize(&table) % HANDLE_CONTENTS_ALIGN, 0u);
  ASSERT_EQ(HandleTableAttach(nullptr, &table), 1);
  for (int32_t handle = 1; handle <= HANDLE_COUNT; ++handle) {
    ASSERT_EQ(HandleAlloc(nullptr, &table), handle);
    Record* record = HandleRecord<Record>(nullptr, &table, handle);
    ASSERT_NE(record, nullptr);
    ASSERT_EQ(reinterpret_cast<uintptr_t>(record) % alignof(Record), 0u);
    record->kind = HANDLE_CONNECTION;
    record->pointer = record;
    record->flag = 1;
  }
  EXPECT_EQ(HandleCheckKind(nullptr, &table, 500, HANDLE_CONNECTION), 1);
  EXPECT_EQ(HandleRecord<Record>(nullptr, &table, 250)->pointer, HandleSlot(nullptr, &table, 250));
  EXPECT_EQ(HandleTableDetach(nullptr, &table), 1);
  EXPECT_EQ(table.block, nullptr);
}

TEST(SystemErrorText, WordsTheLastErrorCutToFit) {
  char expected[256];
  PlatformFormatMessage(PLATFORM_ERROR_FILE_NOT_FOUND, expected, sizeof expected);
  ASSERT_GT(std::strlen(expected), 8u);

  char buffer[256];
  PlatformSetLastError(PLATFORM_ERROR_FILE_NOT_FOUND);
  SystemErrorText(buffer, 255);
  EXPECT_STREQ(buffer, expected);

  std::memset(buffer, 'x', sizeof buffer);
  PlatformSetLastError(PLATFORM_ERROR_FILE_NOT_FOUND);
  SystemErrorText(buffer, 6);
  EXPECT_EQ(std::string(buffer), std::string(expected, 5));
  EXPECT_EQ(buffer[6], 'x');

  PlatformSetLastError(PLATFORM_ERROR_FILE_NOT_FOUND);
  SystemErrorText(buffer, 1);
  EXPECT_STREQ(buffer, "");

  // A code the system has no text for.
  PlatformSetLastError(0x2000FFFF);
  SystemErrorText(buffer, 255);
  EXPECT_STREQ(buffer, "");
}

}  // namespace
