// Server paths and the joining of directories and file names.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "config/path.h"
#include "platform/env.h"
#include "platform/sysinfo.h"
#include "runtime/diag.h"
#include "tests/tool/support.h"

namespace {

TEST(SplitServerPath, Table) {
  const std::string longServer(300, 's');
  struct Row {
    std::string path;
    int32_t length;
    std::string rest, server;
  } rows[] = {
      {"\\\\alpha\\data\\x.ini", SQL_NTS, "data\\x.ini", "alpha"},
      {"//alpha/data/x.ini", SQL_NTS, "data/x.ini", "alpha"},
      {"/\\alpha/data  ", SQL_NTS, "data", "alpha"},
      {"//alpha", SQL_NTS, "", "alpha"},
      {"//alpha/", SQL_NTS, "", "alpha"},
      {"//alpha//x", SQL_NTS, "/x", "alpha"},
      {"///x", SQL_NTS, "x", ""},
      {"\\\\", SQL_NTS, "\\\\", ""},
      {"\\\\   ", SQL_NTS, "\\\\   ", ""},
      {"//a", SQL_NTS, "", "a"},
      {"//abc", 3, "", "a"},
      {"C:\\data", SQL_NTS, "C:\\data", ""},
      {"C:\\data  ", SQL_NTS, "C:\\data  ", ""},
      {"/etc", SQL_NTS, "/etc", ""},
      {"", SQL_NTS, "", ""},
      {"   ", SQL_NTS, "", ""},
      {"//" + longServer + "/r", SQL_NTS, "r", std::string(255, 's')},
  };
  for (const Row& row : rows) {
    char rest[512], server[256];
    std::memset(rest, 'x', sizeof rest);
    std::memset(server, 'x', sizeof server);
    SplitServerPath(row.path.c_str(), row.length, rest, sizeof rest, server, sizeof server);
    EXPECT_EQ(rest, row.rest) << "[" << row.path.substr(0, 20) << "]";
    EXPECT_EQ(server, row.server) << "[" << row.path.substr(0, 20) << "]";
  }
}

TEST(SplitServerPath, SmallAndMissingBuffers) {
  char rest[4], server[3];
  SplitServerPath("//alpha/data", SQL_NTS, rest, sizeof rest, server, sizeof server);
  EXPECT_STREQ(rest, "dat");
  EXPECT_STREQ(server, "al");
  SplitServerPath("//alpha/data", SQL_NTS, nullptr, 0, server, sizeof server);
  EXPECT_STREQ(server, "al");
  SplitServerPath("//alpha/data", SQL_NTS, rest, sizeof rest, nullptr, 0);
  EXPECT_STREQ(rest, "dat");
}

TEST(ComposePath, Table) {
  struct Row {
    const char* directory;
    int32_t directoryLength;
    const char* file;
    int32_t fileLength;
    const char* expected;
  } rows[] = {
      {"C:\\data", SQL_NTS, "x.ini", SQL_NTS, "C:\\data\\x.ini"},
      {"C:\\data\\", SQL_NTS, "\\x.ini", SQL_NTS, "C:\\data\\x.ini"},
      {"C:\\data", SQL_NTS, "//\\x.ini", SQL_NTS, "C:\\data\\x.ini"},
      {"C:\\data", SQL_NTS, "", SQL_NTS, "C:\\data"},
      {"C:\\data", SQL_NTS, "   ", SQL_NTS, "C:\\data"},
      {"C:\\data", SQL_NTS, nullptr, SQL_NTS, "C:\\data"},
      {"C:\\data/", SQL_NTS, "x.ini", SQL_NTS, "C:\\data/x.ini"},
      {"C:\\data  ", SQL_NTS, "x.ini", SQL_NTS, "C:\\data  \\x.ini"},
      {"C:\\data/  ", SQL_NTS, "x.ini", SQL_NTS, "C:\\data/  x.ini"},
      {"", SQL_NTS, "\\x.ini", SQL_NTS, "\\x.ini"},
      {nullptr, SQL_NTS, "x.ini", SQL_NTS, "x.ini"},
      {"C:\\datab", 7, "x.inix", 5, "C:\\data\\x.ini"},
      {"C:\\data", SQL_NTS, "\\", SQL_NTS, "C:\\data\\"},
      {"\\\\host\\share", SQL_NTS, "x.ini", SQL_NTS, "\\\\host\\share\\x.ini"},
      {"/etc", SQL_NTS, "services", SQL_NTS, "/etc\\services"},
  };
  for (const Row& row : rows) {
    char out[512];
    std::memset(out, 'x', sizeof out);
    EXPECT_EQ(ComposePath(nullptr, row.directory, row.directoryLength, row.file, row.fileLength, out, sizeof out),
              SQL_SUCCESS);
    EXPECT_STREQ(out, row.expected) << (row.directory ? row.directory : "(null)") << " + "
                                    << (row.file ? row.file : "(null)");
  }
}

bool HasState(DiagArea* area, const char* state) {
  for (auto* record = static_cast<DiagRecord*>(ListPosition(area->records, LIST_FIRST, nullptr)); record != nullptr;
       record = static_cast<DiagRecord*>(ListPosition(area->records, LIST_NEXT, nullptr)))
    if (std::strcmp(record->sqlState, state) == 0) return true;
  return false;
}

TEST(ComposePath, CutsArePostedAsTruncation) {
  DiagArea* area = DiagCreate(nullptr);
  ASSERT_NE(area, nullptr);
  char out[8];
  EXPECT_EQ(ComposePath(area, "C:\\data", SQL_NTS, "x.ini", SQL_NTS, out, sizeof out), SQL_SUCCESS_WITH_INFO);
  EXPECT_STREQ(out, "C:\\data");
  EXPECT_TRUE(HasState(area, STR_STATE_TRUNCATED));
  DiagDestroy(area);

  // The joining buffer holds 511 characters, whatever the output's size.
  area = DiagCreate(nullptr);
  ASSERT_NE(area, nullptr);
  std::string directory(600, 'd');
  char big[1024];
  EXPECT_EQ(ComposePath(area, directory.c_str(), SQL_NTS, "x", SQL_NTS, big, sizeof big), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(std::string(big), std::string(511, 'd'));
  EXPECT_TRUE(HasState(area, STR_STATE_TRUNCATED));
  DiagDestroy(area);

  area = DiagCreate(nullptr);
  ASSERT_NE(area, nullptr);
  EXPECT_EQ(ComposePath(area, "C:\\data", SQL_NTS, "x.ini", SQL_NTS, big, sizeof big), SQL_SUCCESS);
  EXPECT_FALSE(HasState(area, STR_STATE_TRUNCATED));
  DiagDestroy(area);
}

// Servers with a "Connect" value in "vorndex.ini" have an alias; their paths
// come back as "//server/" and the server's answer, which is empty while no
// server answers.
class ServerAliases : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* before = std::getenv("VORNDEX_WINDIR");
    had_ = before != nullptr;
    if (had_) saved_ = before;
    PlatformSetEnvironment("VORNDEX_WINDIR", dir_.Path().c_str());
    char directory[512];
    uint32_t length = PlatformGetWindowsDirectory(directory, sizeof directory);
    if (std::string(directory, length < sizeof directory ? length : 0) != dir_.Path())
      GTEST_SKIP() << "the Windows directory cannot be moved on this host";
    ASSERT_TRUE(WriteBytes(dir_.File("vorndex.ini"),
                           "[alpha]\nConnect=Protocol=TCP;Host=alpha\n"
                           "[empty]\nConnect=\n"
                           "[other]\nCodeTranslation=x.tab\n"));
  }
  void TearDown() override { PlatformSetEnvironment("VORNDEX_WINDIR", had_ ? saved_.c_str() : nullptr); }

