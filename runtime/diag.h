// The diagnostics area: ODBC-style return-code flags and a list of records
// (SQLSTATE, native error, return code, German message).
#pragma once
#include <cstdint>

#include "runtime/heap.h"
#include "runtime/list.h"
#include "runtime/strings.h"

inline constexpr int32_t DIAG_MESSAGE_MAX = 512;

inline constexpr const char* DIAG_STATE_OUT_OF_MEMORY = "HY001";
inline constexpr const char* DIAG_MSG_OUT_OF_MEMORY = "Es ist nicht genug Speicher vorhanden";
inline constexpr const char* DIAG_STATE_GENERAL = "HY000";

// Return-code flags.
inline constexpr uint8_t DIAG_FLAG_INVALID_HANDLE = 0x01;  // -2
inline constexpr uint8_t DIAG_FLAG_ERROR = 0x02;           // -1
inline constexpr uint8_t DIAG_FLAG_WITH_INFO = 0x04;       // 1
inline constexpr uint8_t DIAG_FLAG_STILL_EXECUTING = 0x08; // 2
inline constexpr uint8_t DIAG_FLAG_NEED_DATA = 0x10;       // 99
inline constexpr uint8_t DIAG_FLAG_NO_DATA = 0x20;         // 100

struct DiagRecord {
  int16_t returnCode;  // -1 or 1
  char sqlState[6];
  int32_t nativeError;
  char* message;  // NUL-terminated, at most DIAG_MESSAGE_MAX characters
};

struct DiagArea {
  Heap heap;            // CreateHeap(1024); holds the area, its list and records
  NodeList* records;    // DiagRecords, oldest first
  int32_t outOfMemory;  // -1 once "HY001" was posted: no more records stored
  uint8_t flags;
};

// A new empty area; failures of the creation go into `report`.
DiagArea* DiagCreate(DiagArea* report);
void DiagDestroy(DiagArea* area);
// Flags 0, no records; the out-of-memory mark stays.
void DiagClear(DiagArea* area);
SqlReturn DiagReturnCode(const DiagArea* area);
void DiagSetReturnCode(DiagArea* area, int16_t returnCode);
// Posts a record whose message joins the parts that are not null.
void DiagPost(DiagArea* area, const char* sqlState, int32_t nativeError, int16_t returnCode, const char* part1,
              const char* part2 = nullptr, const char* part3 = nullptr);

// Allocation wrappers posting "HY001" into `area` when the result is null.
Heap DiagCreateHeap(DiagArea* area, uint32_t size);
void DiagDestroyHeap(Heap heap);
void* DiagAlloc(DiagArea* area, Heap heap, uint16_t size);
void DiagFree(void* block);
NodeList* DiagListCreate(DiagArea* area, Heap heap);
void DiagListDestroy(NodeList* list);
// 0 on success (and for a null list), -1 on failure ("HY001" posted).
int DiagListAppend(DiagArea* area, NodeList* list, void* item);
