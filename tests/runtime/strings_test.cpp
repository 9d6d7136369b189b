#include "runtime/strings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "runtime/diag.h"

namespace {

TEST(StrLen, Table) {
  struct Case {
    const char* text;
    int32_t length;
    int32_t len, trim, trimNul;
  };
  const Case cases[] = {
      {nullptr, SQL_NTS, 0, 0, 0}, {nullptr, 5, 0, 0, 0},  {"abc", 0, 0, 0, 0},       {"abc", -1, 0, 0, 0},
      {"abc", -4, 0, 0, 0},        {"abc", 2, 2, 2, 2},    {"abc", SQL_NTS, 3, 3, 3}, {"   ", SQL_NTS, 3, 0, 3},
      {"ab  \0", 5, 5, 2, 4},      {"a\0b", 3, 3, 3, 3},   {"ab\0\0", 4, 4, 2, 2},    {"ab \0 \0", 6, 6, 2, 5},
      {"", SQL_NTS, 0, 0, 0},      {" a ", SQL_NTS, 3, 2, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.text ? c.text : "(null)") << " / " << c.length);
    EXPECT_EQ(StrLen(c.text, c.length), c.len);
    EXPECT_EQ(StrLenTrim(c.text, c.length), c.trim);
    EXPECT_EQ(StrLenTrimNul(c.text, c.length), c.trimNul);
  }
}

// An area for one case, and what it holds afterwards.
class StrTest : public testing::Test {
 protected:
  void SetUp() override {
    area = DiagCreate(nullptr);
    ASSERT_NE(area, nullptr);
  }
  void TearDown() override { DiagDestroy(area); }
  int Warnings() {
    int n = 0;
    for (ListNode* node = area->records->first; node != nullptr; node = node->next) {
      auto* r = static_cast<DiagRecord*>(node->data);
      EXPECT_STREQ(r->sqlState, STR_STATE_TRUNCATED);
      EXPECT_EQ(r->nativeError, 1);
      EXPECT_EQ(r->returnCode, SQL_SUCCESS_WITH_INFO);
      EXPECT_STREQ(r->message, "Daten wurden abgeschnitten ");
      ++n;
    }
    return n;
  }
  DiagArea* area = nullptr;
};

constexpr char kCanary = '#';

TEST_F(StrTest, CopyTable) {
  struct Case {
    const char* source;
    int32_t sourceLength;
    int32_t size;
    std::string expected;  // bytes before the NUL; ignored when nothing may be written
    bool written;
    bool warned;
  };
  const Case cases[] = {
      {"abc", SQL_NTS, 4, "abc", true, false},
      {"abc", SQL_NTS, 3, "ab", true, true},
      {"abc", SQL_NTS, 1, "", true, true},
      {"abc", SQL_NTS, 0, "", false, true},
      {"abc", SQL_NTS, -5, "", false, true},
      {"", SQL_NTS, 0, "", false, true},
      {"", SQL_NTS, 5, "", true, false},
      {nullptr, SQL_NTS, 5, "", true, false},
      {"abc", 0, 5, "", true, false},
      {"abc", 2, 5, "ab", true, false},
      {"abc  ", SQL_NTS, 8, "abc  ", true, false},  // the source is not trimmed
      {"a\0c", 3, 5, std::string("a\0c", 3), true, false},
      {"a\0c", 3, 3, std::string("a\0", 2), true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.source ? c.source : "(null)") << " into " << c.size);
    DiagClear(area);
    char buffer[16];
    std::memset(buffer, kCanary, sizeof buffer);
    SqlReturn rc = StrCopy(area, buffer, c.size, c.source, c.sourceLength);
    EXPECT_EQ(rc, c.warned ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS);
    EXPECT_EQ(Warnings(), c.warned ? 1 : 0);
    size_t touched = c.written ? c.expected.size() + 1 : 0;
    if (c.written) {
      EXPECT_EQ(std::string(buffer, c.expected.size()), c.expected);
      EXPECT_EQ(buffer[c.expected.size()], '\0');
    }
    for (size_t i = touched; i < sizeof buffer; ++i) ASSERT_EQ(buffer[i], kCanary) << "byte " << i;
    // With a null area the same is written and 0 returned.
    char again[16];
    std::memset(again, kCanary, sizeof again);
    EXPECT_EQ(StrCopy(nullptr, again, c.size, c.source, c.sourceLength), SQL_SUCCESS);
    EXPECT_EQ(std::memcmp(again, buffer, sizeof buffer), 0);
  }
}

