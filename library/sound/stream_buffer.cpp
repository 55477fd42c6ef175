// The pieces a stream sound's refill and position lean on: who may use the stream buffer,
// converted PCM and silence written into the locked window, the move to the next pass, entry or
// end when an entry's data run out, and the count of bytes the play cursor moved over.
#include <algorithm>

#include "sound/stream_sound.h"

namespace {

// Where the next byte goes into the window, as an offset in a buffer of `length` bytes.
int WindowWriteOffset(const RefillWindow& window, int length) {
  if (window.firstFree > 0 || !window.secondPart) {
    const int offset = window.lockOffset + window.firstSize - window.firstFree;
    return offset >= length ? offset - length : offset;
  }
  return window.secondSize - window.secondFree;
}

void SeekEntry(StreamSoundEntry& entry, int frame) { SetPcmConverterSampleTime(&entry.converter, frame); }

// A stream sound loses the buffer to another sound: what it had buffered but not yet played is
// overwritten, so its conversion steps back to the cursor and it primes afresh when it plays
// again. Where the unplayed bytes span the end of a pass this is not known exactly; the sound
// then resumes where its conversion stood.
void RewindTakenStream(SoundRecord* record, int cursor) {
  StreamSoundPart& stream = record->stream;
  const int length = stream.bufferLength;
  if (!stream.playing || stream.writePosition == kStreamNotPrimed || length <= 0) return;
  if (stream.stopping) {
    const int end = stream.endWritePosition;
    const bool dataLeft = stream.endValue <= end ? (cursor >= stream.endValue && cursor < end)
                                                 : (cursor >= stream.endValue || cursor < end);
    stream.stopping = 0;
    if (!dataLeft) {
      stream.currentEntry = stream.entryCount;  // Priming starts it over.
      return;
    }
    const int last = stream.entryCount - 1;
    const int unplayed = (end - cursor + length) % length;
    const int size = GetPcmConvertedSize(&stream.entries[last].converter);
    stream.currentEntry = last;
    stream.loopCounter = stream.entries[last].loopCount > 0 ? stream.entries[last].loopCount : 0;
    stream.restartOffset = size > unplayed ? size - unplayed : 0;
    stream.allEntriesPlayed = 0;
    return;
  }
  const int unplayed = (stream.writePosition - cursor + length) % length;
  if (!stream.endMarkPending && stream.restartOffset >= unplayed) stream.restartOffset -= unplayed;
  stream.endMarkPending = 0;
}

}  // namespace

StreamSizes StreamSizesOf(const WAVEFORMATEX& format) {
  const int64_t average = format.nAvgBytesPerSec;
  const int64_t align = format.nBlockAlign > 0 ? format.nBlockAlign : 1;
  const int64_t threeQuarters = (average * 192) >> 8;
  StreamSizes sizes;
  sizes.bufferLength = static_cast<int>(align * (((average & 0xFFFFFF) + align - 1) / align));
  sizes.refillLead = static_cast<int>(align * ((threeQuarters + align - 1) / align));
  sizes.primeAmount = static_cast<int>(align * (threeQuarters / align));
  sizes.step = static_cast<int>(align * ((average / 8) / align));
  return sizes;
}

int ClaimStreamSoundBuffer(int handle, SoundRecord* record, SoundBufferEntry** buffer, int force) {
  *buffer = &record->buffers[0];
  if (!record->streamFlag) return 0;
  SoundRecord* owner = record;
  if (record->stream.referredHandle != -1) {
    owner = GetSoundRecord(record->stream.referredHandle);
    if (!owner) return -1;
    *buffer = &owner->buffers[0];
  }
  const int user = owner->stream.bufferUser;
  if (user != -1 && user != handle) {
    if (!force) return -1;
    StopStreamSoundHandle(user);
    // The new user's data overwrite the old user's in the buffer, so the old user primes afresh
    // when it plays again instead of resuming on the other sound's samples.
    SoundRecord* previous = GetSoundRecord(user);
    if (previous && previous->streamFlag) {
      int cursor = 0;
      if (SndBufGetPlayPosition(*buffer, &cursor) == 0) RewindTakenStream(previous, cursor);
      previous->stream.playing = 0;
    }
  }
  owner->stream.bufferUser = handle;
  return 0;
}

int CopyStreamSoundData(RefillWindow* window, PcmConverter* converter, int bytes) {
  int total = 0;
  while (total < bytes) {
    const bool first = window->firstFree > 0;
    if (!first && window->secondFree <= 0) break;
    uint8_t* at = first ? window->firstPart + window->firstWritten : window->secondPart + window->secondWritten;
    const int room = first ? window->firstFree : window->secondFree;
    const int delivered = ConvertPcm(converter, at, std::min(room, bytes - total));
    if (delivered <= 0) break;
    if (first) {
      window->firstWritten += delivered;
      window->firstFree -= delivered;
    } else {
      window->secondWritten += delivered;
      window->secondFree -= delivered;
    }
    total += delivered;
  }
  return total;
}

