// Stand-ins for menus, the tool bar and the mouse cursor, until they land.
#include "window/window_services.h"

int BuildMenuItemList() { return 0; }
int UpdateAutoMenu() { return 0; }
int SetCursorVisible(int) { return 0; }
int RecordMouseClick(int) { return 0; }
int FindToolBarButton(int, int*) { return -1; }
int LookupMenuItemName(int, char* name) {
  if (name) name[0] = 0;
  return -1;
}
int QueryToolBarHeight() { return 0; }
