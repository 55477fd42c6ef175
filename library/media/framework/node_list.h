// A doubly linked list of object pointers with a cache of spare nodes. The list owns its nodes,
// never the objects. A position is a node pointer; null means "before the first". The list takes
// no lock: its owner guards it.
#pragma once

struct Z_CListNode {
  Z_CListNode* previous;
  Z_CListNode* next;
  void* object;  // Not owned.
};

// Up to ten spare nodes, so a list that shrinks and grows again does not allocate.
class Z_CNodeCache {
 public:
  Z_CNodeCache() = default;
  ~Z_CNodeCache();
  Z_CNodeCache(const Z_CNodeCache&) = delete;
  Z_CNodeCache& operator=(const Z_CNodeCache&) = delete;

  void Give(Z_CListNode* node);  // Kept while fewer than the limit are cached, else deleted.
  Z_CListNode* Take();           // Null when empty.
  int Count() const { return m_count; }

 private:
  static constexpr int kLimit = 10;
  int m_count = 0;
  Z_CListNode* m_first = nullptr;
};

class Z_CNodeList {
 public:
  explicit Z_CNodeList(const char* name);
  ~Z_CNodeList();
  Z_CNodeList(const Z_CNodeList&) = delete;
  Z_CNodeList& operator=(const Z_CNodeList&) = delete;

  // The new node, or null when no node could be had.
  Z_CListNode* AddTail(void* object);
  // Unlinks the node and returns its object (null for a null node); the node goes to the cache.
  void* Remove(Z_CListNode* node);
  void* RemoveHead();
  // Deletes every node outright (none goes to the cache).
  void RemoveAll();
  Z_CListNode* Find(const void* object) const;
  // The next node, or the first for a null position.
  Z_CListNode* NextPosition(Z_CListNode* position) const;
  // The position's object, moving the position on; null for a null position.
  void* TakeNext(Z_CListNode** position) const;
  static void* ObjectAt(Z_CListNode* node) { return node ? node->object : nullptr; }
  // Appends the other list's objects in order: 1 when all went in, 0 at the first that did not.
  int AddTailList(const Z_CNodeList& other);

  int Count() const { return m_count; }
  int CachedNodeCount() const { return m_cache.Count(); }

 private:
  Z_CListNode* m_first = nullptr;
  Z_CListNode* m_last = nullptr;
  int m_count = 0;
  Z_CNodeCache m_cache;
};