void FillStreamSilence(SoundRecord* record, RefillWindow* window, int bytes) {
  // 127, not 128: what 8-bit streams have always been padded with.
  const uint8_t silence = record->format.wBitsPerSample == 8 ? 127 : 0;
  const int intoFirst = std::max(0, std::min(bytes, window->firstFree));
  FillBytes(window->firstPart + window->firstWritten, silence, intoFirst);
  window->firstWritten += intoFirst;
  window->firstFree -= intoFirst;
  const int intoSecond = std::max(0, std::min(bytes - intoFirst, window->secondFree));
  if (intoSecond > 0) {
    FillBytes(window->secondPart + window->secondWritten, silence, intoSecond);
    window->secondWritten += intoSecond;
    window->secondFree -= intoSecond;
  }
}

int AdvanceStreamEntry(SoundRecord* record, RefillWindow* window, int playCursor) {
  StreamSoundPart& stream = record->stream;
  const int align = record->format.nBlockAlign;
  ++stream.loopCounter;
  StreamSoundEntry& entry = stream.entries[stream.currentEntry];

  // One end mark can be pending: the next pass waits until the cursor has passed it, so that the
  // position can start counting again from the mark.
  if (entry.loopCount == -1) {
    if (stream.endMarkPending) return 0;
    stream.restartOffset = static_cast<int64_t>(align) * entry.loopStart;
    stream.playedBytesAtEndMark = stream.restartOffset;
    stream.endMarkPending = 1;
    stream.endMarkPosition = WindowWriteOffset(*window, stream.bufferLength);
    SeekEntry(entry, entry.loopStart);
    return 0;
  }
  if (stream.loopCounter <= entry.loopCount) {
    stream.restartOffset = 0;
    SeekEntry(entry, 0);
    return 0;
  }

  const bool lastEntry = stream.currentEntry == stream.entryCount - 1;
  if (lastEntry && stream.playType == SOUND_PLAY_LOOP && stream.endMarkPending) return 0;
  stream.loopCounter = 0;
  ++stream.currentEntry;
  if (stream.currentEntry < stream.entryCount) {
    stream.restartOffset = 0;
    SeekEntry(stream.entries[stream.currentEntry], 0);
    return 0;
  }
  stream.allEntriesPlayed = 1;
  if (stream.playType == SOUND_PLAY_LOOP) {
    stream.currentEntry = 0;
    stream.playedBytesAtEndMark = 0;
    stream.endMarkPending = 1;
    stream.endMarkPosition = WindowWriteOffset(*window, stream.bufferLength);
    stream.restartOffset = 0;
    SeekEntry(stream.entries[0], 0);
    return 0;
  }
  stream.stopping = 1;
  stream.endWritePosition = WindowWriteOffset(*window, stream.bufferLength);
  stream.endValue = playCursor;
  FillStreamSilence(record, window, align * ((static_cast<int>(record->format.nAvgBytesPerSec) / 8) / align));
  return -1;
}

int UpdateStreamPlayCount(int handle, int cursor) {
  SoundRecord* record = GetSoundRecord(handle);
  if (!record) return -1;
  if (!record->streamFlag) return 0;
  SoundBufferEntry* buffer = nullptr;
  if (ClaimStreamSoundBuffer(handle, record, &buffer, 0) != 0) return 0;
  StreamSoundPart& stream = record->stream;
  if (!stream.playing) return 0;
  if (cursor == -1 && SndBufGetPlayPosition(buffer, &cursor) != 0) return 0;
  const int length = stream.bufferLength;
  const int last = stream.lastPlayCursor;
  if (cursor == last) return 0;
  const bool wrapped = cursor < last;
  if (stream.endMarkPending) {
    const int mark = stream.endMarkPosition;
    // A mark exactly at the cursor counts as passed in both cases; otherwise a mark met right
    // after a wrap would never be seen again.
    const bool passed = wrapped ? (mark > last || mark <= cursor) : (mark > last && mark <= cursor);
    if (passed) {
      stream.playedBytes = stream.playedBytesAtEndMark + (mark <= cursor ? cursor - mark : length - mark + cursor);
      stream.endMarkPending = 0;
      stream.lastPlayCursor = cursor;
      return 0;
    }
  }
  stream.playedBytes += wrapped ? length - last + cursor : cursor - last;
  stream.lastPlayCursor = cursor;
  return 0;
}
