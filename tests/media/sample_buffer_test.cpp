// Media samples: times, flags, lengths, media types, the properties record in prefixes, and the
// return to the pool on the last Release.
#include <cstddef>

#include "media/framework/heap_sample_pool.h"
#include "media_test_support.h"

namespace media_test {
namespace {

// A committed pool of one 64-byte buffer and the sample taken from it.
class MediaSamples : public MediaTest {
 protected:
  void SetUp() override {
    MediaTest::SetUp();
    ASSERT_EQ(Z_CHeapSamplePool::CreateInstance(nullptr, IID_IMemAllocator, reinterpret_cast<void**>(&pool)), S_OK);
    ALLOCATOR_PROPERTIES request{1, 64, 1, 0}, actual{};
    ASSERT_EQ(pool->SetProperties(&request, &actual), S_OK);
    ASSERT_EQ(pool->Commit(), S_OK);
    ASSERT_EQ(pool->GetBuffer(&sample, nullptr, nullptr, 0), S_OK);
    ASSERT_EQ(sample->QueryInterface(IID_IMediaSample2, reinterpret_cast<void**>(&sample2)), S_OK);
    sample2->Release();  // Borrowed beside `sample`.
  }
  void TearDown() override {
    if (sample) sample->Release();
    pool->Decommit();
    pool->Release();
    MediaTest::TearDown();
  }
  AM_SAMPLE2_PROPERTIES Properties() {
    AM_SAMPLE2_PROPERTIES record{};
    EXPECT_EQ(sample2->GetProperties(sizeof(record), reinterpret_cast<BYTE*>(&record)), S_OK);
    return record;
  }

