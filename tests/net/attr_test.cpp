#include "net/attr.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/memory.h"
#include "runtime/diag.h"

namespace {

// One parse in a heap of its own, as the consumers do it.
class Parsed {
 public:
  explicit Parsed(const char* text, int32_t length = SQL_NTS, uint32_t heapSize = 4096) {
    area_ = DiagCreate(nullptr);
    heap_ = DiagCreateHeap(area_, heapSize);
    list_ = DiagListCreate(area_, heap_);
    result_ = AttrListParse(area_, heap_, list_, text, length);
  }
  ~Parsed() {
    DiagDestroyHeap(heap_);
    DiagDestroy(area_);
  }
  Parsed(const Parsed&) = delete;
  Parsed& operator=(const Parsed&) = delete;

  NodeList* list() { return list_; }
  DiagArea* area() { return area_; }
  SqlReturn result() const { return result_; }

  // The attributes as "[key|value]" items; a null text shows as "~".
  std::string Render() {
    std::string out;
    for (auto* a = static_cast<Attribute*>(ListPosition(list_, LIST_FIRST, nullptr)); a != nullptr;
         a = static_cast<Attribute*>(ListPosition(list_, LIST_NEXT, nullptr))) {
      EXPECT_EQ(a->keyLength, SQL_NTS);
      EXPECT_EQ(a->valueLength, SQL_NTS);
      out += "[" + std::string(a->key ? a->key : "~") + "|" + std::string(a->value ? a->value : "~") + "]";
    }
    return out;
  }

