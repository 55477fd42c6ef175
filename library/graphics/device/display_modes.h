// Display modes, the program's own display-mode changes and vertical-blank pacing. The mode
// queries the window layer calls are in the services header; these are the graphics side's.
#pragma once

// One measurement of the blank period (microseconds) through DirectDraw.
int MeasureVerticalBlankPeriod();
// Sleeps until shortly before the expected blank, then blocks in DirectDraw until it comes.
void WaitVerticalBlank();
// Puts the display into the screen settings' mode: 0, or -1 after the fall-backs failed.
int ChangeDisplayMode();
int IsDisplayModeAvailable(int width, int height, int colorBits);
// The design keeps no primary display surface: always null.
void* GetPrimaryDisplaySurface();
// Frees the display-mode list; the next query lists the modes again.
void FreeDisplayModeList();
