#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/env.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/memory.h"
#include "platform/sync.h"
#include "platform/sysinfo.h"

namespace {

int32_t PlatformId() {
  int32_t id = -1;
  EXPECT_EQ(PlatformGetVersion(&id), 1);
  return id;
}

std::string Directory(uint32_t (*call)(char*, uint32_t)) {
  char buffer[512];
  uint32_t length = call(buffer, sizeof buffer);
  EXPECT_GT(length, 0u);
  EXPECT_LT(length, sizeof buffer);
  EXPECT_EQ(std::strlen(buffer), length);
  return std::string(buffer, length);
}

TEST(PlatformSystemInfo, PlatformIdIsAKnownFamily) {
  int32_t id = PlatformId();
  EXPECT_TRUE(id == PLATFORM_ID_WINDOWS || id == PLATFORM_ID_NT) << id;
}

TEST(PlatformSystemInfo, DirectoriesExist) {
  EXPECT_TRUE(std::filesystem::is_directory(Directory(PlatformGetWindowsDirectory)));
  EXPECT_TRUE(std::filesystem::is_directory(Directory(PlatformGetSystemDirectory)));
}

TEST(PlatformSystemInfo, SmallBufferGetsTheSizeNeeded) {
  std::string dir = Directory(PlatformGetWindowsDirectory);
  char small[2] = {'x', 'x'};
  EXPECT_EQ(PlatformGetWindowsDirectory(small, sizeof small), dir.size() + 1);
}

// The POSIX host takes its Windows directory from VORNDEX_WINDIR; Windows
// must not let the environment move it.
TEST(PlatformSystemInfo, RelocationVariableOnlyOnTheSingleDirectoryLayout) {
  std::string before = Directory(PlatformGetWindowsDirectory);
  std::string elsewhere = std::filesystem::temp_directory_path().string();
  ASSERT_EQ(PlatformSetEnvironment("VORNDEX_WINDIR", elsewhere.c_str()), 1);
  std::string after = Directory(PlatformGetWindowsDirectory);
  std::string system = Directory(PlatformGetSystemDirectory);
  ASSERT_EQ(PlatformSetEnvironment("VORNDEX_WINDIR", nullptr), 1);
  if (PlatformId() == PLATFORM_ID_WINDOWS) {
    EXPECT_EQ(after, elsewhere);
    EXPECT_EQ(system, elsewhere);
    EXPECT_EQ(before, "/etc");
  } else {
    EXPECT_EQ(after, before);
  }
  EXPECT_EQ(Directory(PlatformGetWindowsDirectory), before);
}

TEST(PlatformCompare, OrdersAndEquals) {
  struct Case {
    const char* a;
    const char* b;
    int expected;
  } cases[] = {
      {"abc", "abc", PLATFORM_CSTR_EQUAL},
      {"abc", "abd", PLATFORM_CSTR_LESS_THAN},
      {"abd", "abc", PLATFORM_CSTR_GREATER_THAN},
      {"ab", "abc", PLATFORM_CSTR_LESS_THAN},
      {"abc", "ab", PLATFORM_CSTR_GREATER_THAN},
      {"", "", PLATFORM_CSTR_EQUAL},
      {"", "a", PLATFORM_CSTR_LESS_THAN},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PlatformCompareString(c.a, (int32_t)std::strlen(c.a), c.b, (int32_t)std::strlen(c.b)), c.expected)
        << c.a << " vs " << c.b;
  }
}

TEST(PlatformCompare, DistinguishesCase) {
  EXPECT_NE(PlatformCompareString("abc", 3, "ABC", 3), PLATFORM_CSTR_EQUAL);
  EXPECT_NE(PlatformCompareString("abc", 3, "ABC", 3), 0);
}

TEST(PlatformCompare, UsesTheGivenLengthsOnly) {
  EXPECT_EQ(PlatformCompareString("abcX", 3, "abcY", 3), PLATFORM_CSTR_EQUAL);
}

TEST(PlatformMutex, IsReentrantAndReleasedAsOftenAsTaken) {
  PlatformMutex m = PlatformMutexCreate(false);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(PlatformMutexWait(m), 1);
  EXPECT_EQ(PlatformMutexWait(m), 1);
  EXPECT_EQ(PlatformMutexRelease(m), 1);
  EXPECT_EQ(PlatformMutexRelease(m), 1);
  EXPECT_EQ(PlatformMutexRelease(m), 0);
  EXPECT_EQ(PlatformGetLastError(), PLATFORM_ERROR_NOT_OWNER);
  PlatformMutexClose(m);
}

TEST(PlatformMutex, InitiallyOwnedBelongsToTheCreator) {
  PlatformMutex m = PlatformMutexCreate(true);
  ASSERT_NE(m, nullptr);
  int otherRelease = -1;
  uint32_t otherError = 0;
  std::thread([&] {
    otherRelease = PlatformMutexRelease(m);
    otherError = PlatformGetLastError();
  }).join();
  EXPECT_EQ(otherRelease, 0);
  EXPECT_EQ(otherError, PLATFORM_ERROR_NOT_OWNER);
  EXPECT_EQ(PlatformMutexRelease(m), 1);
  PlatformMutexClose(m);
}

