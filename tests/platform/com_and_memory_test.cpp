// The COM task memory and class objects the program registers, virtual memory regions and the
// wide-string helpers of the stand-in.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/com.h"
#include "platform/kernel.h"
#include "platform/testing.h"

namespace {

constexpr CLSID kMadeUpClass = {0x5E1F0001, 0x0001, 0x0001, {9, 9, 9, 9, 9, 9, 9, 9}};

// A class object that makes nothing but counts its references and its requests.
class CountingFactory final : public IClassFactory {
 public:
  HRESULT QueryInterface(REFIID iid, void** object) override {
    if (iid == IID_IUnknown || iid == IID_IClassFactory) {
      *object = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return static_cast<ULONG>(++references); }
  ULONG Release() override { return static_cast<ULONG>(--references); }
  HRESULT CreateInstance(LPUNKNOWN, REFIID, void** object) override {
    ++requests;
    *object = nullptr;
    return E_ABORT;  // Recognisable as ours.
  }
  HRESULT LockServer(BOOL) override { return S_OK; }
  int references = 1;
  int requests = 0;
};

TEST(RegisteredClasses, CoCreateInstanceFindsThemUntilRevokedUnlessRefused) {
  CountingFactory factory;
  void* object = nullptr;
  EXPECT_EQ(CoCreateInstance(kMadeUpClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object), REGDB_E_CLASSNOTREG);
  DWORD cookie = 0;
  ASSERT_EQ(CoRegisterClassObject(kMadeUpClass, &factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie), S_OK);
  EXPECT_NE(cookie, 0u);
  EXPECT_EQ(factory.references, 2);  // The registry holds one.
  EXPECT_EQ(CoCreateInstance(kMadeUpClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object), E_ABORT);
  EXPECT_EQ(factory.requests, 1);

  platform::testing::RefuseComClass(kMadeUpClass, true);
  EXPECT_EQ(CoCreateInstance(kMadeUpClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object), REGDB_E_CLASSNOTREG);
  platform::testing::RefuseComClass(kMadeUpClass, false);

  EXPECT_EQ(CoRevokeClassObject(cookie), S_OK);
  EXPECT_EQ(factory.references, 1);
  EXPECT_EQ(CoRevokeClassObject(cookie), E_INVALIDARG);
  EXPECT_EQ(CoCreateInstance(kMadeUpClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(CoRegisterClassObject(kMadeUpClass, nullptr, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie),
            E_INVALIDARG);
}

TEST(TaskMemory, AllocatesAndCanBeRefused) {
  void* block = CoTaskMemAlloc(16);
  ASSERT_NE(block, nullptr);
  std::memset(block, 1, 16);
  CoTaskMemFree(block);
  CoTaskMemFree(nullptr);
  platform::testing::FailTaskMemoryAllocations(1);
  EXPECT_EQ(CoTaskMemAlloc(16), nullptr);
  block = CoTaskMemAlloc(16);
  EXPECT_NE(block, nullptr);
  CoTaskMemFree(block);
}

TEST(VirtualMemory, RegionsStartOnTheGranularityAndReleaseWhole) {
  SYSTEM_INFO system;
  GetSystemInfo(&system);
  for (SIZE_T size : {SIZE_T(1), SIZE_T(4096), SIZE_T(100000)}) {
    auto* region = static_cast<BYTE*>(VirtualAlloc(nullptr, size, MEM_COMMIT, PAGE_READWRITE));
    ASSERT_NE(region, nullptr) << size;
    EXPECT_EQ(reinterpret_cast<uintptr_t>(region) % system.dwAllocationGranularity, 0u) << size;
    std::memset(region, 0xAB, size);
    EXPECT_FALSE(VirtualFree(region, size, MEM_RELEASE));  // A release names the whole region.
    EXPECT_FALSE(VirtualFree(region + 4096, 0, MEM_RELEASE));
    EXPECT_TRUE(VirtualFree(region, 0, MEM_RELEASE));
    EXPECT_FALSE(VirtualFree(region, 0, MEM_RELEASE));
  }

  // Reserved first, committed in part.
  auto* reserved = static_cast<BYTE*>(VirtualAlloc(nullptr, 1 << 20, MEM_RESERVE, PAGE_NOACCESS));
  ASSERT_NE(reserved, nullptr);
  ASSERT_EQ(VirtualAlloc(reserved + 8192, 100, MEM_COMMIT, PAGE_READWRITE), reserved + 8192);
  reserved[8192 + 99] = 1;
  EXPECT_TRUE(VirtualFree(reserved + 8192, 100, MEM_DECOMMIT));
  EXPECT_EQ(VirtualAlloc(reserved + (1 << 20), 100, MEM_COMMIT, PAGE_READWRITE), nullptr);  // Outside.
  EXPECT_TRUE(VirtualFree(reserved, 0, MEM_RELEASE));

  EXPECT_EQ(VirtualAlloc(nullptr, 0, MEM_COMMIT, PAGE_READWRITE), nullptr);
  EXPECT_EQ(VirtualAlloc(nullptr, 16, MEM_COMMIT, 0x40), nullptr);  // A protection not offered.
  EXPECT_EQ(VirtualAlloc(nullptr, SIZE_T(1) << 62, MEM_COMMIT, PAGE_READWRITE), nullptr);
  platform::testing::FailVirtualAllocations(1);
  EXPECT_EQ(VirtualAlloc(nullptr, 16, MEM_COMMIT, PAGE_READWRITE), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
}

TEST(WideStrings, CompareCodeUnitsAndCopyWithATerminator) {
  struct Case {
    const char16_t* first;
    const char16_t* second;
    int sign;
  };
  const Case cases[] = {
      {u"In", u"In", 0}, {u"In", u"in", -1},  {u"Out", u"In", 1},   {u"In", u"Input", -1},
      {u"", nullptr, 0}, {nullptr, u"a", -1}, {u"\xFF21", u"A", 1},
  };
  for (const Case& c : cases) {
    const int result = lstrcmpW(reinterpret_cast<LPCWSTR>(c.first), reinterpret_cast<LPCWSTR>(c.second));
    EXPECT_EQ((result > 0) - (result < 0), c.sign);
  }
  EXPECT_EQ(lstrlenW(u"Pin"), 3);
  EXPECT_EQ(lstrlenW(nullptr), 0);

  WCHAR buffer[4] = {u'x', u'x', u'x', u'x'};
  EXPECT_EQ(lstrcpynW(buffer, u"Renderer", 4), buffer);
  EXPECT_EQ(std::u16string(buffer), u"Ren");
  lstrcpynW(buffer, u"ab", 0);  // Nothing written.
  EXPECT_EQ(std::u16string(buffer), u"Ren");
  lstrcpynW(buffer, nullptr, 4);
  EXPECT_EQ(buffer[0], 0);
}

}  // namespace
