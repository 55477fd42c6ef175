// Soft images: base images the library holds in main memory behind handles of their own kind,
// apart from graphs and textures. Shut-down deletes whatever is still open.
#pragma once

#include "runtime/runtime_services.h"
#include "zyvel/graphics.h"

struct SoftImageRecord {
  HandleRecordHeader header;
  BaseImage image;
};

extern HandleTable g_softImageTable;

// Nothing in the system makes soft images; this is the creator an application (or a test) would
// use: `image` moves into a new record (its pixels are the record's from then on). The handle,
// or -1 when the table is full or the record cannot be allocated.
int AddSoftImage(BaseImage* image);
// -1 for a handle that is negative, of another kind, past the table, empty or stale.
int DeleteSoftImage(int handle);
int ClearSoftImageTable();
