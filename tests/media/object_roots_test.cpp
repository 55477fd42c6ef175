// Object roots and locks: live-object counting, reference counts, aggregation, and the lock and
// event wrappers.
#include <thread>

#include "media/framework/inner_unknown.h"
#include "media/framework/locks.h"
#include "media_test_support.h"

namespace media_test {
namespace {

// A framework object that exposes IPersist and watches its own count while it is destroyed.
class Persisted : public Z_CInnerUnknown, public IPersist {
 public:
  explicit Persisted(IUnknown* outer, LONG* countInDestructor = nullptr)
      : Z_CInnerUnknown("Persisted", outer), m_countInDestructor(countInDestructor) {}
  ~Persisted() override {
    if (!m_countInDestructor) return;
    *m_countInDestructor = m_referenceCount.load();
    // An AddRef and Release pair while dying must not delete the object a second time.
    InnerAddRef();
    InnerRelease();
  }
  Z_FORWARD_IUNKNOWN_TO_OUTER
  HRESULT InnerQueryInterface(REFIID iid, void** out) override {
    if (out && iid == IID_IPersist) return HandOutInterface(static_cast<IPersist*>(this), out);
    return Z_CInnerUnknown::InnerQueryInterface(iid, out);
  }
  HRESULT GetClassID(CLSID* classId) override {
    *classId = kTestFilterClass;
    return S_OK;
  }

 private:
  LONG* m_countInDestructor;
};

// An owner that aggregates a Persisted and answers IPersist with it.
class Owner : public Z_CInnerUnknown {
 public:
  Owner() : Z_CInnerUnknown("Owner", nullptr) {
    m_inner = new Persisted(OuterUnknown());
    m_inner->InnerUnknown()->AddRef();
  }
  ~Owner() override { m_inner->InnerUnknown()->Release(); }
  HRESULT InnerQueryInterface(REFIID iid, void** out) override {
    if (out && iid == IID_IPersist) return m_inner->InnerUnknown()->QueryInterface(iid, out);
    return Z_CInnerUnknown::InnerQueryInterface(iid, out);
  }
  LONG Count() const { return m_referenceCount.load(); }
  Persisted* Inner() const { return m_inner; }

 private:
  Persisted* m_inner;
};

using ObjectRoots = MediaTest;

TEST_F(ObjectRoots, QueryInterfaceAnswersIUnknownWithTheInnerUnknownAndRefusesTheRest) {
  auto* object = new Persisted(nullptr);
  IUnknown* inner = object->InnerUnknown();
  EXPECT_EQ(inner->AddRef(), 1u);  // The creator's reference; the count started at 0.
  void* out = nullptr;
  ASSERT_EQ(inner->QueryInterface(IID_IUnknown, &out), S_OK);
  EXPECT_EQ(out, inner);
  EXPECT_EQ(inner->Release(), 1u);

  out = reinterpret_cast<void*>(1);
  EXPECT_EQ(inner->QueryInterface(IID_IBaseFilter, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(inner->QueryInterface(IID_IUnknown, nullptr), E_POINTER);

  EXPECT_EQ(inner->AddRef(), 2u);  // No reference was added by the refused queries.
  EXPECT_EQ(inner->AddRef(), 3u);
  EXPECT_EQ(inner->Release(), 2u);
  EXPECT_EQ(inner->Release(), 1u);
  EXPECT_EQ(Z_CNamedObject::LiveObjectCount.load(), 1);
  EXPECT_EQ(inner->Release(), 0u);
  EXPECT_EQ(Z_CNamedObject::LiveObjectCount.load(), 0);
}

TEST_F(ObjectRoots, TheCountReadsOneDuringDestructionAndAPairThereDeletesNothing) {
  LONG countInDestructor = -1;
  auto* object = new Persisted(nullptr, &countInDestructor);
  object->InnerUnknown()->AddRef();
  EXPECT_EQ(object->InnerUnknown()->Release(), 0u);
  EXPECT_EQ(countInDestructor, 1);  // ASan would report a second delete.
}

TEST_F(ObjectRoots, AnAggregatedObjectSharesItsOwnersIdentityAndCount) {
  auto* owner = new Owner;
  owner->InnerUnknown()->AddRef();
  IPersist* persist = nullptr;
  ASSERT_EQ(owner->InnerUnknown()->QueryInterface(IID_IPersist, reinterpret_cast<void**>(&persist)), S_OK);
  EXPECT_EQ(persist, static_cast<IPersist*>(owner->Inner()));
  EXPECT_EQ(owner->Count(), 2);  // The reference went to the owner.

  IUnknown* identity = nullptr;
  ASSERT_EQ(persist->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
  EXPECT_EQ(identity, owner->InnerUnknown());
  identity->Release();
  persist->Release();
  EXPECT_EQ(owner->Count(), 1);
  EXPECT_EQ(Z_CNamedObject::LiveObjectCount.load(), 2);
  owner->InnerUnknown()->Release();
}

TEST_F(ObjectRoots, TheLastObjectUnloadsTheAutomationModuleOnlyWhenLoaded) {
  HMODULE module = LoadLibraryA("d3d9.dll");
  ASSERT_NE(module, nullptr);
  auto* first = new Persisted(nullptr);
  auto* second = new Persisted(nullptr);
  first->InnerUnknown()->AddRef();
  second->InnerUnknown()->AddRef();
  Z_CNamedObject::AutomationModule = module;
  first->InnerUnknown()->Release();
  EXPECT_EQ(Z_CNamedObject::AutomationModule.load(), module);  // One object still alive.
  second->InnerUnknown()->Release();
  EXPECT_EQ(Z_CNamedObject::AutomationModule.load(), nullptr);

  auto* alone = new Persisted(nullptr);
  alone->InnerUnknown()->AddRef();
  alone->InnerUnknown()->Release();  // Not loaded: nothing to unload.
  EXPECT_EQ(Z_CNamedObject::AutomationModule.load(), nullptr);
}

TEST_F(ObjectRoots, TheScopedLockIsReentrantAndExcludesOtherThreads) {
  Z_CLockSection section;
  Z_CScopedLock outer(&section);
  {
    Z_CScopedLock inner(&section);  // The same thread enters again.
    bool otherEntered = true;
    std::thread other([&] {
      otherEntered = TryEnterCriticalSection(section.Section()) != 0;
      if (otherEntered) LeaveCriticalSection(section.Section());
    });
    other.join();
    EXPECT_FALSE(otherEntered);
  }
}

TEST_F(ObjectRoots, WaitEventsAreManualOrAutoAndHoldNullWhenCreationFails) {
  {
    Z_CWaitEvent manual(true);
    Z_CWaitEvent automatic(false);
    ASSERT_NE(manual.Handle(), nullptr);
    SetEvent(manual.Handle());
    SetEvent(automatic.Handle());
    EXPECT_EQ(WaitForSingleObject(manual.Handle(), 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(manual.Handle(), 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(automatic.Handle(), 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(automatic.Handle(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
  }
  platform::testing::FailEventAndSemaphoreCreation(1);
  Z_CWaitEvent failed(true);
  EXPECT_EQ(failed.Handle(), nullptr);
}

}  // namespace
}  // namespace media_test
