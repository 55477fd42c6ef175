// The asynchronous source and memory reader: the reader-only connection, the offered type, the
// allocator agreement, and a pulling peer reading a memory stream through queued and
// synchronous reads, including a request past the end.
#include <thread>

#include "media/framework/async_source.h"
#include "media/framework/heap_sample_pool.h"
#include "media_test_support.h"

namespace media_test {
namespace {

using MemReader = MediaTest;

constexpr LONGLONG kUnitsPerByte = 10000000;

// An input pin that pulls: it asks the connecting pin for its reader while connecting, unless told
// not to.
class PullPin : public Z_CPinCore {
 public:
  PullPin(Z_CFilterCore* filter, Z_CLockSection* lock, const char* name)
      : Z_CPinCore("Pull pin", filter, lock, nullptr, Wide(name).c_str(), PINDIR_INPUT) {}
  ~PullPin() override { DropReader(); }

  HRESULT TestType(const AM_MEDIA_TYPE*) override { return S_OK; }
  HRESULT OnLinked(IPin* peer) override {
    if (!asksForReader) return S_OK;
    return peer->QueryInterface(IID_IAsyncReader, reinterpret_cast<void**>(&reader));
  }
  HRESULT OnUnlink() override {
    DropReader();
    return S_OK;
  }
  HRESULT EndOfStream() override { return S_OK; }
  HRESULT BeginFlush() override { return S_OK; }
  HRESULT EndFlush() override { return S_OK; }
  HRESULT Notify(IBaseFilter*, Quality) override { return S_OK; }

  void DropReader() {
    if (reader) reader->Release();
    reader = nullptr;
  }

