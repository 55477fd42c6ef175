// Stand-ins for the graphics services that start-up and shut-down call whose subsystems are not
// built yet: models and fonts.
// Each answers as the real one does when it has nothing to do.
#include "graphics/screen_services.h"

int InitModelSystem() { return 0; }
int TerminateModelSystem() { return 0; }
int DeleteFontHandle(int) { return -1; }
