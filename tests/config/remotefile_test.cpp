#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "config/remotefile.h"
#include "config/translation.h"
#include "platform/memory.h"
#include "runtime/list.h"
#include "tests/config/config_fixture.h"

namespace {

using vxtest::TempDir;

bool RegistryReleased() { return FileRegistryState()->files == nullptr; }

TEST(RemoteFile, LocalFileReadsLikeFgets) {
  TempDir dir;
  std::string path = dir.Write("lines.txt", "first\nsecond line\nlast");
  RemoteFile* file = RemoteFileOpen(path.c_str(), "r");
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file->fileKind, FILE_LOCAL);
  EXPECT_FALSE(RegistryReleased());
  char line[8];
  ASSERT_EQ(RemoteFileGets(line, sizeof line, file), line);
  EXPECT_STREQ(line, "first\n");
  ASSERT_EQ(RemoteFileGets(line, sizeof line, file), line);
  EXPECT_STREQ(line, "second ");
  ASSERT_EQ(RemoteFileGets(line, sizeof line, file), line);
  EXPECT_STREQ(line, "line\n");
  ASSERT_EQ(RemoteFileGets(line, sizeof line, file), line);
  EXPECT_STREQ(line, "last");
  EXPECT_EQ(RemoteFileGets(line, sizeof line, file), nullptr);
  EXPECT_EQ(RemoteFileClose(file), 0);
  EXPECT_TRUE(RegistryReleased());
}

TEST(RemoteFile, ErrnoResults) {
  TempDir dir;
  // A local open that fails keeps the library's errno and leaves nothing.
  errno = 0;
  EXPECT_EQ(RemoteFileOpen(dir.Path("absent.txt").c_str(), "r"), nullptr);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_TRUE(RegistryReleased());
  errno = 0;
  EXPECT_EQ(RemoteFileOpen(nullptr, "r"), nullptr);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(RemoteFileOpen(dir.Path("absent.txt").c_str(), nullptr), nullptr);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_TRUE(RegistryReleased());

  // Handles that are not registered: never opened, null, closed already.
  RemoteFile stranger{};
  char line[16];
  for (RemoteFile* handle : {&stranger, static_cast<RemoteFile*>(nullptr)}) {
    errno = 0;
    EXPECT_EQ(RemoteFileGets(line, sizeof line, handle), nullptr);
    EXPECT_EQ(errno, EBADF);
    errno = 0;
    EXPECT_EQ(RemoteFileClose(handle), 1);
    EXPECT_EQ(errno, EBADF);
    errno = 0;
    EXPECT_EQ(RemoteFileSetTranslation("x", handle), 1);
    EXPECT_EQ(errno, EBADF);
  }
  EXPECT_TRUE(RegistryReleased()) << "looking a handle up makes no registry";

  std::string path = dir.Write("one.txt", "x\n");
  RemoteFile* file = RemoteFileOpen(path.c_str(), "r");
  ASSERT_NE(file, nullptr);
  errno = 0;
  EXPECT_EQ(RemoteFileGets(nullptr, 16, file), nullptr);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(RemoteFileGets(line, 0, file), nullptr);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(RemoteFileClose(file), 0);
  errno = 0;
  EXPECT_EQ(RemoteFileClose(file), 1);
  EXPECT_EQ(errno, EBADF);
}

TEST(RemoteFile, NoMemoryForTheRegistryGivesEnomem) {
  TempDir dir;
  std::string path = dir.Write("one.txt", "x\n");
  ASSERT_TRUE(RegistryReleased());
  PlatformFailMemoryRequest(1, true);
  errno = 0;
  RemoteFile* file = RemoteFileOpen(path.c_str(), "r");
  PlatformFailMemoryRequest(0);
  EXPECT_EQ(file, nullptr);
  EXPECT_EQ(errno, ENOMEM);
  EXPECT_TRUE(RegistryReleased());
  file = RemoteFileOpen(path.c_str(), "r");
  ASSERT_NE(file, nullptr) << "the next open starts afresh";
  EXPECT_EQ(RemoteFileClose(file), 0);
}

TEST(RemoteFile, TranslationAppliesToLinesReadAfterIt) {
  TempDir dir;
  std::string table = dir.Write("atob.tbl", "/\n97:98\n");
  std::string path = dir.Write("text.txt", "aaa  \naaa  \naaa  \naaa  ");
  RemoteFile* file = RemoteFileOpen(path.c_str(), "r");
  ASSERT_NE(file, nullptr);
  char line[32];
  ASSERT_NE(RemoteFileGets(line, sizeof line, file), nullptr);
  EXPECT_STREQ(line, "aaa  \n");

  errno = 5;
  EXPECT_EQ(RemoteFileSetTranslation(table.c_str(), file), 0);
  EXPECT_EQ(errno, 0);
  ASSERT_NE(RemoteFileGets(line, sizeof line, file), nullptr);
  EXPECT_STREQ(line, "bbb  \n") << "a newline keeps the blanks before it";

  // A name that cannot be found takes the earlier table away.
  EXPECT_EQ(RemoteFileSetTranslation(dir.Path("absent.tbl").c_str(), file), 1);
  EXPECT_EQ(errno, ENOENT);
  ASSERT_NE(RemoteFileGets(line, sizeof line, file), nullptr);
  EXPECT_STREQ(line, "aaa  \n");

  EXPECT_EQ(RemoteFileSetTranslation(table.c_str(), file), 0);
  ASSERT_NE(RemoteFileGets(line, sizeof line, file), nullptr);
  EXPECT_STREQ(line, "bbb") << "the last line has no newline: its blanks go";
  EXPECT_EQ(RemoteFileClose(file), 0);
}

