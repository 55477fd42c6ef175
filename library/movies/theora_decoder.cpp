// The Ogg Theora movie decoder. Opening reads the Theora headers, indexes every page and frame of
// the file (where each page starts, which frames it completes, which frames are key frames) and
// starts one decode thread that keeps a small stock of decoded frames just ahead of the frame the
// movie wants, wrapping to the start past the last frame. The main thread moves the wanted frame
// and takes it out of the stock as 32-bit RGB or into a Direct3D YUV surface.
//
// The two threads share the decoder without a lock:
// - A pause is a ticket: the main thread writes a fresh ticket and waits until the thread
//   acknowledges that very ticket, so an acknowledgement left from an earlier pause never passes
//   for a new one. While the thread is paused only the main thread touches the decoder.
// - Each stock entry has a state word: free entries belong to the thread, which fills the planes
//   and then publishes the entry as valid; the main thread pins a valid entry (valid -> reading)
//   before it looks at it, and the thread only frees entries it can move from valid to free.
// - Frames the data cannot give (a file damaged or cut short after it was indexed) are published
//   as the end frame, so a fetch of such a frame fails instead of waiting.
// Every wait of the main thread also ends when the thread has ended. The main thread waits for
// a frame on an event that the thread sets whenever it publishes a frame, gives frames up or
// ends; the thread, with nothing to decode, waits on one that the main thread sets when it moves
// the wanted frame or asks for a pause or the end. So neither spins, and neither oversleeps;
// without the events (their creation failed) both poll.
//
// Limitations: coded frames larger than 4096 x 4096 are refused; only one Theora stream of the
// file is played (the first); the YUV surface is filled only from 4:2:0 frames.
//
// Dependencies: libogg for the framing, libtheora's legacy theora_* interface for the decoding.
#include "movies/theora_decoder.h"

#include <ogg/ogg.h>
#include <theora/theora.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>

#include "graphics/screen_services.h"
#include "movies/theora_rgb.h"
#include "platform/kernel.h"
#include "zyvel/graphics.h"
#include "zyvel/runtime.h"

namespace {

enum TheoraThreadState : int {
  kThreadIdle = 0,  // The stock holds every frame it should.
  kThreadDecoding = 1,
  kThreadSeeking = 2,
  kThreadEnded = 3,
  kThreadPaused = 4,
};

enum StockEntryState : int {
  kStockFree = 0,     // The thread's to fill.
  kStockValid = 1,    // Holds a frame; the thread may free it.
  kStockReading = 2,  // Pinned by the main thread while it looks at the frame.
};

constexpr int kFeedBytes = 4096;
constexpr int kIndexGrowth = 1000;  // Page entries and key-frame flags grow by this many.
constexpr uint32_t kLargestCodedSide = 4096;
// The events reset themselves as a wait ends and keep a signal given before the wait, so no
// signal is lost. The waits time out only for changes that send none, such as a frame the main
// thread unpins, which may leave the decoding thread the stock entry it lacked.
constexpr DWORD kFrameWaitMilliseconds = 10;
constexpr DWORD kWorkWaitMilliseconds = 10;

constexpr D3DFORMAT kYuvFourCcs[] = {ZV_D3D_FOURCC('Y', 'V', '1', '2'), ZV_D3D_FOURCC('Y', 'U', 'Y', '2'),
                                     ZV_D3D_FOURCC('U', 'Y', 'V', 'Y')};

// One page that completes at least one frame packet of the Theora stream.
struct TheoraPageEntry {
  int32_t offset;      // Where the page starts in the file.
  int32_t firstFrame;  // The first frame whose packet the page completes.
  int32_t keyFrame;    // 1 when a key-frame packet ends in the page.
  int32_t frameCount;  // Frame packets the page completes.
};
static_assert(sizeof(TheoraPageEntry) == 16);

struct TheoraStockFrame {
  std::atomic<int> state;  // StockEntryState.
  int64_t frame;
  uint8_t* planes[3];  // Y, U, V, each rows top to bottom at its stride.
  int yWidth, yHeight, yStride;
  int uvWidth, uvHeight, uvStride;
};

}  // namespace

struct TheoraMovieDecoder {
  std::atomic<int> threadState;
  std::atomic<int> pauseRequest;  // 0, or the ticket of the pause asked for.
  std::atomic<int> pausedTicket;  // The last pause ticket the thread acknowledged.
  int lastPauseTicket;            // Main thread only.
  std::atomic<int> exitRequest;
  std::atomic<int> seekRequest;
  std::atomic<int64_t> seekTarget;
  std::atomic<int64_t> endFrame;  // Frames from here on cannot be had; the frame count while the data holds.
  HANDLE thread;
  DWORD threadId;
  HANDLE frameEvent;  // Auto-reset, for the main thread; null when it could not be made.
  HANDLE workEvent;   // Auto-reset, for the decode thread; null when it could not be made.

