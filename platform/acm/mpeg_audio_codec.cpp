// MPEG audio sources (Layers I to III) over libmpg123, fed whole frames: a piece is every whole
// frame at the start of what the caller offers, fed in one call.
//
// Feeding whole frames without read-ahead means every frame's sound comes out in the call that
// consumed it: nothing waits inside libmpg123 when the source ends. Should the library still hand
// out more than the piece's worth, the rest is carried to the next piece and counted in its
// promise, so no decoded sample is ever dropped. Bytes that do not start a frame are skipped as
// pieces of their own. Gapless trimming (the encoder's delay and padding, from a LAME/Xing info
// frame) is libmpg123's own. The libmpg123 handle is made when the first frame arrives, so a
// stream that is opened and never used (a spare for backward seeks) costs nothing. libmpg123's
// 16-bit samples are copied straight to the destination when the output stage would only narrow
// them back (same channels and rate, 16-bit PCM), and widened for the output stage otherwise.
#include <mpg123.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

#include "acm/codec.h"
#include "platform/mpeg_audio.h"

namespace acm {

namespace {

// More frames than any real sound holds (over six hours at 44.1 kHz).
constexpr uint32_t kMostInformationFrames = 1u << 20;

// True when one of the `count` bytes from `p` on is 'X' or 'I', looked at eight at a time.
bool HoldsTagLetter(const BYTE* p, DWORD count) {
  constexpr uint64_t kOnes = 0x0101010101010101u;
  constexpr uint64_t kHighBits = 0x8080808080808080u;
  auto holdsByte = [&](uint64_t word, BYTE letter) {
    const uint64_t v = word ^ (kOnes * letter);  // A zero byte where the letter is.
    return ((v - kOnes) & ~v & kHighBits) != 0;
  };
  DWORD at = 0;
  for (; at + 8 <= count; at += 8) {
    uint64_t word;
    std::memcpy(&word, p + at, 8);
    if (holdsByte(word, 'X') || holdsByte(word, 'I')) return true;
  }
  for (; at < count; ++at)
    if (p[at] == 'X' || p[at] == 'I') return true;
  return false;
}

// True for a Xing/Info information frame whose frame count is beyond any real sound. libmpg123's
// gapless set-up takes time in proportion to that count (half a minute for 2^31), so such a frame
// is decoded as plain sound instead.
bool ClaimsAbsurdLength(const BYTE* frame, DWORD bytes) {
  if (bytes < 4 + 12) return false;
  // Most frames hold neither tag's first letter where a tag may start: a quick scan tells.
  if (!HoldsTagLetter(frame + 4, std::min<DWORD>(bytes - 12, 4 + 2 + 32) - 4 + 1)) return false;
  for (DWORD at = 4; at + 12 <= bytes && at <= 4 + 2 + 32; ++at) {
    if (std::memcmp(frame + at, "Xing", 4) != 0 && std::memcmp(frame + at, "Info", 4) != 0) continue;
    const BYTE* p = frame + at + 4;
    const uint32_t flags = static_cast<uint32_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
    const uint32_t frames = static_cast<uint32_t>(p[4]) << 24 | p[5] << 16 | p[6] << 8 | p[7];
    return (flags & 1) && frames > kMostInformationFrames;
  }
  return false;
}

// Idle libmpg123 handles kept for the next sound: making one clears some hundred kilobytes of
// tables, and a game loads its short effects one after another.
struct IdleHandle {
  mpg123_handle* handle;
  long defaultFlags;
};
struct HandlePool {
  std::mutex lock;
  std::vector<IdleHandle> idle;
};
constexpr size_t kMostIdleHandles = 4;

HandlePool& Pool() {
  static HandlePool* pool = new HandlePool;  // Lives to the end: decoders may close at exit.
  return *pool;
}

mpg123_handle* TakeHandle(long* defaultFlags) {
  {
    HandlePool& pool = Pool();
    std::lock_guard<std::mutex> guard(pool.lock);
    if (!pool.idle.empty()) {
      const IdleHandle taken = pool.idle.back();
      pool.idle.pop_back();
      *defaultFlags = taken.defaultFlags;
      return taken.handle;
    }
  }
  int error = 0;
  mpg123_handle* handle = mpg123_new(nullptr, &error);
  if (!handle) return nullptr;
  double unused = 0;
  if (mpg123_getparam(handle, MPG123_FLAGS, defaultFlags, &unused) != MPG123_OK) *defaultFlags = 0;
  return handle;
}

void GiveBackHandle(mpg123_handle* handle, long defaultFlags) {
  mpg123_close(handle);
  {
    HandlePool& pool = Pool();
    std::lock_guard<std::mutex> guard(pool.lock);
    if (pool.idle.size() < kMostIdleHandles) {
      pool.idle.push_back({handle, defaultFlags});
      return;
    }
  }
  mpg123_delete(handle);
}

class MpegAudioDecoder : public SourceDecoder {
 public:
  explicit MpegAudioDecoder(const WAVEFORMATEX* format)
      : channels_(format->nChannels), rate_(format->nSamplesPerSec), averageBytes_(format->nAvgBytesPerSec) {
    static std::once_flag initialised;
    std::call_once(initialised, [] { mpg123_init(); });
  }
  ~MpegAudioDecoder() override { Close(); }

