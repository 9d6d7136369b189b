#include "tool/services.h"

#include <cstdio>
#include <cstring>

#include "platform/file.h"
#include "platform/filelock.h"
#include "runtime/strings.h"

namespace {

inline bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

inline char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c; }

// The word at `p` (up to white space, "#" or `end`), lower-cased and cut to
// its first 127 characters, compared with `expected`. The position after the
// word when they are equal, null otherwise.
const char* MatchWord(const char* p, const char* end, const char* expected) {
  int32_t kept = 0;
  for (; p < end && !IsBlank(*p) && *p != '#'; ++p) {
    if (kept == SERVICES_WORD_MAX) continue;
    if (expected[kept] == '\0' || Lower(*p) != expected[kept]) return nullptr;
    ++kept;
  }
  return expected[kept] == '\0' ? p : nullptr;
}

int MatchSpan(const char* name, const char* protocol, const char* p, const char* end) {
  while (p < end && IsBlank(*p)) ++p;
  if (p == end || *p == '#') return 0;
  p = MatchWord(p, end, name);
  if (p == nullptr || p == end || *p == '#') return 0;
  while (p < end && *p != '/' && *p != '#') ++p;
  if (p == end || *p == '#') return 0;
  return MatchWord(p + 1, end, protocol) != nullptr ? 1 : 0;
}

// Hands the file out in the pieces that reads of at most 1023 characters
// give: up to and including a newline, or 1023 characters of a longer line,
// or what is left at the end. The file is taken in large blocks, so a piece
// costs no call into the C library of its own.
struct PieceReader {
  FILE* file;
  size_t start;
  size_t end;
  bool atEnd;
  char block[32768];
};

// The next piece, or false at the end of the file or at a read error.
bool NextPiece(PieceReader* reader, const char** piece, size_t* length) {
  constexpr size_t kMaxPiece = SERVICES_READ_SIZE - 1;
  for (;;) {
    size_t available = reader->end - reader->start;
    const char* first = reader->block + reader->start;
    size_t window = available < kMaxPiece ? available : kMaxPiece;
    const void* newline = std::memchr(first, '\n', window);
    size_t taken = 0;
    if (newline != nullptr) {
      taken = static_cast<size_t>(static_cast<const char*>(newline) - first) + 1;
    } else if (available >= kMaxPiece) {
      taken = kMaxPiece;
    } else if (reader->atEnd) {
      if (available == 0) return false;
      taken = available;
    }
    if (taken > 0) {
      *piece = first;
      *length = taken;
      reader->start += taken;
      return true;
    }
    std::memmove(reader->block, first, available);
    reader->start = 0;
    reader->end = available;
    size_t got = std::fread(reader->block + available, 1, sizeof reader->block - available, reader->file);
    reader->end += got;
    if (got == 0) reader->atEnd = true;
  }
}

// Appends as much of `text` as fits in `size` bytes, NUL included.
void AppendText(char* line, int32_t size, const char* text) {
  StrAppend(nullptr, line, size, SQL_NTS, text, SQL_NTS);
}

}  // namespace

void ColumnStatsInit(ColumnStats* stats, int32_t preset) {
  std::memset(stats, 0, sizeof *stats);
  stats->slotsUsed = 1;
  stats->positions[0] = preset;
}

void CountColumn(ColumnStats* stats, int32_t position) {
  for (int32_t slot = 0; slot < stats->slotsUsed; ++slot) {
    if (stats->positions[slot] == position) {
      ++stats->counts[slot];
      return;
    }
  }
  if (stats->slotsUsed < SERVICES_COLUMN_SLOTS) {
    stats->positions[stats->slotsUsed] = position;
    stats->counts[stats->slotsUsed] = 1;
    ++stats->slotsUsed;
  }
}

int32_t MostFrequentColumn(const ColumnStats* stats) {
  if (stats->slotsUsed <= 0) return 0;
  int32_t best = 0;
  for (int32_t slot = 1; slot < stats->slotsUsed && slot < SERVICES_COLUMN_SLOTS; ++slot)
    if (stats->counts[slot] > stats->counts[best]) best = slot;
  return stats->positions[best];
}

void PadToColumn(char* line, int32_t lineSize, int32_t column) {
  if (line == nullptr || lineSize <= 0) return;
  int64_t length = static_cast<int64_t>(std::strlen(line));
  int64_t target = length < column ? column : (length > column || length > 0) ? length + 1 : length;
  if (target > lineSize - 1) target = lineSize - 1;
  if (target <= length) return;
  std::memset(line + length, ' ', static_cast<size_t>(target - length));
  line[target] = '\0';
}

