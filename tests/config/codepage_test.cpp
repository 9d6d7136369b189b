#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "config/translation.h"
#include "runtime/strings.h"

// Windows-1252 to IBM850, as the iconv tool converts each byte (the files
// are generated at build time by make_codepage.sh).

namespace {

struct Expected {
  unsigned char out[256] = {};
  bool converted[256] = {};
  int count = 0;
};

Expected ReadExpected() {
  Expected e;
  std::FILE* file = std::fopen(VX_CODEPAGE_DIR "/expected.txt", "r");
  if (file == nullptr) return e;
  unsigned a, b, c;
  while (std::fscanf(file, "%u %u %u", &a, &b, &c) == 3 && a < 256 && b < 256) {
    e.out[a] = static_cast<unsigned char>(b);
    e.converted[a] = c != 0;
    ++e.count;
  }
  std::fclose(file);
  return e;
}

class Codepage : public ::testing::Test {
 protected:
  void SetUp() override {
    expected = ReadExpected();
    ASSERT_EQ(expected.count, 255) << "generated files missing in " VX_CODEPAGE_DIR;
    // Known letters guard the generator itself: a-umlaut, u-umlaut, e-acute.
    ASSERT_EQ(expected.out[0xE4], 0x84);
    ASSERT_EQ(expected.out[0xFC], 0x81);
    ASSERT_EQ(expected.out[0xE9], 0x82);
    for (int i = 1; i < 256; ++i) all.push_back(static_cast<char>(i));
  }

  // Out through the table must give what iconv gave; back in through the
  // table every byte that iconv converted must come back.
  void CheckRoundTrip(const TranslationTable* table) {
    std::vector<char> sent(256, '#');
    ASSERT_EQ(TranslateOut(table, all.data(), 255, sent.data(), 255), 255);
    for (int i = 1; i < 256; ++i)
      EXPECT_EQ(static_cast<unsigned char>(sent[static_cast<size_t>(i - 1)]), expected.out[i]) << "byte " << i;
    std::vector<char> back(256, '#');
    ASSERT_EQ(TranslateIn(table, sent.data(), 255, back.data(), 256), 255);
    for (int i = 1; i < 256; ++i) {
      if (expected.converted[i]) {
        EXPECT_EQ(static_cast<unsigned char>(back[static_cast<size_t>(i - 1)]), i) << "byte " << i;
      }
    }
  }

  Expected expected;
  std::vector<char> all;
};

TEST_F(Codepage, DerivedIncomingMapBringsBytesBack) {
  TranslationTable* table = TranslationFind(VX_CODEPAGE_DIR "/out.tbl");
  ASSERT_NE(table, nullptr);
  CheckRoundTrip(table);
}

TEST_F(Codepage, ExplicitIncomingMapBringsBytesBack) {
  TranslationTable* table = TranslationFind(VX_CODEPAGE_DIR "/both.tbl");
  ASSERT_NE(table, nullptr);
  CheckRoundTrip(table);
}

}  // namespace
