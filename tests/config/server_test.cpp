#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "config/path.h"
#include "config/remotefile.h"
#include "config/server.h"
#include "config/translation.h"
#include "tests/config/config_fixture.h"

namespace {

using vxtest::TempDir;
using vxtest::WindowsDir;

// Names unlikely to be met in anyone else's profile: on Windows the file
// lies in the system's own directory.
const std::string kAliased = "vx-cfg-aliased";
const std::string kPlain = "vx-cfg-plain";
// Two names of 120 characters: the first has its first 99 characters as an
// aliased section, the second only its whole name.
const std::string kLongCut = std::string(99, 'c') + std::string(21, 'x');
const std::string kLongWhole = std::string(99, 'w') + std::string(21, 'y');

class ServerProfile : public ::testing::Test {
 protected:
  void SetUp() override {
    table = tables.Write("server.tbl", "97:65\n");
    ASSERT_TRUE(windows.Write("vorndex.ini", "[" + kAliased + "]\nConnect=\"Protocol=TCP;Host=h;Port=1\" ; quoted, for the semicolons\nCodeTranslation=" +
                                                 table + "\n[" + kPlain + "]\nCodeTranslation=" + table +
                                                 "\nConnect=\n[" + kLongCut.substr(0, 99) + "]\nConnect=cut\n[" +
                                                 kLongWhole + "]\nConnect=whole\n"));
  }

