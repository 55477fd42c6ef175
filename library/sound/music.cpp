// MIDI handles: the kind-8 table, the play state under MCI or DirectMusic, the MCI notification
// that replays or closes the sequencer, stopping and deleting, and the current music that
// shut-down ends.
#include "sound/music.h"

#include <cstring>

#include "window/window_services.h"

MusicTable g_music;

namespace {

constexpr int kStopMessageRounds = 5;

bool UnderDirectMusic() { return g_soundHandles.backEnd == SOUND_BACK_END_DIRECT_MUSIC; }

void FreeMusicSlot(int slot) {
  ZV_FREE(g_music.slots[slot]);
  g_music.slots[slot] = nullptr;
  --g_music.usedCount;
  if (slot == g_music.highWaterMark - 1) {
    int mark = slot;
    while (mark > 0 && !g_music.slots[mark - 1]) --mark;
    g_music.highWaterMark = g_music.usedCount == 0 ? 0 : mark;
  }
}

}  // namespace

MidiRecord* GetMidiRecord(int handle) {
  if (!g_soundOptions.directSound || handle < 0) return nullptr;
  if (HandleKindOf(handle) != HANDLE_KIND_MIDI) return nullptr;
  const int slot = HandleSlotOf(handle);
  if (slot >= kMusicTableSize) return nullptr;
  MidiRecord* record = g_music.slots[slot];
  if (!record || record->check != HandleCheckCountOf(handle)) return nullptr;
  return record;
}

int GetMusicPlayState(int handle) {
  MidiRecord* record = GetMidiRecord(handle);
  if (!record) return -1;
  return UnderDirectMusic() ? record->playing : g_music.mciPlaying;
}

int UpdateMidiPlayState() {
  if (!g_soundOptions.directSound) return -1;
  IDirectMusicPerformance8* performance = g_soundOptions.directMusicPerformance;
  if (!UnderDirectMusic() || !performance) return 0;
  for (int slot = 0; slot < g_music.highWaterMark; ++slot) {
    MidiRecord* record = g_music.slots[slot];
    if (!record || !record->playing) continue;
    const int playing = performance->IsPlaying(record->segment, nullptr) == S_OK ? 1 : 0;
    if (record->started)
      record->playing = playing;
    else if (playing)
      record->started = 1;
  }
  return 0;
}

int OnMidiNotify() {
  if (g_music.replay == 1) {
    MCI_PLAY_PARMS play{};
    play.dwCallback = reinterpret_cast<DWORD_PTR>(GetMainWindow());
    play.dwFrom = 0;
    mciSendCommandA(g_music.mciDevice, MCI_PLAY, MCI_NOTIFY | MCI_FROM, reinterpret_cast<DWORD_PTR>(&play));
    g_music.mciPlaying = 1;
  } else if (g_music.mciPlaying == 1) {
    mciSendCommandA(g_music.mciDevice, MCI_CLOSE, 0, 0);
    g_music.mciPlaying = 0;
  }
  return 0;
}

int StopMusicHandle(int handle) {
  MidiRecord* record = GetMidiRecord(handle);
  if (!record) return -1;
  g_music.replay = 0;
  if (!UnderDirectMusic()) {
    OnMidiNotify();
    for (int i = 0; i < kStopMessageRounds; ++i) ProcessWindowMessages();
  } else if (g_soundOptions.directMusicPerformance && record->segment) {
    g_soundOptions.directMusicPerformance->StopEx(record->segment, 0, 0);
  }
  if (g_music.deleteTempFile == 1) {
    DeleteFileA(g_soundOptions.midiTempFile);
    g_soundOptions.midiTempFile[0] = 0;
    g_music.deleteTempFile = 0;
  }
  // Message processing may have deleted the handle meanwhile.
  record = GetMidiRecord(handle);
  if (record) {
    record->playing = 0;
    record->started = 0;
  }
  return 0;
}

int DeleteMusicHandle(int handle) {
  MidiRecord* record = GetMidiRecord(handle);
  if (!record) return -1;
  if (GetMusicPlayState(handle) == 1) StopMusicHandle(handle);
  record = GetMidiRecord(handle);
  if (!record) return -1;
  if (IDirectMusicSegment8* segment = record->segment) {
    if (g_soundOptions.directMusicPerformance) segment->Unload(g_soundOptions.directMusicPerformance);
    if (g_soundOptions.directMusicLoader) g_soundOptions.directMusicLoader->ReleaseObjectByUnknown(segment);
    segment->Release();
    record->segment = nullptr;
  }
  if (record->data) {
    std::memset(record->data, 0, static_cast<size_t>(record->dataSize));
    ZV_FREE(record->data);
    record->data = nullptr;
  }
  FreeMusicSlot(HandleSlotOf(handle));
  return 0;
}

int DeleteAllMusicHandles() {
  if (!g_soundOptions.directSound) return -1;
  for (int slot = 0; slot < g_music.highWaterMark; ++slot)
    if (MidiRecord* record = g_music.slots[slot])
      DeleteMusicHandle(MakeHandleWord(slot, record->check, HANDLE_KIND_MIDI));
  return 0;
}

int EndCurrentMusic() {
  if (g_music.currentMusic != 0) {
    if (g_music.currentMusicKind == CURRENT_MUSIC_SOUND) {
      StopSoundHandle(g_music.currentMusic);
      DeleteSoundHandle(g_music.currentMusic);
    } else {
      StopMusicHandle(g_music.currentMusic);
      DeleteMusicHandle(g_music.currentMusic);
    }
    g_music.currentMusic = 0;
  }
  return 0;
}
