// The soft-image table: 8,192 slots of base images behind kind-11 handles, deletion one by one
// and all at once.
#include "graphics/images/soft_images.h"

#include <cstring>

#include "graphics/screen_services.h"

namespace {
void* g_softImageSlots[SOFT_IMAGE_HANDLE_TABLE_SIZE];
}  // namespace

HandleTable g_softImageTable = {HANDLE_KIND_SOFT_IMAGE, SOFT_IMAGE_HANDLE_TABLE_SIZE, g_softImageSlots, 0, 0, 0};

int AddSoftImage(BaseImage* image) {
  void* record = nullptr;
  const HandleWord handle = AddHandleRecord(&g_softImageTable, sizeof(SoftImageRecord), &record);
  if (handle < 0) return -1;
  auto* softImage = static_cast<SoftImageRecord*>(record);
  softImage->image = *image;
  std::memset(image, 0, sizeof(*image));
  return handle;
}

int DeleteSoftImage(int handle) {
  auto* record = static_cast<SoftImageRecord*>(GetHandleRecord(&g_softImageTable, handle));
  if (!record) return -1;
  ReleaseBaseImage(&record->image);
  return DeleteHandleRecord(&g_softImageTable, handle);
}

int ClearSoftImageTable() {
  // The mark falls as the highest records go, so it is read again at each step.
  for (int slot = 0; slot < g_softImageTable.highWaterMark; ++slot) {
    const auto* record = static_cast<const SoftImageRecord*>(g_softImageTable.slots[slot]);
    if (record) DeleteSoftImage(MakeHandleWord(slot, record->header.checkCount, HANDLE_KIND_SOFT_IMAGE));
  }
  return 0;
}

int DeleteAllSoftImages() { return ClearSoftImageTable(); }
