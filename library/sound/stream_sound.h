// Stream sounds: PCM converted while it plays, through one looping buffer of one second (the
// sound's own, or that of another stream sound of the same format) that a refill round keeps
// about three quarters of a second ahead of the play cursor. Everything here runs under the
// sound lock.
#pragma once

#include "sound/sound_records.h"

constexpr int kStreamEntriesUsed = 3;
// The write position of a stream that has not been primed.
constexpr int kStreamNotPrimed = -800;
// The bit that tells looping from playing once: set in SOUND_PLAY_LOOP, clear in the wait and
// background types.
constexpr int kPlayTypeLoopBit = 2;

// What one refill has locked of the stream buffer. The second part (null when the lock did not
// wrap) begins at offset 0.
struct RefillWindow {
  int lockOffset;
  uint8_t* firstPart;
  uint8_t* secondPart;
  int firstSize;
  int secondSize;
  int firstWritten;
  int secondWritten;
  int firstFree;
  int secondFree;
};

// The byte counts of a stream of one PCM format, from its average bytes per second and its block
// align.
struct StreamSizes {
  int bufferLength;  // One second in whole frames
  int refillLead;    // Three quarters of a second, rounded up to whole frames
  int primeAmount;   // Three quarters of a second, rounded down
  int step;          // One eighth of a second, rounded down
};
StreamSizes StreamSizesOf(const WAVEFORMATEX& format);

// ---- Buffer sharing, refill steps and play count ----
// The buffer the sound plays through (its own, or the one of the sound it refers to), taken for
// `handle`. Without force another user makes it fail; with force that user is stopped.
int ClaimStreamSoundBuffer(int handle, SoundRecord* record, SoundBufferEntry** buffer, int force);
int CopyStreamSoundData(RefillWindow* window, PcmConverter* converter, int bytes);
void FillStreamSilence(SoundRecord* record, RefillWindow* window, int bytes);
// Called when the current entry has no more data: the next pass, the next entry, a loop back to
// the first entry, or the end. 0 to go on refilling, -1 when the sound has no more data.
int AdvanceStreamEntry(SoundRecord* record, RefillWindow* window, int playCursor);
// Counts the bytes the cursor moved over since the last count; a cursor of -1 reads the buffer.
int UpdateStreamPlayCount(int handle, int cursor);
// Back to the start of the first entry, not playing.
void RewindStreamSound(StreamSoundPart& stream);

// ---- Stream sounds ----
// Adds a data entry of a `StreamEntryKind`. `copied` says whether the entry still needs the
// source.
int AddSreamSound(SoundStreamSource* source, int loopCount, int handle, int kind, int* copied, int sharedStream);
int RefillStreamSound(int handle);
int PrepareStreamPlay(int handle, SoundBufferEntry** buffer, SoundRecord* record, int playType, int fromStart);
