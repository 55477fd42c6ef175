// The framework's node list and its spare-node cache.
#include "media/framework/node_list.h"

#include <new>

Z_CNodeCache::~Z_CNodeCache() {
  while (Z_CListNode* node = Take()) delete node;
}

void Z_CNodeCache::Give(Z_CListNode* node) {
  if (m_count >= kLimit) {
    delete node;
    return;
  }
  node->next = m_first;
  m_first = node;
  ++m_count;
}

Z_CListNode* Z_CNodeCache::Take() {
  Z_CListNode* node = m_first;
  if (!node) return nullptr;
  m_first = node->next;
  --m_count;
  return node;
}

Z_CNodeList::Z_CNodeList(const char*) {}

Z_CNodeList::~Z_CNodeList() { RemoveAll(); }

Z_CListNode* Z_CNodeList::AddTail(void* object) {
  Z_CListNode* node = m_cache.Take();
  if (!node) node = new (std::nothrow) Z_CListNode;
  if (!node) return nullptr;
  node->object = object;
  node->next = nullptr;
  node->previous = m_last;
  if (m_last)
    m_last->next = node;
  else
    m_first = node;
  m_last = node;
  ++m_count;
  return node;
}

void* Z_CNodeList::Remove(Z_CListNode* node) {
  if (!node) return nullptr;
  if (node->previous)
    node->previous->next = node->next;
  else
    m_first = node->next;
  if (node->next)
    node->next->previous = node->previous;
  else
    m_last = node->previous;
  void* object = node->object;
  m_cache.Give(node);
  --m_count;
  return object;
}

void* Z_CNodeList::RemoveHead() { return Remove(m_first); }

void Z_CNodeList::RemoveAll() {
  Z_CListNode* node = m_first;
  while (node) {
    Z_CListNode* next = node->next;
    delete node;
    node = next;
  }
  m_first = m_last = nullptr;
  m_count = 0;
}

Z_CListNode* Z_CNodeList::Find(const void* object) const {
  for (Z_CListNode* node = m_first; node; node = node->next)
    if (node->object == object) return node;
  return nullptr;
}

Z_CListNode* Z_CNodeList::NextPosition(Z_CListNode* position) const { return position ? position->next : m_first; }

void* Z_CNodeList::TakeNext(Z_CListNode** position) const {
  Z_CListNode* node = *position;
  if (!node) return nullptr;
  *position = node->next;
  return node->object;
}

int Z_CNodeList::AddTailList(const Z_CNodeList& other) {
  for (Z_CListNode* node = other.m_first; node; node = node->next)
    if (!AddTail(node->object)) return 0;
  return 1;
}
