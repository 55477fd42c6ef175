// Stand-ins for the graph-handle calls the model textures make (see the header).
#include "graphics/graph_handle_stand_in.h"

int RefillGraphFromImages(BaseImage*, BaseImage*, int, int, int) { return -1; }
int ReloadGraphFromMemoryImage(const void*, int, int, const void*, int, int) { return -1; }
int DeleteGraphHandle(int) { return -1; }
