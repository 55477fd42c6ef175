// MIDI music (handle kind 8) through MCI or the DirectMusic performance, and the current-music
// slot that shut-down ends. MIDI state is touched only by the main thread.
#pragma once

#include "platform/winmm.h"
#include "sound/sound_records.h"

constexpr int kMusicTableSize = 256;

enum CurrentMusicKind : int {
  CURRENT_MUSIC_MIDI = 0,
  CURRENT_MUSIC_SOUND = 1,
};

struct MidiRecord {
  int check;
  int playing;
  int started;    // DirectMusic: the performance has reported the segment playing once
  uint8_t* data;  // Tracked heap
  int dataSize;
  IDirectMusicSegment8* segment;  // Null under MCI
};

struct MusicTable {
  MidiRecord* slots[kMusicTableSize];
  int usedCount;
  int highWaterMark;
  // MCI state.
  int mciPlaying;
  MCIDEVICEID mciDevice;
  int replay;            // 1: a finished play starts again from the beginning
  int deleteTempFile;    // 1: stopping deletes the temporary MIDI file (g_soundOptions.midiTempFile)
  int currentMusic;      // Handle; 0 none
  int currentMusicKind;  // CurrentMusicKind
};

extern MusicTable g_music;

// The record of a valid MIDI handle of a started system, else null.
MidiRecord* GetMidiRecord(int handle);
// 1 playing, 0 not, -1 bad handle.
int GetMusicPlayState(int handle);
int StopMusicHandle(int handle);
int DeleteMusicHandle(int handle);
// 0, or -1 when sound is not started.
int DeleteAllMusicHandles();
