// IEnumPins over one filter's pins. It keeps the filter alive, lives by its own count and takes
// no lock. When the filter's pin set changes, Next starts again from the first pin but never
// hands out a pin twice; only Reset forgets what was handed out.
#pragma once

#include "media/framework/node_list.h"
#include "platform/com.h"
#include "platform/dshow.h"

class Z_CFilterCore;

class Z_CPinLister final : public platform::ComObject<Z_CPinLister, IEnumPins> {
 public:
  static constexpr const IID* kInterfaceIds[] = {&IID_IEnumPins};
  // Created with one reference; a source lister gives its position, count, revision and the pins
  // it handed out.
  Z_CPinLister(Z_CFilterCore* filter, const Z_CPinLister* source);

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
  Z_CNodeList m_handedOut{"Pins handed out"};  // No references held.
  bool m_complete = true;

  friend class platform::ComObject<Z_CPinLister, IEnumPins>;  // Deletes it at the last Release.
  ~Z_CPinLister();
};