  bool asksForReader = true;
  IAsyncReader* reader = nullptr;
};

struct ReaderDeleter {
  void operator()(Z_CMemReader* reader) const { Z_CMemReader::Destroy(reader); }
};

// A 1,000-byte memory stream offered as {Stream, kSubPcm} through a memory reader, and a
// pulling filter.
struct ReaderFixture {
  std::vector<BYTE> bytes = [] {
    std::vector<BYTE> data(1000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<BYTE>(i * 13 + 1);
    return data;
  }();
  Z_CMemStream* stream = Z_CMemStream::Create(bytes.data(), 1000, 0, 0xFFFFFFFF);
  Z_CMediaTypeHolder offered = MakeType(MEDIATYPE_Stream, kSubPcm, GUID_NULL);
  HRESULT created = 0;
  // Made with no reference counted: the fixture takes the first, as the sound system does.
  Z_CMemReader* reader = [this] {
    Z_CMemReader* made = Z_CMemReader::Create(stream, &offered, &created);
    made->AddRef();
    return made;
  }();
  FilterRef puller{new TestFilter};
  PullPin* input = puller->AddPin<PullPin>("In");

  ~ReaderFixture() {
    input->DropPeer();
    reader->OutputPin()->DropPeer();
    reader->Release();
    Z_CMemStream::Destroy(stream);
  }
  IPin* Output() { return static_cast<IPin*>(reader->OutputPin()); }
};

TEST_F(MemReader, APeerThatNeverAsksForTheReaderIsRefusedAtTheEndOfTheConnection) {
  ReaderFixture f;
  ASSERT_EQ(f.created, S_OK);
  f.input->asksForReader = false;
  EXPECT_TRUE(FAILED(f.Output()->Connect(f.input, nullptr)));
  EXPECT_FALSE(f.reader->OutputPin()->IsConnected());
  EXPECT_FALSE(f.input->IsConnected());
  // The refusal itself: the connection's last step fails without the question.
  EXPECT_EQ(f.reader->OutputPin()->TestPeer(f.input), S_OK);
  EXPECT_EQ(f.reader->OutputPin()->OnLinked(f.input), E_FAIL);

  f.input->asksForReader = true;
  ASSERT_EQ(f.Output()->Connect(f.input, nullptr), S_OK);
  EXPECT_TRUE(f.reader->OutputPin()->IsConnected());
  AM_MEDIA_TYPE connected{};
  ASSERT_EQ(f.Output()->ConnectionMediaType(&connected), S_OK);
  EXPECT_EQ(connected.majortype, MEDIATYPE_Stream);
  EXPECT_EQ(connected.subtype, kSubPcm);
  FreeMediaTypeContents(&connected);
}

TEST_F(MemReader, TheOfferedTypeIsTheOnlyOneAndAnEmptySubtypeTakesAny) {
  ReaderFixture f;
  Z_CAsyncSourcePin* pin = f.reader->OutputPin();
  Z_CMediaTypeHolder listed;
  EXPECT_EQ(pin->ListTypeAt(0, &listed), S_OK);
  EXPECT_TRUE(listed.Equals(f.offered));
  EXPECT_EQ(pin->ListTypeAt(1, &listed), VFW_S_NO_MORE_ITEMS);
  EXPECT_EQ(pin->ListTypeAt(-1, &listed), E_INVALIDARG);
  EXPECT_EQ(pin->ListTypeAt(0, nullptr), E_POINTER);

  const Z_CMediaTypeHolder otherSub = MakeType(MEDIATYPE_Stream, kSubFloat, kFormatWave);
  const Z_CMediaTypeHolder otherMajor = MakeType(kMajorAudio, kSubPcm, GUID_NULL);
  EXPECT_EQ(pin->TestType(&f.offered), S_OK);
  EXPECT_EQ(pin->TestType(&otherSub), S_FALSE);
  EXPECT_EQ(pin->TestType(&otherMajor), S_FALSE);

  // A reader offering GUID_NULL as subtype takes any subtype of its major type.
  const Z_CMediaTypeHolder anySub = MakeType(MEDIATYPE_Stream, GUID_NULL, GUID_NULL);
  HRESULT created = 0;
  std::unique_ptr<Z_CMemReader, ReaderDeleter> open(Z_CMemReader::Create(f.stream, &anySub, &created));
  EXPECT_EQ(open->OutputPin()->TestType(&otherSub), S_OK);
  EXPECT_EQ(open->OutputPin()->TestType(&otherMajor), S_FALSE);

  CLSID classId{};
  EXPECT_EQ(f.reader->GetClassID(&classId), S_OK);
  EXPECT_EQ(classId, CLSID_AsyncSource);
  EXPECT_EQ(f.reader->Register(), S_OK);
  EXPECT_EQ(f.reader->CountPins(), 1);
  EXPECT_EQ(f.reader->PinAt(1), nullptr);
}

TEST_F(MemReader, RequestAllocatorFillsInTheStreamAlignmentAndTakesThePreferredAllocator) {
  ReaderFixture f;
  IMemAllocator* preferred = nullptr;
  ASSERT_EQ(Z_CHeapSamplePool::CreateInstance(nullptr, IID_IMemAllocator, reinterpret_cast<void**>(&preferred)), S_OK);
  ALLOCATOR_PROPERTIES asked{2, 512, 0, 0};
  IMemAllocator* agreed = nullptr;
  ASSERT_EQ(f.reader->OutputPin()->RequestAllocator(preferred, &asked, &agreed), S_OK);
  EXPECT_EQ(asked.cbAlign, 1);
  EXPECT_EQ(agreed, preferred);
  agreed->Release();
  EXPECT_EQ(f.reader->OutputPin()->RequestAllocator(nullptr, &asked, &agreed), E_POINTER);

  // An allocator that refuses the properties is replaced by a pool of the reader's own.
  ALLOCATOR_PROPERTIES bad{2, -5, 1, 0};
  EXPECT_EQ(f.reader->OutputPin()->RequestAllocator(preferred, &bad, &agreed), E_INVALIDARG);
  preferred->Release();
}

// The peer's side of pulling: an allocator of the reader's choosing and samples from it.
struct Pulling : ReaderFixture {
  IMemAllocator* allocator = nullptr;
  Pulling() {
    EXPECT_EQ(Output()->Connect(input, nullptr), S_OK);
    IMemAllocator* preferred = nullptr;
    Z_CHeapSamplePool::CreateInstance(nullptr, IID_IMemAllocator, reinterpret_cast<void**>(&preferred));
    ALLOCATOR_PROPERTIES asked{4, 256, 1, 0};
    EXPECT_EQ(input->reader->RequestAllocator(preferred, &asked, &allocator), S_OK);
    preferred->Release();
    EXPECT_EQ(allocator->Commit(), S_OK);
  }
  ~Pulling() {
    allocator->Decommit();
    allocator->Release();
  }
  IMediaSample* Sample(LONGLONG firstByte, LONGLONG endByte) {
    IMediaSample* sample = nullptr;
    EXPECT_EQ(allocator->GetBuffer(&sample, nullptr, nullptr, 0), S_OK);
    REFERENCE_TIME start = firstByte * kUnitsPerByte, end = endByte * kUnitsPerByte;
    sample->SetTime(&start, &end);
    return sample;
  }
};

TEST_F(MemReader, APullingPeerReadsTheWholeStreamAndARequestPastTheEndIsClipped) {
  Pulling f;
  std::vector<BYTE> gathered;
  // Four queued reads of 225 bytes, then one from 900 to 1,100 that only 100 bytes answer.
  const LONGLONG ranges[][2] = {{0, 225}, {225, 450}, {450, 675}, {675, 900}, {900, 1100}};
  for (size_t i = 0; i < 4; ++i) ASSERT_EQ(f.input->reader->Request(f.Sample(ranges[i][0], ranges[i][1]), i), S_OK);
  for (size_t i = 0; i < 4; ++i) {
    IMediaSample* sample = nullptr;
    DWORD_PTR user = 99;
    ASSERT_EQ(f.input->reader->WaitForNext(10000, &sample, &user), S_OK);
    ASSERT_NE(sample, nullptr);
    EXPECT_EQ(user, i);
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    ASSERT_EQ(sample->GetActualDataLength(), 225);
    gathered.insert(gathered.end(), data, data + 225);
    sample->Release();
  }

  IMediaSample* last = f.Sample(900, 1100);
  ASSERT_EQ(f.input->reader->Request(last, 4), S_OK);
  IMediaSample* back = nullptr;
  DWORD_PTR user = 0;
  ASSERT_EQ(f.input->reader->WaitForNext(10000, &back, &user), S_OK);
  EXPECT_EQ(back, last);
  EXPECT_EQ(last->GetActualDataLength(), 100);
  REFERENCE_TIME start = 0, end = 0;
  ASSERT_EQ(last->GetTime(&start, &end), S_OK);
  EXPECT_EQ(start, 900 * kUnitsPerByte);
  EXPECT_EQ(end, 1000 * kUnitsPerByte);
  BYTE* data = nullptr;
  last->GetPointer(&data);
  gathered.insert(gathered.end(), data, data + 100);
  last->Release();
  EXPECT_EQ(gathered, f.bytes);

  // The same range read synchronously.
  IMediaSample* sync = f.Sample(900, 1100);
  EXPECT_EQ(f.input->reader->SyncReadAligned(sync), S_OK);
  EXPECT_EQ(sync->GetActualDataLength(), 100);
  sync->Release();
  BYTE direct[10] = {};
  EXPECT_EQ(f.input->reader->SyncRead(500, 10, direct), S_OK);
  EXPECT_EQ(direct[0], f.bytes[500]);
  LONGLONG total = 0, available = 0;
  EXPECT_EQ(f.input->reader->Length(&total, &available), S_OK);
  EXPECT_EQ(total, 1000);
}

TEST_F(MemReader, RangesThatRunBackwardsOrOverflowTheSampleAreRefused) {
  Pulling f;
  IMediaSample* sample = f.Sample(500, 400);
  EXPECT_EQ(f.input->reader->Request(sample, 0), E_INVALIDARG);
  EXPECT_EQ(f.input->reader->SyncReadAligned(sample), E_INVALIDARG);
  REFERENCE_TIME start = 0, end = 300 * kUnitsPerByte;  // 300 bytes into a 256-byte sample.
  sample->SetTime(&start, &end);
  EXPECT_EQ(f.input->reader->Request(sample, 0), VFW_E_BUFFER_OVERFLOW);
  EXPECT_EQ(f.input->reader->Request(nullptr, 0), E_POINTER);
  sample->SetTime(nullptr, nullptr);
  EXPECT_TRUE(FAILED(f.input->reader->Request(sample, 0)));
  sample->Release();
  EXPECT_EQ(f.input->reader->WaitForNext(0, nullptr, nullptr), E_POINTER);
}

TEST_F(MemReader, TheFlushOfThePinIsTheFlushOfTheReader) {
  Pulling f;
  EXPECT_EQ(f.Output()->BeginFlush(), S_OK);
  IMediaSample* sample = f.Sample(0, 10);
  EXPECT_EQ(f.input->reader->Request(sample, 0), VFW_E_WRONG_STATE);
  IMediaSample* back = nullptr;
  DWORD_PTR user = 0;
  EXPECT_EQ(f.input->reader->WaitForNext(INFINITE, &back, &user), VFW_E_WRONG_STATE);
  EXPECT_EQ(f.input->reader->EndFlush(), S_OK);
  EXPECT_EQ(f.input->reader->Request(sample, 3), S_OK);
  EXPECT_EQ(f.input->reader->WaitForNext(10000, &back, &user), S_OK);
  EXPECT_EQ(user, 3u);
  sample->Release();
}

}  // namespace
}  // namespace media_test