// Unprotected read-modify-write of a plain counter: any lapse in exclusion
// loses increments.
// Wine's mutexes go through the wineserver on every call, so the rounds are
// kept modest; contention between four threads still shows any lapse.
template <typename Lock, typename Unlock>
void ExpectExclusion(Lock lock, Unlock unlock, int kRounds = 2000) {
  constexpr int kThreads = 4;
  volatile long counter = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < kRounds; ++i) {
        lock();
        lock();  // re-entrant on the same thread
        long seen = counter;
        counter = seen + 1;
        unlock();
        unlock();
      }
    });
  for (auto& th : threads) th.join();
  EXPECT_EQ(counter, long(kThreads) * kRounds);
}

TEST(PlatformMutex, ExcludesOtherThreads) {
  PlatformMutex m = PlatformMutexCreate(false);
  ASSERT_NE(m, nullptr);
  ExpectExclusion([&] { ASSERT_EQ(PlatformMutexWait(m), 1); }, [&] { ASSERT_EQ(PlatformMutexRelease(m), 1); });
  PlatformMutexClose(m);
}

TEST(PlatformCriticalSection, ExcludesOtherThreads) {
  PlatformCriticalSection cs = PlatformCriticalSectionCreate();
  ASSERT_NE(cs, nullptr);
  ExpectExclusion([&] { PlatformCriticalSectionEnter(cs); }, [&] { PlatformCriticalSectionLeave(cs); }, 20000);
  PlatformCriticalSectionDelete(cs);
}

TEST(PlatformError, LastErrorIsPerThread) {
  // Each side sets its code while the other's is set, and reads it back
  // before anything else (thread start or join) can touch it.
  std::atomic<int> step{0};
  uint32_t inOther = 99;
  std::thread other([&] {
    PlatformSetLastError(5);
    step = 1;
    while (step != 2) std::this_thread::yield();
    inOther = PlatformGetLastError();
    step = 3;
  });
  while (step != 1) std::this_thread::yield();
  PlatformSetLastError(1234);
  step = 2;
  while (step != 3) std::this_thread::yield();
  uint32_t inMain = PlatformGetLastError();
  other.join();
  EXPECT_EQ(inOther, 5u);
  EXPECT_EQ(inMain, 1234u);
}

TEST(PlatformError, KnownCodesHaveTextWithLineEnd) {
  for (uint32_t code : {PLATFORM_ERROR_FILE_NOT_FOUND, PLATFORM_ERROR_ACCESS_DENIED, PLATFORM_ERROR_BROKEN_PIPE}) {
    char text[1024];
    uint32_t length = PlatformFormatMessage(code, text, sizeof text);
    EXPECT_GT(length, 2u) << code;
    EXPECT_EQ(std::strlen(text), length);
    EXPECT_EQ(text[length - 1], '\n') << code;
  }
}

TEST(PlatformError, TooSmallBufferYieldsNothing) {
  char text[4] = "zzz";
  EXPECT_EQ(PlatformFormatMessage(PLATFORM_ERROR_FILE_NOT_FOUND, text, sizeof text), 0u);
  EXPECT_STREQ(text, "");
}

TEST(PlatformMemory, SeamFailsTheNthRequestOnly) {
  PlatformFailMemoryRequest(2);
  void* first = PlatformGlobalAlloc(64);
  void* second = PlatformGlobalAlloc(64);
  void* third = PlatformGlobalAlloc(64);
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(second, nullptr);
  EXPECT_NE(third, nullptr);
  EXPECT_EQ(PlatformFailedMemoryRequests(), 1);
  PlatformGlobalFree(first);
  PlatformGlobalFree(third);
  PlatformFailMemoryRequest(0);
}

TEST(PlatformMemory, PersistentSeamFailsEveryLaterRequest) {
  PlatformFailMemoryRequest(1, true);
  EXPECT_EQ(PlatformGlobalAlloc(8), nullptr);
  EXPECT_EQ(PlatformGlobalAlloc(8), nullptr);
  EXPECT_EQ(PlatformFailedMemoryRequests(), 2);
  PlatformFailMemoryRequest(0);
  void* block = PlatformGlobalAlloc(8);
  EXPECT_NE(block, nullptr);
  PlatformGlobalFree(block);
}

TEST(PlatformMemory, BlocksAreUsableAndFixed) {
  auto* block = static_cast<unsigned char*>(PlatformGlobalAlloc(4096));
  ASSERT_NE(block, nullptr);
  std::memset(block, 0xAB, 4096);
  EXPECT_EQ(block[4095], 0xAB);
  PlatformGlobalFree(block);
  PlatformGlobalFree(nullptr);
}

TEST(PlatformFile, EitherSeparatorOpensTheFile) {
  auto dir = std::filesystem::temp_directory_path() / "vx_platform_file";
  std::filesystem::create_directories(dir);
  std::string path = (dir / "f.txt").string();
  FILE* out = std::fopen(path.c_str(), "w");
  ASSERT_NE(out, nullptr);
  std::fputs("x", out);
  std::fclose(out);
  std::string backslashed = path;
  for (char& c : backslashed)
    if (c == '/') c = '\\';
  FILE* in = PlatformFileOpen(backslashed.c_str(), "r");
  ASSERT_NE(in, nullptr) << backslashed;
  EXPECT_EQ(std::fgetc(in), 'x');
  std::fclose(in);
  std::filesystem::remove_all(dir);
}

}  // namespace
