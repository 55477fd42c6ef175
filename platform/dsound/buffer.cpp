// DirectSound buffers: cursor, status, the two-part lock window with its staging copy, play and
// stop, and the volume, pan and frequency controls.
#include <algorithm>
#include <cstring>

#include "dsound/device.h"

namespace platform::dsound {

SoundBuffer::SoundBuffer(DirectSoundObject* ownerObject, DWORD bufferFlags, bool isPrimary)
    : owner(ownerObject), flags(bufferFlags), primary(isPrimary) {}

SoundBuffer::~SoundBuffer() = default;

void SoundBuffer::OnFinalRelease() {
  if (owner && !primary) {
    std::lock_guard<std::mutex> lock(owner->mixerMutex);
    std::erase(owner->buffers, this);
  }
}

HRESULT SoundBuffer::GetCurrentPosition(LPDWORD playCursor, LPDWORD writeCursor) {
  if (!owner) return DSERR_UNINITIALIZED;
  DWORD play = 0;
  DWORD write = 0;
  if (!primary) {
    std::lock_guard<std::mutex> lock(owner->mixerMutex);
    const DWORD blockAlign = voice.format.nBlockAlign;
    play = static_cast<DWORD>(voice.position >> 32) * blockAlign;
    write = play;
    if (voice.playing) {
      // The next device period is already promised to the mixer: writing starts after it.
      const uint64_t leadFrames = ((static_cast<uint64_t>(kPeriodFrames) * StepOf(voice.frequency)) >> 32) + 1;
      write = static_cast<DWORD>((play + leadFrames * blockAlign) % SizeInBytes());
    }
  }
  if (playCursor) *playCursor = play;
  if (writeCursor) *writeCursor = write;
  return DS_OK;
}

HRESULT SoundBuffer::GetStatus(LPDWORD status) {
  if (!status) return DSERR_INVALIDPARAM;
  *status = 0;
  if (!owner) return DSERR_UNINITIALIZED;
  std::lock_guard<std::mutex> lock(owner->mixerMutex);
  const bool playing = primary ? primaryPlaying : voice.playing;
  if (playing) *status = DSBSTATUS_PLAYING | (primary || voice.looping ? DSBSTATUS_LOOPING : 0);
  return DS_OK;
}

HRESULT SoundBuffer::Lock(DWORD offset, DWORD bytes, LPVOID* part1, LPDWORD bytes1, LPVOID* part2, LPDWORD bytes2,
                          DWORD lockFlags) {
  if (!part1 || !bytes1) return DSERR_INVALIDPARAM;
  *part1 = nullptr;
  *bytes1 = 0;
  if (part2) *part2 = nullptr;
  if (bytes2) *bytes2 = 0;
  if (!owner) return DSERR_UNINITIALIZED;
  if (primary) return DSERR_PRIOLEVELNEEDED;  // Nothing here writes the primary buffer directly.
  if (locked_) return DSERR_INVALIDCALL;
  const DWORD size = SizeInBytes();
  if (lockFlags & DSBLOCK_FROMWRITECURSOR) GetCurrentPosition(nullptr, &offset);
  if (lockFlags & DSBLOCK_ENTIREBUFFER) bytes = size;
  if (offset >= size || bytes == 0 || bytes > size) return DSERR_INVALIDPARAM;
  const DWORD first = std::min(bytes, size - offset);
  const DWORD second = bytes - first;
  if (second != 0 && (!part2 || !bytes2)) return DSERR_INVALIDPARAM;
  try {
    staging_.resize(bytes);
  } catch (const std::bad_alloc&) {
    return DSERR_OUTOFMEMORY;
  }
  {
    std::lock_guard<std::mutex> lock(owner->mixerMutex);
    const uint8_t* samples = voice.samples->bytes.data();
    std::memcpy(staging_.data(), samples + offset, first);
    if (second != 0) std::memcpy(staging_.data() + first, samples, second);
  }
  locked_ = true;
  lockOffset_ = offset;
  lockBytes1_ = first;
  lockBytes2_ = second;
  *part1 = staging_.data();
  *bytes1 = first;
  if (second != 0) {
    *part2 = staging_.data() + first;
    *bytes2 = second;
  }
  return DS_OK;
}

HRESULT SoundBuffer::Unlock(LPVOID part1, DWORD bytes1, LPVOID part2, DWORD bytes2) {
  if (!owner) return DSERR_UNINITIALIZED;
  if (!locked_ || part1 != staging_.data() || bytes1 > lockBytes1_ || bytes2 > lockBytes2_) return DSERR_INVALIDPARAM;
  if (bytes2 != 0 && part2 != staging_.data() + lockBytes1_) return DSERR_INVALIDPARAM;
  {
    std::lock_guard<std::mutex> lock(owner->mixerMutex);
    uint8_t* samples = voice.samples->bytes.data();
    std::memcpy(samples + lockOffset_, staging_.data(), bytes1);
    if (bytes2 != 0) std::memcpy(samples, staging_.data() + lockBytes1_, bytes2);
  }
  locked_ = false;
  staging_.clear();
  staging_.shrink_to_fit();
  return DS_OK;
}

HRESULT SoundBuffer::Play(DWORD reserved, DWORD, DWORD playFlags) {
  if (reserved != 0) return DSERR_INVALIDPARAM;
  if (!owner) return DSERR_UNINITIALIZED;
  std::lock_guard<std::mutex> lock(owner->mixerMutex);
  if (primary) {
    primaryPlaying = true;
    return DS_OK;
  }
  voice.playing = true;
  voice.looping = (playFlags & DSBPLAY_LOOPING) != 0;
  return DS_OK;
}

HRESULT SoundBuffer::Stop() {
  if (!owner) return DSERR_UNINITIALIZED;
  std::lock_guard<std::mutex> lock(owner->mixerMutex);
  if (primary)
    primaryPlaying = false;
  else
    voice.playing = false;
  return DS_OK;
}

HRESULT SoundBuffer::SetCurrentPosition(DWORD offset) {
  if (!owner) return DSERR_UNINITIALIZED;
  if (primary) return DSERR_INVALIDCALL;
  if (offset >= SizeInBytes()) return DSERR_INVALIDPARAM;
  std::lock_guard<std::mutex> lock(owner->mixerMutex);
  voice.position = static_cast<uint64_t>(offset / voice.format.nBlockAlign) << 32;
  return DS_OK;
}

HRESULT SoundBuffer::SetFormat(LPCWAVEFORMATEX format) {
  if (!owner) return DSERR_UNINITIALIZED;
  if (!primary) return DSERR_INVALIDCALL;
  if (owner->cooperativeLevel < DSSCL_PRIORITY) return DSERR_PRIOLEVELNEEDED;
  if (!format) return DSERR_INVALIDPARAM;
  if (!IsPlayableFormat(format)) return DSERR_BADFORMAT;
  // The device keeps mixing at its own rate; the format is only recorded.
  std::lock_guard<std::mutex> lock(owner->mixerMutex);
  owner->primaryFormat = *format;
  owner->hasPrimaryFormat = true;
  return DS_OK;
}

HRESULT SoundBuffer::SetVolume(LONG newVolume) {
  if (!owner) return DSERR_UNINITIALIZED;
  if (!(flags & DSBCAPS_CTRLVOLUME)) return DSERR_CONTROLUNAVAIL;
  if (newVolume < DSBVOLUME_MIN || newVolume > DSBVOLUME_MAX) return DSERR_INVALIDPARAM;
  std::lock_guard<std::mutex> lock(owner->mixerMutex);
  volume = newVolume;
  GainsOf(volume, pan, &voice.leftGain, &voice.rightGain);
  return DS_OK;
}

HRESULT SoundBuffer::SetPan(LONG newPan) {
  if (!owner) return DSERR_UNINITIALIZED;
  if (!(flags & DSBCAPS_CTRLPAN)) return DSERR_CONTROLUNAVAIL;
  if (newPan < DSBPAN_LEFT || newPan > DSBPAN_RIGHT) return DSERR_INVALIDPARAM;
  std::lock_guard<std::mutex> lock(owner->mixerMutex);
  pan = newPan;
  GainsOf(volume, pan, &voice.leftGain, &voice.rightGain);
  return DS_OK;
}

HRESULT SoundBuffer::SetFrequency(DWORD frequency) {
  if (!owner) return DSERR_UNINITIALIZED;
  if (primary || !(flags & DSBCAPS_CTRLFREQUENCY)) return DSERR_CONTROLUNAVAIL;
  if (frequency != DSBFREQUENCY_ORIGINAL && (frequency < DSBFREQUENCY_MIN || frequency > DSBFREQUENCY_MAX))
    return DSERR_INVALIDPARAM;
  std::lock_guard<std::mutex> lock(owner->mixerMutex);
  voice.frequency = frequency == DSBFREQUENCY_ORIGINAL ? voice.format.nSamplesPerSec : frequency;
  return DS_OK;
}

}  // namespace platform::dsound
