// The node list, media-type copies and comparisons, and the two listers.
#include "media/framework/media_type_lister.h"
#include "media/framework/node_list.h"
#include "media/framework/pin_lister.h"
#include "media_test_support.h"

namespace media_test {
namespace {

using NodeList = MediaTest;
using MediaTypes = MediaTest;
using Listers = MediaTest;

TEST_F(NodeList, KeepsAtMostTenSpareNodesAndRemoveAllKeepsNone) {
  int objects[12];
  Z_CNodeList list("Twelve");
  for (int& object : objects) ASSERT_NE(list.AddTail(&object), nullptr);
  while (list.Count() > 0) list.RemoveHead();
  EXPECT_EQ(list.CachedNodeCount(), 10);  // Two were deleted (ASan sees no leak).
  list.AddTail(&objects[0]);
  EXPECT_EQ(list.CachedNodeCount(), 9);  // Taken from the cache.

  Z_CNodeList other("Three");
  for (int i = 0; i < 3; ++i) other.AddTail(&objects[i]);
  other.RemoveAll();
  EXPECT_EQ(other.Count(), 0);
  EXPECT_EQ(other.CachedNodeCount(), 0);
}

TEST_F(NodeList, WalksFindsAndRemovesInOrder) {
  int a = 0, b = 0, c = 0;
  Z_CNodeList list("Walk");
  list.AddTail(&a);
  Z_CListNode* middle = list.AddTail(&b);
  list.AddTail(&c);
  EXPECT_EQ(list.Find(&b), middle);
  EXPECT_EQ(list.Find(&list), nullptr);

  std::vector<void*> seen;
  Z_CListNode* position = list.NextPosition(nullptr);
  while (position) seen.push_back(list.TakeNext(&position));
  EXPECT_EQ(seen, (std::vector<void*>{&a, &b, &c}));
  EXPECT_EQ(list.TakeNext(&position), nullptr);

  EXPECT_EQ(list.Remove(middle), &b);
  EXPECT_EQ(list.Remove(nullptr), nullptr);
  Z_CNodeList copy("Copy");
  EXPECT_EQ(copy.AddTailList(list), 1);
  EXPECT_EQ(copy.RemoveHead(), &a);
  EXPECT_EQ(copy.RemoveHead(), &c);
  EXPECT_EQ(copy.RemoveHead(), nullptr);
  Z_CNodeList empty("Empty");
  EXPECT_EQ(copy.AddTailList(empty), 1);
}

TEST_F(MediaTypes, CopiesOwnTheirFormatBlockAndTheirReference) {
  Z_CMediaTypeHolder source = MakeType(kMajorAudio, kSubPcm, kFormatWave, {1, 2, 3, 4});
  ComRef<platform::testing::FakeReferenceClock> attached(platform::testing::CreateFakeReferenceClock());
  source.pUnk = attached.get();
  source.pUnk->AddRef();

  Z_CMediaTypeHolder copy(source);
  EXPECT_NE(copy.pbFormat, source.pbFormat);
  EXPECT_TRUE(copy.Equals(source));
  EXPECT_EQ(attached->AddRef(), 4u);  // Ours, the source's and the copy's.
  attached->Release();

  AM_MEDIA_TYPE* clone = CloneMediaTypeBlock(&source);
  ASSERT_NE(clone, nullptr);
  EXPECT_EQ(std::memcmp(clone->pbFormat, source.pbFormat, 4), 0);
  DeleteMediaTypeBlock(clone);
  DeleteMediaTypeBlock(nullptr);

  // Without memory for the block the copy owns nothing at all.
  platform::testing::FailTaskMemoryAllocations(1);
  AM_MEDIA_TYPE failed;
  EXPECT_EQ(CopyMediaTypeContents(&failed, &source), E_OUTOFMEMORY);
  EXPECT_EQ(failed.cbFormat, 0u);
  EXPECT_EQ(failed.pbFormat, nullptr);
  EXPECT_EQ(failed.pUnk, nullptr);
  platform::testing::FailTaskMemoryAllocations(1);
  EXPECT_EQ(CloneMediaTypeBlock(&source), nullptr);
  platform::testing::FailTaskMemoryAllocations(0);
  Z_CMediaTypeHolder target;
  EXPECT_EQ(target.Assign(source), S_OK);
  EXPECT_EQ(target.Assign(target), S_OK);
  EXPECT_TRUE(target.Equals(source));
  EXPECT_EQ(attached->AddRef(), 5u);  // And the target's.
  attached->Release();
}

TEST_F(MediaTypes, EqualityLooksAtTypesAndFormatOnly) {
  const Z_CMediaTypeHolder base = MakeType(kMajorAudio, kSubPcm, kFormatWave, {1, 2, 3});
  struct Case {
    const char* what;
    Z_CMediaTypeHolder other;
    bool equal;
  };
  Case cases[] = {
      {"same", MakeType(kMajorAudio, kSubPcm, kFormatWave, {1, 2, 3}), true},
      {"sample size and flags differ", MakeType(kMajorAudio, kSubPcm, kFormatWave, {1, 2, 3}), true},
      {"major differs", MakeType(kMajorVideo, kSubPcm, kFormatWave, {1, 2, 3}), false},
      {"subtype differs", MakeType(kMajorAudio, kSubFloat, kFormatWave, {1, 2, 3}), false},
      {"format type differs", MakeType(kMajorAudio, kSubPcm, GUID_NULL, {1, 2, 3}), false},
      {"one format byte differs", MakeType(kMajorAudio, kSubPcm, kFormatWave, {1, 2, 4}), false},
      {"format size differs", MakeType(kMajorAudio, kSubPcm, kFormatWave, {1, 2}), false},
  };
  cases[1].other.lSampleSize = 99;
  cases[1].other.bFixedSizeSamples = FALSE;
  cases[1].other.bTemporalCompression = TRUE;
  for (const Case& c : cases) {
    EXPECT_EQ(base.Equals(c.other), c.equal) << c.what;
    EXPECT_EQ(base != c.other, !c.equal) << c.what;
  }
}

TEST_F(MediaTypes, PartialSpecificationAndWildcardMatching) {
  EXPECT_TRUE(MakeType(GUID_NULL, kSubPcm, kFormatWave).IsPartiallySpecified());
  EXPECT_TRUE(MakeType(kMajorAudio, kSubPcm, GUID_NULL).IsPartiallySpecified());
  EXPECT_FALSE(MakeType(kMajorAudio, GUID_NULL, kFormatWave).IsPartiallySpecified());

  const Z_CMediaTypeHolder type = MakeType(kMajorAudio, kSubPcm, kFormatWave, {7, 7});
  struct Case {
    const char* what;
    Z_CMediaTypeHolder pattern;
    bool matches;
  };
  const Case cases[] = {
      {"all wildcards", MakeType(GUID_NULL, GUID_NULL, GUID_NULL), true},
      {"major only", MakeType(kMajorAudio, GUID_NULL, GUID_NULL), true},
      {"other major", MakeType(kMajorVideo, GUID_NULL, GUID_NULL), false},
      {"major and subtype", MakeType(kMajorAudio, kSubPcm, GUID_NULL), true},
      {"other subtype", MakeType(kMajorAudio, kSubFloat, GUID_NULL), false},
      {"format with the identical block", MakeType(GUID_NULL, GUID_NULL, kFormatWave, {7, 7}), true},
      {"format with another block", MakeType(GUID_NULL, GUID_NULL, kFormatWave, {7, 8}), false},
      {"format without a block", MakeType(GUID_NULL, GUID_NULL, kFormatWave), false},
  };
  for (const Case& c : cases) EXPECT_EQ(type.MatchesPartial(c.pattern), c.matches) << c.what;
}

TEST_F(MediaTypes, EmptyTypesAndWideStringCopies) {
  Z_CMediaTypeHolder type = MakeType(kMajorAudio, kSubPcm, kFormatWave, {1});
  type.InitEmpty();
  EXPECT_EQ(type.bFixedSizeSamples, TRUE);
  EXPECT_EQ(type.lSampleSize, 1u);
  EXPECT_EQ(type.majortype, GUID_NULL);
  EXPECT_EQ(type.cbFormat, 0u);

  LPWSTR copy = nullptr;
  const std::u16string text = Wide("In");
  ASSERT_EQ(CopyWideStringToTaskMemory(text.c_str(), &copy), S_OK);
  EXPECT_EQ(std::u16string(copy), text);
  CoTaskMemFree(copy);
  EXPECT_EQ(CopyWideStringToTaskMemory(text.c_str(), nullptr), E_POINTER);
  platform::testing::FailTaskMemoryAllocations(1);
  EXPECT_EQ(CopyWideStringToTaskMemory(text.c_str(), &copy), E_OUTOFMEMORY);
}

// A filter with one pin that offers two types.
struct TypeListing {
  FilterRef filter{new TestFilter};
  ScriptedPin* pin = filter->AddPin<ScriptedPin>("Out", PINDIR_OUTPUT);
  TypeListing() {
    pin->offered.push_back(MakeType(kMajorAudio, kSubPcm, kFormatWave, {1, 2}));
    pin->offered.push_back(MakeType(kMajorAudio, kSubFloat, kFormatWave, {3}));
  }
  ComRef<IEnumMediaTypes> Lister() {
    IEnumMediaTypes* types = nullptr;
    EXPECT_EQ(pin->EnumMediaTypes(&types), S_OK);
    return ComRef<IEnumMediaTypes>(types);
  }
};

TEST_F(Listers, MediaTypeListerHandsOutOwnedCopiesAndStopsShort) {
  TypeListing listing;
  const ULONG referencesBefore = listing.filter->References();
  auto lister = listing.Lister();
  EXPECT_EQ(listing.filter->References(), referencesBefore + 1);  // Through the pin, the filter.

  AM_MEDIA_TYPE* types[3] = {};
  EXPECT_EQ(lister->Next(3, types, nullptr), E_INVALIDARG);
  ULONG fetched = 99;
  EXPECT_EQ(lister->Next(3, types, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 2u);
  EXPECT_TRUE(listing.pin->offered[0].Equals(*types[0]));
  EXPECT_TRUE(listing.pin->offered[1].Equals(*types[1]));
  EXPECT_NE(types[0]->pbFormat, listing.pin->offered[0].pbFormat);
  DeleteMediaTypeBlock(types[0]);
  DeleteMediaTypeBlock(types[1]);
  // The refused third look moved the position on too: the next look is at index 3.
  listing.pin->listedIndexes.clear();
  EXPECT_EQ(lister->Next(1, types, nullptr), S_FALSE);
  EXPECT_EQ(listing.pin->listedIndexes, std::vector<int>{3});

  ASSERT_EQ(lister->Reset(), S_OK);
  EXPECT_EQ(lister->Skip(1), S_OK);
  EXPECT_EQ(lister->Skip(5), S_FALSE);
  EXPECT_EQ(lister->Next(1, types, nullptr), S_FALSE);

  // Without memory for a record, the slot is null and the lister stops (types without a format
  // block, so that the record is the only allocation).
  listing.pin->offered = {MakeType(kMajorAudio, kSubPcm, kFormatWave)};
  lister->Reset();
  platform::testing::FailTaskMemoryAllocations(-1);
  fetched = 99;
  EXPECT_EQ(lister->Next(2, types, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 0u);
  EXPECT_EQ(types[0], nullptr);
  platform::testing::FailTaskMemoryAllocations(0);

  lister.reset();
  EXPECT_EQ(listing.filter->References(), referencesBefore);
}

TEST_F(Listers, MediaTypeListerFailsOutOfSyncUntilReset) {
  TypeListing listing;
  auto lister = listing.Lister();
  AM_MEDIA_TYPE* type = nullptr;
  listing.pin->typeRevision = 2;
  EXPECT_EQ(lister->Next(1, &type, nullptr), VFW_E_ENUM_OUT_OF_SYNC);
  EXPECT_EQ(lister->Skip(1), VFW_E_ENUM_OUT_OF_SYNC);
  EXPECT_EQ(lister->Skip(0), S_OK);
  IEnumMediaTypes* clone = reinterpret_cast<IEnumMediaTypes*>(1);
  EXPECT_EQ(lister->Clone(&clone), VFW_E_ENUM_OUT_OF_SYNC);
  EXPECT_EQ(clone, nullptr);
  EXPECT_EQ(lister->Clone(nullptr), E_POINTER);

  ASSERT_EQ(lister->Reset(), S_OK);
  ASSERT_EQ(lister->Next(1, &type, nullptr), S_OK);
  DeleteMediaTypeBlock(type);
  ASSERT_EQ(lister->Clone(&clone), S_OK);
  ComRef<IEnumMediaTypes> cloned(clone);
  ASSERT_EQ(cloned->Next(1, &type, nullptr), S_OK);  // The clone goes on from the same place.
  EXPECT_TRUE(listing.pin->offered[1].Equals(*type));
  DeleteMediaTypeBlock(type);
}

struct PinListing {
  FilterRef filter{new TestFilter};
  PinListing() {
    filter->AddPin<ScriptedPin>("In", PINDIR_INPUT);
    filter->AddPin<ScriptedPin>("Out", PINDIR_OUTPUT);
  }
  ComRef<IEnumPins> Lister() {
    IEnumPins* pins = nullptr;
    EXPECT_EQ(filter->EnumPins(&pins), S_OK);
    return ComRef<IEnumPins>(pins);
  }
};

void ReleaseAll(IPin** pins, ULONG count) {
  for (ULONG i = 0; i < count; ++i) pins[i]->Release();
}

TEST_F(Listers, PinListerHandsOutEachPinOnceEvenAfterThePinSetChanges) {
  PinListing listing;
  auto lister = listing.Lister();
  IPin* pins[3] = {};
  ULONG fetched = 0;
  EXPECT_EQ(lister->Next(2, pins, nullptr), E_INVALIDARG);
  ASSERT_EQ(lister->Next(2, pins, &fetched), S_OK);
  ASSERT_EQ(fetched, 2u);
  EXPECT_EQ(pins[0], static_cast<IPin*>(listing.filter->pins[0]));
  EXPECT_EQ(pins[1], static_cast<IPin*>(listing.filter->pins[1]));
  ReleaseAll(pins, fetched);

  // The filter grows a pin: the lister starts again but hands out only the new one.
  listing.filter->AddPin<ScriptedPin>("Extra", PINDIR_OUTPUT);
  listing.filter->pinRevision = 2;
  ASSERT_EQ(lister->Next(3, pins, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 1u);
  EXPECT_EQ(pins[0], static_cast<IPin*>(listing.filter->pins[2]));
  ReleaseAll(pins, fetched);

  // Reset forgets what was handed out.
  ASSERT_EQ(lister->Reset(), S_OK);
  ASSERT_EQ(lister->Next(3, pins, &fetched), S_OK);
  EXPECT_EQ(fetched, 3u);
  ReleaseAll(pins, fetched);
}

TEST_F(Listers, PinListerSkipsClonesAndReportsPinsHandedOutBeforeAGap) {
  PinListing listing;
  auto lister = listing.Lister();
  IPin* pins[2] = {};
  ULONG fetched = 0;
  EXPECT_EQ(lister->Skip(3), S_FALSE);  // Past the end: the position stays.
  EXPECT_EQ(lister->Skip(1), S_OK);
  IEnumPins* clone = nullptr;
  ASSERT_EQ(lister->Clone(&clone), S_OK);
  ComRef<IEnumPins> cloned(clone);
  ASSERT_EQ(cloned->Next(2, pins, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 1u);
  EXPECT_EQ(pins[0], static_cast<IPin*>(listing.filter->pins[1]));
  ReleaseAll(pins, fetched);

  listing.filter->pinRevision = 2;
  EXPECT_EQ(lister->Skip(1), VFW_E_ENUM_OUT_OF_SYNC);
  EXPECT_EQ(lister->Clone(&clone), VFW_E_ENUM_OUT_OF_SYNC);

  // A pin vanishing mid-walk: the pin before it is reported, since it carries a reference.
  listing.filter->AddPin<ScriptedPin>("Third", PINDIR_OUTPUT);
  listing.filter->nullPinAt = 1;
  listing.filter->pinRevision = 3;
  const ULONG references = listing.filter->References();
  IPin* three[3] = {};
  EXPECT_EQ(lister->Next(3, three, &fetched), VFW_E_ENUM_OUT_OF_SYNC);
  ASSERT_EQ(fetched, 1u);
  EXPECT_EQ(listing.filter->References(), references + 1);
  ReleaseAll(three, fetched);
}

}  // namespace
}  // namespace media_test