  TempDir tables;
  WindowsDir windows;
  std::string table;
};

TEST(Server, UnquotePath) {
  struct Case {
    const char* path;
    int32_t length;
    const char* expected;
  } const cases[] = {
      {"\"C:\\a b\\x\"", SQL_NTS, "C:\\a b\\x"},
      {"'C:\\x'", SQL_NTS, "C:\\x"},
      {"\"C:\\x'", SQL_NTS, "C:\\x'"},  // a closing quote of the other kind stays
      {"\"C:\\x\"   ", SQL_NTS, "C:\\x"},
      {"\"", SQL_NTS, ""},
      {"\"\"", SQL_NTS, ""},
      {"C:\\x", SQL_NTS, "C:\\x"},
      {"C:\\x  ", SQL_NTS, "C:\\x  "},  // not quoted: as given
      {"\"abc\"def", 4, "abc"},
      {"", SQL_NTS, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const char* start = nullptr;
    int32_t length = 0;
    UnquotePath(c.path, c.length, &start, &length);
    EXPECT_EQ(std::string(start, static_cast<size_t>(StrLen(start, length))), c.expected);
  }
}

TEST_F(ServerProfile, IsLocalPathKnowsTheAliasedServer) {
  struct Case {
    std::string path;
    int expected;
  } const cases[] = {
      {"//" + kAliased + "/data/x.ini", 0},
      {"\\\\" + kAliased + "\\data\\x.ini", 0},
      {"/\\" + kAliased + "/x", 0},
      {"\"//" + kAliased + "/x\"", 0},
      {"'\\\\" + kAliased + "\\x'", 0},
      {"//" + kAliased, 1},  // a server name alone is always local
      {"//" + kAliased + "/", 1},
      {"//" + kAliased + "/   ", 1},
      {"//" + kPlain + "/x", 1},  // empty "Connect"
      {"//vx-cfg-missing/x", 1},
      {"//VX-CFG-ALIASED/x", 1},  // section names are case-sensitive
      {"C:\\data\\x.ini", 1},
      {"/data/x.ini", 1},
      {"", 1},
      {"//" + kLongCut + "/x", 0},    // cut to 99 characters: that section is aliased
      {"//" + kLongWhole + "/x", 1},  // cut to 99 characters: no such section
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(IsLocalPath(c.path.c_str(), SQL_NTS), c.expected);
  }
  EXPECT_EQ(IsLocalPath(nullptr, SQL_NTS), 1);
  // The counted length decides where the path ends.
  std::string longer = "//" + kAliased + "/x";
  EXPECT_EQ(IsLocalPath(longer.c_str(), static_cast<int32_t>(2 + kAliased.size())), 1);
}

TEST_F(ServerProfile, ConnectStringAndTranslationOfTheServer) {
  char out[64] = "#";
  const std::string aliased = "//" + kAliased + "/data";
  EXPECT_EQ(ServerConnectString(aliased.c_str(), SQL_NTS, out, sizeof out), 1);
  EXPECT_STREQ(out, "Protocol=TCP;Host=h;Port=1");
  EXPECT_EQ(ServerConnectString(aliased.c_str(), SQL_NTS, out, 9), 1);
  EXPECT_STREQ(out, "Protocol");
  EXPECT_EQ(ServerConnectString(("//" + kAliased).c_str(), SQL_NTS, out, sizeof out), 1)
      << "the connect string needs only the server name";

  std::strcpy(out, "#");
  EXPECT_EQ(ServerConnectString(("//" + kPlain + "/x").c_str(), SQL_NTS, out, sizeof out), 0);
  EXPECT_EQ(ServerConnectString("C:\\x", SQL_NTS, out, sizeof out), 0);
  EXPECT_EQ(ServerConnectString(("//" + kLongCut + "/x").c_str(), SQL_NTS, out, sizeof out), 1);
  EXPECT_STREQ(out, "cut");
  EXPECT_EQ(ServerConnectString(("//" + kLongWhole + "/x").c_str(), SQL_NTS, out, sizeof out), 0);

  TranslationTable* translation = ServerTranslation(aliased.c_str(), SQL_NTS);
  ASSERT_NE(translation, nullptr);
  EXPECT_EQ(translation->outgoing['a'], 'A');
  EXPECT_EQ(ServerTranslation(("\"//" + kPlain + "/x\"").c_str(), SQL_NTS), translation);
  EXPECT_EQ(ServerTranslation("C:\\x", SQL_NTS), nullptr);
  EXPECT_EQ(ServerTranslation("//vx-cfg-missing/x", SQL_NTS), nullptr);
}

TEST(Server, RemotePathPart) {
  struct Case {
    const char* path;
    const char* expected;
  } const cases[] = {
      {"//alpha/data/x.ini", "data/x.ini"},
      {"\\\\alpha\\data\\x.ini  ", "data\\x.ini"},
      {"\"//alpha/data\"", "data"},
      {"//alpha", ""},
      {"C:\\data\\x.ini", "C:\\data\\x.ini"},
      {"'C:\\x'", "C:\\x"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    char out[64] = "#";
    EXPECT_EQ(RemotePathPart(c.path, SQL_NTS, out, sizeof out), 1);
    EXPECT_STREQ(out, c.expected);
  }
  char small[4];
  EXPECT_EQ(RemotePathPart("//alpha/data", SQL_NTS, small, sizeof small), 1);
  EXPECT_STREQ(small, "dat");
}

TEST_F(ServerProfile, ComposePathRecognisesAliases) {
  char out[512];
  EXPECT_EQ(ComposePath(nullptr, ("\\\\" + kAliased + "\\data").c_str(), SQL_NTS, "x.ini", SQL_NTS, out, sizeof out),
            SQL_SUCCESS);
  EXPECT_EQ(std::string(out), "//" + kAliased + "/");
  EXPECT_EQ(ComposePath(nullptr, ("\\\\" + kPlain + "\\data").c_str(), SQL_NTS, "x.ini", SQL_NTS, out, sizeof out),
            SQL_SUCCESS);
  EXPECT_EQ(std::string(out), "\\\\" + kPlain + "\\data\\x.ini");
  // Path composition keeps a server name of 120 characters whole.
  EXPECT_EQ(ComposePath(nullptr, ("//" + kLongWhole + "/d").c_str(), SQL_NTS, "x", SQL_NTS, out, sizeof out),
            SQL_SUCCESS);
  EXPECT_EQ(std::string(out), "//" + kLongWhole + "/");
  EXPECT_EQ(ComposePath(nullptr, ("//" + kLongCut + "/d").c_str(), SQL_NTS, "x", SQL_NTS, out, sizeof out),
            SQL_SUCCESS);
  EXPECT_EQ(std::string(out), "//" + kLongCut + "/d\\x");
}

TEST_F(ServerProfile, OpeningOnAnAliasedServerFailsWithEinvalForNow) {
  errno = 0;
  EXPECT_EQ(RemoteFileOpen(("//" + kAliased + "/data/x.ini").c_str(), "r"), nullptr);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(FileRegistryState()->files, nullptr) << "the failed open released the registry";
}

}  // namespace