 private:
  DiagArea* area_;
  Heap heap_;
  NodeList* list_;
  SqlReturn result_;
};

struct ParseCase {
  const char* text;
  int32_t length;
  const char* expected;
};

// The rows that matter for the syntax: plain items, brace groups (nested and
// unclosed), blanks, stray '=' and empty items, and the length conventions.
const ParseCase PARSE_CASES[] = {
    {"Protocol=TCP;Host=alpha;Port=991", SQL_NTS, "[Protocol|TCP][Host|alpha][Port|991]"},
    {"Protocol=DetachedServer;Command={server.exe -x;y=1}", SQL_NTS,
     "[Protocol|DetachedServer][Command|server.exe -x;y=1]"},
    {"a=b=c;d=e", SQL_NTS, "[a|b][d|e]"},
    {"a;b=;;c", SQL_NTS, "[a|~][b|~][c|~]"},
    {"=x;y=z", SQL_NTS, "[y|z]"},
    {"Protocol = TCP", SQL_NTS, "[Protocol| TCP]"},
    {"X={a{b}c}", SQL_NTS, "[X|a{b}c]"},
    {"X={abc", SQL_NTS, "[X|abc]"},
    {"", SQL_NTS, ""},
    {nullptr, SQL_NTS, ""},
    {nullptr, 10, ""},
    {"    ", SQL_NTS, ""},
    {";;;", SQL_NTS, ""},
    {"Key", SQL_NTS, "[Key|~]"},
    {"Key=", SQL_NTS, "[Key|~]"},
    {"Key=;", SQL_NTS, "[Key|~]"},
    {"=Value", SQL_NTS, ""},
    {"=a;b=c", SQL_NTS, "[b|c]"},
    {"X={a;b=c}", SQL_NTS, "[X|a;b=c]"},
    {" ;x=1", SQL_NTS, "[~|~][x|1]"},
    {"Protocol=TCP   ", SQL_NTS, "[Protocol|TCP]"},
    {"Protocol= TCP", SQL_NTS, "[Protocol| TCP]"},
    {"a==b;c=d", SQL_NTS, "[a|~][c|d]"},
    {"a=1;a=2", SQL_NTS, "[a|1][a|2]"},
    {"a=1=2=3;b", SQL_NTS, "[a|1][b|~]"},
    {"  key  =  v  ", SQL_NTS, "[  key|  v]"},
    {"X={}", SQL_NTS, "[X|~]"},
    {"{}=v", SQL_NTS, "[~|v]"},
    {"X={a}}b", SQL_NTS, "[X|a]"},
    {"X={", SQL_NTS, "[X|~]"},
    {"X={{{", SQL_NTS, "[X|{{]"},
    {"{k;=}={v;=}", SQL_NTS, "[k;=|v;=]"},
    {"X=\xE4\xF6\xFC\xFF", SQL_NTS, "[X|\xE4\xF6\xFC\xFF]"},
    // A counted length: exact, shorter than the text, ending in blanks and
    // NULs, or neither positive nor SQL_NTS.
    {"a=1;b=2", 5, "[a|1][b|~]"},
    {"a=1;b=2", 6, "[a|1][b|~]"},
    {"a=1;b=2", 7, "[a|1][b|2]"},
    {"a=1;b=2xyz", 7, "[a|1][b|2]"},
    {"a=1  \0\0", 7, "[a|1]"},
    {"a=1", 0, ""},
    {"a=1", -1, ""},
    {"a=1", -4, ""},
    // A NUL within the counted length ends the text.
    {"a=1\0b=2", 7, "[a|1]"},
    {"a={x\0y}", 7, "[a|x]"},
    {"\0a=1", 4, ""},
};

TEST(AttrListParse, ExampleTable) {
  for (const ParseCase& row : PARSE_CASES) {
    SCOPED_TRACE(std::string("input: ") + (row.text ? row.text : "(null)") + " length " + std::to_string(row.length));
    Parsed parsed(row.text, row.length);
    EXPECT_EQ(parsed.Render(), row.expected);
    EXPECT_EQ(parsed.result(), SQL_SUCCESS);
  }
}

// A word with characters before its opening brace or after its closing one:
// the characters before a group are dropped, and the word's text ends with
// the group. The last group at the outer level wins. A stray '}' ends the
// text the same way. Nothing outside the word is ever part of it, which an
// exact counted length with no terminator shows under ASan.
TEST(AttrListParse, BracesInsideAWordYieldTheGroup) {
  const ParseCase cases[] = {
      {"X=ab{cd}", SQL_NTS, "[X|cd]"},     {"X={ab}cd", SQL_NTS, "[X|ab]"},
      {"X=a{b}c;Y=1", SQL_NTS, "[X|b][Y|1]"}, {"X={a}{b}", SQL_NTS, "[X|b]"},
      {"X=a}b", SQL_NTS, "[X|a]"},        {"ab{cd}=v", SQL_NTS, "[cd|v]"},
      {"X=a}{b;c}", SQL_NTS, "[X|b][c|~]"}, {"X=ab{c{d}e}fg", SQL_NTS, "[X|c{d}e]"},
      {"X=ab{", SQL_NTS, "[X|~]"},
  };
  for (const ParseCase& row : cases) {
    SCOPED_TRACE(row.text);
    Parsed parsed(row.text, row.length);
    EXPECT_EQ(parsed.Render(), row.expected);

    // The same text in a buffer of exactly its length, with no NUL after it.
    size_t n = std::strlen(row.text);
    std::vector<char> exact(row.text, row.text + n);
    Parsed counted(exact.data(), static_cast<int32_t>(n));
    EXPECT_EQ(counted.Render(), row.expected);
  }
}

TEST(AttrNextToken, TokensOfAConnectionString) {
  const char* text = "ab;{c=d}=";
  AttrScanner scanner{text, static_cast<int32_t>(std::strlen(text)), 0, {}};
  struct Expected {
    int32_t kind, start, length;
  } expected[] = {{TOKEN_WORD, 0, 2},  {TOKEN_SEPARATOR, 2, 1}, {TOKEN_WORD, 4, 3},
                  {TOKEN_SEPARATOR, 8, 1}, {TOKEN_END, 9, 0},     {TOKEN_END, 10, 0}};
  for (const Expected& e : expected) {
    AttrNextToken(&scanner, ATTR_SEPARATORS);
    EXPECT_EQ(scanner.token.kind, e.kind);
    EXPECT_EQ(scanner.token.start, e.start);
    EXPECT_EQ(scanner.token.length, e.length);
  }
}

TEST(AttrNextChar, ReturnsNulAtTheEndAndStillAdvances) {
  const char text[] = {'a', '\0', 'b'};
  AttrScanner scanner{text, 3, 0, {}};
  EXPECT_EQ(AttrNextChar(&scanner), 'a');
  EXPECT_EQ(AttrNextChar(&scanner), '\0');
  EXPECT_EQ(AttrNextChar(&scanner), 'b');
  EXPECT_EQ(AttrNextChar(&scanner), '\0');
  EXPECT_EQ(scanner.position, 4);
  EXPECT_EQ(AttrNextChar(&scanner), '\0');
  EXPECT_EQ(scanner.position, 5);
}

TEST(AttrListParse, NullListMakesRecordsButPostsNothing) {
  DiagArea* area = DiagCreate(nullptr);
  Heap heap = DiagCreateHeap(area, 1024);
  EXPECT_EQ(AttrListParse(area, heap, nullptr, "a=1;b=2", SQL_NTS), SQL_SUCCESS);
  EXPECT_EQ(area->records->count, 0);
  EXPECT_EQ(AttrListParse(nullptr, heap, nullptr, "a=1", SQL_NTS), SQL_SUCCESS);
  DiagDestroyHeap(heap);
  DiagDestroy(area);
}

// Every system memory request of a parse fails in turn. The result is an
// error exactly when a request failed, and the list is always what the
// parse got to: the expected attributes in order, some missing, some with a
// null key or value, never anything else.
TEST(AttrListParse, EachFailedMemoryRequestIsReportedAndKeepsWhatWasMade) {
  std::string text;
  std::vector<std::pair<std::string, std::string>> expected;
  // Short texts share segments, long ones get segments of their own.
  for (int i = 0; i < 12; ++i) {
    std::string key = "Key" + std::to_string(i) + std::string(static_cast<size_t>(i * 13), 'k');
    std::string value = "Value" + std::to_string(i) + std::string(static_cast<size_t>(i * 29), 'v');
    text += key + "=" + value + ";";
    expected.emplace_back(key, value);
  }
  int failures = 0;
  for (int nth = 1;; ++nth) {
    SCOPED_TRACE("failing request " + std::to_string(nth));
    DiagArea* area = DiagCreate(nullptr);
    ASSERT_NE(area, nullptr);
    Heap heap = DiagCreateHeap(area, 256);
    ASSERT_NE(heap, nullptr);
    NodeList* list = DiagListCreate(area, heap);
    ASSERT_NE(list, nullptr);
    PlatformFailMemoryRequest(nth);
    SqlReturn rc = AttrListParse(area, heap, list, text.c_str(), SQL_NTS);
    bool failed = PlatformFailedMemoryRequests() > 0;
    PlatformFailMemoryRequest(0);

    EXPECT_EQ(rc, failed ? SQL_ERROR : SQL_SUCCESS);
    size_t next = 0;
    int32_t count = 0;
    for (auto* a = static_cast<Attribute*>(ListPosition(list, LIST_FIRST, nullptr)); a != nullptr;
         a = static_cast<Attribute*>(ListPosition(list, LIST_NEXT, nullptr))) {
      ++count;
      // Its place is the next expected attribute it can be.
      auto fits = [a](const std::pair<std::string, std::string>& e) {
        return (a->key == nullptr || e.first == a->key) && (a->value == nullptr || e.second == a->value);
      };
      while (next < expected.size() && !fits(expected[next])) ++next;
      ASSERT_LT(next, expected.size()) << (a->key ? a->key : "~");
      ++next;
    }
    DiagDestroyHeap(heap);
    DiagDestroy(area);
    if (!failed) {
      EXPECT_EQ(count, static_cast<int32_t>(expected.size()));
      break;
    }
    ++failures;
    ASSERT_LT(nth, 10000);
  }
  EXPECT_GT(failures, 10);
}

struct EqualCase {
  const char* first;
  const char* second;
  int expected;
};

TEST(AttrListEqual, BothDirections) {
  const EqualCase cases[] = {
      {"a=1;b=2", "b=2;a=1", 1},
      {"a=x", "a=x   ", 1},
      {"a=x", "a=x;", 1},
      {"a", "a=", 1},
      {"a", "a=   ", 1},
      {" ;x=1", "x=1; ;", 1},
      {" ;x=1", "x=1; ", 0},
      {"", ";;", 1},
      {"Protocol=TCP;Host=alpha", "Host=alpha;Protocol=TCP", 1},
      {"Command={x;y}", "Command={x;y}  ", 1},
      {"a=1", "a=1;b=2", 0},
      {"a=x", "A=x", 0},
      {"a=x", "a=X", 0},
      {"a=x", "a= x", 0},
      {"a=1;a=2", "a=1;a=2", 0},
      {"a=1;a=1", "a=1;a=1", 1},
      {"a=1;b=2", "a=1;c=2", 0},
      {"a=1", "", 0},
  };
  for (const EqualCase& row : cases) {
    SCOPED_TRACE(std::string(row.first) + " vs " + row.second);
    Parsed first(row.first);
    Parsed second(row.second);
    EXPECT_EQ(AttrListEqual(first.list(), second.list()), row.expected);
    EXPECT_EQ(AttrListEqual(second.list(), first.list()), row.expected);
  }
}

TEST(AttrListEqual, NullKeysMatchOnlyNullKeys) {
  Parsed blank(" =v");   // one attribute: null key, no value ('=' after a key)
  Parsed other("k=v");
  Parsed blank2("  =v");
  EXPECT_EQ(blank.Render(), "[~|v]");
  EXPECT_EQ(AttrListEqual(blank.list(), other.list()), 0);
  EXPECT_EQ(AttrListEqual(other.list(), blank.list()), 0);
  EXPECT_EQ(AttrListEqual(blank.list(), blank2.list()), 1);
}

}  // namespace
