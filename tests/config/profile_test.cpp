#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "config/profile.h"
#include "config/remotefile.h"
#include "tests/config/config_fixture.h"

namespace {

using vxtest::TempDir;
using vxtest::WindowsDir;

// One file for the read and list cases. Each line shows one rule.
const char* const kProfile =
    "Orphan = before any section\n"
    "[alpha]\n"
    "Connect=a;b\n"
    "Name = \"x;y\" ; the quotes protect the semicolon\n"
    "Quote='it''s'\n"
    "Doubled = \"say \"\"hi\"\"\" trailing text\n"
    "Padded = \"  inner blanks   \"   \n"
    "Empty =\n"
    "NoEquals\n"
    "Semi ; = the first of ; and = is ;\n"
    "Dup = first\n"
    "Dup = second\n"
    "\t  Indented\t=\t yes \t\n"
    "Open = \"no closing quote; to the end   \n"
    "[bracket = v\n"
    "Cut = ab   cd\n"
    "; a comment line\n"
    "= a line of only a value\n"
    "\n"
    "[ alpha ] the rest of a header line is ignored\n"
    "Spaced = blanks in the brackets\n"
    "[alpha]\n"
    "Again = in the second alpha\n"
    "[beta]\n"
    "Key = beta value\n"
    "[]\n"
    "InEmpty = empty section name\n";

class ProfileFile : public ::testing::Test {
 protected:
  TempDir dir;
  std::string path = dir.Write("cases.ini", kProfile);
};

struct ReadCase {
  const char* section;
  const char* key;
  const char* defaultValue;
  int32_t size;
  const char* expected;
  int32_t result;
};

TEST_F(ProfileFile, ReadsValuesByTheLineRules) {
  const ReadCase cases[] = {
      {"alpha", "Connect", "d", 64, "a", 1},
      {"alpha", "Name", "d", 64, "x;y", 3},
      {"alpha", "Quote", "d", 64, "it's", 4},
      {"alpha", "Doubled", "d", 64, "say \"hi\"", 8},
      {"alpha", "Padded", "d", 64, "  inner blanks", 14},
      {"alpha", "Empty", "d", 64, "", 0},
      {"alpha", "NoEquals", "d", 64, "d", 1},
      {"alpha", "Semi", "d", 64, "d", 1},
      {"alpha", "Dup", "d", 64, "first", 5},
      {"alpha", "Indented", "d", 64, "yes", 3},
      {"alpha", "Open", "d", 64, "no closing quote; to the end", 28},
      {"alpha", "[bracket", "d", 64, "v", 1},
      {"alpha", "connect", "d", 64, "d", 1},
      {"Alpha", "Connect", "d", 64, "d", 1},
      {"alpha", "Orphan", "d", 64, "d", 1},
      {"alpha", "Spaced", "d", 64, "d", 1},
      {" alpha ", "Spaced", "d", 64, "blanks in the brackets", 22},
      {"alpha", "Again", "d", 64, "d", 1},
      {"beta", "Key", "d", 64, "beta value", 10},
      {"beta", "Connect", "d", 64, "d", 1},
      {"gamma", "Key", "dflt  ", 64, "dflt  ", 4},
      {"gamma", "Key", nullptr, 64, "", 0},
      // Output sizes: the value is cut to size - 1, the length leaves out
      // blanks the cut left at the end.
      {"beta", "Key", "d", 1, "", 0},
      {"beta", "Key", "d", 3, "be", 2},
      {"alpha", "Name", "d", 3, "x;", 2},
      {"alpha", "Cut", "d", 5, "ab", 2},
      {"gamma", "Key", "default", 4, "def", 3},
  };
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(std::string(c.section) + "/" + c.key + " size " + std::to_string(c.size));
    std::vector<char> out(static_cast<size_t>(c.size) + 8, '#');
    EXPECT_EQ(ProfileGetString(c.section, c.key, c.defaultValue, out.data(), c.size, path.c_str()), c.result);
    EXPECT_STREQ(out.data(), c.expected);
    EXPECT_EQ(out[static_cast<size_t>(c.size)], '#') << "wrote past the buffer";
  }
}

TEST_F(ProfileFile, NoOutputMeansNoWork) {
  char out[8] = "keep";
  EXPECT_EQ(ProfileGetString("alpha", "Connect", "d", out, 0, path.c_str()), 0);
  EXPECT_EQ(ProfileGetString("alpha", "Connect", "d", out, -1, path.c_str()), 0);
  EXPECT_STREQ(out, "keep");
  EXPECT_EQ(ProfileGetString("alpha", "Connect", "d", nullptr, 8, path.c_str()), 0);
}

