// The wide-string helpers of the kernel: UTF-16 code units, compared exactly.
#include "platform/kernel.h"

int lstrlenW(LPCWSTR text) {
  int length = 0;
  if (text)
    while (text[length]) ++length;
  return length;
}

int lstrcmpW(LPCWSTR first, LPCWSTR second) {
  static const WCHAR kEmpty[1] = {0};
  if (!first) first = kEmpty;
  if (!second) second = kEmpty;
  while (*first && *first == *second) {
    ++first;
    ++second;
  }
  return *first < *second ? -1 : (*first > *second ? 1 : 0);
}

LPWSTR lstrcpynW(LPWSTR destination, LPCWSTR source, int count) {
  if (!destination || count <= 0) return destination;
  int at = 0;
  if (source)
    for (; at < count - 1 && source[at]; ++at) destination[at] = source[at];
  destination[at] = 0;
  return destination;
}
