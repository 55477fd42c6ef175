// Playing, stopping and locating whole-PCM sounds. Each play takes the sound's next buffer, so a
// sound with several buffers overlaps itself.
#include "sound/loading.h"

PlaySettings TakePlaySettings(SoundRecord* record) {
  PlaySettings settings{record->volume, record->pan, record->frequency};
  if (record->oneShotVolumeSet) {
    settings.volume = record->oneShotVolume;
    record->oneShotVolumeSet = 0;
  }
  if (record->oneShotPanSet) {
    settings.pan = record->oneShotPan;
    record->oneShotPanSet = 0;
  }
  if (record->oneShotFrequencySet) {
    settings.frequency = record->oneShotFrequency;
    record->oneShotFrequencySet = 0;
  }
  return settings;
}

void ApplyPlaySettings(SoundBufferEntry* buffer, const PlaySettings& settings) {
  SndBufSetVolume(buffer, settings.volume);
  SndBufSetPan(settings.pan, buffer);
  SndBufSetFrequency(buffer, settings.frequency);
}

int PrepareSoundPlay(SoundRecord* record, int fromStart) {
  if (record->bufferCount <= 0) return -1;
  // Where the buffer of the last play stands, for a play that does not start over.
  int position = 0;
  if (record->currentBuffer >= 0 && record->currentBuffer < kSoundBuffersPerSound &&
      record->buffers[record->currentBuffer].exists &&
      SndBufGetPlayPosition(&record->buffers[record->currentBuffer], &position) != 0)
    position = 0;
  ++record->currentBuffer;
  if (record->currentBuffer >= record->bufferCount || record->currentBuffer >= kSoundBuffersPerSound ||
      record->currentBuffer < 0)
    record->currentBuffer = 0;
  SoundBufferEntry* buffer = &record->buffers[record->currentBuffer];
  if (!buffer->exists) return -1;
  DWORD status = 0;
  if (SndBufGetStatus(buffer, &status) != 0) return -1;
  if (status & DSBSTATUS_PLAYING) {
    if (fromStart == 0) return 1;
    SndBufStop(buffer);
  }
  SndBufSetPosition(fromStart == 1 ? 0 : position, buffer);
  ApplyPlaySettings(buffer, TakePlaySettings(record));
  return 0;
}

int PlaySoundHandle(int handle, int playType, int fromStart) {
  SoundRecord* record = GetSoundRecord(handle);
  if (!record) return -1;
  if (record->streamFlag) return PlayStreamSoundHandle(handle, playType, fromStart);
  const int prepared = PrepareSoundPlay(record, fromStart);
  if (prepared == -1) return -1;
  if (prepared == 1) return 0;
  if (SndBufPlay(&record->buffers[record->currentBuffer], playType == SOUND_PLAY_LOOP) != 0) return -1;
  if (playType == SOUND_PLAY_WAIT) {
    for (;;) {
      if (PumpWindowMessages() != 0) break;
      if (CheckSoundHandle(handle) != 1) break;
      Sleep(1);
    }
  }
  return 0;
}

int StopSoundHandle(int handle) {
  SoundRecord* record = GetSoundRecord(handle);
  if (!record) return -1;
  if (record->streamFlag) return StopStreamSoundHandle(handle);
  for (int i = 0; i < record->bufferCount && i < kSoundBuffersPerSound; ++i) {
    DWORD status = 0;
    if (SndBufGetStatus(&record->buffers[i], &status) != 0) return -1;
    if (status & DSBSTATUS_PLAYING) SndBufStop(&record->buffers[i]);
  }
  return 0;
}

int GetSoundHandlePosition(int handle) {
  SoundRecord* record = GetSoundRecord(handle);
  if (!record) return -1;
  if (record->streamFlag) return GetStreamSoundPosition(handle);
  int position = 0;
  const int current = record->currentBuffer;
  if (current >= 0 && current < kSoundBuffersPerSound && record->buffers[current].exists &&
      SndBufGetPlayPosition(&record->buffers[current], &position) != 0)
    position = 0;
  const int align = record->format.nBlockAlign ? record->format.nBlockAlign : 1;
  return SamplesToMilliseconds(position / align, static_cast<int>(record->format.nSamplesPerSec));
}
