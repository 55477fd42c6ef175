// DirectShow-shaped part of the platform stand-in: the types, codes and interfaces of the filter
// graph that the library's media framework implements and calls.
//
// Interfaces are plain C++ abstract classes over IUnknown, with their methods in the platform's
// order. Ids and codes that the platform publishes and the library names carry those values; the
// rest are our own (no program outside this one ever sees them). Records the library fills for
// the platform are typed structures at this machine's pointer width: sizes are `sizeof`, never the
// 32-bit byte counts.
#pragma once

#include "platform/com.h"
#include "platform/gdi.h"

// ---- Basic types ----
typedef LONGLONG REFERENCE_TIME;  // 100-ns units.
typedef DWORD_PTR HEVENT;         // An event HANDLE as the reference clock takes it.
typedef DWORD_PTR HSEMAPHORE;

enum FILTER_STATE { State_Stopped = 0, State_Paused = 1, State_Running = 2 };
enum PIN_DIRECTION { PINDIR_INPUT = 0, PINDIR_OUTPUT = 1 };

#define MAX_PIN_NAME 128
#define MAX_FILTER_NAME 128

// ---- Results ----
#define VFW_E_INVALIDMEDIATYPE ((HRESULT)0x80040200)
#define VFW_E_ENUM_OUT_OF_SYNC ((HRESULT)0x80040203)
#define VFW_E_ALREADY_CONNECTED ((HRESULT)0x80040204)
#define VFW_E_NO_ACCEPTABLE_TYPES ((HRESULT)0x80040207)
#define VFW_E_INVALID_DIRECTION ((HRESULT)0x80040208)
#define VFW_E_NOT_CONNECTED ((HRESULT)0x80040209)
#define VFW_E_NO_ALLOCATOR ((HRESULT)0x8004020A)
#define VFW_E_RUNTIME_ERROR ((HRESULT)0x8004020B)
#define VFW_E_BADALIGN ((HRESULT)0x8004020E)
#define VFW_E_NO_CLOCK ((HRESULT)0x80040213)
#define VFW_E_NOT_FOUND ((HRESULT)0x80040216)
#define VFW_E_STATE_CHANGED ((HRESULT)0x80040223)
#define VFW_E_NOT_STOPPED ((HRESULT)0x80040224)
#define VFW_E_WRONG_STATE ((HRESULT)0x80040227)
#define VFW_E_START_TIME_AFTER_END ((HRESULT)0x80040228)
#define VFW_E_TYPE_NOT_ACCEPTED ((HRESULT)0x8004022A)
#define VFW_E_SAMPLE_REJECTED ((HRESULT)0x8004022B)
#define VFW_E_INVALID_MEDIA_TYPE ((HRESULT)0x80040248)
#define VFW_E_NOT_IN_GRAPH ((HRESULT)0x8004025F)
#define VFW_S_NO_MORE_ITEMS ((HRESULT)0x00040103)
#define VFW_S_STATE_INTERMEDIATE ((HRESULT)0x00040237)
// Codes of our own, distinct from every published one above.
#define VFW_E_BUFFER_OVERFLOW ((HRESULT)0x80040301)
#define VFW_E_SIZENOTSET ((HRESULT)0x80040302)
#define VFW_E_ALREADY_COMMITTED ((HRESULT)0x80040303)
#define VFW_E_BUFFERS_OUTSTANDING ((HRESULT)0x80040304)
#define VFW_E_NOT_COMMITTED ((HRESULT)0x80040305)
#define VFW_E_TIMEOUT ((HRESULT)0x80040306)
#define VFW_E_SAMPLE_TIME_NOT_SET ((HRESULT)0x80040307)
#define VFW_E_MEDIA_TIME_NOT_SET ((HRESULT)0x80040308)
#define VFW_S_NO_STOP_TIME ((HRESULT)0x00040309)

// ---- Graph events ----
#define EC_COMPLETE 0x01
#define EC_ERRORABORT 0x03
#define EC_QUALITY_CHANGE 0x0B
#define EC_WINDOW_DESTROYED 0x15

