// The sound subsystem's services to the rest of the library.
#pragma once

// 1 while the sound thread runs and keeps stream sounds and soft-sound players fed; 0 when
// message processing must feed them itself (one processor, or the thread was refused).
int SoundThreadRunning();
