// The command line and the location of the services file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "config/path.h"
#include "platform/env.h"
#include "platform/sysinfo.h"
#include "tests/tool/support.h"
#include "tool/options.h"

namespace {

int Parse(const std::vector<std::string>& arguments) {
  std::vector<const char*> argv{"register-service"};
  for (const std::string& argument : arguments) argv.push_back(argument.c_str());
  argv.push_back(nullptr);
  OptionsReset();
  return ParseOptions(static_cast<int>(argv.size()) - 1, argv.data());
}

TEST(ParseOptions, Table) {
  const std::string longValue(300, 'V');
  struct Row {
    std::vector<std::string> arguments;
    int result;
    std::string name, port, protocol, comment;
    int mode;
  } rows[] = {
      {{}, 1, "", "", "", "", 0},
      {{"-name", "MyServer", "-port", "700", "-protocol", "TCP", "-service"}, 1, "myserver", "700", "tcp", "", 1},
      {{"-service"}, 1, "", "", "", "", 1},
      {{"-name", "a", "-port", "1", "-protocol", "udp", "-comment", "C"}, 1, "a", "1", "udp", "C", 0},
      {{"-comment", "Hello World", "-service"}, 1, "", "", "", "Hello World", 1},
      {{"-name", "\"Quoted\""}, 1, "quoted", "", "", "", 0},
      {{"-port", "80X"}, 1, "", "80x", "", "", 0},
      {{"-name", "a", "-name", "b"}, 1, "b", "", "", "", 0},
      {{"-name", ""}, 1, "", "", "", "", 0},
      {{"-name", longValue}, 1, std::string(255, 'v'), "", "", "", 0},
      {{"-comment", longValue}, 1, "", "", "", std::string(255, 'V'), 0},
      // Failures keep what was stored before them.
      {{"-port", "-1"}, 0, "", "", "", "", 0},
      {{"-name", "a", "-name", "-b"}, 0, "a", "", "", "", 0},
      {{"-Name", "x"}, 0, "", "", "", "", 0},
      {{"-SERVICE"}, 0, "", "", "", "", 0},
      {{"-service", "word"}, 0, "", "", "", "", 1},
      {{"stray"}, 0, "", "", "", "", 0},
      {{"-name", "a", "-port"}, 0, "a", "", "", "", 0},
      {{"-comment"}, 0, "", "", "", "", 0},
  };
  for (const Row& row : rows) {
    std::string label;
    for (const std::string& argument : row.arguments) label += " [" + argument.substr(0, 12) + "]";
    EXPECT_EQ(Parse(row.arguments), row.result) << label;
    EXPECT_EQ(serviceName, row.name) << label;
    EXPECT_EQ(servicePort, row.port) << label;
    EXPECT_EQ(serviceProtocol, row.protocol) << label;
    EXPECT_EQ(serviceComment, row.comment) << label;
    EXPECT_EQ(serviceMode, row.mode) << label;
  }
  OptionsReset();
}

TEST(CopyOptionValue, Table) {
  struct Row {
    const char* value;
    int32_t length;
    int32_t size;
    const char* expected;
  } rows[] = {
      {"\"abc\"", SQL_NTS, 256, "abc"},
      {"\"abc", SQL_NTS, 256, "abc"},
      {"abc\"", SQL_NTS, 256, "abc"},
      {"\"", SQL_NTS, 256, ""},
      {"\"\"", SQL_NTS, 256, ""},
      {"\" a b \"", SQL_NTS, 256, " a b "},
      {"\"abc\"   ", SQL_NTS, 256, "abc"},
      {"abc   ", SQL_NTS, 256, "abc"},
      {"", SQL_NTS, 256, ""},
      {"   ", SQL_NTS, 256, ""},
      {nullptr, SQL_NTS, 256, ""},
      {"abcdef", SQL_NTS, 4, "abc"},
      {"abcdef", 3, 256, "abc"},
      {"\"abcdef\"", 4, 256, "abc"},
  };
  for (const Row& row : rows) {
    char buffer[260];
    std::memset(buffer, 'x', sizeof buffer);
    CopyOptionValue(buffer, row.size, row.value, row.length);
    EXPECT_STREQ(buffer, row.expected) << (row.value ? row.value : "(null)") << " " << row.length;
  }
}

TEST(LowerCaseValue, OnlyAsciiLettersUpToTheTrimmedLength) {
  char mixed[] = "MiXeD-09\xC4\xD6 Z  ";
  EXPECT_EQ(LowerCaseValue(mixed, SQL_NTS), 12);
  EXPECT_STREQ(mixed, "mixed-09\xC4\xD6 z  ");
  char counted[] = "ABCD";
  EXPECT_EQ(LowerCaseValue(counted, 2), 2);
  EXPECT_STREQ(counted, "abCD");
  char empty[] = "   ";
  EXPECT_EQ(LowerCaseValue(empty, SQL_NTS), 0);
  EXPECT_EQ(LowerCaseValue(nullptr, SQL_NTS), 0);
}

// Sets VORNDEX_WINDIR for the lifetime of the object, then puts it back.
class WindowsDirectoryVariable {
 public:
  explicit WindowsDirectoryVariable(const std::string& value) {
    const char* before = std::getenv("VORNDEX_WINDIR");
    had_ = before != nullptr;
    if (had_) saved_ = before;
    PlatformSetEnvironment("VORNDEX_WINDIR", value.c_str());
  }
  ~WindowsDirectoryVariable() { PlatformSetEnvironment("VORNDEX_WINDIR", had_ ? saved_.c_str() : nullptr); }