  FileFunctionTable files;
  StreamHandle stream;

  ogg_sync_state sync;
  ogg_page page;
  ogg_stream_state oggStream;
  ogg_packet packet;

  theora_info info;
  theora_comment comment;
  theora_state state;
  int serial;
  int headerCount;

  TheoraPageEntry* pages;
  int pageCapacity;
  int pageCount;
  uint8_t* keyFrames;
  int64_t keyFrameCapacity;
  int64_t frameCount;

  std::atomic<int64_t> currentFrame;
  std::atomic<int64_t> decodedFrame;
  TheoraStockFrame* stock;
  int stockSize;

  BaseImage rgbImage;
  IDirect3DSurface9* yuvSurface;
  D3DFORMAT yuvFourCc;
  std::atomic<int> rgbUpToDate;
  std::atomic<int> yuvUpToDate;

  // The decode thread's own.
  int pictureHeld;          // 1 while libtheora's picture is the decoded frame's.
  int64_t unreachableFrom;  // The first frame the data ran out before.
};

namespace {

// ---- Reading and indexing ----

int FeedTheoraData(TheoraMovieDecoder* decoder, int bytes) {
  char* buffer = ogg_sync_buffer(&decoder->sync, bytes);
  if (!buffer) return 0;
  const int read = decoder->files.Read(buffer, 1, bytes, decoder->stream);
  if (read <= 0) return 0;
  ogg_sync_wrote(&decoder->sync, read);
  return read;
}

// 0 once the three headers of the first Theora stream are decoded, -1 otherwise.
int ReadTheoraHeaders(TheoraMovieDecoder* decoder) {
  // The beginning-of-stream pages come first: one of them must start a Theora stream.
  bool searching = true;
  while (searching) {
    if (FeedTheoraData(decoder, kFeedBytes) == 0) return -1;
    int found;
    while (searching && (found = ogg_sync_pageout(&decoder->sync, &decoder->page)) != 0) {
      if (found < 0) continue;
      if (!ogg_page_bos(&decoder->page)) {
        if (decoder->headerCount > 0) ogg_stream_pagein(&decoder->oggStream, &decoder->page);
        searching = false;
        break;
      }
      if (decoder->headerCount > 0) continue;
      ogg_stream_state trial;
      if (ogg_stream_init(&trial, ogg_page_serialno(&decoder->page)) != 0) return -1;
      if (ogg_stream_pagein(&trial, &decoder->page) == 0 && ogg_stream_packetout(&trial, &decoder->packet) == 1 &&
          theora_decode_header(&decoder->info, &decoder->comment, &decoder->packet) >= 0) {
        decoder->oggStream = trial;
        decoder->serial = ogg_page_serialno(&decoder->page);
        decoder->headerCount = 1;
      } else {
        ogg_stream_clear(&trial);
      }
    }
  }
  if (decoder->headerCount == 0) return -1;
  while (decoder->headerCount < 3) {
    const int got = ogg_stream_packetout(&decoder->oggStream, &decoder->packet);
    if (got < 0) return -1;
    if (got > 0) {
      if (theora_decode_header(&decoder->info, &decoder->comment, &decoder->packet) < 0) return -1;
      ++decoder->headerCount;
      continue;
    }
    const int paged = ogg_sync_pageout(&decoder->sync, &decoder->page);
    if (paged > 0) ogg_stream_pagein(&decoder->oggStream, &decoder->page);
    if (paged == 0 && FeedTheoraData(decoder, kFeedBytes) == 0) return -1;  // The file ended first.
  }
  return 0;
}

bool AppendPageEntry(TheoraMovieDecoder* decoder, int32_t offset) {
  if (decoder->pageCount == decoder->pageCapacity) {
    const int64_t capacity = static_cast<int64_t>(decoder->pageCapacity) + kIndexGrowth;
    if (capacity * static_cast<int64_t>(sizeof(TheoraPageEntry)) > 0x7FFFFFFF) return false;
    void* grown = ZV_REALLOC(decoder->pages, static_cast<int>(capacity * sizeof(TheoraPageEntry)));
    if (!grown) return false;
    decoder->pages = static_cast<TheoraPageEntry*>(grown);
    decoder->pageCapacity = static_cast<int>(capacity);
  }
  decoder->pages[decoder->pageCount++] = {offset, static_cast<int32_t>(decoder->frameCount), 0, 0};
  return true;
}

bool AppendFrameFlag(TheoraMovieDecoder* decoder, int key) {
  if (decoder->frameCount == decoder->keyFrameCapacity) {
    const int64_t capacity = decoder->keyFrameCapacity + kIndexGrowth;
    if (capacity > 0x7FFFFFFF) return false;
    void* grown = ZV_REALLOC(decoder->keyFrames, static_cast<int>(capacity));
    if (!grown) return false;
    decoder->keyFrames = static_cast<uint8_t*>(grown);
    decoder->keyFrameCapacity = capacity;
  }
  decoder->keyFrames[decoder->frameCount++] = static_cast<uint8_t>(key);
  return true;
}

// Walks the whole file once. Offsets come from the sync layer's own page lengths (skipped garbage
// included), so a page entry's offset is where a fresh sync finds that page again.
int IndexTheoraFile(TheoraMovieDecoder* decoder) {
  decoder->pages = static_cast<TheoraPageEntry*>(ZV_ALLOC(kIndexGrowth * sizeof(TheoraPageEntry)));
  if (!decoder->pages) {
    AddLogText("Theora ページ情報格納用メモリの確保に失敗しました\n");
    return -1;
  }
  decoder->pageCapacity = kIndexGrowth;
  decoder->keyFrames = static_cast<uint8_t*>(ZV_ALLOC(kIndexGrowth));
  if (!decoder->keyFrames) {
    AddLogText("Theora キーフレーム情報格納用メモリの確保に失敗しました\n");
    return -1;
  }
  decoder->keyFrameCapacity = kIndexGrowth;

  ogg_sync_reset(&decoder->sync);
  ogg_stream_reset(&decoder->oggStream);
  decoder->files.Seek(decoder->stream, 0, STREAM_SEEK_START);
  int64_t offset = 0;
  for (;;) {
    const long length = ogg_sync_pageseek(&decoder->sync, &decoder->page);
    if (length == 0) {
      if (FeedTheoraData(decoder, kFeedBytes) == 0) break;
      continue;
    }
    if (length < 0) {
      offset -= length;
      continue;
    }
    const int64_t pageOffset = offset;
    offset += length;
    if (pageOffset > 0x7FFFFFFF) break;  // Offsets are 32-bit: the rest of a huge file is not played.
    if (ogg_stream_pagein(&decoder->oggStream, &decoder->page) != 0) continue;  // Another stream's page.
    bool firstPacket = true;
    int got;
    while ((got = ogg_stream_packetout(&decoder->oggStream, &decoder->packet)) != 0) {
      if (got < 0) continue;
      const int key = theora_packet_iskeyframe(&decoder->packet);
      if (key < 0) continue;  // A header.
      if (firstPacket && !AppendPageEntry(decoder, static_cast<int32_t>(pageOffset))) {
        AddLogText("Theora ページ情報格納用メモリの確保に失敗しました\n");
        return -1;
      }
      firstPacket = false;
      if (!AppendFrameFlag(decoder, key ? 1 : 0)) {
        AddLogText("Theora キーフレーム情報格納用メモリの確保に失敗しました\n");
        return -1;
      }
      TheoraPageEntry& entry = decoder->pages[decoder->pageCount - 1];
      if (key) entry.keyFrame = 1;
      ++entry.frameCount;
    }
  }
  // Frame 0 is decoded from the very start, headers and all.
  if (decoder->pageCount > 0) decoder->pages[0].offset = 0;
  return 0;
}

// ---- Decoding (the decode thread) ----

// Takes the next n frame packets, decoding only from the last key frame among them on (the
// packets before it cannot change the picture it leaves). 1 when the last packet is a key frame,
// 0 when not, -1 when the data ran out first.
int DecodeTheoraPackets(TheoraMovieDecoder* decoder, int64_t n) {
  int64_t decoded = decoder->decodedFrame.load(std::memory_order_relaxed);
  int64_t lastKey = -1;
  for (int64_t frame = std::min(decoded + n, decoder->frameCount - 1); frame > decoded; --frame) {
    if (decoder->keyFrames[frame]) {
      lastKey = frame;
      break;
    }
  }
  int key = 0;
  for (int64_t taken = 0; taken < n; ++taken) {
    for (;;) {
      const int got = ogg_stream_packetout(&decoder->oggStream, &decoder->packet);
      if (got > 0 && theora_packet_iskeyframe(&decoder->packet) >= 0) break;
      if (got != 0) continue;
      const int paged = ogg_sync_pageout(&decoder->sync, &decoder->page);
      if (paged > 0) ogg_stream_pagein(&decoder->oggStream, &decoder->page);
      if (paged != 0) continue;
      if (decoder->files.Eof(decoder->stream) || FeedTheoraData(decoder, kFeedBytes) == 0) {
        decoder->pictureHeld = 0;
        return -1;
      }
    }
    const int64_t frame = decoded + 1;
    if (lastKey < 0 || frame >= lastKey) theora_decode_packetin(&decoder->state, &decoder->packet);
    key = theora_packet_iskeyframe(&decoder->packet);
    decoded = frame;
    decoder->decodedFrame.store(decoded, std::memory_order_relaxed);
  }
  decoder->pictureHeld = 1;
  return key;
}

// Decodes `target` afresh: from the page where the last key frame at or before it can be read
// whole, through the target. 1 when the target's picture is decoded, 0 when the data ran out
// first, -1 when no page holds it.
int DecodeFromKeyFrame(TheoraMovieDecoder* decoder, int64_t target) {
  int64_t key = target;
  while (key > 0 && !decoder->keyFrames[key]) --key;
  const TheoraPageEntry* pages = decoder->pages;
  const TheoraPageEntry* end = pages + decoder->pageCount;
  const TheoraPageEntry* entry = std::upper_bound(pages, end, key, [](int64_t frame, const TheoraPageEntry& page) {
    return frame < page.firstFrame + page.frameCount;
  });
  if (entry == end) return -1;
  // A page's first packet may have begun on the page before, and would be lost.
  if (entry != pages && entry->firstFrame == key) --entry;

  ogg_sync_reset(&decoder->sync);
  ogg_stream_reset(&decoder->oggStream);
  decoder->files.Seek(decoder->stream, entry->offset, STREAM_SEEK_START);
  int64_t first = entry->firstFrame;
  if (entry != pages) {
    int paged;
    while ((paged = ogg_sync_pageout(&decoder->sync, &decoder->page)) <= 0) {
      if (paged == 0 && FeedTheoraData(decoder, kFeedBytes) == 0) {
        decoder->decodedFrame.store(first - 1, std::memory_order_relaxed);
        decoder->pictureHeld = 0;
        return 0;
      }
    }
    if (ogg_page_continued(&decoder->page)) ++first;  // The continued packet's start is not read.
    ogg_stream_pagein(&decoder->oggStream, &decoder->page);
  }
  decoder->decodedFrame.store(first - 1, std::memory_order_relaxed);
  return DecodeTheoraPackets(decoder, target - first + 1) < 0 ? 0 : 1;
}

// Copies libtheora's picture into a free stock entry, rows top to bottom.
bool CopyPictureToStock(TheoraMovieDecoder* decoder, TheoraStockFrame* entry) {
  yuv_buffer picture;
  if (theora_decode_YUVout(&decoder->state, &picture) != 0) return false;
  if (picture.y_width <= 0 || picture.y_height <= 0 || picture.uv_width <= 0 || picture.uv_height <= 0) return false;
  const int widths[3] = {picture.y_width, picture.uv_width, picture.uv_width};
  const int heights[3] = {picture.y_height, picture.uv_height, picture.uv_height};
  const int strides[3] = {picture.y_stride, picture.uv_stride, picture.uv_stride};
  const uint8_t* sources[3] = {picture.y, picture.u, picture.v};
  if (entry->yWidth != widths[0] || entry->yHeight != heights[0] || entry->uvWidth != widths[1] ||
      entry->uvHeight != heights[1]) {
    for (uint8_t*& plane : entry->planes) {
      if (plane) ZV_FREE(plane);
      plane = nullptr;
    }
    entry->yWidth = entry->yHeight = entry->uvWidth = entry->uvHeight = 0;
    for (int i = 0; i < 3; ++i) {
      entry->planes[i] = static_cast<uint8_t*>(ZV_ALLOC(widths[i] * heights[i]));
      if (!entry->planes[i]) return false;
    }
    entry->yWidth = widths[0];
    entry->yHeight = heights[0];
    entry->yStride = widths[0];
    entry->uvWidth = widths[1];
    entry->uvHeight = heights[1];
    entry->uvStride = widths[1];
  }
  // libtheora's rows may run upwards in memory (a negative stride).
  for (int i = 0; i < 3; ++i)
    for (int row = 0; row < heights[i]; ++row)
      std::memcpy(entry->planes[i] + static_cast<ptrdiff_t>(row) * widths[i],
                  sources[i] + static_cast<ptrdiff_t>(row) * strides[i], static_cast<size_t>(widths[i]));
  entry->frame = decoder->decodedFrame.load(std::memory_order_relaxed);
  return true;
}

void SignalFrameEvent(TheoraMovieDecoder* decoder) {
  if (decoder->frameEvent) SetEvent(decoder->frameEvent);
}

void SignalWorkEvent(TheoraMovieDecoder* decoder) {
  if (decoder->workEvent) SetEvent(decoder->workEvent);
}

// The data cannot give `target`: neither it nor, when decoding ran out earlier, anything from the
// frame that ran out on. Fetches of those frames fail from now on instead of waiting.
void MarkUnreachable(TheoraMovieDecoder* decoder, int64_t target) {
  const int64_t ranOutOn = decoder->decodedFrame.load(std::memory_order_relaxed) + 1;
  decoder->unreachableFrom = std::min({decoder->unreachableFrom, target, std::max<int64_t>(ranOutOn, 0)});
  decoder->endFrame.store(decoder->unreachableFrom, std::memory_order_release);
  SignalFrameEvent(decoder);
}

// Distance of `frame` ahead of `current`, counting round the end of the movie.
int64_t FramesAhead(int64_t frame, int64_t current, int64_t frameCount) {
  return ((frame - current) % frameCount + frameCount) % frameCount;
}

// One round of keeping the stock: frees the entries behind the wanted frame or too far ahead,
// then decodes the first frame of the window that is missing. False when the thread has nothing
// to do for now.
bool KeepTheoraStock(TheoraMovieDecoder* decoder) {
  const int64_t frameCount = decoder->frameCount;
  const int64_t current = decoder->currentFrame.load(std::memory_order_acquire);
  const int64_t window = std::min<int64_t>(decoder->stockSize, frameCount);
  TheoraStockFrame* freeEntry = nullptr;
  for (int i = 0; i < decoder->stockSize; ++i) {
    TheoraStockFrame& entry = decoder->stock[i];
    int expected = kStockValid;
    if (FramesAhead(entry.frame, current, frameCount) >= window)
      entry.state.compare_exchange_strong(expected, kStockFree, std::memory_order_acquire);
    if (!freeEntry && entry.state.load(std::memory_order_acquire) == kStockFree) freeEntry = &entry;
  }
  if (!freeEntry) {
    decoder->threadState.store(kThreadIdle, std::memory_order_release);
    return false;
  }
  int64_t target = -1;
  for (int64_t ahead = 0; ahead < window && target < 0; ++ahead) {
    const int64_t frame = (current + ahead) % frameCount;
    if (frame >= decoder->unreachableFrom) continue;
    bool held = false;
    for (int i = 0; i < decoder->stockSize && !held; ++i)
      held = decoder->stock[i].state.load(std::memory_order_acquire) != kStockFree && decoder->stock[i].frame == frame;
    if (!held) target = frame;
  }
  if (target < 0) {
    decoder->threadState.store(kThreadIdle, std::memory_order_release);
    return false;
  }
  decoder->threadState.store(kThreadDecoding, std::memory_order_release);
  const int64_t decoded = decoder->decodedFrame.load(std::memory_order_relaxed);
  int result = 1;
  if (!decoder->pictureHeld || target < decoded)
    result = DecodeFromKeyFrame(decoder, target);  // Also the wrap back to the start.
  else if (target > decoded)
    result = DecodeTheoraPackets(decoder, target - decoded) < 0 ? 0 : 1;
  if (result <= 0 || !CopyPictureToStock(decoder, freeEntry)) {
    MarkUnreachable(decoder, target);
    return false;
  }
  freeEntry->state.store(kStockValid, std::memory_order_release);
  SignalFrameEvent(decoder);
  return true;
}

DWORD TheoraDecodeThread(LPVOID parameter) {
  auto* decoder = static_cast<TheoraMovieDecoder*>(parameter);
  while (!decoder->exitRequest.load(std::memory_order_acquire)) {
    const int pause = decoder->pauseRequest.load(std::memory_order_acquire);
    if (pause) {
      decoder->threadState.store(kThreadPaused, std::memory_order_release);
      decoder->pausedTicket.store(pause, std::memory_order_release);
      Sleep(1);
      continue;
    }
    if (decoder->seekRequest.load(std::memory_order_acquire)) {
      decoder->threadState.store(kThreadSeeking, std::memory_order_release);
      decoder->unreachableFrom = decoder->frameCount;
      const int64_t target = decoder->seekTarget.load(std::memory_order_relaxed);
      const int result = DecodeFromKeyFrame(decoder, target);
      if (result < 0) break;  // No page holds the target.
      if (result == 0) MarkUnreachable(decoder, target);
      decoder->seekRequest.store(0, std::memory_order_release);
      Sleep(0);
      continue;
    }
    // A frame decoded: straight on to the next. None to decode: wait for the main thread to want
    // something.
    if (!KeepTheoraStock(decoder)) {
      if (decoder->workEvent)
        WaitForSingleObject(decoder->workEvent, kWorkWaitMilliseconds);
      else
        Sleep(1);
    }
  }
  decoder->threadState.store(kThreadEnded, std::memory_order_release);
  SignalFrameEvent(decoder);
  return 0;
}

// ---- The main thread's side ----

bool ThreadEnded(const TheoraMovieDecoder* decoder) {
  return decoder->threadState.load(std::memory_order_acquire) == kThreadEnded;
}

// Polls briefly with yields, then with short sleeps.
void WaitRound(int round) { Sleep(round < 64 ? 0 : 1); }

// Stops the thread between rounds; false when it has ended instead.
bool PauseTheoraThread(TheoraMovieDecoder* decoder) {
  const int ticket = decoder->lastPauseTicket = decoder->lastPauseTicket % 0x7FFFFFFF + 1;
  decoder->pauseRequest.store(ticket, std::memory_order_release);
  SignalWorkEvent(decoder);
  for (int round = 0; decoder->pausedTicket.load(std::memory_order_acquire) != ticket; ++round) {
    if (ThreadEnded(decoder)) return false;
    WaitRound(round);
  }
  return true;
}

void CreateTheoraYuvSurface(TheoraMovieDecoder* decoder) {
  if (decoder->yuvSurface) decoder->yuvSurface->Release();
  decoder->yuvSurface = nullptr;
  decoder->yuvFourCc = 0;
  IDirect3DDevice9* device = GetMovieSurfaceDevice();
  if (!device) return;
  for (D3DFORMAT fourCc : kYuvFourCcs) {
    IDirect3DSurface9* surface = nullptr;
    if (SUCCEEDED(device->CreateOffscreenPlainSurface(decoder->info.width, decoder->info.height, fourCc,
                                                      D3DPOOL_DEFAULT, &surface, nullptr)) &&
        surface) {
      decoder->yuvSurface = surface;
      decoder->yuvFourCc = fourCc;
      return;
    }
  }
}

// The stock entry of the current frame, pinned; null when it cannot be had.
TheoraStockFrame* PinCurrentFrame(TheoraMovieDecoder* decoder) {
  const int64_t current = decoder->currentFrame.load(std::memory_order_relaxed);
  for (int round = 0;; ++round) {
    for (int i = 0; i < decoder->stockSize; ++i) {
      TheoraStockFrame& entry = decoder->stock[i];
      int expected = kStockValid;
      if (!entry.state.compare_exchange_strong(expected, kStockReading, std::memory_order_acquire)) continue;
      if (entry.frame == current) return &entry;
      entry.state.store(kStockValid, std::memory_order_release);
    }
    if (current >= decoder->endFrame.load(std::memory_order_acquire) || ThreadEnded(decoder)) return nullptr;
    if (decoder->frameEvent)
      WaitForSingleObject(decoder->frameEvent, kFrameWaitMilliseconds);
    else
      WaitRound(round);
  }
}

void CopyFrameToYuvSurface(TheoraMovieDecoder* decoder, const TheoraStockFrame& frame) {
  D3DLOCKED_RECT locked{};
  bool isLocked = false;
  for (int attempt = 0; attempt < 3 && decoder->yuvSurface && !isLocked; ++attempt) {
    isLocked = SUCCEEDED(decoder->yuvSurface->LockRect(&locked, nullptr, 0));
    if (!isLocked) CreateTheoraYuvSurface(decoder);
  }
  if (!isLocked) return;
  const int width = std::min<int>(frame.yWidth, static_cast<int>(decoder->info.width)) & ~1;
  const int height = std::min<int>(frame.yHeight, static_cast<int>(decoder->info.height)) & ~1;
  const bool is420 = frame.yWidth == 2 * frame.uvWidth && frame.yHeight == 2 * frame.uvHeight;
  auto* bits = static_cast<uint8_t*>(locked.pBits);
  const int pitch = locked.Pitch;
  if (is420 && decoder->yuvFourCc == kYuvFourCcs[0]) {
    for (int row = 0; row < height; ++row)
      std::memcpy(bits + row * pitch, frame.planes[0] + row * frame.yStride, static_cast<size_t>(width));
    // The chroma planes follow the surface's whole luma plane, at half its pitch.
    const int surfaceHeight = static_cast<int>(decoder->info.height);
    uint8_t* chroma = bits + surfaceHeight * pitch;
    for (const uint8_t* plane : {frame.planes[2], frame.planes[1]}) {
      for (int row = 0; row < height / 2; ++row)
        std::memcpy(chroma + row * (pitch / 2), plane + row * frame.uvStride, static_cast<size_t>(width / 2));
      chroma += (surfaceHeight / 2) * (pitch / 2);
    }
  } else if (is420) {
    const bool yuy2 = decoder->yuvFourCc == kYuvFourCcs[1];
    for (int row = 0; row < height; ++row) {
      const uint8_t* luma = frame.planes[0] + row * frame.yStride;
      const uint8_t* u = frame.planes[1] + (row / 2) * frame.uvStride;
      const uint8_t* v = frame.planes[2] + (row / 2) * frame.uvStride;
      uint8_t* out = bits + row * pitch;
      for (int column = 0; column < width; column += 2, out += 4) {
        const uint8_t y0 = luma[column], y1 = luma[column + 1], cb = u[column / 2], cr = v[column / 2];
        if (yuy2) {
          out[0] = y0, out[1] = cb, out[2] = y1, out[3] = cr;
        } else {
          out[0] = cb, out[1] = y0, out[2] = cr, out[3] = y1;
        }
      }
    }
  }
  decoder->yuvSurface->UnlockRect();
  decoder->yuvUpToDate.store(1, std::memory_order_relaxed);
}

void ConvertFrameToRgb(TheoraMovieDecoder* decoder, const TheoraStockFrame& frame) {
  const TheoraYuvPlanes picture{{frame.planes[0], frame.planes[1], frame.planes[2]},
                                frame.yWidth,
                                frame.yHeight,
                                frame.yStride,
                                frame.uvWidth,
                                frame.uvHeight,
                                frame.uvStride};
  BaseImage& image = decoder->rgbImage;
  ConvertTheoraPlanesToRgb(picture, image.pixels, image.pitch, image.width, image.height);
  decoder->rgbUpToDate.store(1, std::memory_order_relaxed);
}

}  // namespace

