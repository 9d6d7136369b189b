#include "runtime/diag.h"

#include <cstring>

static void PostOutOfMemory(DiagArea* area) { DiagPost(area, DIAG_STATE_OUT_OF_MEMORY, 0, -1, DIAG_MSG_OUT_OF_MEMORY); }

DiagArea* DiagCreate(DiagArea* report) {
  Heap heap = DiagCreateHeap(report, 1024);
  if (heap == nullptr) return nullptr;
  auto* area = static_cast<DiagArea*>(DiagAlloc(report, heap, sizeof(DiagArea)));
  if (area == nullptr) {
    DestroyHeap(heap);
    return nullptr;
  }
  std::memset(area, 0, sizeof *area);
  area->heap = heap;
  area->records = DiagListCreate(report, heap);
  if (area->records == nullptr) {
    DestroyHeap(heap);
    return nullptr;
  }
  return area;
}

void DiagDestroy(DiagArea* area) {
  if (area != nullptr) DestroyHeap(area->heap);
}

void DiagClear(DiagArea* area) {
  if (area == nullptr) return;
  area->flags = 0;
  while (auto* record = static_cast<DiagRecord*>(ListPosition(area->records, LIST_FIRST, nullptr))) {
    ListRemove(area->records);
    FreeHeap(record->message);
    FreeHeap(record);
  }
}

SqlReturn DiagReturnCode(const DiagArea* area) {
  if (area == nullptr) return SQL_SUCCESS;
  uint8_t flags = area->flags;
  if (flags & DIAG_FLAG_INVALID_HANDLE) return SQL_INVALID_HANDLE;
  if (flags & DIAG_FLAG_ERROR) return SQL_ERROR;
  if (flags & DIAG_FLAG_NO_DATA) return SQL_NO_DATA;
  if (flags & DIAG_FLAG_NEED_DATA) return SQL_NEED_DATA;
  if (flags & DIAG_FLAG_STILL_EXECUTING) return SQL_STILL_EXECUTING;
  if (flags & DIAG_FLAG_WITH_INFO) return SQL_SUCCESS_WITH_INFO;
  return SQL_SUCCESS;
}

void DiagSetReturnCode(DiagArea* area, int16_t returnCode) {
  if (area == nullptr) return;
  switch (returnCode) {
    case SQL_INVALID_HANDLE:
      area->flags |= DIAG_FLAG_INVALID_HANDLE;
      break;
    case SQL_ERROR:
      area->flags |= DIAG_FLAG_ERROR;
      break;
    case SQL_STILL_EXECUTING:
      area->flags |= DIAG_FLAG_STILL_EXECUTING;
      break;
    case SQL_NEED_DATA:
      area->flags |= DIAG_FLAG_NEED_DATA;
      break;
    case SQL_NO_DATA:
      area->flags |= DIAG_FLAG_NO_DATA;
      break;
    default:
      // 0 and 1 included: a warning is raised only by posting a record.
      break;
  }
}

void DiagPost(DiagArea* area, const char* sqlState, int32_t nativeError, int16_t returnCode, const char* part1,
              const char* part2, const char* part3) {
  if (area == nullptr) return;
  if (returnCode == SQL_ERROR) {
    area->flags |= DIAG_FLAG_ERROR;
  } else if (returnCode == SQL_SUCCESS_WITH_INFO) {
    area->flags |= DIAG_FLAG_WITH_INFO;
  } else {
    return;
  }
  if (sqlState == nullptr) sqlState = "";
  // Out of memory shows as the error code alone: posting more would need memory.
  if (std::strcmp(sqlState, DIAG_STATE_OUT_OF_MEMORY) == 0) {
    area->outOfMemory = -1;
    return;
  }
  if (area->outOfMemory != 0) return;

  const char* parts[3] = {part1, part2, part3};
  size_t lengths[3] = {0, 0, 0};
  size_t length = 0;
  for (int i = 0; i < 3; ++i) {
    if (parts[i] != nullptr) lengths[i] = std::strlen(parts[i]);
    length += lengths[i];
  }
  if (length > static_cast<size_t>(DIAG_MESSAGE_MAX)) return;

  auto* record = static_cast<DiagRecord*>(AllocHeap(area->heap, sizeof(DiagRecord)));
  if (record == nullptr) return;
  auto* message = static_cast<char*>(AllocHeap(area->heap, static_cast<uint32_t>(length + 1)));
  if (message == nullptr) {
    FreeHeap(record);
    return;
  }
  char* end = message;
  for (int i = 0; i < 3; ++i) {
    if (lengths[i] == 0) continue;
    std::memcpy(end, parts[i], lengths[i]);
    end += lengths[i];
  }
  *end = '\0';

  record->returnCode = returnCode;
  // A state is five characters; a longer one is cut to its first five.
  size_t stateLength = std::strlen(sqlState);
  if (stateLength > 5) stateLength = 5;
  std::memset(record->sqlState, 0, sizeof record->sqlState);
  std::memcpy(record->sqlState, sqlState, stateLength);
  record->nativeError = nativeError;
  record->message = message;

  if (ListInsert(area->records, LIST_APPEND, record) == 0) {
    FreeHeap(message);
    FreeHeap(record);
  }
}

Heap DiagCreateHeap(DiagArea* area, uint32_t size) {
  Heap heap = CreateHeap(size);
  if (heap == nullptr) PostOutOfMemory(area);
  return heap;
}

void DiagDestroyHeap(Heap heap) { DestroyHeap(heap); }

void* DiagAlloc(DiagArea* area, Heap heap, uint16_t size) {
  void* block = AllocHeap(heap, size);
  if (block == nullptr) PostOutOfMemory(area);
  return block;
}

void DiagFree(void* block) { FreeHeap(block); }

NodeList* DiagListCreate(DiagArea* area, Heap heap) {
  NodeList* list = ListCreate(heap);
  if (list == nullptr) PostOutOfMemory(area);
  return list;
}

void DiagListDestroy(NodeList* list) { ListDestroy(list); }

int DiagListAppend(DiagArea* area, NodeList* list, void* item) {
  if (list == nullptr) return 0;
  if (ListInsert(list, LIST_APPEND, item) != 0) return 0;
  PostOutOfMemory(area);
  return -1;
}