  IMemAllocator* pool = nullptr;
  IMediaSample* sample = nullptr;
  IMediaSample2* sample2 = nullptr;
};

TEST_F(MediaSamples, TimesWithAndWithoutAnEnd) {
  REFERENCE_TIME start = 0, end = 0;
  EXPECT_EQ(sample->GetTime(&start, &end), VFW_E_SAMPLE_TIME_NOT_SET);
  REFERENCE_TIME setStart = 1000, setEnd = 2000;
  ASSERT_EQ(sample->SetTime(&setStart, nullptr), S_OK);
  EXPECT_EQ(sample->GetTime(&start, &end), VFW_S_NO_STOP_TIME);
  EXPECT_EQ(start, 1000);
  EXPECT_EQ(end, 1001);
  ASSERT_EQ(sample->SetTime(&setStart, &setEnd), S_OK);
  EXPECT_EQ(sample->GetTime(&start, &end), S_OK);
  EXPECT_EQ(end, 2000);
  EXPECT_EQ(sample->GetTime(nullptr, &end), E_POINTER);
  EXPECT_EQ(sample->GetTime(&start, nullptr), E_POINTER);
  ASSERT_EQ(sample->SetTime(nullptr, nullptr), S_OK);
  EXPECT_EQ(sample->GetTime(&start, &end), VFW_E_SAMPLE_TIME_NOT_SET);

  LONGLONG mediaStart = 0, mediaEnd = 0;
  EXPECT_EQ(sample->GetMediaTime(&mediaStart, &mediaEnd), VFW_E_MEDIA_TIME_NOT_SET);
  LONGLONG setMediaStart = 0x1'0000'0000ll + 5, setMediaEnd = 0x1'0000'0000ll + 105;
  EXPECT_EQ(sample->SetMediaTime(&setMediaStart, nullptr), E_POINTER);
  ASSERT_EQ(sample->SetMediaTime(&setMediaStart, &setMediaEnd), S_OK);
  ASSERT_EQ(sample->GetMediaTime(&mediaStart, &mediaEnd), S_OK);
  EXPECT_EQ(mediaStart, setMediaStart);
  EXPECT_EQ(mediaEnd, setMediaEnd);
  EXPECT_EQ(Properties().dwSampleFlags & 0x20, 0u);  // The media-time bit is never reported.
  ASSERT_EQ(sample->SetMediaTime(nullptr, nullptr), S_OK);
  EXPECT_EQ(sample->GetMediaTime(&mediaStart, &mediaEnd), VFW_E_MEDIA_TIME_NOT_SET);
}

TEST_F(MediaSamples, FlagsLengthsAndMediaTypes) {
  struct Flag {
    HRESULT (IMediaSample::*is)();
    HRESULT (IMediaSample::*set)(BOOL);
    DWORD bit;
  };
  const Flag flags[] = {{&IMediaSample::IsSyncPoint, &IMediaSample::SetSyncPoint, AM_SAMPLE_SPLICEPOINT},
                        {&IMediaSample::IsPreroll, &IMediaSample::SetPreroll, AM_SAMPLE_PREROLL},
                        {&IMediaSample::IsDiscontinuity, &IMediaSample::SetDiscontinuity, AM_SAMPLE_DATADISCONTINUITY}};
  for (const Flag& flag : flags) {
    EXPECT_EQ((sample->*flag.is)(), S_FALSE);
    EXPECT_EQ((sample->*flag.set)(TRUE), S_OK);
    EXPECT_EQ((sample->*flag.is)(), S_OK);
    EXPECT_EQ(Properties().dwSampleFlags & flag.bit, flag.bit);
    EXPECT_EQ((sample->*flag.set)(FALSE), S_OK);
    EXPECT_EQ((sample->*flag.is)(), S_FALSE);
  }

  EXPECT_EQ(sample->GetSize(), 64);
  EXPECT_EQ(sample->GetActualDataLength(), 64);
  EXPECT_EQ(sample->SetActualDataLength(64), S_OK);
  EXPECT_EQ(sample->SetActualDataLength(65), VFW_E_BUFFER_OVERFLOW);
  EXPECT_EQ(sample->GetActualDataLength(), 64);
  EXPECT_EQ(sample->SetActualDataLength(3), S_OK);

  AM_MEDIA_TYPE* type = reinterpret_cast<AM_MEDIA_TYPE*>(1);
  EXPECT_EQ(sample->GetMediaType(&type), S_FALSE);
  EXPECT_EQ(type, nullptr);
  Z_CMediaTypeHolder pcm = MakeType(kMajorAudio, kSubPcm, kFormatWave, {9, 9});
  ASSERT_EQ(sample->SetMediaType(&pcm), S_OK);
  ASSERT_EQ(sample->GetMediaType(&type), S_OK);
  EXPECT_TRUE(pcm.Equals(*type));
  EXPECT_NE(type->pbFormat, pcm.pbFormat);  // The caller's own copy.
  DeleteMediaTypeBlock(type);
  EXPECT_EQ(Properties().dwSampleFlags & AM_SAMPLE_TYPECHANGED, AM_SAMPLE_TYPECHANGED);
  platform::testing::FailTaskMemoryAllocations(1);
  EXPECT_EQ(sample->GetMediaType(&type), E_OUTOFMEMORY);
  EXPECT_EQ(type, nullptr);
  platform::testing::FailTaskMemoryAllocations(1);
  EXPECT_EQ(sample->SetMediaType(&pcm), E_OUTOFMEMORY);
  EXPECT_EQ(Properties().dwSampleFlags & AM_SAMPLE_TYPECHANGED, 0u);
}

TEST_F(MediaSamples, GetPropertiesWritesOnlyThePrefixAskedFor) {
  REFERENCE_TIME start = 7, end = 9;
  sample->SetTime(&start, &end);
  sample->SetActualDataLength(40);
  BYTE bytes[sizeof(AM_SAMPLE2_PROPERTIES) + 8];
  std::memset(bytes, 0xEE, sizeof(bytes));
  ASSERT_EQ(sample2->GetProperties(16, bytes), S_OK);
  AM_SAMPLE2_PROPERTIES record;
  std::memcpy(&record, bytes, 16);
  EXPECT_EQ(record.cbData, 16u);
  EXPECT_EQ(record.lActual, 40);
  for (size_t i = 16; i < sizeof(bytes); ++i) ASSERT_EQ(bytes[i], 0xEE) << i;

  EXPECT_EQ(sample2->GetProperties(0, nullptr), S_OK);
  EXPECT_EQ(sample2->GetProperties(4, nullptr), E_POINTER);
  ASSERT_EQ(sample2->GetProperties(sizeof(bytes), bytes), S_OK);  // Never past the record.
  EXPECT_EQ(bytes[sizeof(AM_SAMPLE2_PROPERTIES)], 0xEE);
  std::memcpy(&record, bytes, sizeof(record));
  EXPECT_EQ(record.cbData, sizeof(AM_SAMPLE2_PROPERTIES));
  EXPECT_EQ(record.tStart, 7);
  EXPECT_EQ(record.tStop, 9);
  EXPECT_EQ(record.cbBuffer, 64);
  BYTE* buffer = nullptr;
  sample->GetPointer(&buffer);
  EXPECT_EQ(record.pbBuffer, buffer);
  EXPECT_EQ(record.pMediaType, nullptr);
}

TEST_F(MediaSamples, SetPropertiesChangesTheFieldsItsSizeReaches) {
  AM_SAMPLE2_PROPERTIES record = Properties();
  record.dwTypeSpecificFlags = 0xABCD;
  record.dwSampleFlags = AM_SAMPLE_SPLICEPOINT;
  record.lActual = 5;
  record.dwStreamId = 3;

  // Size 2: nothing at all. Size 12: both flag words only.
  record.cbData = sizeof(record);
  ASSERT_EQ(sample2->SetProperties(2, reinterpret_cast<BYTE*>(&record)), S_OK);
  EXPECT_EQ(Properties().dwTypeSpecificFlags, 0u);
  ASSERT_EQ(sample2->SetProperties(12, reinterpret_cast<BYTE*>(&record)), S_OK);
  AM_SAMPLE2_PROPERTIES now = Properties();
  EXPECT_EQ(now.dwTypeSpecificFlags, 0xABCDu);
  EXPECT_EQ(now.dwSampleFlags, AM_SAMPLE_SPLICEPOINT);
  EXPECT_EQ(now.lActual, 64);
  EXPECT_EQ(now.dwStreamId, 0u);
  // The record's own size field limits it too.
  record.cbData = 16;
  ASSERT_EQ(sample2->SetProperties(sizeof(record), reinterpret_cast<BYTE*>(&record)), S_OK);
  EXPECT_EQ(Properties().lActual, 5);
  EXPECT_EQ(Properties().dwStreamId, 0u);
  record.cbData = sizeof(record);
  ASSERT_EQ(sample2->SetProperties(sizeof(record), reinterpret_cast<BYTE*>(&record)), S_OK);
  EXPECT_EQ(Properties().dwStreamId, 3u);
  EXPECT_EQ(sample2->SetProperties(sizeof(record), nullptr), E_POINTER);
}

TEST_F(MediaSamples, SetPropertiesRefusesWhatTheSampleCannotBe) {
  const AM_SAMPLE2_PROPERTIES valid = Properties();
  struct Case {
    const char* what;
    DWORD size;
    void (*change)(AM_SAMPLE2_PROPERTIES&);
  };
  const Case cases[] = {
      {"record size field too large", sizeof(valid), [](AM_SAMPLE2_PROPERTIES& r) { r.cbData = sizeof(r) + 1; }},
      {"the sample's own media-time bit", 12, [](AM_SAMPLE2_PROPERTIES& r) { r.dwSampleFlags = 0x20; }},
      {"a flag above the stop-time flag", 12, [](AM_SAMPLE2_PROPERTIES& r) { r.dwSampleFlags = 0x200; }},
      {"a valid start without the times in reach", 24,
       [](AM_SAMPLE2_PROPERTIES& r) { r.dwSampleFlags = AM_SAMPLE_TIMEVALID; }},
      {"another buffer", sizeof(valid), [](AM_SAMPLE2_PROPERTIES& r) { r.pbBuffer += 1; }},
      {"another buffer size", sizeof(valid), [](AM_SAMPLE2_PROPERTIES& r) { r.cbBuffer = 32; }},
      {"more data than the buffer holds", sizeof(valid), [](AM_SAMPLE2_PROPERTIES& r) { r.lActual = 65; }},
      {"more data than the buffer holds, in a short record", 16, [](AM_SAMPLE2_PROPERTIES& r) { r.lActual = 65; }},
      {"zero buffer size below the data length", sizeof(valid),
       [](AM_SAMPLE2_PROPERTIES& r) {
         r.cbBuffer = 0;
         r.lActual = 1;
       }},
  };
  for (const Case& c : cases) {
    AM_SAMPLE2_PROPERTIES record = valid;
    record.dwTypeSpecificFlags = 0x77;
    c.change(record);
    EXPECT_EQ(sample2->SetProperties(c.size, reinterpret_cast<BYTE*>(&record)), E_INVALIDARG) << c.what;
    EXPECT_EQ(Properties().dwTypeSpecificFlags, 0u) << c.what << ": nothing may change";
  }
  AM_SAMPLE2_PROPERTIES record = valid;
  record.dwSampleFlags = AM_SAMPLE_TYPECHANGED;
  record.pMediaType = nullptr;
  EXPECT_EQ(sample2->SetProperties(sizeof(record), reinterpret_cast<BYTE*>(&record)), E_POINTER);
}

TEST_F(MediaSamples, TheTypeFlagFollowsTheTypeTheSampleHolds) {
  Z_CMediaTypeHolder pcm = MakeType(kMajorAudio, kSubPcm, kFormatWave, {1});
  AM_SAMPLE2_PROPERTIES record = Properties();
  record.dwSampleFlags = AM_SAMPLE_TYPECHANGED;
  record.pMediaType = &pcm;
  ASSERT_EQ(sample2->SetProperties(sizeof(record), reinterpret_cast<BYTE*>(&record)), S_OK);
  AM_SAMPLE2_PROPERTIES now = Properties();
  ASSERT_NE(now.pMediaType, nullptr);
  EXPECT_NE(now.pMediaType, static_cast<AM_MEDIA_TYPE*>(&pcm));  // Its own copy.
  EXPECT_TRUE(pcm.Equals(*now.pMediaType));

  // Clearing the flag in the record leaves the type and the flag in place.
  record.dwSampleFlags = 0;
  ASSERT_EQ(sample2->SetProperties(sizeof(record), reinterpret_cast<BYTE*>(&record)), S_OK);
  now = Properties();
  EXPECT_EQ(now.dwSampleFlags & AM_SAMPLE_TYPECHANGED, AM_SAMPLE_TYPECHANGED);
  EXPECT_NE(now.pMediaType, nullptr);
}

TEST_F(MediaSamples, TheLastReleaseReturnsTheSampleCleanedButWithItsTimes) {
  REFERENCE_TIME start = 11, end = 22;
  sample->SetTime(&start, &end);
  sample->SetSyncPoint(TRUE);
  sample->SetActualDataLength(17);
  Z_CMediaTypeHolder pcm = MakeType(kMajorAudio, kSubPcm, kFormatWave, {1});
  sample->SetMediaType(&pcm);
  AM_SAMPLE2_PROPERTIES record = Properties();
  record.dwStreamId = 4;
  sample2->SetProperties(sizeof(record), reinterpret_cast<BYTE*>(&record));

  IMediaSample* none = nullptr;
  EXPECT_EQ(pool->GetBuffer(&none, nullptr, nullptr, AM_GBF_NOWAIT), VFW_E_TIMEOUT);
  EXPECT_EQ(sample->AddRef(), 2u);
  EXPECT_EQ(sample->Release(), 1u);
  EXPECT_EQ(sample->Release(), 0u);  // Back in the pool, not freed.
  IMediaSample* again = nullptr;
  ASSERT_EQ(pool->GetBuffer(&again, nullptr, nullptr, AM_GBF_NOWAIT), S_OK);
  EXPECT_EQ(again, sample);
  sample = again;
  record = Properties();
  EXPECT_EQ(record.dwSampleFlags, 0u);
  EXPECT_EQ(record.pMediaType, nullptr);
  EXPECT_EQ(record.dwStreamId, 0u);
  EXPECT_EQ(record.lActual, 17);
  REFERENCE_TIME gotStart = 0, gotEnd = 0;
  // The times' flags were cleared with the others: the values are there but not valid.
  EXPECT_EQ(record.tStart, 11);
  EXPECT_EQ(sample->GetTime(&gotStart, &gotEnd), VFW_E_SAMPLE_TIME_NOT_SET);

  void* out = nullptr;
  EXPECT_EQ(sample->QueryInterface(IID_IMemAllocator, &out), E_NOINTERFACE);
  EXPECT_EQ(sample->QueryInterface(IID_IMediaSample, nullptr), E_POINTER);
}

}  // namespace
}  // namespace media_test
