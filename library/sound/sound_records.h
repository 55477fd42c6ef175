// The sound system's records: its global words, the sound handle table, one sound's record and
// one playable buffer of either back end. Everything here belongs to the sound lock.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/dmusic.h"
#include "platform/dsound.h"
#include "platform/kernel.h"
#include "runtime/runtime_services.h"
#include "sound/pcm_converter.h"
#include "window/window_services.h"
#include "zyvel/sound.h"

constexpr int kSoundTableSize = SOUND_HANDLE_TABLE_SIZE;
constexpr int kSoundBuffersPerSound = 10;
constexpr int kStreamEntriesPerSound = 4;  // At most 3 are used.

// How a stream entry holds its data; a load mode other than SOUND_LOAD_WHOLE is passed on as the
// kind of the entry it makes.
enum StreamEntryKind : int {
  STREAM_ENTRY_WHOLE_PCM = 0,      // Converted at once, kept as an in-memory WAVE image.
  STREAM_ENTRY_FILE_IMAGE = 2,     // The file image kept in memory, converted while playing.
  STREAM_ENTRY_CALLER_STREAM = 3,  // Converted from the caller's stream while playing.
};

// What CreateSoundBuffers makes; the sound's stream flag keeps it.
enum SoundBufferKind : int {
  SOUND_BUFFERS_WHOLE_PCM = 0,  // Up to ten buffers holding the whole PCM.
  SOUND_BUFFER_STREAM = 1,      // One looping buffer of one second that a stream refills.
};

enum SoundBackEnd : int {
  SOUND_BACK_END_DIRECT_SOUND = 0,
  SOUND_BACK_END_DIRECT_MUSIC = 1,
};

// The sound thread's stop handshake.
enum SoundThreadState : int {
  SOUND_THREAD_RUNNING = 0,
  SOUND_THREAD_STOP_ASKED = 1,
  SOUND_THREAD_STOPPED = 2,
};

// One playable buffer: a DirectSound secondary buffer, or a block of PCM in memory.
struct SoundBufferEntry {
  int exists;
  IDirectSoundBuffer* directSoundBuffer;
  // Software back end.
  uint8_t* pcm;
  int playing;
  int position;  // Sample frames
  int loop;
  int pan;        // -256 (left) to 256 (right)
  int volume;     // 0 to 256
  int frequency;  // Hz; -1 the data's own rate
  int length;     // Sample frames
  WAVEFORMATEX format;
};

// One data entry of a stream sound, played in order.
struct StreamSoundEntry {
  int kind;       // StreamEntryKind
  int loopCount;  // Further passes, kept to a signed byte; -1 endless
  int loopStart;  // Sample frames where an endless entry starts its next pass
  PcmConverter converter;
  void* dataBlock;  // Tracked block the entry owns (whole PCM and file image), or null
  StreamFunctionSet streamFunctions;
  StreamHandle stream;                        // The entry's source stream
  int (*closeCallback)(StreamHandle stream);  // The caller's own close, when set
};

// The stream part of a sound record (stream flag 1).
struct StreamSoundPart {
  int playType;        // SOUND_PLAY_ value
  int referredHandle;  // The stream sound whose buffer this one plays through; -1 none
  int referrerCount;   // Stream sounds playing through this one's buffer
  int bufferUser;      // Handle now playing through this buffer; -1 none
  int deletePending;
  int bufferLength;   // Bytes
  int writePosition;  // Where the next refill writes; kStreamNotPrimed before priming
  int refillMark;     // A refill is due while the play cursor is between this and the write position
  StreamSoundEntry entries[kStreamEntriesPerSound];
  uint8_t entryOwnsStream[kStreamEntriesPerSound];
  int entryCount;
  int currentEntry;
  int loopCounter;
  // Counts of bytes are 64-bit: a long sound or a long loop would pass 2^31 bytes.
  int64_t restartOffset;  // Bytes of the current pass of the current entry converted so far
  int totalFrames;
  int64_t playedBytes;
  int lastPlayCursor;
  uint8_t playing;
  uint8_t stopping;
  uint8_t endMarkPending;
  uint8_t allEntriesPlayed;
  int64_t playedBytesAtEndMark;
  int endWritePosition;
  int endValue;
  int endMarkPosition;
  HandleChainNode chainNode;  // In the stream-sound chain
};

