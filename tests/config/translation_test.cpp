#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "config/translation.h"
#include "runtime/strings.h"
#include "tests/config/config_fixture.h"

// The store keeps every table for the life of the process and holds ten, so
// the tests of this file together load no more than ten; the store's limit
// itself is tested in a child process.

namespace {

using vxtest::TempDir;

struct PairCase {
  const char* line;
  int byte;         // the entry expected to change, -1 for none
  int replacement;  // what it becomes
};

// Each line uses bytes of its own, so that one file shows all of them.
const PairCase kPairs[] = {
    {"65:97", 65, 97},          // decimal
    {"0x42:0x62", 0x42, 0x62},  // hexadecimal with prefix ("%u" stops at the x)
    {"41:61", 41, 61},          // decimal, although hexadecimal digits would do
    {"67:4A", 67, 4},           // "%u:%u" takes 4; the A trails inside the token
    {"ff:1", 255, 1},           // "%u" cannot start: hexadecimal
    {"68:ff", 0x68, 0xFF},      // second number not decimal: "%x:%x", the first read as hexadecimal too
    {"3:0x7", -1, 0},           // "%u:%u" reads 0 from 0x7: no change
    {"69:353", 69, 353 & 0xFF},  // low 8 bits
    {"70:256", -1, 0},          // low 8 bits are 0: unchanged
    {"300:65 71:72", 71, 72},   // a first number beyond a byte is refused, the line reads on
    {"-1:5 4294967296:5 99999999999:5", -1, 0},  // so are wrapped and overflowing ones
    {"72:73x", 72, 73},         // the rest of the token is skipped
    {"; 74:75", -1, 0},         // a token that is no pair ends the line
    {"75:76 ; 76:77", 75, 76},
    {"77:78 77:79", 77, 79},    // a later pair overwrites
    {"   \t  ", -1, 0},
    {"78: 80", -1, 0},          // the second number must follow the colon
    {"+79:+80", 79, 80},        // signs as the scanner allows them
    {"0X51:0X52", 0x51, 0x52},
    {"0x:41", 0, 0x41},         // "%x" reads a bare "0x" as 0: "%x:%x" yields the pair
};

TEST(Translation, PairPatternsAndTheirOrder) {
  TempDir dir;
  std::string contents;
  for (const PairCase& c : kPairs) contents += std::string(c.line) + "\n";
  std::string path = dir.Write("pairs.tbl", contents);

  TranslationTable* table = TranslationFind(path.c_str());
  ASSERT_NE(table, nullptr);
  EXPECT_STREQ(table->name, path.c_str());
  uint8_t expected[256] = {};
  for (const PairCase& c : kPairs)
    if (c.byte >= 0) expected[c.byte] = static_cast<uint8_t>(c.replacement);
  for (int i = 0; i < 256; ++i) {
    const PairCase* row = nullptr;
    for (const PairCase& c : kPairs)
      if (c.byte == i) row = &c;
    EXPECT_EQ(table->outgoing[i], expected[i]) << "byte " << i << (row != nullptr ? std::string(" from ") + row->line : "");
  }
}

TEST(Translation, IncomingMapIsDerivedWithoutASlash) {
  TempDir dir;
  TranslationTable* table = TranslationFind(dir.Write("derived.tbl", "65:97\n1:5 2:5\n").c_str());
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table->outgoing[65], 97);
  EXPECT_EQ(table->incoming[97], 65);
  EXPECT_EQ(table->incoming[65], 0);  // A arrives unchanged
  EXPECT_EQ(table->incoming[5], 2);   // the highest of several wins
  EXPECT_EQ(table->incoming[0], 255);  // the highest byte without an entry
  EXPECT_EQ(TranslateByteIn(table, 97), 65);
  EXPECT_EQ(TranslateByteIn(table, 65), 65);
  EXPECT_EQ(TranslateByteIn(nullptr, 97), 97);
}

TEST(Translation, TheSlashSectionIsTheIncomingMap) {
  TempDir dir;
  // The slash token ends the first section and the rest of its line; in the
  // second section a slash is a token like any other that is no pair.
  TranslationTable* table =
      TranslationFind(dir.Write("slash.tbl", "65:97 /x 66:98\n67:99\n/ 68:100\n69:101\n").c_str());
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table->outgoing[65], 97);
  EXPECT_EQ(table->outgoing[66], 0);
  EXPECT_EQ(table->outgoing[67], 0);
  EXPECT_EQ(table->incoming[67], 99);
  EXPECT_EQ(table->incoming[68], 0);
  EXPECT_EQ(table->incoming[69], 101);
  EXPECT_EQ(table->incoming[97], 0) << "nothing is derived when the file has a slash";
  EXPECT_EQ(table->incoming[0], 0);

  TranslationTable* leading = TranslationFind(dir.Write("leading.tbl", "/\n66:98\n").c_str());
  ASSERT_NE(leading, nullptr);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(leading->outgoing[i], 0) << i;
  EXPECT_EQ(leading->incoming[66], 98);
}