TheoraMovieDecoder* OpenTheoraDecoder(const FileFunctionTable* files, StreamHandle stream, int stockSize) {
  if (!files || stockSize <= 0) return nullptr;
  char magic[4];
  files->Seek(stream, 0, STREAM_SEEK_START);
  if (files->Read(magic, 1, 4, stream) != 4 || std::memcmp(magic, "OggS", 4) != 0) return nullptr;
  files->Seek(stream, 0, STREAM_SEEK_START);

  void* memory = ZV_ALLOC_ZEROED(sizeof(TheoraMovieDecoder));
  if (!memory) {
    AddLogText("Theora ムービーデコード処理用のメモリ確保に失敗しました\n");
    return nullptr;
  }
  auto* decoder = new (memory) TheoraMovieDecoder();
  decoder->currentFrame.store(-1);
  ogg_sync_init(&decoder->sync);
  theora_info_init(&decoder->info);
  theora_comment_init(&decoder->comment);
  decoder->files = *files;
  decoder->stream = stream;
  decoder->stockSize = stockSize;

  // Streams that cannot be played are refused quietly: the movie then goes another way.
  const theora_info& info = decoder->info;
  if (ReadTheoraHeaders(decoder) != 0 || info.fps_numerator == 0 || info.fps_denominator == 0 || info.width == 0 ||
      info.height == 0 || info.width > kLargestCodedSide || info.height > kLargestCodedSide ||
      theora_decode_init(&decoder->state, &decoder->info) != 0) {
    CloseTheoraDecoder(decoder);
    return nullptr;
  }
  if (IndexTheoraFile(decoder) != 0) {
    CloseTheoraDecoder(decoder);
    return nullptr;
  }
  if (decoder->frameCount == 0) {
    CloseTheoraDecoder(decoder);
    return nullptr;
  }
  decoder->endFrame.store(decoder->frameCount);
  decoder->unreachableFrom = decoder->frameCount;

  CreateTheoraYuvSurface(decoder);
  if (CreateXRGB8BaseImage(static_cast<int>(info.width), static_cast<int>(info.height), &decoder->rgbImage) != 0) {
    AddLogText("Theora ムービーデコードフレームストック用画像バッファの確保に失敗しました\n");
    CloseTheoraDecoder(decoder);
    return nullptr;
  }
  // Black until a frame comes, should none ever come.
  std::memset(decoder->rgbImage.pixels, 0, static_cast<size_t>(decoder->rgbImage.pitch) * decoder->rgbImage.height);
  const int64_t stockBytes = static_cast<int64_t>(sizeof(TheoraStockFrame)) * stockSize;
  void* stock = stockBytes <= 0x7FFFFFFF ? ZV_ALLOC_ZEROED(static_cast<int>(stockBytes)) : nullptr;
  if (!stock) {
    AddLogText("Theora ムービーデコードフレームストック用のメモリ確保に失敗しました\n");
    CloseTheoraDecoder(decoder);
    return nullptr;
  }
  decoder->stock = static_cast<TheoraStockFrame*>(stock);
  for (int i = 0; i < stockSize; ++i) new (&decoder->stock[i]) TheoraStockFrame();

  // The thread starts paused; the seek to frame 0 lets it go.
  decoder->lastPauseTicket = 1;
  decoder->pauseRequest.store(1);
  decoder->threadState.store(kThreadIdle);
  decoder->frameEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  decoder->workEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  decoder->thread = CreateThread(nullptr, 0, TheoraDecodeThread, decoder, 0, &decoder->threadId);
  if (!decoder->thread) {
    AddLogText("Theora ムービーデコード用スレッドの作成に失敗しました\n");
    CloseTheoraDecoder(decoder);
    return nullptr;
  }
  SeekTheoraFrame(decoder, 0);
  FetchTheoraFrame(decoder, 1, 1);
  return decoder;
}

