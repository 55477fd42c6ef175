// Log: the state of the log writer, kept in `WindowSystemRecord`. The window set-up's clear of
// that record keeps every field here but the indent level and the mid-line flag.
#pragma once

#include <cstdint>

struct LogState {
  int indentLevel = 0;   // One tab per level at the start of each line.
  int midLine = 0;       // 1 while the last text written did not end with a line feed.
  int noTimeStamp = 0;   // Option: lines start without "%d:".
  char directory[260] = {};  // Where Log.txt lives: the start-up directory; empty: no log yet.
  int fileOutputOff = 0;     // Option: the log writes nothing anywhere.
  int datedName = 0;         // Option: "Log<year>_<month>_<day>_<hour>_<minute>_<second>.txt".
  char fileName[64] = "Log.txt";
  uint32_t startTime = 0;  // timeGetTime when the log was opened.
};

// Start-up saves the current directory here before it opens the log; texts written before that
// go nowhere.
int SetLogDirectory(const char* directory);

// The on-screen log's show switch, read by the screen flip. (The on-screen log itself comes with
// the fonts; until then it is never shown.)
int GetScreenLogFlag();

// Starts the on-screen log at start-up (on_screen_log_stand_in.cpp until the fonts are built).
int InitOnScreenLog();
// Draws the on-screen log into the screen; the flip calls it while the show switch is on.
int DrawOnScreenLog();
