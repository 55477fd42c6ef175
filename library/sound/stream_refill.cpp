// The refill round of stream sounds: every 30 ms on the sound thread, or once a frame from
// message processing on a one-processor machine. A round converts what is due (one eighth of a
// second in steady state, more when less than 0.375 s is buffered) straight into the locked
// stream buffer, and after the last data writes silence until the cursor has passed their end.
#include "sound/stream_sound.h"

namespace {

// A round gives up after this many moves on without a byte delivered in between (every pass of
// three entries that each loop 127 times), so that data that cannot go on never hang it.
constexpr int kMostBarrenAdvances = kStreamEntriesUsed * 129 + 1;

// True when `cursor` lies in the stretch from `from` forward to `to` (not included), wrapping at
// the end of the buffer.
bool InStretch(int cursor, int from, int to) {
  if (from <= to) return cursor >= from && cursor < to;
  return cursor >= from || cursor < to;
}

void FinishStream(StreamSoundPart& stream, SoundBufferEntry* buffer) {
  SndBufStop(buffer);
  stream.stopping = 0;
  RewindStreamSound(stream);
}

bool LockWindow(SoundBufferEntry* buffer, int offset, int bytes, RefillWindow* window) {
  void* first = nullptr;
  void* second = nullptr;
  int firstSize = 0;
  int secondSize = 0;
  if (SndBufLock(offset, buffer, bytes, &first, &firstSize, &second, &secondSize) != 0) return false;
  *window = RefillWindow{
      offset,    static_cast<uint8_t*>(first), static_cast<uint8_t*>(second), firstSize, secondSize, 0, 0, firstSize,
      secondSize};
  return true;
}

void UnlockWindow(SoundBufferEntry* buffer, const RefillWindow& window) {
  SndBufUnlock(buffer, window.firstPart, window.firstSize, window.secondPart, window.secondSize);
}

// Converts up to `bytes` into the window, moving through passes and entries, until the amount is
// written or the data have ended.
void FillFromEntries(SoundRecord* record, RefillWindow* window, int bytes, int cursor) {
  StreamSoundPart& stream = record->stream;
  int remaining = bytes;
  int barrenAdvances = 0;
  while (remaining > 0 && !stream.stopping && stream.currentEntry < stream.entryCount) {
    const int delivered = CopyStreamSoundData(window, &stream.entries[stream.currentEntry].converter, remaining);
    if (delivered > 0) {
      remaining -= delivered;
      stream.restartOffset += delivered;
      barrenAdvances = 0;
      continue;
    }
    if (++barrenAdvances > kMostBarrenAdvances) break;
    AdvanceStreamEntry(record, window, cursor);
    // An entry still at its end waits for the cursor to pass its end mark: the rest of the
    // amount is left for a later round.
    if (!stream.stopping && stream.currentEntry < stream.entryCount &&
        stream.entries[stream.currentEntry].converter.end)
      break;
  }
}

}  // namespace

int RefillStreamSound(int handle) {
  if (!g_soundOptions.directSound) return -1;
  SoundRecord* record = LockSoundRecord(handle);
  if (!record) return -1;
  SoundBufferEntry* buffer = nullptr;
  StreamSoundPart& stream = record->stream;
  if (!record->streamFlag || ClaimStreamSoundBuffer(handle, record, &buffer, 0) != 0 || !stream.playing) {
    UnlockSound();
    return 0;
  }
  UpdateStreamPlayCount(handle, -1);
  int cursor = 0;
  if (SndBufGetPlayPosition(buffer, &cursor) != 0) cursor = 0;
  const StreamSizes sizes = StreamSizesOf(record->format);
  const int length = stream.bufferLength;
  RefillWindow window{};
  bool priming = false;

  if (stream.stopping) {
    // Finished once the cursor has left the stretch that still held data when the end was
    // written (from where the cursor stood then up to the end). Asking only whether it lies past
    // the end would miss a cursor that has wrapped meanwhile, and play silent laps.
    if (!InStretch(cursor, stream.endValue, stream.endWritePosition)) {
      FinishStream(stream, buffer);
      UnlockSound();
      return 0;
    }
    if (!InStretch(cursor, stream.refillMark, stream.writePosition) ||
        !LockWindow(buffer, stream.writePosition, sizes.step, &window)) {
      UnlockSound();
      return 0;
    }
    FillStreamSilence(record, &window, sizes.step);
  } else {
    DWORD status = 0;
    const bool bufferPlaying = SndBufGetStatus(buffer, &status) == 0 && (status & DSBSTATUS_PLAYING);
    int amount = sizes.step;
    int offset = stream.writePosition;
    if (!bufferPlaying) {
      if (stream.writePosition != kStreamNotPrimed) {
        UnlockSound();
        return 0;
      }
      priming = true;
      amount = sizes.primeAmount;
      offset = 0;
    } else {
      if (!InStretch(cursor, stream.refillMark, stream.writePosition)) {
        UnlockSound();
        return -1;
      }
      const int64_t average = record->format.nAvgBytesPerSec;
      const int align = record->format.nBlockAlign;
      const int64_t buffered = stream.writePosition >= cursor ? stream.writePosition - cursor
                                                              : stream.writePosition + length - cursor;
      // Buffered time in 1/512 s; under 0.375 s the round tops the buffer up by more than a step.
      const int64_t buffered512 = buffered * 512 / average;
      if (buffered512 < 192) amount = static_cast<int>(align * ((((192 - buffered512) * average) >> 9) / align));
    }
    if (amount <= 0 || !LockWindow(buffer, offset, amount, &window)) {
      UnlockSound();
      return 0;
    }
    FillFromEntries(record, &window, amount, cursor);
  }
  UnlockWindow(buffer, window);

  const int written = window.firstWritten + window.secondWritten;
  if (priming) {
    stream.writePosition = written;
    stream.refillMark = 0;
  } else {
    stream.writePosition += written;
    if (stream.writePosition >= length) stream.writePosition -= length;
    stream.refillMark = stream.writePosition - sizes.refillLead;
    if (stream.refillMark < 0) stream.refillMark += length;
  }
  UnlockSound();
  return 0;
}

int UpdateStreamSounds() {
  if (!g_soundOptions.directSound) return -1;
  LockSound();
  HandleChainNode* node = g_soundOptions.streamChainHead.next;
  while (node && node != &g_soundOptions.streamChainTail) {
    HandleChainNode* next = node->next;
    const SoundRecord* record = static_cast<const SoundRecord*>(node->data);
    if (record && record->stream.playing) RefillStreamSound(node->handle);
    node = next;
  }
  UnlockSound();
  return 0;
}
