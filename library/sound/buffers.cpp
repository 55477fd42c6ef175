// The twelve buffer operations over both back ends: DirectSound secondary buffers, or software
// buffers held in memory (which nothing mixes; the back end is only their data model).
#include <algorithm>

#include "sound/sound_records.h"

int g_softwareSoundBuffers = 0;

namespace {

bool Absent(const SoundBufferEntry* entry) { return !entry || !entry->exists; }

int BlockAlignOf(const SoundBufferEntry* entry) {
  return entry->format.nBlockAlign > 0 ? entry->format.nBlockAlign : 1;
}

// Hundredths of a decibel to the software back end's 0..256 scale.
int SoftwareVolumeOf(int volume) {
  if (volume <= DSBVOLUME_MIN) return 0;
  if (volume >= 0) return 256;
  return DoubleToInt(256.0 * PowerFloat(10.0f, static_cast<float>(volume) / 1000.0f) / 0.9999999999);
}

// -10,000, 0 and 10,000 give -256, 0 and 256; between them the far side fades by the same law as
// the volume, so the value grows with the pan from 0 to 256.
int SoftwarePanOf(int pan) {
  if (pan <= DSBPAN_LEFT) return -256;
  if (pan >= DSBPAN_RIGHT) return 256;
  if (pan == 0) return 0;
  const int magnitude = AbsInt(pan);
  const int value =
      DoubleToInt(256.0 - 256.0 * PowerFloat(10.0f, -static_cast<float>(magnitude) / 1000.0f) / 0.9999999999);
  return pan < 0 ? -value : value;
}

// A new software buffer over `pcm`: stopped at the start, centred, at full volume and at the data's
// own rate.
void SetUpSoftwareBuffer(SoundBufferEntry* entry, uint8_t* pcm, int length, const WAVEFORMATEX& format) {
  entry->pcm = pcm;
  entry->playing = 0;
  entry->position = 0;
  entry->loop = 0;
  entry->pan = 0;
  entry->volume = 255;
  entry->frequency = -1;
  entry->length = length;
  entry->format = format;
}

}  // namespace

int SndBufCreate(SoundBufferEntry* entry, const DSBUFFERDESC* description) {
  if (!entry || entry->exists || !description) return -1;
  if (g_softwareSoundBuffers) {
    const WAVEFORMATEX* format = description->lpwfxFormat;
    if (!format || format->nBlockAlign == 0 || description->dwBufferBytes == 0 ||
        description->dwBufferBytes > 0x7FFFFFFFu)
      return -1;
    uint8_t* pcm = static_cast<uint8_t*>(ZV_ALLOC(static_cast<int>(description->dwBufferBytes)));
    if (!pcm) return -1;
    SetUpSoftwareBuffer(entry, pcm, static_cast<int>(description->dwBufferBytes / format->nBlockAlign), *format);
  } else {
    if (!g_soundOptions.directSound) return -1;
    IDirectSoundBuffer* buffer = nullptr;
    if (FAILED(g_soundOptions.directSound->CreateSoundBuffer(description, &buffer, nullptr))) return -1;
    entry->directSoundBuffer = buffer;
  }
  entry->exists = 1;
  return 0;
}

int SndBufDuplicate(SoundBufferEntry* entry, SoundBufferEntry* source) {
  if (!entry || entry->exists || Absent(source)) return -1;
  if (g_softwareSoundBuffers) {
    const int bytes = BlockAlignOf(source) * source->length;
    uint8_t* pcm = static_cast<uint8_t*>(ZV_ALLOC(bytes));
    if (!pcm) return -1;
    // A duplicate sounds like its source, so it starts with the source's samples.
    CopyBytes(pcm, source->pcm, bytes);
    SetUpSoftwareBuffer(entry, pcm, source->length, source->format);
  } else {
    if (!g_soundOptions.directSound) return -1;
    IDirectSoundBuffer* buffer = nullptr;
    if (FAILED(g_soundOptions.directSound->DuplicateSoundBuffer(source->directSoundBuffer, &buffer))) return -1;
    entry->directSoundBuffer = buffer;
  }
  entry->exists = 1;
  return 0;
}

int SndBufRelease(SoundBufferEntry* entry) {
  if (Absent(entry)) return -1;
  if (g_softwareSoundBuffers) {
    ZV_FREE(entry->pcm);
    entry->pcm = nullptr;
  } else if (entry->directSoundBuffer) {
    entry->directSoundBuffer->Release();
    entry->directSoundBuffer = nullptr;
  }
  entry->exists = 0;
  return 0;
}

