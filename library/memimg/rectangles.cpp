// Rectangle clipping: every drawing path, the software blits and the device's, cuts its rectangles
// to the draw area and to its images through this one rule.
#include "zyvel/memimg.h"

int ClipRectToRect(RECT* rect, const RECT* clip) {
  if (rect->right < rect->left) rect->right = rect->left;
  if (rect->bottom < rect->top) rect->bottom = rect->top;
  if (rect->bottom > clip->bottom)
    rect->bottom = clip->bottom;
  else if (rect->bottom < clip->top)
    rect->bottom = clip->top;
  if (rect->top > clip->bottom)
    rect->top = clip->bottom;
  else if (rect->top < clip->top)
    rect->top = clip->top;
  if (rect->right > clip->right)
    rect->right = clip->right;
  else if (rect->right < clip->left)
    rect->right = clip->left;
  if (rect->left > clip->right)
    rect->left = clip->right;
  else if (rect->left < clip->left)
    rect->left = clip->left;
  return 0;
}