  TempDir dir_;
  bool had_ = false;
  std::string saved_;
};

TEST_F(ServerAliases, RecognisedFromTheProfile) {
  EXPECT_EQ(HasServerAlias("alpha", SQL_NTS), 1);
  EXPECT_EQ(HasServerAlias("alpha   ", SQL_NTS), 1);
  EXPECT_EQ(HasServerAlias("alphabet", 5), 1);
  EXPECT_EQ(HasServerAlias("Alpha", SQL_NTS), 0);
  EXPECT_EQ(HasServerAlias("empty", SQL_NTS), 0);
  EXPECT_EQ(HasServerAlias("other", SQL_NTS), 0);
  EXPECT_EQ(HasServerAlias("nowhere", SQL_NTS), 0);
  EXPECT_EQ(HasServerAlias("", SQL_NTS), 0);
  EXPECT_EQ(HasServerAlias(nullptr, SQL_NTS), 0);
}

TEST_F(ServerAliases, ComposePathOfAnAliasedServer) {
  struct Row {
    const char* directory;
    const char* expected;
  } rows[] = {
      {"//alpha/data", "//alpha/"},
      {"\\\\alpha\\data\\sub", "//alpha/"},
      {"\\\\alpha", "//alpha/"},
      {"\\\\empty\\data", "\\\\empty\\data\\x.ini"},
      {"\\\\other\\data", "\\\\other\\data\\x.ini"},
      {"\\\\Alpha\\data", "\\\\Alpha\\data\\x.ini"},
  };
  for (const Row& row : rows) {
    char out[512];
    EXPECT_EQ(ComposePath(nullptr, row.directory, SQL_NTS, "x.ini", SQL_NTS, out, sizeof out), SQL_SUCCESS);
    EXPECT_STREQ(out, row.expected) << row.directory;
  }
}

}  // namespace