int CloseTheoraDecoder(TheoraMovieDecoder* decoder) {
  if (!decoder) return 0;
  if (decoder->thread) {
    decoder->exitRequest.store(1, std::memory_order_release);
    SignalWorkEvent(decoder);
    while (!ThreadEnded(decoder)) Sleep(1);
    WaitForSingleObject(decoder->thread, INFINITE);
    CloseHandle(decoder->thread);
  }
  if (decoder->frameEvent) CloseHandle(decoder->frameEvent);
  if (decoder->workEvent) CloseHandle(decoder->workEvent);
  if (decoder->stock) {
    for (int i = 0; i < decoder->stockSize; ++i)
      for (uint8_t* plane : decoder->stock[i].planes)
        if (plane) ZV_FREE(plane);
    ZV_FREE(decoder->stock);
  }
  if (decoder->yuvSurface) decoder->yuvSurface->Release();
  if (decoder->pages) ZV_FREE(decoder->pages);
  if (decoder->keyFrames) ZV_FREE(decoder->keyFrames);
  ReleaseBaseImage(&decoder->rgbImage);
  ogg_stream_clear(&decoder->oggStream);
  theora_clear(&decoder->state);
  theora_comment_clear(&decoder->comment);
  theora_info_clear(&decoder->info);
  ogg_sync_clear(&decoder->sync);
  decoder->~TheoraMovieDecoder();
  ZV_FREE(decoder);
  return 0;
}

