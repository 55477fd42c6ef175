// Fuzz target: a script of buffer creations (with hostile formats and sizes, as decoders may hand
// them on), duplicates, releases, lock windows, play, stop, controls and mixes on the DirectSound
// stand-in. Cursors must stay inside their buffers and nothing may read or write outside one.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_script.h"
#include "platform/dsound.h"
#include "platform/testing.h"

namespace {

struct Created {
  IDirectSoundBuffer* buffer;
  DWORD bytes;
};

IDirectSound* Device() {
  static IDirectSound* device = [] {
    platform::testing::UseSoundDriver("dummy");
    platform::testing::UseManualSoundMixing(true);
    IDirectSound* made = nullptr;
    if (FAILED(DirectSoundCreate(nullptr, &made, nullptr))) std::abort();
    return made;
  }();
  return device;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzScript script{data, size};
  IDirectSound* device = Device();
  std::vector<Created> buffers;
  auto pick = [&]() -> Created* { return buffers.empty() ? nullptr : &buffers[script.Byte() % buffers.size()]; };

  while (!script.Done() && buffers.size() < 16) {
    switch (script.Byte() % 11) {
      case 0: {
        // Room for the extensible format's extra bytes, which its cbSize promises.
        WAVEFORMATEXTENSIBLE extensible;
        uint8_t raw[sizeof(WAVEFORMATEXTENSIBLE)];
        for (uint8_t& byte : raw) byte = script.Byte();
        std::memcpy(&extensible, raw, sizeof(extensible));
        WAVEFORMATEX& format = extensible.Format;
        DSBUFFERDESC description{};
        description.dwSize = sizeof(DSBUFFERDESC);
        description.dwFlags = script.Word();
        description.dwBufferBytes = script.Word() % 70000;  // Big enough to wrap, small enough to stay fast.
        description.lpwfxFormat = script.Byte() % 8 ? &format : nullptr;
        IDirectSoundBuffer* buffer = nullptr;
        if (SUCCEEDED(device->CreateSoundBuffer(&description, &buffer, nullptr))) {
          if (description.dwFlags & DSBCAPS_PRIMARYBUFFER)
            buffer->Release();
          else
            buffers.push_back({buffer, description.dwBufferBytes});
        }
        break;
      }
      case 1:
        if (Created* source = pick()) {
          IDirectSoundBuffer* copy = nullptr;
          if (SUCCEEDED(device->DuplicateSoundBuffer(source->buffer, &copy))) buffers.push_back({copy, source->bytes});
        }
        break;
      case 2:
        if (!buffers.empty()) {
          const size_t index = script.Byte() % buffers.size();
          buffers[index].buffer->Release();
          buffers.erase(buffers.begin() + static_cast<long>(index));
        }
        break;
      case 3:
        if (Created* target = pick()) {
          void* first = nullptr;
          void* second = nullptr;
          DWORD firstBytes = 0;
          DWORD secondBytes = 0;
          const DWORD offset = script.Word();
          const DWORD bytes = script.Word();
          if (SUCCEEDED(
                  target->buffer->Lock(offset, bytes, &first, &firstBytes, &second, &secondBytes, script.Byte() % 4))) {
            if (firstBytes + secondBytes > target->bytes) std::abort();
            std::memset(first, script.Byte(), firstBytes);
            if (second) std::memset(second, script.Byte(), secondBytes);
            target->buffer->Unlock(first, script.Byte() % 2 ? firstBytes : script.Word(), second,
                                   script.Byte() % 2 ? secondBytes : script.Word());
            target->buffer->Unlock(first, firstBytes, second, secondBytes);
          }
        }
        break;
      case 4:
        if (Created* target = pick()) target->buffer->Play(script.Byte() % 8 == 0, 0, script.Word());
        break;
      case 5:
        if (Created* target = pick()) target->buffer->Stop();
        break;
      case 6:
        if (Created* target = pick()) target->buffer->SetFrequency(script.Word());
        break;
      case 7:
        if (Created* target = pick()) {
          target->buffer->SetVolume(static_cast<LONG>(script.Word()));
          target->buffer->SetPan(static_cast<LONG>(script.Word()));
        }
        break;
      case 8:
        if (Created* target = pick()) target->buffer->SetCurrentPosition(script.Word());
        break;
      case 9:
        platform::testing::MixSoundFrames(1 + static_cast<int>(script.Word() % 4096));
        break;
      case 10:
        if (Created* target = pick()) {
          DWORD play = 0;
          DWORD write = 0;
          DWORD status = 0;
          target->buffer->GetCurrentPosition(&play, &write);
          target->buffer->GetStatus(&status);
          if (play >= target->bytes || write >= target->bytes) std::abort();
        }
        break;
    }
  }
  for (Created& created : buffers) created.buffer->Release();
  return 0;
}