struct ListCase {
  const char* section;  // empty: the section list
  int32_t size;
  std::string expected;  // names with their NULs, the closing NUL included
  int32_t result;
};

TEST_F(ProfileFile, ListsSectionsAndKeys) {
  using namespace std::string_literals;
  const std::string sections = "alpha\0 alpha \0alpha\0beta\0\0\0"s;
  const std::string alphaKeys =
      "Connect\0Name\0Quote\0Doubled\0Padded\0Empty\0NoEquals\0Semi\0Dup\0Dup\0Indented\0Open\0[bracket\0Cut\0\0"s;
  const ListCase cases[] = {
      {"", 200, sections, static_cast<int32_t>(sections.size()) - 2},
      {"   ", 200, sections, static_cast<int32_t>(sections.size()) - 2},
      {"alpha", 200, alphaKeys, static_cast<int32_t>(alphaKeys.size()) - 2},
      {"beta", 200, "Key\0\0"s, 3},
      {"gamma", 200, "\0"s, 0},
      // Room is size - 1; a name that does not fit whole is cut, later
      // ones are dropped.
      {"", 1, "\0"s, 0},
      {"", 4, "al\0\0"s, 2},
      {"", 7, "alpha\0\0"s, 5},
      {"", 9, "alpha\0 \0\0"s, 7},
      {"beta", 4, "Ke\0\0"s, 2},
  };
  for (const ListCase& c : cases) {
    SCOPED_TRACE("section '" + std::string(c.section) + "' size " + std::to_string(c.size));
    std::vector<char> out(static_cast<size_t>(c.size) + 8, '#');
    EXPECT_EQ(ProfileGetString(c.section, "", "d", out.data(), c.size, path.c_str()), c.result);
    EXPECT_EQ(std::string(out.data(), c.expected.size()), c.expected);
    EXPECT_EQ(out[static_cast<size_t>(c.size)], '#') << "wrote past the buffer";
  }
  // An empty key lists the section's keys whatever the default.
  char out[64];
  EXPECT_EQ(ProfileGetString("beta", "  ", "d", out, sizeof out, path.c_str()), 3);
  EXPECT_EQ(std::string(out, 5), "Key\0\0"s);
}

TEST(Profile, LongLinesArriveInPiecesOf253) {
  TempDir dir;
  // The first piece is "Long=" and 248 x; the piece after it is a line of
  // its own.
  std::string path = dir.Write("long.ini", "[long]\nLong=" + std::string(248, 'x') + "Tail=piece\nAfter=1\n");
  char out[400];
  EXPECT_EQ(ProfileGetString("long", "Long", "d", out, sizeof out, path.c_str()), 248);
  EXPECT_EQ(std::string(out), std::string(248, 'x'));
  EXPECT_EQ(ProfileGetString("long", "Tail", "d", out, sizeof out, path.c_str()), 5);
  EXPECT_STREQ(out, "piece");
  EXPECT_EQ(ProfileGetString("long", "", "d", out, sizeof out, path.c_str()), 15);
  EXPECT_EQ(std::string(out, 17), std::string("Long\0Tail\0After\0\0", 17));
}

TEST(Profile, MissingFileGivesTheDefaultInEveryMode) {
  TempDir dir;
  std::string path = dir.Path("absent.ini");
  char out[32];
  EXPECT_EQ(ProfileGetString("alpha", "Connect", "dflt ", out, sizeof out, path.c_str()), 4);
  EXPECT_STREQ(out, "dflt ");
  EXPECT_EQ(ProfileGetString("alpha", "", "dflt", out, sizeof out, path.c_str()), 4);
  EXPECT_STREQ(out, "dflt");
  EXPECT_EQ(ProfileGetString("", "", "dflt", out, sizeof out, path.c_str()), 4);
  EXPECT_STREQ(out, "dflt");
  EXPECT_EQ(ProfileGetString("alpha", "Connect", "dflt", out, sizeof out, ""), 4);
  EXPECT_EQ(ProfileGetString("alpha", "Connect", "dflt", out, sizeof out, nullptr), 4);
}

