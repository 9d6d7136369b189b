#include "config/profile.h"

#include <cctype>
#include <cstring>

#include "config/remotefile.h"
#include "platform/sync.h"
#include "platform/sysinfo.h"
#include "runtime/strings.h"

namespace {

// One lock for every lookup in the process, held from open to close, network
// traffic included. It is re-entrant because opening a file on an aliased
// server looks up that server's alias, which is a profile lookup itself. The
// static is initialised once, before any second thread can see it; it is
// never destroyed.
PlatformCriticalSection ProfileLock() {
  static PlatformCriticalSection profileLock = PlatformCriticalSectionCreate();
  return profileLock;
}

// The paths this thread is opening right now. Opening a profile file on an
// aliased server reads "vorndex.ini" for the alias; when that is the very file
// being opened, the inner open is refused (the lookup sees no alias) instead
// of recursing without end. The depth bound catches any longer cycle.
constexpr int PROFILE_OPEN_DEPTH = 4;
thread_local const char* openingPaths[PROFILE_OPEN_DEPTH];
thread_local int openingDepth = 0;

bool IsWhite(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

const char* SkipWhite(const char* p) {
  while (*p != '\0' && IsWhite(*p)) ++p;
  return p;
}

enum ProfileLineKind { PROFILE_LINE_IGNORED, PROFILE_LINE_SECTION, PROFILE_LINE_KEY };

struct ProfileLine {
  ProfileLineKind kind;
  const char* name;  // section name (exactly as bracketed) or key (trimmed)
  int32_t nameLength;
  const char* value;  // key lines whose first ";" or "=" is "=": what follows it; else null
};

ProfileLine ProfileParseLine(const char* line) {
  const char* p = SkipWhite(line);
  if (*p == '[') {
    const char* close = std::strchr(p + 1, ']');
    if (close != nullptr) return {PROFILE_LINE_SECTION, p + 1, static_cast<int32_t>(close - (p + 1)), nullptr};
  }
  if (*p == '\0' || *p == ';' || *p == '=') return {PROFILE_LINE_IGNORED, nullptr, 0, nullptr};
  const char* end = p + std::strcspn(p, ";=");
  const char* value = *end == '=' ? end + 1 : nullptr;
  while (end > p && IsWhite(end[-1])) --end;
  return {PROFILE_LINE_KEY, p, static_cast<int32_t>(end - p), value};
}

bool NameEquals(const ProfileLine& line, const char* wanted) {
  if (wanted == nullptr) wanted = "";
  return std::strlen(wanted) == static_cast<size_t>(line.nameLength) &&
         std::memcmp(line.name, wanted, static_cast<size_t>(line.nameLength)) == 0;
}

bool IsEmptyName(const char* name) { return StrLenTrim(name, SQL_NTS) == 0; }

int32_t CopyDefault(const char* defaultValue, char* out, int32_t outSize) {
  StrCopy(nullptr, out, outSize, defaultValue != nullptr ? defaultValue : "", SQL_NTS);
  return StrLenTrim(out, SQL_NTS);
}

void TrimTrailingWhite(char* text) {
  size_t n = std::strlen(text);
  while (n > 0 && IsWhite(text[n - 1])) text[--n] = '\0';
}

// A list of NUL-terminated names in `out`, one byte always kept for the NUL
// that closes it.
struct ProfileList {
  char* out;
  int32_t room;  // outSize - 1
  int32_t used = 0;
  bool any = false;

  void Append(const char* name, int32_t length) {
    if (room - used <= 0) return;
    StrCopy(nullptr, out + used, room - used, name, length);
    used += static_cast<int32_t>(std::strlen(out + used)) + 1;
    any = true;
  }
  // The count: bytes up to the NUL that ends the last name.
  int32_t Close() {
    out[used] = '\0';
    return any ? used - 1 : 0;
  }
};

// Reads on until the header of `section`; false when the file ends first.
bool SeekSection(RemoteFile* file, const char* section, char* line) {
  while (RemoteFileGets(line, PROFILE_LINE_MAX, file) != nullptr) {
    ProfileLine parsed = ProfileParseLine(line);
    if (parsed.kind == PROFILE_LINE_SECTION && NameEquals(parsed, section)) return true;
  }
  return false;
}

}  // namespace

RemoteFile* ProfileOpen(const char* fileName) {
  if (fileName == nullptr || fileName[0] == '\0') return nullptr;
  char composed[PROFILE_PATH_MAX];
  const char* path = fileName;
  if (std::strchr(fileName, '\\') == nullptr) {
    // A directory or name that does not fit is refused as if the file did not
    // exist: a cut path would name some other file.
    uint32_t n = PlatformGetWindowsDirectory(composed, PROFILE_PATH_MAX);
    if (n == 0 || n >= static_cast<uint32_t>(PROFILE_PATH_MAX)) return nullptr;
    size_t nameLength = std::strlen(fileName);
    bool hasSeparator = composed[n - 1] == '\\';
    if (n + (hasSeparator ? 0 : 1) + nameLength >= static_cast<size_t>(PROFILE_PATH_MAX)) return nullptr;
    if (!hasSeparator) composed[n++] = '\\';
    std::memcpy(composed + n, fileName, nameLength + 1);
    path = composed;
  }

  if (openingDepth >= PROFILE_OPEN_DEPTH) return nullptr;
  for (int i = 0; i < openingDepth; ++i)
    if (std::strcmp(openingPaths[i], path) == 0) return nullptr;
  openingPaths[openingDepth++] = path;
  RemoteFile* file = RemoteFileOpen(path, "r");
  --openingDepth;

  if (file != nullptr) RemoteFileSetTranslation("", file);
  return file;
}

int32_t ProfileListSections(RemoteFile* file, char* out, int32_t outSize) {
  if (out == nullptr || outSize <= 0) return 0;
  ProfileList list{out, outSize - 1};
  char line[PROFILE_LINE_MAX];
  while (RemoteFileGets(line, PROFILE_LINE_MAX, file) != nullptr) {
    ProfileLine parsed = ProfileParseLine(line);
    if (parsed.kind == PROFILE_LINE_SECTION) list.Append(parsed.name, parsed.nameLength);
  }
  return list.Close();
}

int32_t ProfileListKeys(RemoteFile* file, const char* section, char* out, int32_t outSize) {
  if (out == nullptr || outSize <= 0) return 0;
  ProfileList list{out, outSize - 1};
  char line[PROFILE_LINE_MAX];
  if (SeekSection(file, section, line)) {
    while (RemoteFileGets(line, PROFILE_LINE_MAX, file) != nullptr) {
      ProfileLine parsed = ProfileParseLine(line);
      if (parsed.kind == PROFILE_LINE_SECTION) break;
      if (parsed.kind == PROFILE_LINE_KEY) list.Append(parsed.name, parsed.nameLength);
    }
  }
  return list.Close();
}

int32_t ProfileReadKey(RemoteFile* file, const char* section, const char* key, const char* defaultValue, char* out,
                       int32_t outSize) {
  if (out == nullptr || outSize <= 0) return 0;
  char line[PROFILE_LINE_MAX];
  if (!SeekSection(file, section, line)) return CopyDefault(defaultValue, out, outSize);
  while (RemoteFileGets(line, PROFILE_LINE_MAX, file) != nullptr) {
    ProfileLine parsed = ProfileParseLine(line);
    if (parsed.kind == PROFILE_LINE_SECTION) break;
    if (parsed.kind != PROFILE_LINE_KEY || parsed.value == nullptr || !NameEquals(parsed, key)) continue;

    const char* p = SkipWhite(parsed.value);
    if (*p == '"' || *p == '\'') {
      // Quoted: up to the same quote, a doubled one standing for itself; ";"
      // is text; without a closing quote the value runs to the line's end.
      char quote = *p++;
      int32_t n = 0;
      while (*p != '\0' && n < outSize - 1) {
        if (*p == quote) {
          if (p[1] != quote) break;
          ++p;
        }
        out[n++] = *p++;
      }
      out[n] = '\0';
    } else {
      StrCopy(nullptr, out, outSize, p, static_cast<int32_t>(std::strcspn(p, ";")));
    }
    TrimTrailingWhite(out);
    return StrLenTrim(out, SQL_NTS);
  }
  return CopyDefault(defaultValue, out, outSize);
}

int32_t ProfileGetString(const char* section, const char* key, const char* defaultValue, char* out, int32_t outSize,
                         const char* fileName) {
  if (out == nullptr || outSize <= 0) return 0;
  PlatformCriticalSection lock = ProfileLock();
  // Without its lock no lookup is safe; it behaves as a file that cannot be
  // opened (only a process out of memory at its first lookup gets here).
  if (lock == nullptr) return CopyDefault(defaultValue, out, outSize);
  PlatformCriticalSectionEnter(lock);
  int32_t result;
  RemoteFile* file = ProfileOpen(fileName);
  if (file == nullptr) {
    result = CopyDefault(defaultValue, out, outSize);
  } else {
    if (IsEmptyName(section))
      result = ProfileListSections(file, out, outSize);
    else if (IsEmptyName(key))
      result = ProfileListKeys(file, section, out, outSize);
    else
      result = ProfileReadKey(file, section, key, defaultValue, out, outSize);
    RemoteFileClose(file);
  }
  PlatformCriticalSectionLeave(lock);
  return result;
}
