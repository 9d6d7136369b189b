// The platform calls the tool and its tests stand on: the lock on the
// services file and the running of programs.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>

#include "platform/env.h"
#include "platform/file.h"
#include "platform/filelock.h"
#include "tests/tool/support.h"

namespace {

const std::string kHelper = VX_HELPER_PATH;

TEST(PlatformFileLock, ExcludesOtherOpenFilesButNeverTheirReadsOrTheAppend) {
  TempDir dir;
  std::string path = dir.File("services");
  ASSERT_TRUE(WriteBytes(path, OnDisk("alpha 7/tcp\n")));
  FILE* holder = PlatformFileOpen(path.c_str(), "r+");
  FILE* other = PlatformFileOpen(path.c_str(), "r+");
  ASSERT_NE(holder, nullptr);
  ASSERT_NE(other, nullptr);

  ASSERT_EQ(PlatformFileLock(holder), 1);
  EXPECT_EQ(PlatformFileTryLock(other), 0);
  // The system's readers go on while the lock is held.
  std::string bytes;
  EXPECT_TRUE(ReadBytes(path, &bytes));
  EXPECT_EQ(bytes, OnDisk("alpha 7/tcp\n"));
  char line[64];
  ASSERT_NE(std::fgets(line, sizeof line, other), nullptr);
  EXPECT_STREQ(line, "alpha 7/tcp\n");
  // And the holder appends.
  ASSERT_EQ(std::fseek(holder, 0, SEEK_END), 0);
  std::fputs("beta 8/tcp\n", holder);
  ASSERT_EQ(std::fflush(holder), 0);

  EXPECT_EQ(PlatformFileUnlock(holder), 1);
  EXPECT_EQ(PlatformFileTryLock(other), 1);
  EXPECT_EQ(PlatformFileTryLock(holder), 0);
  EXPECT_EQ(PlatformFileUnlock(other), 1);
  std::fclose(holder);
  std::fclose(other);
  EXPECT_TRUE(ReadBytes(path, &bytes));
  EXPECT_EQ(bytes, OnDisk("alpha 7/tcp\nbeta 8/tcp\n"));
}

TEST(PlatformFileLock, AWaiterGetsTheLockOnceItIsGivenBack) {
  TempDir dir;
  std::string path = dir.File("services");
  ASSERT_TRUE(WriteBytes(path, ""));
  FILE* holder = PlatformFileOpen(path.c_str(), "r+");
  FILE* waiter = PlatformFileOpen(path.c_str(), "r+");
  ASSERT_NE(holder, nullptr);
  ASSERT_NE(waiter, nullptr);
  ASSERT_EQ(PlatformFileLock(holder), 1);
  int got = -1;
  std::thread other([&] { got = PlatformFileLock(waiter); });
  EXPECT_EQ(PlatformFileUnlock(holder), 1);
  other.join();
  EXPECT_EQ(got, 1);
  EXPECT_EQ(PlatformFileTryLock(holder), 0);
  EXPECT_EQ(PlatformFileUnlock(waiter), 1);
  std::fclose(holder);
  std::fclose(waiter);
}

TEST(PlatformProcess, ArgumentsArriveAsGiven) {
  const std::vector<std::string> arguments = {
      "plain", "two words", "", "quote\"inside", "back\\slash", "trail\\", "\\\"both\\\\\"", "tab\there", "*", "-x",
  };
  std::vector<std::string> all{"args"};
  all.insert(all.end(), arguments.begin(), arguments.end());
  PlatformProcessResult run = RunProgram(kHelper, all);
  std::string expected;
  for (const std::string& argument : arguments) expected += "[" + argument + "]" + HostLineEnd();
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.output, expected);
  EXPECT_EQ(run.errors, "");
}

TEST(PlatformProcess, EnvironmentIsAddedToAndReplaced) {
  ASSERT_EQ(PlatformSetEnvironment("VX_HELPER_VALUE", "old"), 1);
  const char* replaced[] = {"VX_HELPER_VALUE=forty two", nullptr};
  PlatformProcessResult run = RunProgram(kHelper, {"env", "VX_HELPER_VALUE"}, replaced);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.output, "forty two" + HostLineEnd());
  run = RunProgram(kHelper, {"env", "VX_HELPER_VALUE"});
  EXPECT_EQ(run.output, "old" + HostLineEnd());
  ASSERT_EQ(PlatformSetEnvironment("VX_HELPER_VALUE", nullptr), 1);
  EXPECT_EQ(RunProgram(kHelper, {"env", "VX_HELPER_VALUE"}).exitCode, 3);
  const char* added[] = {"VX_HELPER_OTHER=x", nullptr};
  EXPECT_EQ(RunProgram(kHelper, {"env", "PATH"}, added).exitCode, 0);
}

TEST(PlatformProcess, ExitCodeAndErrorOutput) {
  PlatformProcessResult run = RunProgram(kHelper, {"exit", "7", "oops"});
  EXPECT_EQ(run.exitCode, 7);
  EXPECT_EQ(run.output, "");
  EXPECT_EQ(run.errors, "oops");
}

TEST(PlatformProcess, MissingProgramDoesNotStart) {
  TempDir dir;
  std::string missing = dir.File("no-such-program");
  const char* argv[] = {missing.c_str(), nullptr};
  EXPECT_EQ(PlatformProcessStart(missing.c_str(), argv, nullptr), nullptr);
}

}  // namespace