int MatchServiceEntry(const char* name, const char* protocol, const char* line) {
  if (line == nullptr) return 0;
  return MatchSpan(name != nullptr ? name : "", protocol != nullptr ? protocol : "", line, line + std::strlen(line));
}

int AddServiceEntry(const char* path, const char* name, int32_t port, const char* protocol, const char* comment) {
  if (name == nullptr) name = "";
  if (protocol == nullptr) protocol = "";
  if (comment == nullptr) comment = "";

  ColumnStats nameColumn, slashColumn, commentColumn;
  ColumnStatsInit(&nameColumn, SERVICES_NAME_PRESET);
  ColumnStatsInit(&slashColumn, SERVICES_SLASH_PRESET);
  ColumnStatsInit(&commentColumn, SERVICES_COMMENT_PRESET);

  FILE* file = PlatformFileOpen(path, "r+");
  if (file == nullptr) return 0;
  // Installers run in parallel: the check and the append are one step among
  // all runs of the tool, or two runs with the same entry would both add it.
  // Without the lock nothing is written.
  if (!PlatformFileLock(file)) {
    std::fclose(file);
    return 0;
  }

  PieceReader reader;
  reader.file = file;
  reader.start = reader.end = 0;
  reader.atEnd = false;
  bool found = false;
  bool anyRead = false;
  bool lastOpen = false;  // the last piece is not empty and lacks its newline
  const char* piece = nullptr;
  size_t length = 0;
  while (NextPiece(&reader, &piece, &length)) {
    anyRead = true;
    lastOpen = piece[length - 1] != '\n';
    const char* end = piece + length;
    if (MatchSpan(name, protocol, piece, end)) {
      found = true;
      break;
    }
    const char* p = piece;
    while (p < end && IsBlank(*p)) ++p;
    if (p == end || *p == '#') continue;
    CountColumn(&nameColumn, static_cast<int32_t>(p - piece));
    // A "/" inside a comment counts when the line has no other.
    const char* slash = static_cast<const char*>(std::memchr(p, '/', static_cast<size_t>(end - p)));
    if (slash == nullptr) continue;
    CountColumn(&slashColumn, static_cast<int32_t>(slash - piece));
    const char* hash = static_cast<const char*>(std::memchr(slash, '#', static_cast<size_t>(end - slash)));
    if (hash != nullptr) CountColumn(&commentColumn, static_cast<int32_t>(hash - piece));
  }
  if (found || std::ferror(file)) {
    PlatformFileUnlock(file);
    std::fclose(file);
    return 0;
  }

  // out[0] is the newline that goes first when the file's last line lacks
  // one; the entry line is built behind it, one byte kept for its own
  // newline.
  char out[1 + SERVICES_LINE_SIZE];
  out[0] = '\n';
  char* line = out + 1;
  const int32_t room = SERVICES_LINE_SIZE - 1;
  line[0] = '\0';
  PadToColumn(line, room, MostFrequentColumn(&nameColumn));
  if (StrLenTrim(name, SQL_NTS) > 0) AppendText(line, room, name);
  char portText[SERVICES_PORT_SIZE];
  StrFormat(portText, sizeof portText, "%d", port);
  PadToColumn(line, room, MostFrequentColumn(&slashColumn) - static_cast<int32_t>(std::strlen(portText)));
  AppendText(line, room, portText);
  AppendText(line, room, "/");
  if (StrLenTrim(protocol, SQL_NTS) > 0) AppendText(line, room, protocol);
  if (StrLenTrim(comment, SQL_NTS) > 0) {
    PadToColumn(line, room, MostFrequentColumn(&commentColumn));
    AppendText(line, room, "#");
    AppendText(line, room, comment);
  }
  AppendText(line, SERVICES_LINE_SIZE, "\n");

  // The end as it is now, not where reading stopped: this also is the
  // positioning call that must come between reading and writing.
  const char* text = (anyRead && lastOpen) ? out : line;
  if (std::fseek(file, 0, SEEK_END) == 0) {
    std::fwrite(text, 1, std::strlen(text), file);
    std::fflush(file);
  }
  PlatformFileUnlock(file);
  std::fclose(file);
  return 0;
}
