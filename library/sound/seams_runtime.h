// Interim: the handle chain of the runtime (byte ring and handle chain), written here until the
// runtime's own lands; then this header and seams_runtime.cpp go and zyvel/runtime.h declares them.
#pragma once

struct HandleChainNode {
  int handle;  // -1 in the sentinels
  void* data;  // The owner record; null in the sentinels
  HandleChainNode* prev;
  HandleChainNode* next;
};

int SetupHandleChain(HandleChainNode* head, HandleChainNode* tail);
int LinkHandleChain(HandleChainNode* after, HandleChainNode* node, int handle, void* data);
int UnlinkHandleChain(HandleChainNode* node);