  bool NextUnit(const BYTE* source, DWORD length, bool end, DWORD frameRoom, DWORD* unitBytes,
                DWORD* maxFrames) override {
    foundAt_ = nullptr;
    if (length == 0) return false;
    *maxFrames = CarriedFrames();
    if (length < 4) {
      if (!end) return false;
      *unitBytes = length;
      return true;
    }
    platform::MpegAudioFrameHeader header;
    if (!platform::ReadSizedMpegAudioFrameHeader(source, &header)) {
      // Skip to the next byte that may start a frame.
      DWORD skip = 1;
      while (skip < length && source[skip] != 0xFF) ++skip;
      *unitBytes = skip;
      return true;
    }
    if (header.frameLength > length) {
      if (!end) return false;
      *unitBytes = length;
      return true;
    }
    // As many whole frames as the room takes (at least one, as a single frame was always offered).
    const DWORD room = frameRoom > CarriedFrames() ? frameRoom - CarriedFrames() : 0;
    found_ = WalkFrames(source, length, room);
    foundAt_ = source;
    *unitBytes = found_.bytes;
    *maxFrames = found_.samples + CarriedFrames();
    return true;
  }

  DWORD DecodeUnit(const BYTE* unit, DWORD bytes, FrameBuffer* out) override {
    const Piece piece = PieceAt(unit, bytes);
    scratch_.resize(PromisedSamples(piece) * 2);
    const DWORD frames = Decode(unit, bytes, piece, scratch_.data());
    const size_t count = static_cast<size_t>(frames) * channels_;
    out->resize(count);
    int32_t* to = out->data();
    for (size_t i = 0; i < count; ++i) {
      int16_t sample;
      std::memcpy(&sample, scratch_.data() + 2 * i, 2);
      to[i] = sample * (1 << 16);
    }
    return frames;
  }

  bool DecodesAsPcm16() const override { return true; }
  DWORD DecodeUnitAsPcm16(const BYTE* unit, DWORD bytes, BYTE* destination) override {
    return Decode(unit, bytes, PieceAt(unit, bytes), destination);
  }

  void Reset() override {
    Close();
    carried_.clear();
    foundAt_ = nullptr;
  }

  uint64_t MaxFramesFor(uint64_t bytes) const override {
    // From the average rate, with room for variable bit rates and the frames at either end.
    const uint64_t average = averageBytes_ ? averageBytes_ : 1000;
    return bytes * rate_ / average * 2 + 2 * 1152;
  }
  uint64_t SourceBytesFor(uint64_t frames) const override {
    const uint64_t average = averageBytes_ ? averageBytes_ : 1000;
    return frames * average / rate_;
  }

 private:
  void Open() {
    handle_ = TakeHandle(&defaultFlags_);
    if (!handle_) return;
    // Whole frames are fed, so no read-ahead is needed to trust the first one. The flags are set
    // whole, as a handle used before may carry flags of another sound.
    mpg123_param(
        handle_, MPG123_FLAGS,
        defaultFlags_ | MPG123_QUIET | MPG123_NO_READAHEAD | (channels_ == 1 ? MPG123_MONO_MIX : MPG123_FORCE_STEREO),
        0);
    mpg123_format_none(handle_);
    mpg123_format(handle_, static_cast<long>(rate_), channels_ == 1 ? MPG123_MONO : MPG123_STEREO,
                  MPG123_ENC_SIGNED_16);
    if (mpg123_open_feed(handle_) != MPG123_OK) {
      mpg123_delete(handle_);
      handle_ = nullptr;
    }
  }
  void Close() {
    if (handle_) GiveBackHandle(handle_, defaultFlags_);
    handle_ = nullptr;
  }
  DWORD CarriedFrames() const { return static_cast<DWORD>(carried_.size() / 2 / channels_); }