int SndBufPlay(SoundBufferEntry* entry, int loop) {
  if (Absent(entry)) return -1;
  if (g_softwareSoundBuffers) {
    entry->playing = 1;
    entry->loop = loop;
    return 0;
  }
  return FAILED(entry->directSoundBuffer->Play(0, 0, loop ? DSBPLAY_LOOPING : 0)) ? -1 : 0;
}

int SndBufStop(SoundBufferEntry* entry) {
  if (Absent(entry)) return -1;
  if (g_softwareSoundBuffers) {
    entry->playing = 0;
    return 0;
  }
  return FAILED(entry->directSoundBuffer->Stop()) ? -1 : 0;
}

int SndBufGetStatus(SoundBufferEntry* entry, DWORD* status) {
  if (Absent(entry) || !status) return -1;
  if (g_softwareSoundBuffers) {
    *status = entry->playing ? DSBSTATUS_PLAYING : 0;
    return 0;
  }
  return FAILED(entry->directSoundBuffer->GetStatus(status)) ? -1 : 0;
}

int SndBufLock(int offset, SoundBufferEntry* entry, int bytes, void** firstPart, int* firstSize, void** secondPart,
               int* secondSize) {
  if (Absent(entry) || !firstPart || !firstSize || !secondPart || !secondSize) return -1;
  if (g_softwareSoundBuffers) {
    // Counted in bytes, so a window that does not end on a whole frame cannot pass the end.
    const int64_t size = static_cast<int64_t>(BlockAlignOf(entry)) * entry->length;
    if (offset < 0 || bytes <= 0 || offset >= size || bytes > size) return -1;
    const int first = static_cast<int>(std::min<int64_t>(bytes, size - offset));
    *firstPart = entry->pcm + offset;
    *firstSize = first;
    *secondPart = bytes > first ? entry->pcm : nullptr;
    *secondSize = bytes - first;
    return 0;
  }
  if (offset < 0 || bytes <= 0) return -1;
  DWORD first = 0;
  DWORD second = 0;
  void* firstPointer = nullptr;
  void* secondPointer = nullptr;
  if (FAILED(entry->directSoundBuffer->Lock(static_cast<DWORD>(offset), static_cast<DWORD>(bytes), &firstPointer,
                                            &first, &secondPointer, &second, 0)))
    return -1;
  *firstPart = firstPointer;
  *firstSize = static_cast<int>(first);
  *secondPart = secondPointer;
  *secondSize = static_cast<int>(second);
  return 0;
}

int SndBufUnlock(SoundBufferEntry* entry, void* firstPart, int firstSize, void* secondPart, int secondSize) {
  if (Absent(entry)) return -1;
  if (g_softwareSoundBuffers) return 0;
  return FAILED(entry->directSoundBuffer->Unlock(firstPart, static_cast<DWORD>(firstSize), secondPart,
                                                 static_cast<DWORD>(secondSize)))
             ? -1
             : 0;
}

int SndBufSetFrequency(SoundBufferEntry* entry, int hz) {
  if (Absent(entry)) return -1;
  if (g_softwareSoundBuffers)
    entry->frequency = hz == 0 ? -1 : hz;
  else
    entry->directSoundBuffer->SetFrequency(static_cast<DWORD>(hz));
  return 0;
}

int SndBufSetPan(int pan, SoundBufferEntry* entry) {
  if (Absent(entry)) return -1;
  if (g_softwareSoundBuffers)
    entry->pan = SoftwarePanOf(pan);
  else
    entry->directSoundBuffer->SetPan(pan);
  return 0;
}

int SndBufSetVolume(SoundBufferEntry* entry, int volume) {
  if (Absent(entry)) return -1;
  if (g_softwareSoundBuffers)
    entry->volume = SoftwareVolumeOf(volume);
  else
    entry->directSoundBuffer->SetVolume(volume);
  return 0;
}

int SndBufSetPosition(int offset, SoundBufferEntry* entry) {
  if (Absent(entry)) return -1;
  if (g_softwareSoundBuffers)
    entry->position = offset / BlockAlignOf(entry);
  else
    entry->directSoundBuffer->SetCurrentPosition(static_cast<DWORD>(offset));
  return 0;
}

int SndBufGetPlayPosition(SoundBufferEntry* entry, int* bytes) {
  if (Absent(entry) || !bytes) return -1;
  if (g_softwareSoundBuffers) {
    *bytes = BlockAlignOf(entry) * entry->position;
    return 0;
  }
  DWORD play = 0;
  DWORD write = 0;
  if (FAILED(entry->directSoundBuffer->GetCurrentPosition(&play, &write))) return -1;
  *bytes = static_cast<int>(play);
  return 0;
}
