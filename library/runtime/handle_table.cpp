// Handle tables: slots are handed out at the high-water mark until it reaches the end of the
// table, then from the first free slot; check counts change with every creation, so a handle
// whose slot was reused no longer matches its record.
#include "runtime/handle_table.h"

#include "zyvel/runtime.h"

HandleWord AddHandleRecord(HandleTable* table, int recordSize, void** record) {
  *record = nullptr;
  if (table->usedCount >= table->size) {
    if (table->kind == HANDLE_KIND_GRAPH) AbortWithLog("グラフィックの数が許容量を越えました終了します");
    return -1;
  }
  int slot = table->highWaterMark;
  if (slot >= table->size) {
    for (slot = 0; slot < table->size && table->slots[slot]; ++slot) {
    }
    if (slot >= table->size) return -1;  // The used count disagrees with the slots.
  }

  if (recordSize < static_cast<int>(sizeof(HandleRecordHeader))) recordSize = sizeof(HandleRecordHeader);
  auto* header = static_cast<HandleRecordHeader*>(ZV_ALLOC_ZEROED(recordSize));
  if (!header) {
    if (table->kind == HANDLE_KIND_GRAPH) AbortWithLog("メモリの確保に失敗しました");
    return -1;
  }
  header->checkCount = table->nextCheckCount;
  table->nextCheckCount = (table->nextCheckCount + 1) % HANDLE_CHECK_COUNT_LIMIT;
  header->handle = MakeHandleWord(slot, header->checkCount, table->kind);

  table->slots[slot] = header;
  ++table->usedCount;
  if (slot == table->highWaterMark) ++table->highWaterMark;
  *record = header;
  return header->handle;
}

void* GetHandleRecord(const HandleTable* table, HandleWord handle) {
  if (handle < 0 || HandleKindOf(handle) != table->kind) return nullptr;
  const int slot = HandleSlotOf(handle);
  if (slot >= table->size) return nullptr;
  auto* header = static_cast<HandleRecordHeader*>(table->slots[slot]);
  if (!header || header->checkCount != HandleCheckCountOf(handle)) return nullptr;
  return header;
}

int DeleteHandleRecord(HandleTable* table, HandleWord handle) {
  auto* header = static_cast<HandleRecordHeader*>(GetHandleRecord(table, handle));
  if (!header) return -1;
  const int slot = HandleSlotOf(handle);
  --table->usedCount;
  if (slot == table->highWaterMark - 1) {
    int below = slot - 1;
    while (below >= 0 && !table->slots[below]) --below;
    table->highWaterMark = below + 1;
  }
  if (header->lostFlag) *header->lostFlag = 1;
  ZV_FREE(header);
  table->slots[slot] = nullptr;
  return 0;
}