TEST(Translation, LinesAreReadInPiecesOf511) {
  TempDir dir;
  // The first pair ends at character 511 and is whole; the second is split
  // between the second and the third piece and so is no pair; its tail
  // opens the third piece, is no pair either and ends that line, so the
  // third pair is not read.
  std::string line = std::string(506, ' ') + "80:81" + std::string(508, ' ') + "82:83 84:85\n";
  TranslationTable* table = TranslationFind(dir.Write("pieces.tbl", line).c_str());
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table->outgoing[80], 81);
  EXPECT_EQ(table->outgoing[82], 0);
  EXPECT_EQ(table->outgoing[84], 0);
}

TEST(Translation, FindLoadsEachNameOnceAndTellsCapitalsApart) {
  TempDir dir;
  const int32_t before = TranslationStoreCount();
  EXPECT_EQ(TranslationFind(""), nullptr);
  EXPECT_EQ(TranslationFind("   "), nullptr);
  EXPECT_EQ(TranslationFind(nullptr), nullptr);
  EXPECT_EQ(TranslationFind(std::string(TRANSLATION_NAME_MAX, 'n').c_str()), nullptr);
  EXPECT_EQ(TranslationFind(std::string(5000, 'n').c_str()), nullptr);
  std::string absent = dir.Path("later.tbl");
  EXPECT_EQ(TranslationFind(absent.c_str()), nullptr);
  EXPECT_EQ(TranslationStoreCount(), before);

  std::string lower = dir.Write("case.tbl", "65:97\n");
  TranslationTable* first = TranslationFind(lower.c_str());
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(TranslationFind(lower.c_str()), first);
  EXPECT_EQ(TranslationFind((lower + "  ").c_str()), first) << "trailing blanks do not count";
  EXPECT_EQ(TranslationStoreCount(), before + 1);

  // On a host whose file names ignore case both names open one file; the
  // store still keeps them apart.
  std::string upper = dir.Write("CASE.tbl", "65:97\n");
  TranslationTable* second = TranslationFind(upper.c_str());
  ASSERT_NE(second, nullptr);
  EXPECT_NE(second, first);
  EXPECT_EQ(TranslationStoreCount(), before + 2);

  // A name that failed takes no record and is tried again.
  dir.Write("later.tbl", "66:98\n");
  TranslationTable* later = TranslationFind(absent.c_str());
  ASSERT_NE(later, nullptr);
  EXPECT_EQ(later->outgoing[66], 98);
  EXPECT_EQ(TranslationStoreCount(), before + 3);
}

// Child of StoreHoldsTen: fills the store, then checks the limit. Exit code 0
// when everything held.
[[noreturn]] void FillStoreAndCheck() {
  TempDir dir;
  std::vector<TranslationTable*> tables;
  std::vector<std::string> names;
  while (TranslationStoreCount() < TRANSLATION_STORE_SIZE) {
    names.push_back(dir.Write("t" + std::to_string(names.size()) + ".tbl", "65:97\n"));
    tables.push_back(TranslationFind(names.back().c_str()));
    if (tables.back() == nullptr) {
      std::fprintf(stderr, "load %zu failed\n", names.size());
      std::exit(1);
    }
  }
  std::string eleventh = dir.Write("eleventh.tbl", "65:97\n");
  if (TranslationFind(eleventh.c_str()) != nullptr || TranslationStoreCount() != TRANSLATION_STORE_SIZE) {
    std::fprintf(stderr, "an eleventh table was loaded\n");
    std::exit(2);
  }
  for (size_t i = 0; i < names.size(); ++i)
    if (TranslationFind(names[i].c_str()) != tables[i]) {
      std::fprintf(stderr, "table %zu not found again\n", i);
      std::exit(3);
    }
  std::exit(0);
}

TEST(TranslationDeathTest, StoreHoldsTen) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(FillStoreAndCheck(), ::testing::ExitedWithCode(0), "");
}

TEST(Translation, LoadingFromManyThreadsIsSerialised) {
  TempDir dir;
  std::string name = dir.Write("shared.tbl", "65:97\n");
  const int32_t before = TranslationStoreCount();
  std::vector<TranslationTable*> seen(8, nullptr);
  std::vector<std::thread> threads;
  for (size_t t = 0; t < seen.size(); ++t) threads.emplace_back([&, t] { seen[t] = TranslationFind(name.c_str()); });
  for (std::thread& t : threads) t.join();
  ASSERT_NE(seen[0], nullptr);
  for (TranslationTable* table : seen) EXPECT_EQ(table, seen[0]);
  EXPECT_EQ(TranslationStoreCount(), before + 1);
}

