// The draw-state setters and getters (the draw area, filter, blend graph, fog, the settings new
// graphs are made with, vertical-blank wait) and the reset graphics start-up runs. The draw area,
// draw target and vertical-blank wait calls the window code uses are declared in
// screen_services.h.
#pragma once

#include "graphics/graphs/draw_state.h"
#include "graphics/screen_services.h"

struct UserBlendRecord;

int SetDrawFilterMode(int mode);
int GetDrawFilterMode();
int SetBlendGraph(int graph, int borderParam, int borderRange);
int SetFogMode(int mode);
int SetFogColor(int red, int green, int blue);
int SetFogStartEnd(float start, float end);
int ApplyUserBlend(const UserBlendRecord* record, int texturesOnly, int resolve);
int SetCreateGraphColorBits(int bits);
int GetCreateGraphColorBits();
int SetCreateRenderTargetGraph(int flag);
int GetCreateRenderTargetGraph();
int SetUseTransparentColor(int flag);
int GetUseTransparentColor();
int SetUseKeyToAlpha(int flag);
int SetCreateAlphaGraph(int flag);
int GetCreateAlphaGraph();
int SetCreateKeepSysMemCopy(int flag);
int GetCreateKeepSysMemCopy();
int SetEmulate320x240(int flag);
int ResetDrawState();
