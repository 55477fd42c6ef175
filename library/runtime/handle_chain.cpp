// Handle chain.
#include "runtime/handle_chain.h"

int SetupHandleChain(HandleChainNode* head, HandleChainNode* tail) {
  *head = {-1, nullptr, nullptr, tail};
  *tail = {-1, nullptr, head, nullptr};
  return 0;
}

int LinkHandleChain(HandleChainNode* after, HandleChainNode* node, int32_t handle, void* data) {
  node->handle = handle;
  node->data = data;
  node->prev = after;
  node->next = after->next;
  if (after->next) after->next->prev = node;
  after->next = node;
  return 0;
}

int UnlinkHandleChain(HandleChainNode* node) {
  // The links of an unlinked node would still name its old neighbours, and unlinking it again
  // would cut out whatever had been linked next to them since.
  if (!node->prev || !node->next) return 0;
  node->prev->next = node->next;
  node->next->prev = node->prev;
  node->prev = nullptr;
  node->next = nullptr;
  return 0;
}
