// The services file update: matching entry lines, counting the columns the
// file's lines use, and appending one entry aligned to the most frequent of
// them.
//
// An entry line is optional white space, the service name, white space, the
// port, "/", the protocol, optional aliases and an optional "#" comment.
// White space is space, tab, newline, vertical tab, form feed and carriage
// return. Positions are 0-based byte offsets into a line as read; a tab
// counts as one.
#pragma once
#include <cstdint>

inline constexpr int32_t SERVICES_READ_SIZE = 1024;  // a read takes at most 1023 characters
inline constexpr int32_t SERVICES_WORD_MAX = 127;    // characters of a word that are compared
inline constexpr int32_t SERVICES_PORT_SIZE = 32;
inline constexpr int32_t SERVICES_COLUMN_SLOTS = 10;

inline constexpr int32_t SERVICES_NAME_PRESET = 0;
inline constexpr int32_t SERVICES_SLASH_PRESET = 21;
inline constexpr int32_t SERVICES_COMMENT_PRESET = 52;

// The room for the entry line: three columns of at most 1022 with a
// 255-character value each (what the command line can give) fit with room
// to spare. Longer values from other callers are cut; the line ends with its
// newline in every case.
inline constexpr int32_t SERVICES_LINE_SIZE = 2048;

// The positions seen for one column, in order of first sight; slot 0 holds
// the preset, whose count starts at 0.
struct ColumnStats {
  int32_t slotsUsed;
  int32_t positions[SERVICES_COLUMN_SLOTS];
  int32_t counts[SERVICES_COLUMN_SLOTS];
};

// One used slot: the preset with count 0.
void ColumnStatsInit(ColumnStats* stats, int32_t preset);
// Records one sighting. A position not yet known takes the next free slot;
// once all ten are used, new positions are dropped.
void CountColumn(ColumnStats* stats, int32_t position);
// The position of the first slot whose count is strictly greater than every
// count before it: ties go to the earlier slot, the preset first.
int32_t MostFrequentColumn(const ColumnStats* stats);

// Brings the NUL-terminated `line` (a buffer of `lineSize` bytes) to
// `column`: blanks up to the column when the line is shorter, one blank when
// it is longer or (not being empty) exactly as long. Never writes past the
// buffer; blanks that do not fit are left out.
void PadToColumn(char* line, int32_t lineSize, int32_t column);

// 1 when `line` (NUL-terminated) is an entry for exactly `name` and
// `protocol` (both lower case), else 0. The line's name and protocol are
// lower-cased (ASCII) and compared on their first 127 characters; aliases
// and the port play no part.
int MatchServiceEntry(const char* name, const char* protocol, const char* line);

// Adds the entry to the services file at `path` unless an entry for `name`
// and `protocol` is already there. The file is read once from the top under
// an exclusive lock held until the append is done; the line lands at the end
// of the file as it is at the moment of writing. A file that cannot be
// opened or locked, a read error and an entry already present leave the file
// unchanged. Returns 0 in every case.
int AddServiceEntry(const char* path, const char* name, int32_t port, const char* protocol, const char* comment);
