// Tracked heap: the debugging switches of the heap. Nothing in the library turns them on; they
// are for whoever hunts a leak or an overrun (and for tests).
#pragma once

struct TrackedHeapOptions {
  int traceAll = 0;     // 1: log every allocation, re-size and free.
  int printTotals = 0;  // 1: log the totals line after every operation.
  int checkAll = 0;     // 1: check every header on every allocation, re-size and free.
  int traceSize = 0;    // Log the blocks of exactly this size; negative: log every block.
};

void SetTrackedHeapOptions(const TrackedHeapOptions& options);
TrackedHeapOptions GetTrackedHeapOptions();
// Live blocks and the bytes they hold.
int GetTrackedBlockCount();
int GetTrackedTotalBytes();
