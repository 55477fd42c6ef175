// Log: the state of the log writer, kept in the runtime's record. The window set-up's clear keeps
// every field here but the indent level, the mid-line flag and the on-screen log.
#pragma once

#include <cstdint>

// The on-screen log: a block of text lines the screen flip draws over the picture while its show
// switch is on (graphics draws it). Nothing in the library writes lines or turns the switch on.
struct OnScreenLogState {
  static constexpr int kLineCount = 80;
  int started = 0;
  int lineHeight = 16;
  int font = -1;     // Font handle, -1 when none.
  int fontLost = 1;  // Set by the font system when the font goes.
  int show = 0;      // The show switch.
  char lines[kLineCount][255] = {};
};

struct LogState {
  int indentLevel = 0;       // One tab per level at the start of each line.
  int midLine = 0;           // 1 while the last text written did not end with a line feed.
  int noTimeStamp = 0;       // Option: lines start without "%d:".
  char directory[260] = {};  // Where Log.txt lives: the start-up directory; empty: no log yet.
  int fileOutputOff = 0;     // Option: the log writes nothing anywhere.
  int datedName = 0;         // Option: "Log<year>_<month>_<day>_<hour>_<minute>_<second>.txt".
  char fileName[64] = "Log.txt";
  uint32_t startTime = 0;     // timeGetTime when the log was opened.
  OnScreenLogState onScreen;  // Cleared with the indent level by the window set-up.
};

// Start-up saves the current directory here before it opens the log; texts written before that
// go nowhere.
int SetLogDirectory(const char* directory);
