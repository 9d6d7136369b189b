// The tool's command line and the location of the services file.
//
// The five options fill process-wide buffers; the port stays text until the
// entry is written.
#pragma once
#include <cstdint>

inline constexpr int32_t OPTION_VALUE_SIZE = 256;
inline constexpr int32_t OPTION_PATH_SIZE = 512;
inline constexpr int32_t OPTION_DIRECTORY_SIZE = 512;

extern char serviceName[OPTION_VALUE_SIZE];      // "-name", lower-cased
extern char servicePort[OPTION_VALUE_SIZE];      // "-port", lower-cased
extern char serviceProtocol[OPTION_VALUE_SIZE];  // "-protocol", lower-cased
extern char serviceComment[OPTION_VALUE_SIZE];   // "-comment", case kept
extern char servicesPath[OPTION_PATH_SIZE];      // filled by LocateServicesFile
extern int serviceMode;                          // 1 once "-service" was given

// Empties the buffers and clears the switch, as at process start.
void OptionsReset();

// Reads argv[1] to argv[argc - 1] into the state above: "-service",
// "-name", "-port", "-protocol" and "-comment", spelt exactly, in any order,
// the last of a repeated option winning. Returns 1 when every argument was
// understood, 0 at the first that was not: an unknown argument, a value that
// begins with "-", or an option that lacks its value. Values stored before
// that stay stored.
int ParseOptions(int argc, const char* const* argv);

// Copies the counted string `value` into `destination` (`size` bytes, NUL
// included), dropping an opening and a closing double quote independently
// and trailing blanks; a longer value is cut silently.
void CopyOptionValue(char* destination, int32_t size, const char* value, int32_t valueLength);

// Lower-cases the ASCII letters among the first StrLenTrim bytes of `text`
// in place and returns that length.
int32_t LowerCaseValue(char* text, int32_t textLength);

// Fills servicesPath: on the NT family the system directory and
// "drivers\etc\services", on the 9x family the Windows directory and
// "services". Returns 1 when the location is known, 0 for an unknown
// platform or when the version or the directory cannot be had.
int LocateServicesFile();