TEST(Profile, ANameWithoutBackslashIsLookedForInTheWindowsDirectory) {
  const std::string name = "vx-cfg-windir-" + std::to_string(std::random_device()()) + ".ini";
  WindowsDir file;
  ASSERT_TRUE(file.Write(name, "[alpha]\nConnect=from the windows directory\n"));
  char out[64];
  EXPECT_EQ(ProfileGetString("alpha", "Connect", "d", out, sizeof out, name.c_str()), 26);
  EXPECT_STREQ(out, "from the windows directory");

  // The same file named with a backslash is used as given.
  std::string full = file.Dir() + "\\" + name;
  EXPECT_EQ(ProfileGetString("alpha", "Connect", "d", out, sizeof out, full.c_str()), 26);

  // A path with forward slashes only is no path to this reader: it is
  // looked for inside the Windows directory, and not found there.
  std::string forward = std::filesystem::path(file.Dir() + "/" + name).generic_string();
  EXPECT_EQ(ProfileGetString("alpha", "Connect", "d", out, sizeof out, forward.c_str()), 1);
  EXPECT_STREQ(out, "d");
}

TEST(Profile, AComposedPathOver259CharactersIsRefused) {
  WindowsDir windows;
  const std::string dir = windows.Dir();
  const bool endsInBackslash = !dir.empty() && dir.back() == '\\';
  const size_t room = PROFILE_PATH_MAX - 1 - dir.size() - (endsInBackslash ? 0 : 1);
  // The longest name that fits, and one more character.
  const std::string fits = std::string(room - 4, 'f') + ".ini";
  const std::string over = std::string(room - 3, 'o') + ".ini";
  ASSERT_TRUE(windows.Write(fits, "[s]\nk=fits\n"));
  // The longer file exists too where the system lets it be made, so that
  // only the length refuses it.
  windows.Write(over, "[s]\nk=over\n");
  char out[32];
  EXPECT_EQ(ProfileGetString("s", "k", "d", out, sizeof out, fits.c_str()), 4);
  EXPECT_STREQ(out, "fits");
  EXPECT_EQ(ProfileGetString("s", "k", "d", out, sizeof out, over.c_str()), 1);
  EXPECT_STREQ(out, "d");
  EXPECT_EQ(ProfileGetString("s", "k", "d", out, sizeof out, std::string(2000, 'n').c_str()), 1);
}

TEST(Profile, AWindowsDirectoryOnAnAliasedServerDoesNotRecurse) {
  TempDir dir;
  // The alias of the server that holds the Windows directory can only be
  // read from the profile file in that very directory.
  if (!PlatformSetEnvironment("VORNDEX_WINDIR", "//vx-cfg-loop/windows") ||
      vxtest::WindowsDirectory() != "//vx-cfg-loop/windows") {
    PlatformSetEnvironment("VORNDEX_WINDIR", nullptr);
    GTEST_SKIP() << "the Windows directory cannot be moved on this host";
  }
  char out[32];
  EXPECT_EQ(ProfileGetString("vx-cfg-loop", "Connect", "none", out, sizeof out, "vorndex.ini"), 4);
  EXPECT_STREQ(out, "none");
  PlatformSetEnvironment("VORNDEX_WINDIR", nullptr);
}

TEST(Profile, OpenAttachesNoTranslationAndReadsFromTheTop) {
  TempDir dir;
  std::string path = dir.Write("open.ini", "[a]\nk=v\n");
  RemoteFile* file = ProfileOpen(path.c_str());
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file->translation, nullptr);
  char out[16];
  EXPECT_EQ(ProfileReadKey(file, "a", "k", "d", out, sizeof out), 1);
  EXPECT_STREQ(out, "v");
  EXPECT_EQ(RemoteFileClose(file), 0);
  EXPECT_EQ(ProfileOpen(dir.Path("absent.ini").c_str()), nullptr);
}

TEST(Profile, ThreadsLookUpAtOnce) {
  TempDir dir;
  std::string contents;
  for (int s = 0; s < 8; ++s) contents += "[s" + std::to_string(s) + "]\nk=value" + std::to_string(s) + "\n";
  std::string path = dir.Write("threads.ini", contents);
  std::vector<std::thread> threads;
  std::vector<int> failures(8, 0);
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&, t] {
      char out[32];
      std::string section = "s" + std::to_string(t);
      std::string expected = "value" + std::to_string(t);
      for (int i = 0; i < 50; ++i)
        if (ProfileGetString(section.c_str(), "k", "d", out, sizeof out, path.c_str()) != 6 || expected != out)
          ++failures[static_cast<size_t>(t)];
    });
  for (std::thread& t : threads) t.join();
  for (int t = 0; t < 8; ++t) EXPECT_EQ(failures[static_cast<size_t>(t)], 0) << "thread " << t;
}

}  // namespace
