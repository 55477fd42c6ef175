// Stand-ins for the graphics services that start-up, shut-down and device restarts call whose
// subsystems are not built yet: models, fonts, vertex and index buffers and shaders. Each answers
// as the real one does when it has nothing to do.
#include "graphics/screen_services.h"

int InitModelSystem() { return 0; }
int TerminateModelSystem() { return 0; }
int ReloadModelTextures() { return 0; }
int RebuildAllModelBuffers() { return 0; }

// No font exists until the font system is built: the default font handle is never valid.
int StartFontSystem() { return 0; }
int EndFontSystem() { return 0; }
int RecreateAllFonts() { return 0; }
int DeleteFontHandle(int) { return -1; }
int QueryDefaultFontHandle() { return -1; }
int CheckFontHandle(int) { return 0; }
int QueryFontInfo(char*, int*, int*, int) { return -1; }
int SetDefaultFontSize(const char*, int, int) { return 0; }

int DeleteAllVertexBuffers() { return 0; }
int DeleteAllIndexBuffers() { return 0; }
int DeleteAllShaders() { return 0; }
int UnpackShaderPack() { return 0; }
int ReleaseShaderPack() { return 0; }