TranslationTable MakeTable() {
  TranslationTable table{};
  for (int i = 'a'; i <= 'z'; ++i) table.outgoing[i] = static_cast<uint8_t>(i - 'a' + 'A');
  table.outgoing[' '] = '_';
  for (int i = 'A'; i <= 'Z'; ++i) table.incoming[i] = static_cast<uint8_t>(i - 'A' + 'a');
  table.incoming['_'] = ' ';
  return table;
}

TEST(Translation, TranslateOutLimitsAndNul) {
  const TranslationTable table = MakeTable();
  char out[16];
  std::memset(out, '#', sizeof out);
  EXPECT_EQ(TranslateOut(&table, "ab c  ", SQL_NTS, out, sizeof out), 6);
  EXPECT_STREQ(out, "AB_C__") << "trailing blanks are translated too";

  std::memset(out, '#', sizeof out);
  EXPECT_EQ(TranslateOut(&table, "abcdef", 6, out, 4), 4);
  EXPECT_EQ(std::string(out, 5), "ABCD#") << "an explicit length fills the whole size, no NUL";
  std::memset(out, '#', sizeof out);
  EXPECT_EQ(TranslateOut(&table, "abcdef", SQL_NTS, out, 4), 3);
  EXPECT_EQ(std::string(out, 5), std::string("ABC\0#", 5));
  EXPECT_EQ(TranslateOut(&table, "abc", SQL_NTS, out, 0), 0);
  EXPECT_EQ(TranslateOut(&table, "abc", SQL_NTS, nullptr, 4), 0);
  EXPECT_EQ(TranslateOut(nullptr, "ab c ", SQL_NTS, out, sizeof out), 5);
  EXPECT_STREQ(out, "ab c ");

  std::string big(512, 'a');
  std::vector<char> dest(513, '#');
  EXPECT_EQ(TranslateOut(&table, big.data(), 512, dest.data(), 512), 512);
  EXPECT_EQ(std::string(dest.data(), 512), std::string(512, 'A'));
  EXPECT_EQ(dest[512], '#');
  std::string bigNts(512, 'a');
  EXPECT_EQ(TranslateOut(&table, bigNts.c_str(), SQL_NTS, dest.data(), 512), 511);
  EXPECT_EQ(dest[511], '\0');

  // Overlapping areas, both ways.
  char text[16] = "abcdef";
  EXPECT_EQ(TranslateOut(&table, text, 6, text + 2, 6), 6);
  EXPECT_EQ(std::string(text, 8), "abABCDEF");
  char text2[16] = "abcdef";
  EXPECT_EQ(TranslateOut(&table, text2 + 2, 4, text2, 4), 4);
  EXPECT_EQ(std::string(text2, 6), "CDEFef");
  char text3[16] = "abcdef";
  EXPECT_EQ(TranslateOut(nullptr, text3, 4, text3 + 1, 4), 4);
  EXPECT_EQ(std::string(text3, 6), "aabcdf");
}

TEST(Translation, TranslateInDropsTrailingBlanksWithATable) {
  const TranslationTable table = MakeTable();
  char out[16];
  EXPECT_EQ(TranslateIn(&table, "AB_C  ", SQL_NTS, out, sizeof out), 4);
  EXPECT_STREQ(out, "ab c");
  EXPECT_EQ(TranslateIn(nullptr, "AB  ", SQL_NTS, out, sizeof out), 4);
  EXPECT_STREQ(out, "AB  ") << "without a table the blanks stay";
  EXPECT_EQ(TranslateIn(&table, "    ", SQL_NTS, out, sizeof out), 0);
  EXPECT_STREQ(out, "");
  EXPECT_EQ(TranslateIn(&table, "ABCDEF", SQL_NTS, out, 4), 3);
  EXPECT_STREQ(out, "abc");
  EXPECT_EQ(TranslateIn(nullptr, "ABCDEF", SQL_NTS, out, 4), 3);
  EXPECT_STREQ(out, "ABC");
  EXPECT_EQ(TranslateIn(&table, "AB", SQL_NTS, out, 0), 0);
  EXPECT_EQ(TranslateIn(&table, "AB", SQL_NTS, nullptr, 4), 0);
  char line[16] = "ABC \n";
  EXPECT_EQ(TranslateIn(&table, line, SQL_NTS, line, sizeof line), 5);
  EXPECT_STREQ(line, "abc \n") << "in place; a newline is no blank";
}

}  // namespace
