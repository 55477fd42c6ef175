// Soft sounds and soft-sound players (handle kind 13): their table and records. A player is a
// looping buffer fed from a ring of queued samples ahead of its play cursor. Everything here
// belongs to the sound lock.
#pragma once

#include "runtime/runtime_services.h"
#include "sound/sound_records.h"

constexpr int kSoftSoundTableSize = 8192;

struct SoftSoundRecord {
  int check;     // The handle's check value
  int isPlayer;  // 0 soft sound, 1 player
  WAVEFORMATEX format;
  // A player's node in the player chain; a soft sound keeps its sample block in the data word.
  HandleChainNode node;
  int queuedFrames;
  ByteRing queue;           // Queued sample bytes
  SoundBufferEntry buffer;  // Looping
  int bufferLength;         // Bytes
  int writeOffset;
  int endOffset;  // Where the real data ends in the buffer; -1 none
  int lastPlayCursor;
  int ranOut;  // The cursor has passed the end of the real data
  int reserved;
  int lead;  // Bytes the writes keep ahead of the cursor (they end two leads ahead)
  int active;
};

struct SoftSoundTable {
  SoftSoundRecord* slots[kSoftSoundTableSize];
  int usedCount;
  int highWaterMark;  // One past the highest slot in use
};

extern SoftSoundTable g_softSounds;

// The record of a valid soft-sound handle of a started system, else null.
SoftSoundRecord* GetSoftSoundRecord(int handle);
// 0, or -1 for a bad handle or one whose is-player flag differs from `isPlayer`.
int DeleteSoftSound(int handle, int isPlayer);
// 0, or -1 when sound is not started.
int DeleteAllSoftSounds();
int DeleteAllSoftSoundPlayers();
// Tops the player's buffer up to two leads ahead of its cursor, with queued samples and then
// silence. 0, or -1 when the buffer could not be read or locked.
int FeedSoftSoundPlayer(SoftSoundRecord* player);