TEST_F(StrTest, CopyReturnsTheWholeAreasCode) {
  char buffer[8];
  DiagPost(area, "01000", 0, 1, "earlier warning");
  EXPECT_EQ(StrCopy(area, buffer, sizeof buffer, "ab", SQL_NTS), SQL_SUCCESS_WITH_INFO);
  // An empty source returns 0 whatever the area holds.
  EXPECT_EQ(StrCopy(area, buffer, sizeof buffer, "", SQL_NTS), SQL_SUCCESS);
  DiagPost(area, "HY000", 0, -1, "earlier error");
  EXPECT_EQ(StrCopy(area, buffer, sizeof buffer, "abcdefghijk", SQL_NTS), SQL_ERROR);
  EXPECT_STREQ(buffer, "abcdefg");
}

TEST_F(StrTest, CopyToNullDestination) {
  EXPECT_EQ(StrCopy(area, nullptr, 10, "", SQL_NTS), SQL_SUCCESS);
  EXPECT_EQ(Warnings(), 0);
  EXPECT_EQ(StrCopy(area, nullptr, 10, "a", SQL_NTS), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(Warnings(), 1);
}

TEST_F(StrTest, AppendTable) {
  struct Case {
    const char* initial;  // copied into the buffer with its NUL
    int32_t destinationLength;
    int32_t size;
    const char* source;
    std::string expected;
    bool warned;
  };
  const Case cases[] = {
      {"ab", SQL_NTS, 5, "cd", "abcd", false},
      {"ab", SQL_NTS, 4, "cd", "abc", true},
      {"abc", SQL_NTS, 4, "", "abc", false},   // full: an empty source posts nothing
      {"abc", SQL_NTS, 4, "x", "abc", true},   // full: anything else is cut
      {"abc", SQL_NTS, 3, "", "abc", true},    // no room at all, not even for the NUL
      {"abcd", 4, 3, "x", "abcd", false},  // text longer than the size: untouched, nothing posted
      {"abcd", SQL_NTS, 3, "x", "abcd", true},  // no NUL within the size: measured as full
      {"abXX", 2, 6, "cd", "abcd", false},     // the given length decides where the text ends
      {"", SQL_NTS, 3, "abc", "ab", true},
      {"ab", 0, 5, "cd", "cd", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.initial << " + " << c.source << " in " << c.size);
    DiagClear(area);
    char buffer[16];
    std::memset(buffer, kCanary, sizeof buffer);
    std::memcpy(buffer, c.initial, std::strlen(c.initial) + 1);
    SqlReturn rc = StrAppend(area, buffer, c.size, c.destinationLength, c.source, SQL_NTS);
    EXPECT_EQ(rc, c.warned ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS);
    EXPECT_EQ(Warnings(), c.warned ? 1 : 0);
    EXPECT_EQ(std::string(buffer, std::strlen(buffer)), c.expected);
    size_t end = std::max(static_cast<size_t>(c.size > 0 ? c.size : 0), std::strlen(c.initial) + 1);
    for (size_t i = end; i < sizeof buffer; ++i) ASSERT_EQ(buffer[i], kCanary) << "byte " << i;
  }
}

TEST_F(StrTest, AppendNeverReadsPastAnUnterminatedDestination) {
  char buffer[8];
  std::memset(buffer, 'x', sizeof buffer);  // no NUL anywhere
  EXPECT_EQ(StrAppend(area, buffer, 4, SQL_NTS, "y", SQL_NTS), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(std::string(buffer, 8), "xxxxxxxx");
  EXPECT_EQ(StrAppend(area, nullptr, 4, SQL_NTS, "y", SQL_NTS), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(Warnings(), 2);
}

TEST_F(StrTest, DupCopiesTheTrimmedText) {
  Heap heap = CreateHeap(64);
  struct Case {
    const char* source;
    int32_t length;
    const char* expected;  // null: no copy
  };
  const Case cases[] = {{"  abc  ", SQL_NTS, "  abc"}, {"abc", 2, "ab"},     {"ab\0\0 ", 5, "ab"},
                        {"   ", SQL_NTS, nullptr},    {"", SQL_NTS, nullptr}, {nullptr, 3, nullptr},
                        {"abc", 0, nullptr}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected ? c.expected : "(none)");
    char* copy = StrDup(area, heap, c.source, c.length);
    if (c.expected == nullptr) {
      EXPECT_EQ(copy, nullptr);
    } else {
      ASSERT_NE(copy, nullptr);
      EXPECT_STREQ(copy, c.expected);
    }
  }
  EXPECT_EQ(DiagReturnCode(area), SQL_SUCCESS);
  DestroyHeap(heap);
}

TEST_F(StrTest, DupLengthLimit) {
  Heap heap = CreateHeap(1024);
  std::string text(70000, 'a');
  char* longest = StrDup(area, heap, text.data(), 65534);
  ASSERT_NE(longest, nullptr);
  EXPECT_EQ(std::strlen(longest), 65534u);
  // 65535 bytes and more have no copy, rather than one of a wrapped size.
  EXPECT_EQ(StrDup(area, heap, text.data(), 65535), nullptr);
  EXPECT_EQ(StrDup(area, heap, text.data(), 70000), nullptr);
  EXPECT_EQ(DiagReturnCode(area), SQL_SUCCESS);
  DestroyHeap(heap);
}

TEST(StrCompare, Table) {
  struct Case {
    const char* text1;
    int32_t length1;
    const char* text2;
    int32_t length2;
    int expected;
  };
  const Case cases[] = {
      {"abc", SQL_NTS, "abc", SQL_NTS, 0},
      {"abc", SQL_NTS, "abc  ", SQL_NTS, 0},
      {"abc   ", 4, "abc", 3, 0},
      {"", SQL_NTS, "", SQL_NTS, 0},
      {nullptr, SQL_NTS, "   ", SQL_NTS, 0},
      {"abc", 0, nullptr, 0, 0},
      {"abc", SQL_NTS, "abd", SQL_NTS, -1},
      {"abd", SQL_NTS, "abc", SQL_NTS, 1},
      {"ab", SQL_NTS, "abc", SQL_NTS, -1},
      {"abc", SQL_NTS, "ab  ", SQL_NTS, 1},
      {"", SQL_NTS, "a", SQL_NTS, -1},
      {"a", SQL_NTS, nullptr, SQL_NTS, 1},
      // Texts with a NUL within their length take the byte path.
      {"abc", 3, "abc\0\0", 5, 0},
      {"abc ", 4, "abc\0", 4, 1},
      {"a\0b", 3, "a\0c", 3, -1},
      {"\0\0", 2, "", SQL_NTS, 0},
      {"\0\0", 2, "a", SQL_NTS, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.text1 ? c.text1 : "(null)") << "/" << c.length1 << " vs "
                                    << (c.text2 ? c.text2 : "(null)") << "/" << c.length2);
    EXPECT_EQ(StrCompare(c.text1, c.length1, c.text2, c.length2), c.expected);
    EXPECT_EQ(StrCompare(c.text2, c.length2, c.text1, c.length1), -c.expected);
  }
}

TEST(StrCompare, CaseCounts) {
  int order = StrCompare("abc", SQL_NTS, "ABC", SQL_NTS);
  EXPECT_NE(order, 0);
  EXPECT_EQ(StrCompare("ABC", SQL_NTS, "abc", SQL_NTS), -order);
}

TEST(StrCompareBytes, Table) {
  struct Case {
    const char* text1;
    int32_t length1;
    const char* text2;
    int32_t length2;
    int expected;
  };
  const Case cases[] = {
      {"", 0, "", 0, 0},          {"\0", 1, "", 0, 0},        {"", 0, "a", 1, -1},       {" ", 1, "", 0, 1},
      {"abc", 3, "abc", 3, 0},    {"abc", 3, "abd", 3, -1},   {"abc", 3, "ab", 2, 1},    {"ab", 2, "abc", 3, -1},
      {"abc", 3, "abc\0", 4, 0},  {"abc ", 4, "abc", 3, 1},   {"b", 1, "abc", 3, 1},     {"abc", 3, "b", 1, -1},
      {"\xff", 1, "\x01", 1, 1},  {"a\0b", 3, "a\0a", 3, 1},  {"a\0", 2, "a\0b", 3, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::string(c.text1, c.length1) << " vs " << std::string(c.text2, c.length2));
    EXPECT_EQ(StrCompareBytes(c.text1, c.length1, c.text2, c.length2), c.expected);
    EXPECT_EQ(StrCompareBytes(c.text2, c.length2, c.text1, c.length1), -c.expected);
  }
}

TEST(IsSlash, OnlyTheTwoSlashes) {
  for (int c = -1; c < 256; ++c) EXPECT_EQ(IsSlash(c), c == '/' || c == '\\' ? 1 : 0) << c;
}

TEST(StrFormat, NeverWritesPastItsCapacity) {
  char buffer[40];
  std::memset(buffer, kCanary, sizeof buffer);
  EXPECT_EQ(StrFormat(buffer, 30, "%d", -12345), 6);
  EXPECT_STREQ(buffer, "-12345");
  EXPECT_EQ(StrFormat(buffer, 30, "%ld", 2147483647L), 10);
  EXPECT_STREQ(buffer, "2147483647");

  std::memset(buffer, kCanary, sizeof buffer);
  EXPECT_EQ(StrFormat(buffer, 4, "%d", 123456), 6);  // the count is the full length
  EXPECT_STREQ(buffer, "123");
  for (size_t i = 4; i < sizeof buffer; ++i) ASSERT_EQ(buffer[i], kCanary) << i;

  std::memset(buffer, kCanary, sizeof buffer);
  EXPECT_EQ(StrFormat(buffer, 0, "%d", 7), 1);
  EXPECT_EQ(StrFormat(nullptr, 10, "%s", "abc"), 3);
  EXPECT_EQ(buffer[0], kCanary);
}

}  // namespace
