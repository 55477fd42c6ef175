// The sound system's start and end, the sound thread and the capture file's end.
//
// Start order: sound lock, DirectSound interface (through the COM class registry), its
// initialisation, cooperative level, primary buffer and format, the looping silent buffer, the
// handle chains, the capability report, and the sound thread, which only a machine with more than
// one logical processor gets. Without a running thread (one processor, or the thread refused),
// message processing runs the refills once a frame. End
// order: the thread first, then capture, every handle, the lock, the buffers and the interface.
#include "platform/user.h"
#include "sound/music.h"
#include "sound/soft_sounds.h"
#include "sound/sound_records.h"
#include "sound/sound_services.h"
#include "window/window_services.h"

SoundOptions g_soundOptions;

namespace {

constexpr int kSilentBufferBytes = 400;
constexpr int kCaptureHeaderBytes = 46;
constexpr DWORD kThreadPeriodMilliseconds = 30;

typedef HRESULT (*DirectSoundEnumerateFunction)(LPDSENUMCALLBACKA callback, LPVOID context);

void DeleteSoundLock() {
  if (!g_soundOptions.lockCreated) return;
  DeleteCriticalSection(&g_soundOptions.lock);
  g_soundOptions.lockCreated = 0;
}

// Undoes a start that failed after the interface was made.
int FailStart(const char* message) {
  if (g_soundOptions.directSound) g_soundOptions.directSound->Release();
  g_soundOptions.directSound = nullptr;
  AddLogText(message);
  DeleteSoundLock();
  return -1;
}

const char* YesNo(DWORD flags, DWORD flag) { return (flags & flag) ? "OK" : "NO"; }

WAVEFORMATEX PrimaryFormatOf(const DSCAPS& caps) {
  WAVEFORMATEX format{};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = (caps.dwFlags & DSCAPS_PRIMARYSTEREO) ? 2 : 1;
  format.wBitsPerSample = (caps.dwFlags & DSCAPS_PRIMARY16BIT) ? 16 : 8;
  format.nSamplesPerSec = caps.dwMaxSecondarySampleRate >= 44100 ? 44100 : caps.dwMaxSecondarySampleRate;
  format.nBlockAlign = static_cast<WORD>(format.wBitsPerSample / 8 * format.nChannels);
  format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
  return format;
}

void CreatePrimaryBuffer() {
  DSBUFFERDESC description{};
  description.dwSize = sizeof(DSBUFFERDESC);
  description.dwFlags = DSBCAPS_PRIMARYBUFFER | (g_soundOptions.softwareMixing ? DSBCAPS_LOCSOFTWARE : 0);
  g_soundOptions.directSound->CreateSoundBuffer(&description, &g_soundOptions.primaryBuffer, nullptr);
}

void StartSilentBuffer() {
  WAVEFORMATEX format{};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = 2;
  format.nSamplesPerSec = 44100;
  format.wBitsPerSample = 16;
  format.nBlockAlign = 4;
  format.nAvgBytesPerSec = 176400;
  DSBUFFERDESC description{};
  description.dwSize = sizeof(DSBUFFERDESC);
  description.dwFlags = DSBCAPS_GLOBALFOCUS | (g_soundOptions.softwareMixing ? DSBCAPS_LOCSOFTWARE : DSBCAPS_STATIC);
  description.dwBufferBytes = kSilentBufferBytes;
  description.lpwfxFormat = &format;
  IDirectSoundBuffer* silent = nullptr;
  if (FAILED(g_soundOptions.directSound->CreateSoundBuffer(&description, &silent, nullptr))) {
    WriteLogFormat("無音バッファの作成に失敗しました");
    g_soundHandles.silentBuffer = nullptr;
    return;
  }
  void* first = nullptr;
  void* second = nullptr;
  DWORD firstBytes = 0;
  DWORD secondBytes = 0;
  if (FAILED(silent->Lock(0, kSilentBufferBytes, &first, &firstBytes, &second, &secondBytes, 0))) {
    WriteLogFormat("無音バッファのロックに失敗しました");
    silent->Release();
    g_soundHandles.silentBuffer = nullptr;
    return;
  }
  FillBytes(first, 0, firstBytes);
  if (second) FillBytes(second, 0, secondBytes);
  silent->Unlock(first, firstBytes, second, secondBytes);
  silent->Play(0, 0, DSBPLAY_LOOPING);
  g_soundHandles.silentBuffer = silent;
}

void LogCapabilities() {
  PushLogIndent();
  DSCAPS caps{};
  caps.dwSize = sizeof(DSCAPS);
  g_soundOptions.directSound->GetCaps(&caps);
  AddLogText("DirectSound デバイスを列挙します\n");
  PushLogIndent();
  if (HMODULE library = LoadLibraryA("DSOUND.DLL")) {
    auto enumerate = reinterpret_cast<DirectSoundEnumerateFunction>(GetProcAddress(library, "DirectSoundEnumerateA"));
    if (enumerate)
      enumerate(LogSoundDevice, nullptr);
    else
      AddLogText("DirectSound デバイスの列挙用関数のポインタ取得に失敗しました\n");
    FreeLibrary(library);
  } else {
    AddLogText("DSOUND.DLL のロードに失敗しました\n");
  }
  PopLogIndent();
  WriteLogFormat("最大サンプリングレート:%.2fKHz 最小サンプリングレート:%.2fKHz ",
                 caps.dwMaxSecondarySampleRate / 1000.0, caps.dwMinSecondarySampleRate / 1000.0);
  WriteLogFormat("総サウンドメモリ領域:%.2fKB 空きサウンドメモリ領域:%.2fKB ", caps.dwTotalHwMemBytes / 1024.0,
                 caps.dwFreeHwMemBytes / 1024.0);
  AddLogText("利用可能サンプリング精度\n");
  WriteLogFormat(" プライマリ １６bit = %s  ８bit = %s ", YesNo(caps.dwFlags, DSCAPS_PRIMARY16BIT),
                 YesNo(caps.dwFlags, DSCAPS_PRIMARY8BIT));
  WriteLogFormat(" セカンダリ １６bit = %s  ８bit = %s ", YesNo(caps.dwFlags, DSCAPS_SECONDARY16BIT),
                 YesNo(caps.dwFlags, DSCAPS_SECONDARY8BIT));
  AddLogText("利用可能チャンネル\n");
  WriteLogFormat(" プライマリ MONO = %s  STEREO = %s ", YesNo(caps.dwFlags, DSCAPS_PRIMARYMONO),
                 YesNo(caps.dwFlags, DSCAPS_PRIMARYSTEREO));
  WriteLogFormat(" セカンダリ MONO = %s  STEREO = %s ", YesNo(caps.dwFlags, DSCAPS_SECONDARYMONO),
                 YesNo(caps.dwFlags, DSCAPS_SECONDARYSTEREO));
  PopLogIndent();
}

void StartSoundThread() {
  g_soundOptions.threadHandle = nullptr;
  g_soundOptions.threadStop = SOUND_THREAD_RUNNING;
  if (RuntimeProcessorFacts().processorCount <= 1) return;
  HANDLE thread = CreateThread(nullptr, 0, SoundThreadMain, nullptr, CREATE_SUSPENDED, &g_soundOptions.threadId);
  if (!thread) {
    // Without the thread nothing would refill stream sounds; say so rather than fall silent.
    AddLogText("サウンドスレッドの作成に失敗しました\n");
    return;
  }
  SetThreadPriority(thread, THREAD_PRIORITY_TIME_CRITICAL);
  g_soundOptions.threadHandle = thread;
  g_soundOptions.threadRuns = true;
  ResumeThread(thread);
}

void StopSoundThread() {
  if (!g_soundOptions.threadHandle) return;
  g_soundOptions.threadStop = SOUND_THREAD_STOP_ASKED;
  // The pump's answer does not end this wait: the lock must outlive the thread.
  while (g_soundOptions.threadStop != SOUND_THREAD_STOPPED) {
    PumpWindowMessages();
    Sleep(2);
  }
  CloseHandle(g_soundOptions.threadHandle);
  g_soundOptions.threadHandle = nullptr;
  g_soundOptions.threadRuns = false;
}

void PutU32(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

void PutU16(uint8_t* at, uint16_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
}

}  // namespace

int SoundThreadRunning() { return g_soundOptions.threadRuns ? 1 : 0; }

DWORD SoundThreadMain(LPVOID) {
  while (g_soundOptions.threadStop != SOUND_THREAD_STOP_ASKED) {
    LockSound();
    if (g_soundOptions.directSound) {
      UpdateStreamSounds();
      UpdateSoftSoundPlayers();
    }
    UnlockSound();
    Sleep(kThreadPeriodMilliseconds);
  }
  g_soundOptions.threadStop = SOUND_THREAD_STOPPED;
  return 0;
}

BOOL LogSoundDevice(GUID*, LPCSTR description, LPCSTR module, LPVOID) {
  WriteLogFormat("モジュール名:%15s  ドライバ記述:%s ", module ? module : "", description ? description : "");
  return TRUE;
}

int InitSoundSystem() {
  if (g_soundOptions.directSound) return -1;
  ConnectSoundToWindow();
  InitializeCriticalSection(&g_soundOptions.lock);
  g_soundOptions.lockCreated = 1;

  IDirectSound* directSound = nullptr;
  bool directSoundMade = false;
  if (g_soundHandles.backEnd == SOUND_BACK_END_DIRECT_MUSIC) {
    AddLogText("DirectSound8 の初期化を行います\n");
    const int started = StartDirectMusicBackEnd(&directSound);
    if (started == -1) {
      DeleteSoundLock();
      return -1;
    }
    if (started == 1) {
      AddLogText("DirectMusicLoader8 オブジェクトの作成に失敗しました\n");
      AddLogText("前バージョンでの初期化処理に移ります\n");
      g_soundHandles.backEnd = SOUND_BACK_END_DIRECT_SOUND;
    } else {
      g_soundOptions.directSound = directSound;
      directSoundMade = true;
    }
  }

  if (!directSoundMade) {
    AddLogText("DirectSound の初期化を行います\n");
    AddLogText("DirectSound インターフェースの取得を行います....  ");
    if (FAILED(CoCreateInstance(CLSID_DirectSound, nullptr, CLSCTX_ALL, IID_IDirectSound,
                                reinterpret_cast<void**>(&directSound)))) {
      g_soundOptions.directSound = nullptr;
      return FailStart("DirectSoundインターフェースの作成に失敗しました\n");
    }
    g_soundOptions.directSound = directSound;
    AddLogText("成功\n");
    AddLogText("引き続きインターフェースの初期化処理...  ");
    if (FAILED(directSound->Initialize(nullptr))) return FailStart("初期化に失敗しました\n");
    AddLogText("成功\n");
    if (FAILED(directSound->SetCooperativeLevel(GetDesktopWindow(), DSSCL_PRIORITY)))
      return FailStart("DirectSoundの協調レベルの設定に失敗しました\n");
    CreatePrimaryBuffer();
    if (!g_soundOptions.primaryBuffer)
      return FailStart("DirectSoundのプライマリサウンドバッファの作成に失敗しました\n");
    DSCAPS caps{};
    caps.dwSize = sizeof(DSCAPS);
    directSound->GetCaps(&caps);
    const WAVEFORMATEX format = PrimaryFormatOf(caps);
    if (FAILED(g_soundOptions.primaryBuffer->SetFormat(&format)))
      AddLogText("DirectSoundのプライマリサウンドバッファのフォーマット設定に失敗しました\n");
  }

  StartSilentBuffer();
  g_soundOptions.loadMode = SOUND_LOAD_WHOLE;
  g_soundOptions.oggSampleWidth = 2;
  SetupHandleChain(&g_soundOptions.streamChainHead, &g_soundOptions.streamChainTail);
  SetupHandleChain(&g_soundOptions.playerChainHead, &g_soundOptions.playerChainTail);
  if (g_soundOptions.directSound) LogCapabilities();
  DeleteAllSoundHandles(0);
  DeleteAllSoftSounds();
  DeleteAllSoftSoundPlayers();
  StartSoundThread();
  AddLogText("DirectSound の初期化は正常に終了しました\n");
  return 0;
}

int EndSoundSystem() {
  if (!g_soundOptions.directSound) return -1;
  StopSoundThread();
  EndSoundCapture();
  DeleteAllSoundHandles(0);
  DeleteAllSoftSounds();
  DeleteAllSoftSoundPlayers();
  DeleteAllMusicHandles();
  if (g_soundOptions.midiTempFile[0]) {
    DeleteFileA(g_soundOptions.midiTempFile);
    g_soundOptions.midiTempFile[0] = 0;
  }
  DeleteSoundLock();
  if (g_soundHandles.backEnd == SOUND_BACK_END_DIRECT_MUSIC) EndDirectMusicBackEnd();
  if (g_soundOptions.primaryBuffer) {
    g_soundOptions.primaryBuffer->Stop();
    g_soundOptions.primaryBuffer->Release();
    g_soundOptions.primaryBuffer = nullptr;
  }
  if (g_soundHandles.silentBuffer) {
    g_soundHandles.silentBuffer->Stop();
    g_soundHandles.silentBuffer->Release();
    g_soundHandles.silentBuffer = nullptr;
  }
  g_soundOptions.directSound->Release();
  g_soundOptions.directSound = nullptr;
  AddLogText("DirectSound の終了処理は正常に終了しました\n");
  return 0;
}

int EndSoundCapture() {
  if (!g_soundOptions.captureActive) return -1;
  const uint32_t dataBytes = 4u * static_cast<uint32_t>(g_soundOptions.captureFrames);
  uint8_t header[kCaptureHeaderBytes];
  CopyBytes(header, "RIFF", 4);
  PutU32(header + 4, dataBytes + 38);
  CopyBytes(header + 8, "WAVEfmt ", 8);
  PutU32(header + 16, 18);
  PutU16(header + 20, WAVE_FORMAT_PCM);
  PutU16(header + 22, 2);
  PutU32(header + 24, 44100);
  PutU32(header + 28, 176400);
  PutU16(header + 32, 4);
  PutU16(header + 34, 16);
  PutU16(header + 36, 0);
  CopyBytes(header + 38, "data", 4);
  PutU32(header + 42, dataBytes);
  DWORD written = 0;
  SetFilePointer(g_soundOptions.captureFile, 0, nullptr, FILE_BEGIN);
  WriteFile(g_soundOptions.captureFile, header, kCaptureHeaderBytes, &written, nullptr);
  CloseHandle(g_soundOptions.captureFile);
  g_soundOptions.captureActive = 0;
  g_soundOptions.captureFile = nullptr;
  return 0;
}
