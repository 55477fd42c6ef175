// Seam: stream sounds are built by a later sound issue. Nothing creates one yet, so the refill
// has nothing to do and the per-sound calls decline.
#include "sound/loading.h"
#include "sound/sound_records.h"

int StopStreamSoundHandle(int) { return -1; }
int CheckStreamSoundPlaying(int) { return 0; }

int UpdateStreamSounds() { return g_soundOptions.directSound ? 0 : -1; }

// Loading hands long sounds, and sounds whose buffers cannot be made, to stream sounds; until
// they exist that hand-over fails with the stream set-up's own log line.

int AddStreamSoundFile(const char* path, int, int, int, int) {
  WriteLogFormat("右記のＷＡＶファイルのセットアップに失敗しました：%s \n", path);
  return -1;
}

int AddStreamSoundMemory(const void*, int, int, int, int, int) {
  AddLogText("ＷＡＶファイルのストリームイメージのセットアップに失敗しました \n");
  return -1;
}

int PrimeStreamSound(int) { return -1; }
int PlayStreamSoundHandle(int, int, int) { return -1; }
int GetStreamSoundPosition(int) { return -1; }