int GetTheoraInfo(TheoraMovieDecoder* decoder, TheoraInfo* out) {
  out->framesPerSecond = static_cast<double>(decoder->info.fps_numerator) / decoder->info.fps_denominator;
  out->frameCount = decoder->frameCount;
  out->width = static_cast<int>(decoder->info.width);
  out->height = static_cast<int>(decoder->info.height);
  return 0;
}

int64_t GetTheoraCurrentFrame(TheoraMovieDecoder* decoder) {
  return decoder->currentFrame.load(std::memory_order_relaxed);
}

BaseImage* GetTheoraImage(TheoraMovieDecoder* decoder) { return &decoder->rgbImage; }

IDirect3DSurface9* GetTheoraYuvSurface(TheoraMovieDecoder* decoder) { return decoder->yuvSurface; }

int AdvanceTheoraFrame(TheoraMovieDecoder* decoder, int64_t count) {
  if (count <= 0) return 0;
  const int64_t current = decoder->currentFrame.load(std::memory_order_relaxed);
  decoder->currentFrame.store((current + count % decoder->frameCount) % decoder->frameCount, std::memory_order_release);
  SignalWorkEvent(decoder);
  decoder->rgbUpToDate.store(0, std::memory_order_relaxed);
  decoder->yuvUpToDate.store(0, std::memory_order_relaxed);
  return 0;
}