 private:
  bool had_ = false;
  std::string saved_;
};

TEST(LocateServicesFile, FileInTheSystemOrWindowsDirectory) {
  int32_t platformId = 0;
  ASSERT_EQ(PlatformGetVersion(&platformId), 1);
  char directory[512];
  bool nt = platformId == PLATFORM_ID_NT;
  uint32_t length = nt ? PlatformGetSystemDirectory(directory, sizeof directory)
                       : PlatformGetWindowsDirectory(directory, sizeof directory);
  ASSERT_GT(length, 0u);
  OptionsReset();
  ASSERT_EQ(LocateServicesFile(), 1);
  std::string path = servicesPath;
  std::string part = nt ? "drivers\\etc\\services" : "services";
  std::string dir(directory, length);
  std::string separator = IsSlash(static_cast<unsigned char>(dir.back())) ? "" : "\\";
  EXPECT_EQ(path, dir + separator + part);
  OptionsReset();
}

// A directory the buffer cannot hold fails the location rather than
// leaving a path relative to wherever the tool runs.
TEST(LocateServicesFile, DirectoryTooLongFailsTheLocation) {
  std::string deep = "/" + std::string(600, 'd');
  WindowsDirectoryVariable variable(deep);
  char directory[1024];
  if (PlatformGetWindowsDirectory(directory, sizeof directory) != deep.size())
    GTEST_SKIP() << "the Windows directory cannot be moved on this host";
  OptionsReset();
  strcpy(servicesPath, "unchanged");
  EXPECT_EQ(LocateServicesFile(), 0);
  EXPECT_STREQ(servicesPath, "unchanged");
  OptionsReset();
}

TEST(LocateServicesFile, DirectoryEndingInASeparator) {
  TempDir dir;
  WindowsDirectoryVariable variable(dir.Path() + "/");
  char directory[1024];
  if (PlatformGetWindowsDirectory(directory, sizeof directory) != dir.Path().size() + 1)
    GTEST_SKIP() << "the Windows directory cannot be moved on this host";
  OptionsReset();
  ASSERT_EQ(LocateServicesFile(), 1);
  EXPECT_EQ(std::string(servicesPath), dir.Path() + "/services");
  OptionsReset();
}

}  // namespace
