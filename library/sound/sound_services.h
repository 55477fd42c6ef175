// The sound subsystem's services to the rest of the library.
#pragma once

// 1 while the sound thread runs and keeps stream sounds and soft-sound players fed; 0 when
// message processing must feed them itself (one processor, or the thread was refused).
int SoundThreadRunning();

// Hands the window what it calls in the sound system (sound_window_hooks.cpp).
void ConnectSoundToWindow();

// While 1, sounds loaded are a movie's sound track. The movie code sets it around LoadSoundFile.
int SetMovieSoundFlag(int on);
