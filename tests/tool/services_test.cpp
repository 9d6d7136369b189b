// Matching entry lines, counting and choosing columns, padding, and the
// file update called directly.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tests/tool/support.h"
#include "tool/services.h"

namespace {

TEST(MatchServiceEntry, Table) {
  const std::string a127(127, 'a'), a128(128, 'a'), a130(130, 'a');
  struct Row {
    std::string name, protocol, line;
    int expected;
  } rows[] = {
      {"delta", "tcp", "Delta 5000/TCP # Delta server\n", 1},
      {"delta", "tcp", "delta\t600/tcp\n", 1},
      {"delta", "tcp", " \t delta /tcp", 1},
      {"delta", "tcp", "delta 600/tcp#note", 1},
      {"delta", "tcp", "delta 600/Tcp\r\n", 1},
      {"delta", "tcp", "delta 5000/udp\n", 0},
      {"delta", "tcp", "delta 600/tcpx\n", 0},
      {"delta", "tcp", "delta 600/tcp/udp\n", 0},
      {"delta", "tcp", "deltax 600/tcp\n", 0},
      {"delta", "tcp", "delt 600/tcp\n", 0},
      {"delta", "tcp", "# delta 600/tcp\n", 0},
      {"delta", "tcp", "", 0},
      {"delta", "tcp", "   \n", 0},
      {"delta", "tcp", "delta", 0},
      {"delta", "tcp", "delta#600/tcp", 0},
      {"delta", "tcp", "delta 600 # /tcp\n", 0},
      {"delta", "tcp", "delta 600\n", 0},
      {"delta", "tcp", "bravo 17/tcp delta\n", 0},
      {"my svc", "tcp", "my svc 1/tcp\n", 0},
      {"", "", "delta 600/\n", 0},
      {"delta", "", "delta 600/ tcp\n", 1},
      {a127, "tcp", a130 + " 1/tcp\n", 1},
      {a127, "tcp", a127 + " 1/tcp\n", 1},
      {a128, "tcp", a128 + " 1/tcp\n", 0},
      {"delta", a127, "delta 1/" + a130 + "\n", 1},
      {"\xC4", "tcp", "\xE4 1/tcp\n", 0},
      {"\xC4", "tcp", "\xC4 1/tcp\n", 1},
      {"delta", "tcp", "\xA0" "delta 1/tcp\n", 0},
  };
  for (const Row& row : rows)
    EXPECT_EQ(MatchServiceEntry(row.name.c_str(), row.protocol.c_str(), row.line.c_str()), row.expected)
        << row.name.substr(0, 10) << "/" << row.protocol.substr(0, 10) << " in [" << row.line << "]";
}

TEST(MostFrequentColumn, Table) {
  struct Row {
    const char* label;
    int32_t preset;
    std::vector<int32_t> sightings;
    int32_t expected;
  } rows[] = {
      {"nothing counted", 21, {}, 21},
      {"tie won by the position seen first", 21, {9, 12, 9, 12}, 9},
      {"a later position with more sightings", 21, {9, 12, 12}, 12},
      {"the preset counted", 52, {52, 52, 19}, 52},
      {"tie with the preset", 21, {9, 9, 21, 21}, 21},
      {"tie with the preset seen later", 21, {9, 21}, 21},
      {"one sighting beats the uncounted preset", 0, {3}, 3},
      {"a tenth position is never counted", 21, {10, 11, 12, 13, 14, 15, 16, 17, 18, 30, 30, 30, 30, 30}, 10},
      {"the preset still counts when the slots are full", 21, {10, 11, 12, 13, 14, 15, 16, 17, 18, 21, 21}, 21},
  };
  for (const Row& row : rows) {
    ColumnStats stats;
    ColumnStatsInit(&stats, row.preset);
    for (int32_t position : row.sightings) CountColumn(&stats, position);
    EXPECT_EQ(MostFrequentColumn(&stats), row.expected) << row.label;
    EXPECT_LE(stats.slotsUsed, SERVICES_COLUMN_SLOTS) << row.label;
  }
}

TEST(CountColumn, FillsSlotsInOrderOfFirstSight) {
  ColumnStats stats;
  ColumnStatsInit(&stats, 21);
  for (int32_t position : {5, 21, 5, 7}) CountColumn(&stats, position);
  ASSERT_EQ(stats.slotsUsed, 3);
  EXPECT_EQ(stats.positions[0], 21);
  EXPECT_EQ(stats.counts[0], 1);
  EXPECT_EQ(stats.positions[1], 5);
  EXPECT_EQ(stats.counts[1], 2);
  EXPECT_EQ(stats.positions[2], 7);
  EXPECT_EQ(stats.counts[2], 1);
}

TEST(PadToColumn, Table) {
  struct Row {
    std::string line;
    int32_t size, column;
    std::string expected;
  } rows[] = {
      {"", 64, 0, ""},
      {"", 64, 5, "     "},
      {"abc", 64, 5, "abc  "},
      {"abc", 64, 3, "abc "},
      {"abc", 64, 2, "abc "},
      {"abc", 64, -2, "abc "},
      {"", 64, -1, " "},
      {"abc", 8, 20, "abc    "},
      {"abc", 4, 10, "abc"},
      {"abc", 4, 1, "abc"},
  };
  for (const Row& row : rows) {
    std::vector<char> buffer(static_cast<size_t>(row.size) + 8, '!');
    std::copy(row.line.begin(), row.line.end(), buffer.begin());
    buffer[row.line.size()] = '\0';
    PadToColumn(buffer.data(), row.size, row.column);
    EXPECT_EQ(std::string(buffer.data()), row.expected) << "[" << row.line << "] to " << row.column;
    EXPECT_EQ(buffer[static_cast<size_t>(row.size)], '!') << "written past the buffer";
  }
}

// Called directly, beyond what the command line can give: values and
// columns whose line would not fit its buffer are cut, and the line still
// ends with its newline.
TEST(AddServiceEntry, LineNeverOutgrowsItsBuffer) {
  TempDir dir;
  std::string path = dir.File("services");
  std::string far = std::string(1010, ' ') + "x 1/tcp #c\n";
  ASSERT_TRUE(WriteBytes(path, OnDisk(far + far)));
  std::string name(3000, 'n'), protocol(3000, 'p'), comment(3000, 'c');
  EXPECT_EQ(AddServiceEntry(path.c_str(), name.c_str(), 7, protocol.c_str(), comment.c_str()), 0);
  std::string bytes;
  ASSERT_TRUE(ReadBytes(path, &bytes));
  ASSERT_GT(bytes.size(), 2 * OnDisk(far).size());
  std::string added = bytes.substr(2 * OnDisk(far).size());
  std::string line = std::string(1010, ' ') + std::string(2046 - 1010, 'n') + "\n";
  EXPECT_EQ(added, OnDisk(line));
}

// Files of many blocks, with lines around the length of one read, against
// the line-by-line reading worked out in the tests' own helper: the columns
// counted and the entry found or appended come out the same.
TEST(AddServiceEntry, AgreesWithPieceByPieceReading) {
  std::mt19937 random(20261211);
  const char alphabet[] = "  \tabcxyz019/#";
  const int lengths[] = {0, 1, 5, 30, 60, 1021, 1022, 1023, 1024, 1500, 2046, 2047};
  TempDir dir;
  std::string path = dir.File("services");
  for (int round = 0; round < 24; ++round) {
    std::string text;
    int lines = 100 + static_cast<int>(random() % 300);
    int present = round % 3 == 0 ? static_cast<int>(random() % lines) : -1;
    for (int i = 0; i < lines; ++i) {
      if (i == present) {
        // Leading blanks may fill a whole read: the entry is then the next
        // piece, still an entry line.
        const size_t blanks[] = {0, 3, 500, 1023, 1030};
        text += std::string(blanks[random() % 5], ' ') + "QQ 5/TCP\n";
        continue;
      }
      size_t length = static_cast<size_t>(lengths[random() % (sizeof lengths / sizeof lengths[0])]);
      if (length < 100) length += random() % 40;
      for (size_t k = 0; k < length; ++k) text += alphabet[random() % (sizeof alphabet - 1)];
      text += '\n';
    }
    if (round % 4 == 1) text.pop_back();
    ASSERT_TRUE(WriteBytes(path, OnDisk(text)));
    EXPECT_EQ(AddServiceEntry(path.c_str(), "qq", 77, "tcp", "c"), 0);
    std::string expected = text;
    if (present < 0) {
      // No random line can match: the alphabet has no q.
      if (!text.empty() && text.back() != '\n') expected += '\n';
      expected += EntryLine(ColumnsOf(text), "qq", 77, "tcp", "c");
    }
    std::string bytes;
    ASSERT_TRUE(ReadBytes(path, &bytes));
    EXPECT_EQ(bytes, OnDisk(expected)) << "round " << round;
  }
}

TEST(AddServiceEntry, MissingFileIsNotCreated) {
  TempDir dir;
  std::string path = dir.File("services");
  EXPECT_EQ(AddServiceEntry(path.c_str(), "delta", 5000, "tcp", ""), 0);
  EXPECT_FALSE(FileExists(path));
}

TEST(AddServiceEntry, NullValuesAreEmpty) {
  TempDir dir;
  std::string path = dir.File("services");
  ASSERT_TRUE(WriteBytes(path, ""));
  EXPECT_EQ(AddServiceEntry(path.c_str(), nullptr, 0, nullptr, nullptr), 0);
  std::string bytes;
  ASSERT_TRUE(ReadBytes(path, &bytes));
  EXPECT_EQ(bytes, OnDisk(std::string(20, ' ') + "0/\n"));
}

}  // namespace