TEST(RemoteFile, EmptyTranslationNameRemovesTheTable) {
  TempDir dir;
  std::string table = dir.Write("atob.tbl", "/\n97:98\n");
  std::string path = dir.Write("text.txt", "abc\n");
  RemoteFile* file = RemoteFileOpen(path.c_str(), "r");
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(RemoteFileSetTranslation(table.c_str(), file), 0);
  errno = 0;
  EXPECT_EQ(RemoteFileSetTranslation("", file), 1);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(file->translation, nullptr);
  char line[16];
  ASSERT_NE(RemoteFileGets(line, sizeof line, file), nullptr);
  EXPECT_STREQ(line, "abc\n");
  EXPECT_EQ(RemoteFileClose(file), 0);
}

TEST(RemoteFile, StandardStreamsGoStraightToTheLibrary) {
  for (FILE* stream : {stdin, stdout, stderr}) EXPECT_TRUE(IsStandardStream(RemoteFileStream(stream)));
  RemoteFile other{};
  EXPECT_FALSE(IsStandardStream(&other));
  EXPECT_FALSE(IsStandardStream(nullptr));

  errno = 77;
  EXPECT_EQ(RemoteFileSetTranslation("x", RemoteFileStream(stdout)), 1);
  EXPECT_EQ(errno, 77) << "no translation on a standard stream, errno untouched";

  TempDir dir;
  std::string path = dir.Write("input.txt", "from standard input\n");
  ASSERT_NE(std::freopen(std::filesystem::path(dir.Dir() + "/input.txt").string().c_str(), "r", stdin), nullptr);
  char line[64];
  ASSERT_NE(RemoteFileGets(line, sizeof line, RemoteFileStream(stdin)), nullptr);
  EXPECT_STREQ(line, "from standard input\n");
  EXPECT_EQ(RemoteFileGets(line, sizeof line, RemoteFileStream(stdin)), nullptr);
  EXPECT_TRUE(RegistryReleased()) << "standard streams are no registered files";
}

TEST(RemoteFileDeathTest, ClosingStandardOutputClosesIt) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        int closed = RemoteFileClose(RemoteFileStream(stdout));
        std::_Exit(closed == 0 ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(RemoteFile, RegistryLivesWhileAnyFileIsOpen) {
  TempDir dir;
  std::string a = dir.Write("a.txt", "a\n");
  std::string b = dir.Write("b.txt", "b\n");
  RemoteFile* first = RemoteFileOpen(a.c_str(), "r");
  RemoteFile* second = RemoteFileOpen(b.c_str(), "r");
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(FileRegistryState()->files->count, 2);
  // A failed open in between leaves the open files alone.
  EXPECT_EQ(RemoteFileOpen(dir.Path("absent").c_str(), "r"), nullptr);
  EXPECT_EQ(FileRegistryState()->files->count, 2);
  EXPECT_EQ(RemoteFileClose(first), 0);
  ASSERT_FALSE(RegistryReleased());
  char line[8];
  ASSERT_NE(RemoteFileGets(line, sizeof line, second), nullptr);
  EXPECT_STREQ(line, "b\n");
  EXPECT_EQ(RemoteFileClose(second), 0);
  EXPECT_TRUE(RegistryReleased());
}

TEST(RemoteFile, AddSurvivesAReleaseBetweenGetAndAdd) {
  // The interleaving of an open with another thread's last close: the
  // registry is fetched, the other close releases it, then the record is
  // added. The add makes the registry again instead of using a freed list.
  ASSERT_TRUE(RegistryReleased());
  ASSERT_NE(FileRegistryGet(), nullptr);
  FileRegistryRelease();
  ASSERT_TRUE(RegistryReleased());
  RemoteFile* record = FileRegistryAdd();
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(FileRegistryFind(record), record);
  EXPECT_EQ(FileRegistryState()->files->count, 1);
  FileRegistryRemove(record);
  EXPECT_TRUE(RegistryReleased());
}

TEST(RemoteFile, ThreadsOpenAndCloseAtOnce) {
  TempDir dir;
  const int threadCount = 8;
  std::vector<std::string> paths;
  for (int t = 0; t < threadCount; ++t) paths.push_back(dir.Write("t" + std::to_string(t) + ".txt", "line " + std::to_string(t) + "\n"));
  std::atomic<int> failures{0};
  std::atomic<int> ready{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < threadCount; ++t)
    threads.emplace_back([&, t] {
      // Start together, so that the registry is made and released while
      // other threads use it.
      ready.fetch_add(1);
      while (ready.load() < threadCount) std::this_thread::yield();
      std::string expected = "line " + std::to_string(t) + "\n";
      for (int i = 0; i < 200; ++i) {
        RemoteFile* file = RemoteFileOpen(paths[static_cast<size_t>(t)].c_str(), "r");
        if (file == nullptr) {
          failures.fetch_add(1);
          continue;
        }
        char line[32];
        if (RemoteFileGets(line, sizeof line, file) == nullptr || expected != line) failures.fetch_add(1);
        if (RemoteFileClose(file) != 0) failures.fetch_add(1);
      }
    });
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_TRUE(RegistryReleased());
}

}  // namespace