// ---- Sample flags and GetBuffer flags ----
#define AM_SAMPLE_SPLICEPOINT 0x01u
#define AM_SAMPLE_PREROLL 0x02u
#define AM_SAMPLE_DATADISCONTINUITY 0x04u
#define AM_SAMPLE_TYPECHANGED 0x08u
#define AM_SAMPLE_TIMEVALID 0x10u
#define AM_SAMPLE_STOPVALID 0x100u

#define AM_GBF_PREVFRAMESKIPPED 0x1u
#define AM_GBF_NOTASYNCPOINT 0x2u
#define AM_GBF_NOWAIT 0x4u

#define MERIT_DO_NOT_USE 0x200000u

// ---- Records ----
struct AM_MEDIA_TYPE {
  GUID majortype;
  GUID subtype;
  BOOL bFixedSizeSamples;
  BOOL bTemporalCompression;
  ULONG lSampleSize;
  GUID formattype;
  IUnknown* pUnk;  // One reference owned by whoever owns the record.
  ULONG cbFormat;
  BYTE* pbFormat;  // Task memory of cbFormat bytes, owned exactly when cbFormat is non-zero.
};

struct ALLOCATOR_PROPERTIES {
  LONG cBuffers;
  LONG cbBuffer;
  LONG cbAlign;
  LONG cbPrefix;
};

struct AM_SAMPLE2_PROPERTIES {
  DWORD cbData;  // How many bytes of this record are meant.
  DWORD dwTypeSpecificFlags;
  DWORD dwSampleFlags;
  LONG lActual;
  REFERENCE_TIME tStart;
  REFERENCE_TIME tStop;
  DWORD dwStreamId;
  AM_MEDIA_TYPE* pMediaType;
  BYTE* pbBuffer;
  LONG cbBuffer;
};

struct IFilterGraph;
struct IBaseFilter;

struct FILTER_INFO {
  WCHAR achName[MAX_FILTER_NAME];
  IFilterGraph* pGraph;  // One reference for the caller, or null.
};

struct PIN_INFO {
  IBaseFilter* pFilter;  // One reference for the caller, or null.
  PIN_DIRECTION dir;
  WCHAR achName[MAX_PIN_NAME];
};

enum QualityMessageType { Famine = 0, Flood = 1 };
struct Quality {
  QualityMessageType Type;
  LONG Proportion;  // 1000 = keeping up.
  REFERENCE_TIME Late;
  REFERENCE_TIME TimeStamp;
};

// Registration records of a filter class.
struct REGPINTYPES {
  const CLSID* clsMajorType;
  const CLSID* clsMinorType;
};

struct REGFILTERPINS {
  LPCWSTR strName;
  BOOL bRendered;
  BOOL bOutput;
  BOOL bZero;
  BOOL bMany;
  const CLSID* clsConnectsToFilter;
  LPCWSTR strConnectsToPin;
  UINT nMediaTypes;
  const REGPINTYPES* lpMediaType;
};

struct AMOVIESETUP_FILTER {
  const CLSID* clsID;
  LPCWSTR strName;
  DWORD dwMerit;
  UINT nPins;
  const REGFILTERPINS* lpPin;
};