int SeekTheoraFrame(TheoraMovieDecoder* decoder, int64_t frame) {
  frame = std::clamp<int64_t>(frame, 0, decoder->frameCount - 1);
  if (frame == decoder->currentFrame.load(std::memory_order_relaxed)) return 0;
  decoder->rgbUpToDate.store(0, std::memory_order_relaxed);
  decoder->yuvUpToDate.store(0, std::memory_order_relaxed);
  const bool paused = PauseTheoraThread(decoder);
  decoder->currentFrame.store(frame, std::memory_order_release);
  if (!paused) return 0;
  // The thread is paused: the stock is the main thread's until the pause ends.
  for (int i = 0; i < decoder->stockSize; ++i) decoder->stock[i].state.store(kStockFree, std::memory_order_relaxed);
  decoder->endFrame.store(decoder->frameCount, std::memory_order_relaxed);
  decoder->seekTarget.store(frame, std::memory_order_relaxed);
  decoder->seekRequest.store(1, std::memory_order_release);
  decoder->pauseRequest.store(0, std::memory_order_release);
  return 0;
}

int FetchTheoraFrame(TheoraMovieDecoder* decoder, int wantRgb, int wantYuv) {
  const bool needYuv = wantYuv && decoder->yuvSurface && !decoder->yuvUpToDate.load(std::memory_order_relaxed);
  const bool needRgb = wantRgb && !decoder->rgbUpToDate.load(std::memory_order_relaxed);
  if (!needYuv && !needRgb) return 0;  // No new frame: nothing to copy again.
  TheoraStockFrame* frame = PinCurrentFrame(decoder);
  if (!frame) return 0;
  if (needYuv) CopyFrameToYuvSurface(decoder, *frame);
  if (needRgb) ConvertFrameToRgb(decoder, *frame);
  frame->state.store(kStockValid, std::memory_order_release);
  return 1;
}
