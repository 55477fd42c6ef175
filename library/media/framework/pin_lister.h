// IEnumPins over one filter's pins. It keeps the filter alive, lives by its own count and takes
// no lock. When the filter's pin set changes, Next starts again from the first pin but never
// hands out a pin twice; only Reset forgets what was handed out.
#pragma once

#include <atomic>

#include "media/framework/node_list.h"
#include "platform/dshow.h"

class Z_CFilterCore;

class Z_CPinLister final : public IEnumPins {
 public:
  // Created with one reference; a source lister gives its position, count, revision and the pins
  // it handed out.
  Z_CPinLister(Z_CFilterCore* filter, const Z_CPinLister* source);
  virtual ~Z_CPinLister();

  HRESULT QueryInterface(REFIID iid, void** out) override;
  ULONG AddRef() override;
  ULONG Release() override;
  HRESULT Next(ULONG wanted, IPin** pins, ULONG* fetched) override;
  HRESULT Skip(ULONG count) override;
  HRESULT Reset() override;
  HRESULT Clone(IEnumPins** copy) override;

  // False when the copy of the handed-out pins could not be made.
  bool IsComplete() const { return m_complete; }

 private:
  LONG m_position = 0;
  LONG m_pinCount;
  Z_CFilterCore* m_filter;
  LONG m_revision;
  std::atomic<LONG> m_referenceCount{1};
  Z_CNodeList m_handedOut{"Pins handed out"};  // No references held.
  bool m_complete = true;
};
