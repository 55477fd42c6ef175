// The audio compression manager's codecs: each turns its source format into PCM frames, which
// one output stage (PcmOutput) maps to the destination's channels, rate and sample width.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/acm.h"

namespace acm {

// Decoded sound: interleaved 32-bit samples at full scale (a 16-bit sample s is s << 16).
typedef std::vector<int32_t> FrameBuffer;

class SourceDecoder {
 public:
  virtual ~SourceDecoder() = default;
  // The next piece of `source` that decodes on its own (a block, a frame, a run of PCM frames,
  // or bytes to skip): its length and the most frames it can give. False when `length` bytes
  // hold no whole piece; with `end`, a trailing part piece counts as whole. Codecs whose pieces
  // may be any number of frames keep them within `frameRoom` frames (at least one).
  virtual bool NextUnit(const BYTE* source, DWORD length, bool end, DWORD frameRoom, DWORD* unitBytes,
                        DWORD* maxFrames) = 0;
  // Decodes a piece that NextUnit found, replacing `out`'s contents; returns its frame count
  // (never more than NextUnit promised).
  virtual DWORD DecodeUnit(const BYTE* unit, DWORD bytes, FrameBuffer* out) = 0;
  // True for a codec whose sound is 16-bit to begin with and that can write it as it is: when the
  // output stage would only narrow the frames back (PcmOutput::PassesSixteenBits), the stream
  // calls DecodeUnitAsPcm16 instead of DecodeUnit and Write.
  virtual bool DecodesAsPcm16() const { return false; }
  // As DecodeUnit, but writes the frames as 16-bit PCM of the source's channels at `destination`,
  // which has room for what NextUnit promised.
  virtual DWORD DecodeUnitAsPcm16(const BYTE*, DWORD, BYTE*) { return 0; }
  // Forgets everything carried from earlier pieces.
  virtual void Reset() {}
  // At most how many frames `bytes` source bytes give.
  virtual uint64_t MaxFramesFor(uint64_t bytes) const = 0;
  // How many source bytes give at most `frames` frames.
  virtual uint64_t SourceBytesFor(uint64_t frames) const = 0;
};

// The framing of sources whose frames all take `frameBytes` bytes (linear PCM, G.711): pieces of
// whole frames, at most kFramesPerUnit of them so a long buffer converts in bounded scratch space.
class FixedFrameDecoder : public SourceDecoder {
 public:
  static constexpr DWORD kFramesPerUnit = 4096;

  bool NextUnit(const BYTE*, DWORD length, bool, DWORD frameRoom, DWORD* unitBytes, DWORD* maxFrames) override {
    DWORD frames = length / frameBytes_;
    if (frames == 0) return false;
    if (frames > kFramesPerUnit) frames = kFramesPerUnit;
    if (frames > frameRoom && frameRoom > 0) frames = frameRoom;
    *unitBytes = frames * frameBytes_;
    *maxFrames = frames;
    return true;
  }
  uint64_t MaxFramesFor(uint64_t bytes) const override { return bytes / frameBytes_; }
  uint64_t SourceBytesFor(uint64_t frames) const override { return frames * frameBytes_; }

 protected:
  explicit FixedFrameDecoder(DWORD frameBytes) : frameBytes_(frameBytes) {}

  DWORD frameBytes_;
};

// One codec of the table: the source format tag it reads.
struct SourceCodec {
  WORD formatTag;
  // True when the whole format block (cbSize extra bytes included) describes sound it decodes.
  bool (*Accepts)(const WAVEFORMATEX* format);
  // Bits per sample of the PCM it suggests.
  WORD (*SuggestedBits)(const WAVEFORMATEX* format);
  std::unique_ptr<SourceDecoder> (*Create)(const WAVEFORMATEX* format);
};

// The codec that reads `format`, or null.
const SourceCodec* FindSourceCodec(const WAVEFORMATEX* format);

bool AcceptsPcm(const WAVEFORMATEX* format);
// Float or extensible sound of a layout the PCM codec reads.
bool AcceptsSampleFormat(const WAVEFORMATEX* format);
WORD PcmSuggestedBits(const WAVEFORMATEX* format);
WORD SixteenBits(const WAVEFORMATEX* format);
std::unique_ptr<SourceDecoder> CreatePcmDecoder(const WAVEFORMATEX* format);
bool AcceptsMuLaw(const WAVEFORMATEX* format);
bool AcceptsALaw(const WAVEFORMATEX* format);
std::unique_ptr<SourceDecoder> CreateMuLawDecoder(const WAVEFORMATEX* format);
std::unique_ptr<SourceDecoder> CreateALawDecoder(const WAVEFORMATEX* format);
bool AcceptsImaAdpcm(const WAVEFORMATEX* format);
std::unique_ptr<SourceDecoder> CreateImaAdpcmDecoder(const WAVEFORMATEX* format);
bool AcceptsMsAdpcm(const WAVEFORMATEX* format);
std::unique_ptr<SourceDecoder> CreateMsAdpcmDecoder(const WAVEFORMATEX* format);
bool AcceptsMpegAudio(const WAVEFORMATEX* format);
std::unique_ptr<SourceDecoder> CreateMpegAudioDecoder(const WAVEFORMATEX* format);

// True for a PCM destination the output stage writes.
bool IsWritablePcm(const WAVEFORMATEX* format);
// True when the output stage maps `from` channels to `to` channels.
bool ChannelsConvertible(int from, int to);

// Decoded frames to destination PCM: channels (same count, 1 to 2, 2 to 1), rate (linear
// interpolation; a frame is given out once the source frame after it is known, or at the end),
// sample width (8-bit unsigned, 16/24/32-bit signed, truncated).
class PcmOutput {
 public:
  PcmOutput(int sourceChannels, DWORD sourceRate, const WAVEFORMATEX& destination);
  void Reset();
  // At most how many destination frames `frames` more source frames bring out.
  uint64_t MaxOutputFrames(uint64_t frames) const;
  // Writes what `frames` source frames bring out; returns the bytes written.
  DWORD Write(const FrameBuffer& source, DWORD frames, BYTE* destination);
  // Gives out the frames held back for want of the next source frame; returns the bytes written,
  // at most `room`.
  DWORD Flush(BYTE* destination, DWORD room);
  DWORD DestinationBlockAlign() const { return blockAlign_; }
  // True when Write would give each 16-bit source sample back as it was: the same channels and
  // rate, a 16-bit destination.
  bool PassesSixteenBits() const { return sourceChannels_ == channels_ && sourceRate_ == rate_ && bits_ == 16; }

 private:
  void EncodeFrame(const int32_t* frame, BYTE* out) const;
  int sourceChannels_;
  int channels_;
  DWORD sourceRate_;
  DWORD rate_;
  int bits_;
  DWORD blockAlign_;
  // Resampling: frames seen so far, frames given out, and the last frame seen (mapped channels).
  uint64_t inputSeen_ = 0;
  uint64_t outputGiven_ = 0;
  std::vector<int32_t> lastFrame_;
  FrameBuffer mapped_;
};

}  // namespace acm
