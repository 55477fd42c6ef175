// Handle chain: a doubly linked list of handle records between two sentinel nodes, newest first.
// Nodes live inside their owners' records; the chain owns nothing. Sound and the network handles
// keep their handles in chains.
#pragma once

#include <cstdint>

struct HandleChainNode {
  int32_t handle;  // -1 in the sentinels.
  void* data;      // The owner record; null in the sentinels.
  HandleChainNode* prev;
  HandleChainNode* next;
};

// An empty chain: head and tail sentinels pointing at each other.
int SetupHandleChain(HandleChainNode* head, HandleChainNode* tail);
// Fills `node` and inserts it right after `after` (callers pass the head).
int LinkHandleChain(HandleChainNode* after, HandleChainNode* node, int32_t handle, void* data);
// Takes the node out of its chain and clears its links, so a second unlink does nothing.
int UnlinkHandleChain(HandleChainNode* node);