// ---- Class, interface and type ids ----
// Published: the filter graph, the quality-control interface and the media types the library names.
// {E436EBB3-524F-11CE-9F53-0020AF0BA770}
inline constexpr CLSID CLSID_FilterGraph = {
    0xE436EBB3, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
// {56A868A5-0AD4-11CE-B03A-0020AF0BA770}
inline constexpr IID IID_IQualityControl = {
    0x56A868A5, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
// {73646976-0000-0010-8000-00AA00389B71}
inline constexpr GUID MEDIATYPE_Video = {0x73646976, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
// {E436EB83-524F-11CE-9F53-0020AF0BA770}
inline constexpr GUID MEDIATYPE_Stream = {0xE436EB83, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
// {E436EB7D-524F-11CE-9F53-0020AF0BA770}
inline constexpr GUID MEDIASUBTYPE_RGB24 = {
    0xE436EB7D, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
// {E436EB8B-524F-11CE-9F53-0020AF0BA770}
inline constexpr GUID MEDIASUBTYPE_WAVE = {
    0xE436EB8B, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
// {05589F80-C356-11CE-BF01-00AA0055595A}
inline constexpr GUID FORMAT_VideoInfo = {0x05589F80, 0xC356, 0x11CE, {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};
// {05589F81-C356-11CE-BF01-00AA0055595A}
inline constexpr GUID FORMAT_WaveFormatEx = {
    0x05589F81, 0xC356, 0x11CE, {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};

// The format block of FORMAT_VideoInfo: uncompressed or compressed frames described by a bitmap
// header (a positive biHeight is bottom-up rows).
struct VIDEOINFOHEADER {
  RECT rcSource;
  RECT rcTarget;
  DWORD dwBitRate;
  DWORD dwBitErrorRate;
  REFERENCE_TIME AvgTimePerFrame;  // 100-ns units.
  BITMAPINFOHEADER bmiHeader;
};
static_assert(sizeof(VIDEOINFOHEADER) == 88, "VIDEOINFOHEADER is 88 bytes");

// Our own.
// {71B1D059-0FF3-4894-9A92-7E024F9E3D07}
inline constexpr CLSID CLSID_MemoryAllocator = {
    0x71B1D059, 0x0FF3, 0x4894, {0x9A, 0x92, 0x7E, 0x02, 0x4F, 0x9E, 0x3D, 0x07}};
// {40FC6C3C-C352-478A-9ADD-0C575BA363E3}
inline constexpr CLSID CLSID_FilterMapper = {
    0x40FC6C3C, 0xC352, 0x478A, {0x9A, 0xDD, 0x0C, 0x57, 0x5B, 0xA3, 0x63, 0xE3}};
// {239FF7C8-9B41-4813-A01C-CB80043E7CDD}
inline constexpr IID IID_IPersist = {0x239FF7C8, 0x9B41, 0x4813, {0xA0, 0x1C, 0xCB, 0x80, 0x04, 0x3E, 0x7C, 0xDD}};
// {2C2CFD4C-8AAA-4511-87BB-345603EAF4FA}
inline constexpr IID IID_IMediaFilter = {0x2C2CFD4C, 0x8AAA, 0x4511, {0x87, 0xBB, 0x34, 0x56, 0x03, 0xEA, 0xF4, 0xFA}};
// {3A3155EA-244F-4AE7-A9C4-CDCC912420B8}
inline constexpr IID IID_IBaseFilter = {0x3A3155EA, 0x244F, 0x4AE7, {0xA9, 0xC4, 0xCD, 0xCC, 0x91, 0x24, 0x20, 0xB8}};
// {09A6D70A-DFF3-463B-B531-CBB627C50BB4}
inline constexpr IID IID_IAMovieSetup = {0x09A6D70A, 0xDFF3, 0x463B, {0xB5, 0x31, 0xCB, 0xB6, 0x27, 0xC5, 0x0B, 0xB4}};
// {EE65721B-5361-4CF6-B519-45E1E45D71DC}
inline constexpr IID IID_IPin = {0xEE65721B, 0x5361, 0x4CF6, {0xB5, 0x19, 0x45, 0xE1, 0xE4, 0x5D, 0x71, 0xDC}};
// {E8DE13E6-7EAD-4CA6-932D-1C3EDFBF8855}
inline constexpr IID IID_IMemInputPin = {0xE8DE13E6, 0x7EAD, 0x4CA6, {0x93, 0x2D, 0x1C, 0x3E, 0xDF, 0xBF, 0x88, 0x55}};
// {581DA8EC-8C50-4D5D-AAF5-31E47A942BF4}
inline constexpr IID IID_IEnumPins = {0x581DA8EC, 0x8C50, 0x4D5D, {0xAA, 0xF5, 0x31, 0xE4, 0x7A, 0x94, 0x2B, 0xF4}};
// {568DAC46-17D9-4539-A4F0-3AA68B1E8E2F}
inline constexpr IID IID_IEnumMediaTypes = {
    0x568DAC46, 0x17D9, 0x4539, {0xA4, 0xF0, 0x3A, 0xA6, 0x8B, 0x1E, 0x8E, 0x2F}};
// {BCD25286-3D73-46A6-BAAF-F65BACE9E47B}
inline constexpr IID IID_IEnumFilters = {0xBCD25286, 0x3D73, 0x46A6, {0xBA, 0xAF, 0xF6, 0x5B, 0xAC, 0xE9, 0xE4, 0x7B}};
// {9EC97BAC-F412-4D62-A6EF-2D29B9DBE3BF}
inline constexpr IID IID_IMediaSample = {0x9EC97BAC, 0xF412, 0x4D62, {0xA6, 0xEF, 0x2D, 0x29, 0xB9, 0xDB, 0xE3, 0xBF}};
// {E6567E06-A57C-4F4F-A8B7-20CEB08CCEFA}
inline constexpr IID IID_IMediaSample2 = {0xE6567E06, 0xA57C, 0x4F4F, {0xA8, 0xB7, 0x20, 0xCE, 0xB0, 0x8C, 0xCE, 0xFA}};
// {67FC50AE-7929-41E6-8A34-D4A4C978F503}
inline constexpr IID IID_IMemAllocator = {0x67FC50AE, 0x7929, 0x41E6, {0x8A, 0x34, 0xD4, 0xA4, 0xC9, 0x78, 0xF5, 0x03}};
// {ED2CA860-6841-4CC5-9B2C-BED77F52B8C0}
inline constexpr IID IID_IMemAllocatorCallbackTemp = {
    0xED2CA860, 0x6841, 0x4CC5, {0x9B, 0x2C, 0xBE, 0xD7, 0x7F, 0x52, 0xB8, 0xC0}};
// {806A095F-CD8B-419F-8423-206179385447}
inline constexpr IID IID_IMemAllocatorNotifyCallbackTemp = {
    0x806A095F, 0xCD8B, 0x419F, {0x84, 0x23, 0x20, 0x61, 0x79, 0x38, 0x54, 0x47}};
// {998E4E5F-59F8-4838-AACE-174EBDED317C}
inline constexpr IID IID_IReferenceClock = {
    0x998E4E5F, 0x59F8, 0x4838, {0xAA, 0xCE, 0x17, 0x4E, 0xBD, 0xED, 0x31, 0x7C}};
// {C170AA3F-A52C-4B72-9C33-2CEEFDB74177}
inline constexpr IID IID_IMediaEventSink = {
    0xC170AA3F, 0xA52C, 0x4B72, {0x9C, 0x33, 0x2C, 0xEE, 0xFD, 0xB7, 0x41, 0x77}};
// {5D5CD7BD-1627-4797-903E-C8C92BD2B81E}
inline constexpr IID IID_IFilterGraph = {0x5D5CD7BD, 0x1627, 0x4797, {0x90, 0x3E, 0xC8, 0xC9, 0x2B, 0xD2, 0xB8, 0x1E}};
// {EFD44180-5FA6-4DD5-A7E6-245437FAAC0D}
inline constexpr IID IID_IGraphBuilder = {0xEFD44180, 0x5FA6, 0x4DD5, {0xA7, 0xE6, 0x24, 0x54, 0x37, 0xFA, 0xAC, 0x0D}};
// {3722423D-30A2-4452-8C83-0A7A3730004A}
inline constexpr IID IID_IFilterGraph2 = {0x3722423D, 0x30A2, 0x4452, {0x8C, 0x83, 0x0A, 0x7A, 0x37, 0x30, 0x00, 0x4A}};
// {00039376-CEBB-4420-9583-46213CE9FA57}
inline constexpr IID IID_IFilterMapper = {0x00039376, 0xCEBB, 0x4420, {0x95, 0x83, 0x46, 0x21, 0x3C, 0xE9, 0xFA, 0x57}};

// ---- Interfaces ----
struct IPin;
struct IEnumPins;
struct IEnumMediaTypes;
struct IEnumFilters;
struct IMediaSample;
struct IMemAllocator;
struct IReferenceClock;
struct IMoniker;
struct IBindCtx;

struct IPersist : IUnknown {
  virtual HRESULT GetClassID(CLSID* classId) = 0;
};

struct IMediaFilter : IPersist {
  virtual HRESULT Stop() = 0;
  virtual HRESULT Pause() = 0;
  virtual HRESULT Run(REFERENCE_TIME start) = 0;
  virtual HRESULT GetState(DWORD timeoutMilliseconds, FILTER_STATE* state) = 0;
  virtual HRESULT SetSyncSource(IReferenceClock* clock) = 0;
  virtual HRESULT GetSyncSource(IReferenceClock** clock) = 0;
};

struct IBaseFilter : IMediaFilter {
  virtual HRESULT EnumPins(IEnumPins** pins) = 0;
  virtual HRESULT FindPin(LPCWSTR id, IPin** pin) = 0;
  virtual HRESULT QueryFilterInfo(FILTER_INFO* info) = 0;
  virtual HRESULT JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) = 0;
  virtual HRESULT QueryVendorInfo(LPWSTR* vendorInfo) = 0;
};

struct IAMovieSetup : IUnknown {
  virtual HRESULT Register() = 0;
  virtual HRESULT Unregister() = 0;
};

struct IPin : IUnknown {
  virtual HRESULT Connect(IPin* receivingPin, const AM_MEDIA_TYPE* type) = 0;
  virtual HRESULT ReceiveConnection(IPin* connectingPin, const AM_MEDIA_TYPE* type) = 0;
  virtual HRESULT Disconnect() = 0;
  virtual HRESULT ConnectedTo(IPin** pin) = 0;
  virtual HRESULT ConnectionMediaType(AM_MEDIA_TYPE* type) = 0;
  virtual HRESULT QueryPinInfo(PIN_INFO* info) = 0;
  virtual HRESULT QueryDirection(PIN_DIRECTION* direction) = 0;
  virtual HRESULT QueryId(LPWSTR* id) = 0;
  virtual HRESULT QueryAccept(const AM_MEDIA_TYPE* type) = 0;
  virtual HRESULT EnumMediaTypes(IEnumMediaTypes** types) = 0;
  virtual HRESULT QueryInternalConnections(IPin** pins, ULONG* count) = 0;
  virtual HRESULT EndOfStream() = 0;
  virtual HRESULT BeginFlush() = 0;
  virtual HRESULT EndFlush() = 0;
  virtual HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) = 0;
};

struct IQualityControl : IUnknown {
  virtual HRESULT Notify(IBaseFilter* sender, Quality quality) = 0;
  virtual HRESULT SetSink(IQualityControl* sink) = 0;
};

struct IEnumPins : IUnknown {
  virtual HRESULT Next(ULONG wanted, IPin** pins, ULONG* fetched) = 0;
  virtual HRESULT Skip(ULONG count) = 0;
  virtual HRESULT Reset() = 0;
  virtual HRESULT Clone(IEnumPins** copy) = 0;
};

struct IEnumMediaTypes : IUnknown {
  virtual HRESULT Next(ULONG wanted, AM_MEDIA_TYPE** types, ULONG* fetched) = 0;
  virtual HRESULT Skip(ULONG count) = 0;
  virtual HRESULT Reset() = 0;
  virtual HRESULT Clone(IEnumMediaTypes** copy) = 0;
};

struct IEnumFilters : IUnknown {
  virtual HRESULT Next(ULONG wanted, IBaseFilter** filters, ULONG* fetched) = 0;
  virtual HRESULT Skip(ULONG count) = 0;
  virtual HRESULT Reset() = 0;
  virtual HRESULT Clone(IEnumFilters** copy) = 0;
};

struct IMediaSample : IUnknown {
  virtual HRESULT GetPointer(BYTE** buffer) = 0;
  virtual LONG GetSize() = 0;
  virtual HRESULT GetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) = 0;
  virtual HRESULT SetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) = 0;
  virtual HRESULT IsSyncPoint() = 0;
  virtual HRESULT SetSyncPoint(BOOL syncPoint) = 0;
  virtual HRESULT IsPreroll() = 0;
  virtual HRESULT SetPreroll(BOOL preroll) = 0;
  virtual LONG GetActualDataLength() = 0;
  virtual HRESULT SetActualDataLength(LONG length) = 0;
  virtual HRESULT GetMediaType(AM_MEDIA_TYPE** type) = 0;
  virtual HRESULT SetMediaType(AM_MEDIA_TYPE* type) = 0;
  virtual HRESULT IsDiscontinuity() = 0;
  virtual HRESULT SetDiscontinuity(BOOL discontinuity) = 0;
  virtual HRESULT GetMediaTime(LONGLONG* start, LONGLONG* end) = 0;
  virtual HRESULT SetMediaTime(LONGLONG* start, LONGLONG* end) = 0;
};

struct IMediaSample2 : IMediaSample {
  virtual HRESULT GetProperties(DWORD size, BYTE* properties) = 0;
  virtual HRESULT SetProperties(DWORD size, const BYTE* properties) = 0;
};

struct IMemAllocator : IUnknown {
  virtual HRESULT SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) = 0;
  virtual HRESULT GetProperties(ALLOCATOR_PROPERTIES* properties) = 0;
  virtual HRESULT Commit() = 0;
  virtual HRESULT Decommit() = 0;
  virtual HRESULT GetBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* end, DWORD flags) = 0;
  virtual HRESULT ReleaseBuffer(IMediaSample* sample) = 0;
};

struct IMemAllocatorNotifyCallbackTemp : IUnknown {
  virtual HRESULT NotifyRelease() = 0;
};

struct IMemAllocatorCallbackTemp : IMemAllocator {
  virtual HRESULT SetNotify(IMemAllocatorNotifyCallbackTemp* callback) = 0;
  virtual HRESULT GetFreeCount(LONG* free) = 0;
};

struct IMemInputPin : IUnknown {
  virtual HRESULT GetAllocator(IMemAllocator** allocator) = 0;
  virtual HRESULT NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) = 0;
  virtual HRESULT GetAllocatorRequirements(ALLOCATOR_PROPERTIES* properties) = 0;
  virtual HRESULT Receive(IMediaSample* sample) = 0;
  virtual HRESULT ReceiveMultiple(IMediaSample** samples, LONG count, LONG* processed) = 0;
  virtual HRESULT ReceiveCanBlock() = 0;
};

struct IReferenceClock : IUnknown {
  virtual HRESULT GetTime(REFERENCE_TIME* time) = 0;
  virtual HRESULT AdviseTime(REFERENCE_TIME baseTime, REFERENCE_TIME streamTime, HEVENT event, DWORD_PTR* cookie) = 0;
  virtual HRESULT AdvisePeriodic(REFERENCE_TIME startTime, REFERENCE_TIME periodTime, HSEMAPHORE semaphore,
                                 DWORD_PTR* cookie) = 0;
  virtual HRESULT Unadvise(DWORD_PTR cookie) = 0;
};

struct IMediaEventSink : IUnknown {
  virtual HRESULT Notify(LONG eventCode, LONG_PTR first, LONG_PTR second) = 0;
};

struct IFilterGraph : IUnknown {
  virtual HRESULT AddFilter(IBaseFilter* filter, LPCWSTR name) = 0;
  virtual HRESULT RemoveFilter(IBaseFilter* filter) = 0;
  virtual HRESULT EnumFilters(IEnumFilters** filters) = 0;
  virtual HRESULT FindFilterByName(LPCWSTR name, IBaseFilter** filter) = 0;
  virtual HRESULT ConnectDirect(IPin* output, IPin* input, const AM_MEDIA_TYPE* type) = 0;
  virtual HRESULT Reconnect(IPin* pin) = 0;
  virtual HRESULT Disconnect(IPin* pin) = 0;
  virtual HRESULT SetDefaultSyncSource() = 0;
};

struct IGraphBuilder : IFilterGraph {
  virtual HRESULT Connect(IPin* output, IPin* input) = 0;
  virtual HRESULT Render(IPin* output) = 0;
  virtual HRESULT RenderFile(LPCWSTR file, LPCWSTR playList) = 0;
  virtual HRESULT AddSourceFilter(LPCWSTR file, LPCWSTR filterName, IBaseFilter** filter) = 0;
  virtual HRESULT SetLogFile(DWORD_PTR file) = 0;
  virtual HRESULT Abort() = 0;
  virtual HRESULT ShouldOperationContinue() = 0;
};

struct IFilterGraph2 : IGraphBuilder {
  virtual HRESULT AddSourceFilterForMoniker(IMoniker* moniker, IBindCtx* context, LPCWSTR filterName,
                                            IBaseFilter** filter) = 0;
  virtual HRESULT ReconnectEx(IPin* pin, const AM_MEDIA_TYPE* type) = 0;
  virtual HRESULT RenderEx(IPin* output, DWORD flags, DWORD* context) = 0;
};

struct IFilterMapper : IUnknown {
  virtual HRESULT RegisterFilter(CLSID filter, LPCWSTR name, DWORD merit) = 0;
  virtual HRESULT RegisterFilterInstance(CLSID filter, LPCWSTR name, CLSID* instance) = 0;
  virtual HRESULT RegisterPin(CLSID filter, LPCWSTR name, BOOL rendered, BOOL output, BOOL zero, BOOL many,
                              CLSID connectsToFilter, LPCWSTR connectsToPin) = 0;
  virtual HRESULT RegisterPinType(CLSID filter, LPCWSTR pinName, CLSID majorType, CLSID subType) = 0;
  virtual HRESULT UnregisterFilter(CLSID filter) = 0;
  virtual HRESULT UnregisterFilterInstance(CLSID instance) = 0;
  virtual HRESULT UnregisterPin(CLSID filter, LPCWSTR name) = 0;
  virtual HRESULT EnumMatchingFilters(IUnknown** enumerator, DWORD merit, BOOL inputNeeded, CLSID inMajor, CLSID inSub,
                                      BOOL render, BOOL outputNeeded, CLSID outMajor, CLSID outSub) = 0;
};

// ---- Pulling a stream: the reader a source's output pin offers to a parser ----
// {0D9CB4C7-7F4B-4E36-93C3-5A2E7C9B1F01}
inline constexpr IID IID_IAsyncReader = {0x0D9CB4C7, 0x7F4B, 0x4E36, {0x93, 0xC3, 0x5A, 0x2E, 0x7C, 0x9B, 0x1F, 0x01}};

// A sample's start and end times name the bytes it asks for: byte offset × 10,000,000.
struct IAsyncReader : IUnknown {
  virtual HRESULT RequestAllocator(IMemAllocator* preferred, ALLOCATOR_PROPERTIES* properties,
                                   IMemAllocator** actual) = 0;
  virtual HRESULT Request(IMediaSample* sample, DWORD_PTR userValue) = 0;
  virtual HRESULT WaitForNext(DWORD timeoutMilliseconds, IMediaSample** sample, DWORD_PTR* userValue) = 0;
  virtual HRESULT SyncReadAligned(IMediaSample* sample) = 0;
  virtual HRESULT SyncRead(LONGLONG position, LONG length, BYTE* buffer) = 0;
  virtual HRESULT Length(LONGLONG* total, LONGLONG* available) = 0;
  virtual HRESULT BeginFlush() = 0;
  virtual HRESULT EndFlush() = 0;
};

// ---- The filter graph manager (CLSID_FilterGraph) and the classes it builds graphs from ----
#define VFW_S_PARTIAL_RENDER ((HRESULT)0x00040242)
#define VFW_E_CANNOT_CONNECT ((HRESULT)0x80040217)
#define VFW_E_CANNOT_RENDER ((HRESULT)0x80040218)
#define VFW_E_UNKNOWN_FILE_TYPE ((HRESULT)0x80040240)

typedef LONG OAFilterState;
typedef LONG_PTR OAEVENT;

// Our own ids.
// {6B6F3D1A-2C57-4F0B-9E61-0A4C3E2B7D10}
inline constexpr CLSID CLSID_NullRenderer = {
    0x6B6F3D1A, 0x2C57, 0x4F0B, {0x9E, 0x61, 0x0A, 0x4C, 0x3E, 0x2B, 0x7D, 0x10}};
// {6B6F3D1A-2C57-4F0B-9E61-0A4C3E2B7D11}
inline constexpr CLSID CLSID_AudioRender = {
    0x6B6F3D1A, 0x2C57, 0x4F0B, {0x9E, 0x61, 0x0A, 0x4C, 0x3E, 0x2B, 0x7D, 0x11}};
// {6B6F3D1A-2C57-4F0B-9E61-0A4C3E2B7D12}
inline constexpr CLSID CLSID_FileSource = {
    0x6B6F3D1A, 0x2C57, 0x4F0B, {0x9E, 0x61, 0x0A, 0x4C, 0x3E, 0x2B, 0x7D, 0x12}};
// {6B6F3D1A-2C57-4F0B-9E61-0A4C3E2B7D13}
inline constexpr CLSID CLSID_MpegAudioDecoder = {
    0x6B6F3D1A, 0x2C57, 0x4F0B, {0x9E, 0x61, 0x0A, 0x4C, 0x3E, 0x2B, 0x7D, 0x13}};
// {6B6F3D1A-2C57-4F0B-9E61-0A4C3E2B7D14}
inline constexpr CLSID CLSID_SystemClock = {
    0x6B6F3D1A, 0x2C57, 0x4F0B, {0x9E, 0x61, 0x0A, 0x4C, 0x3E, 0x2B, 0x7D, 0x14}};
// {73647561-0000-0010-8000-00AA00389B71}
inline constexpr GUID MEDIATYPE_Audio = {0x73647561, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
// {00000001-0000-0010-8000-00AA00389B71}
inline constexpr GUID MEDIASUBTYPE_PCM = {0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
// {E436EB87-524F-11CE-9F53-0020AF0BA770}
inline constexpr GUID MEDIASUBTYPE_MPEG1Audio = {
    0xE436EB87, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
// {4C6A2E1D-8B0F-4E55-A1D3-6F2B9C0E7A21}
inline constexpr IID IID_IMediaControl = {0x4C6A2E1D, 0x8B0F, 0x4E55, {0xA1, 0xD3, 0x6F, 0x2B, 0x9C, 0x0E, 0x7A, 0x21}};
// {4C6A2E1D-8B0F-4E55-A1D3-6F2B9C0E7A22}
inline constexpr IID IID_IMediaEvent = {0x4C6A2E1D, 0x8B0F, 0x4E55, {0xA1, 0xD3, 0x6F, 0x2B, 0x9C, 0x0E, 0x7A, 0x22}};
// {4C6A2E1D-8B0F-4E55-A1D3-6F2B9C0E7A23}
inline constexpr IID IID_IBasicAudio = {0x4C6A2E1D, 0x8B0F, 0x4E55, {0xA1, 0xD3, 0x6F, 0x2B, 0x9C, 0x0E, 0x7A, 0x23}};

// The automation methods of these interfaces (type information, names, invocation) are not kept.
struct IMediaControl : IUnknown {
  virtual HRESULT Run() = 0;
  virtual HRESULT Pause() = 0;
  virtual HRESULT Stop() = 0;
  virtual HRESULT GetState(LONG timeoutMilliseconds, OAFilterState* state) = 0;
  virtual HRESULT RenderFile(LPCWSTR file) = 0;
  virtual HRESULT StopWhenReady() = 0;
};

struct IMediaEvent : IUnknown {
  virtual HRESULT GetEventHandle(OAEVENT* event) = 0;
  virtual HRESULT GetEvent(LONG* code, LONG_PTR* first, LONG_PTR* second, LONG timeoutMilliseconds) = 0;
  // S_OK with EC_COMPLETE or EC_ERRORABORT in `code`, E_ABORT when the time ran out first.
  virtual HRESULT WaitForCompletion(LONG timeoutMilliseconds, LONG* code) = 0;
  virtual HRESULT CancelDefaultHandling(LONG code) = 0;
  virtual HRESULT RestoreDefaultHandling(LONG code) = 0;
  virtual HRESULT FreeEventParams(LONG code, LONG_PTR first, LONG_PTR second) = 0;
};

// Volume in hundredths of a decibel (0 full, -10000 silent); balance -10000 left to 10000 right.
struct IBasicAudio : IUnknown {
  virtual HRESULT put_Volume(LONG volume) = 0;
  virtual HRESULT get_Volume(LONG* volume) = 0;
  virtual HRESULT put_Balance(LONG balance) = 0;
  virtual HRESULT get_Balance(LONG* balance) = 0;
};

// {4C6A2E1D-8B0F-4E55-A1D3-6F2B9C0E7A24}
inline constexpr IID IID_IFileSourceFilter = {
    0x4C6A2E1D, 0x8B0F, 0x4E55, {0xA1, 0xD3, 0x6F, 0x2B, 0x9C, 0x0E, 0x7A, 0x24}};

// How the graph manager hands a file to the source filter it made for it.
struct IFileSourceFilter : IUnknown {
  virtual HRESULT Load(LPCWSTR fileName, const AM_MEDIA_TYPE* type) = 0;
  virtual HRESULT GetCurFile(LPWSTR* fileName, AM_MEDIA_TYPE* type) = 0;
};