  // The whole frames that follow each other from a piece's start: their bytes, how many, the
  // samples they hold, and whether one claims an absurd length; the piece is whole when the
  // frames fill it.
  struct Piece {
    DWORD bytes;
    DWORD frames;
    DWORD samples;
    bool absurd;
    bool whole;
  };
  // Walks the whole frames from `source` on (the first must be one for any to count), no more of
  // them than `room` samples hold beyond the first.
  static Piece WalkFrames(const BYTE* source, DWORD length, DWORD room) {
    Piece piece{0, 0, 0, false, false};
    platform::MpegAudioFrameHeader header;
    while (length - piece.bytes >= 4 && platform::ReadSizedMpegAudioFrameHeader(source + piece.bytes, &header) &&
           header.frameLength <= length - piece.bytes &&
           (piece.bytes == 0 || piece.samples + header.samplesPerFrame <= room)) {
      piece.absurd = piece.absurd || ClaimsAbsurdLength(source + piece.bytes, header.frameLength);
      piece.bytes += header.frameLength;
      piece.samples += header.samplesPerFrame;
      ++piece.frames;
    }
    piece.whole = length >= 4 && piece.bytes == length;
    return piece;
  }
  // The piece DecodeUnit is given: the one NextUnit just found, walked again only when it is not.
  // The found piece serves one decode, so that a later piece at the same address is walked anew.
  Piece PieceAt(const BYTE* unit, DWORD bytes) {
    const BYTE* foundAt = foundAt_;
    foundAt_ = nullptr;
    if (unit == foundAt && bytes == found_.bytes) {
      Piece piece = found_;
      piece.whole = bytes >= 4;
      return piece;
    }
    return WalkFrames(unit, bytes, 0xFFFFFFFFu);
  }
  // What NextUnit promised for this piece, in samples: the carried frames and the piece's own.
  size_t PromisedSamples(const Piece& piece) const {
    return (static_cast<size_t>(piece.whole ? piece.samples : 0) + CarriedFrames()) * channels_;
  }

  // Decodes the piece as 16-bit samples at `to`, which has room for what NextUnit promised: the
  // carried samples first, then the piece's own, as libmpg123 writes them. What goes beyond the
  // promise, and a part frame at the end, is carried to the next piece. Returns the frames written.
  DWORD Decode(const BYTE* unit, DWORD bytes, const Piece& piece, BYTE* to) {
    const size_t promised = PromisedSamples(piece) * 2;  // In bytes from here on.
    size_t written = std::min(carried_.size(), promised);
    if (written > 0) std::memcpy(to, carried_.data(), written);
    carried_.erase(carried_.begin(), carried_.begin() + static_cast<std::ptrdiff_t>(written));
    if (piece.whole && !handle_) Open();
    if (handle_ && piece.whole) {
      if (piece.absurd) mpg123_param(handle_, MPG123_ADD_FLAGS, MPG123_IGNORE_INFOFRAME, 0);
      if (mpg123_feed(handle_, unit, bytes) == MPG123_OK) {
        // Each frame in gives one frame out (after a format notice); a hostile stream gets no
        // more calls than that, and whatever libmpg123 still holds comes out with the next piece.
        for (DWORD call = 0; call < piece.frames + 3; ++call) {
          off_t frameNumber;
          unsigned char* audio;
          size_t audioBytes;
          const int result = mpg123_decode_frame(handle_, &frameNumber, &audio, &audioBytes);
          if (result == MPG123_NEW_FORMAT) continue;
          if (result != MPG123_OK) break;
          audioBytes &= ~static_cast<size_t>(1);
          const size_t fits = std::min(audioBytes, promised - written);
          if (fits > 0) std::memcpy(to + written, audio, fits);
          written += fits;
          carried_.insert(carried_.end(), audio + fits, audio + audioBytes);
        }
      }
    }
    // Only whole frames are given out.
    const size_t frameBytes = 2 * static_cast<size_t>(channels_);
    const size_t given = written / frameBytes * frameBytes;
    carried_.insert(carried_.begin(), to + given, to + written);
    return static_cast<DWORD>(given / frameBytes);
  }

  mpg123_handle* handle_ = nullptr;
  long defaultFlags_ = 0;
  std::vector<BYTE> carried_;      // Decoded 16-bit samples, not yet given out.
  std::vector<BYTE> scratch_;      // DecodeUnit's 16-bit samples before they are widened.
  const BYTE* foundAt_ = nullptr;  // Where the piece NextUnit found last starts, or null.
  Piece found_{};
  DWORD channels_;
  DWORD rate_;
  DWORD averageBytes_;
};

}  // namespace

bool AcceptsMpegAudio(const WAVEFORMATEX* format) {
  if (format->nChannels < 1 || format->nChannels > 2) return false;
  switch (format->nSamplesPerSec) {
    case 8000:
    case 11025:
    case 12000:
    case 16000:
    case 22050:
    case 24000:
    case 32000:
    case 44100:
    case 48000:
      return true;
    default:
      return false;
  }
}

std::unique_ptr<SourceDecoder> CreateMpegAudioDecoder(const WAVEFORMATEX* format) {
  return std::make_unique<MpegAudioDecoder>(format);
}

}  // namespace acm
