// Interim handle chain (see seams_runtime.h).
#include "sound/seams_runtime.h"

int SetupHandleChain(HandleChainNode* head, HandleChainNode* tail) {
  *head = {-1, nullptr, nullptr, tail};
  *tail = {-1, nullptr, head, nullptr};
  return 0;
}

int LinkHandleChain(HandleChainNode* after, HandleChainNode* node, int handle, void* data) {
  node->handle = handle;
  node->data = data;
  node->prev = after;
  node->next = after->next;
  after->next->prev = node;
  after->next = node;
  return 0;
}

int UnlinkHandleChain(HandleChainNode* node) {
  node->prev->next = node->next;
  node->next->prev = node->prev;
  return 0;
}