struct SoundRecord {
  int check;  // The handle's bits 16-26
  SoundBufferEntry buffers[kSoundBuffersPerSound];
  WAVEFORMATEX format;
  int streamFlag;  // SoundBufferKind: 0 whole PCM, 1 stream sound
  StreamSoundPart stream;
  int dataSize;            // Bytes of PCM
  uint8_t* pcm;            // Shared by every buffer of the sound
  int* pcmReferenceCount;  // Records sharing the PCM block
  int bufferWords[kSoundBuffersPerSound];
  int bufferCount;
  int currentBuffer;
  int volume;     // Hundredths of a decibel, 0 full
  int pan;        // Hundredths of a decibel, 0 centre
  int frequency;  // Hz
  uint8_t oneShotVolumeSet;
  uint8_t oneShotPanSet;
  uint8_t oneShotFrequencySet;
  int oneShotVolume;
  int oneShotPan;
  int oneShotFrequency;
};

struct SoundHandleTable {
  IDirectSoundBuffer* silentBuffer;  // 400 bytes of silence played looping; null when it failed
  int backEnd;                       // SoundBackEnd
  SoundRecord* slots[kSoundTableSize];
  int usedCount;
  int highWaterMark;  // One past the highest slot in use
  int nextCheck;      // 0 to 2047
};

// The sound system's global words (`SoundOptions`).
struct SoundOptions {
  IDirectSound* directSound;  // Null while the system is down
  CRITICAL_SECTION lock;
  int lockCreated;
  int softwareMixing;
  IDirectSoundBuffer* primaryBuffer;
  HandleChainNode streamChainHead;
  HandleChainNode streamChainTail;
  HandleChainNode playerChainHead;
  HandleChainNode playerChainTail;
  int loadMode;
  int oggSampleWidth;
  int decoderMask;
  int movieSoundFlag;
  HANDLE threadHandle;
  DWORD threadId;
  std::atomic<int> threadStop;   // SoundThreadState
  std::atomic<bool> threadRuns;  // From its start until it has stopped; message processing refills otherwise
  int captureActive;
  int captureFrames;
  HANDLE captureFile;
  char midiTempFile[MAX_PATH];  // Empty: no temporary MIDI file
  // DirectMusic back end only.
  IDirectMusicLoader8* directMusicLoader;
  IDirectMusicPerformance8* directMusicPerformance;
};

extern SoundOptions g_soundOptions;
extern SoundHandleTable g_soundHandles;
// Chooses the software back end for every buffer when non-zero; nothing sets it (start value 0).
extern int g_softwareSoundBuffers;

inline void LockSound() { EnterCriticalSection(&g_soundOptions.lock); }
inline void UnlockSound() { LeaveCriticalSection(&g_soundOptions.lock); }

// The sound thread's procedure and the device-list callback of the capability report.
DWORD SoundThreadMain(LPVOID unused);
BOOL LogSoundDevice(GUID* device, LPCSTR description, LPCSTR module, LPVOID context);

// The record of a valid sound handle of a started system, else null.
SoundRecord* GetSoundRecord(int handle);
// Takes the sound lock and finds the sound; when there is none, gives the lock back and returns
// null.
inline SoundRecord* LockSoundRecord(int handle) {
  LockSound();
  SoundRecord* record = GetSoundRecord(handle);
  if (!record) UnlockSound();
  return record;
}

// Buffer operations of both back ends: 0, or -1 for an absent entry or a failed platform call.
int SndBufCreate(SoundBufferEntry* entry, const DSBUFFERDESC* description);
int SndBufDuplicate(SoundBufferEntry* entry, SoundBufferEntry* source);
int SndBufRelease(SoundBufferEntry* entry);
int SndBufPlay(SoundBufferEntry* entry, int loop);
int SndBufStop(SoundBufferEntry* entry);
int SndBufGetStatus(SoundBufferEntry* entry, DWORD* status);
int SndBufLock(int offset, SoundBufferEntry* entry, int bytes, void** firstPart, int* firstSize, void** secondPart,
               int* secondSize);
int SndBufUnlock(SoundBufferEntry* entry, void* firstPart, int firstSize, void* secondPart, int secondSize);
int SndBufSetFrequency(SoundBufferEntry* entry, int hz);
int SndBufSetPan(int pan, SoundBufferEntry* entry);
int SndBufSetVolume(SoundBufferEntry* entry, int volume);
int SndBufSetPosition(int offset, SoundBufferEntry* entry);
// The play position in bytes.
int SndBufGetPlayPosition(SoundBufferEntry* entry, int* bytes);

int StopStreamSoundHandle(int handle);
int CheckStreamSoundPlaying(int handle);
// The DirectMusic back end's start: 0 when it made the DirectSound interface, 1 when its loader
// is missing (start goes on with the DirectSound back end), -1 on a later failure.
int StartDirectMusicBackEnd(IDirectSound** directSound);
int EndDirectMusicBackEnd();
