// The main window's menu and tool bar: the item list that maps ids to names (built depth first
// over all sub-menus), showing and hiding the menu bar, the automatic menu of full-screen mode
// (shown while the mouse is in the top 60 pixels), menu and tool-bar commands, and the tool-bar
// button list. Nothing in the library adds tool-bar buttons; the list is only read and cleared.
#include "platform/gdi.h"
#include "window/window_services.h"

namespace {

constexpr int kAutoMenuZone = 60;  // Pixels from the top of the screen.

// Copies `text` into `out` (`outSize` bytes), cut at a whole character when it does not fit.
void CopyWholeCharacters(char* out, int outSize, const char* text) {
  int charSet = GetCharSet();
  int length = 0;
  while (text[length]) {
    int size = CheckLeadByte(text + length, charSet) && text[length + 1] ? 2 : 1;
    if (length + size > outSize - 1) break;
    length += size;
  }
  CopyBytes(out, text, length);
  out[length] = 0;
}

int WalkMenu(HMENU menu) {
  MenuRunState& menus = g_windowSystem.run.menus;
  int count = GetMenuItemCount(menu);
  if (count < 0) return -1;
  for (int position = 0; position < count; ++position) {
    char name[kMenuNameSize] = {};
    MENUITEMINFOA info{};
    info.dwTypeData = name;
    info.cch = sizeof(name);
    int read = ReadMenuItemInfo(position, menu, &info);
    if (read < 0) return -1;
    if (read == 1) continue;
    // The list's capacity bounds it; items past it have no name look-up.
    if (menus.itemCount < kMenuItemCapacity) {
      MenuItemEntry& entry = menus.items[menus.itemCount++];
      entry.menu = menu;
      entry.position = static_cast<uint16_t>(position);
      entry.id = static_cast<uint16_t>(info.wID);
      CopyWholeCharacters(entry.name, sizeof(entry.name), name);
    }
    if (info.hSubMenu && WalkMenu(info.hSubMenu) < 0) return -1;
  }
  return 0;
}

}  // namespace

int ReadMenuItemInfo(int position, HMENU menu, MENUITEMINFOA* info) {
  if (!info) return -1;
  LPSTR buffer = info->dwTypeData;
  UINT bufferSize = info->cch;
  info->cbSize = sizeof(*info);
  info->fMask = MIIM_TYPE;
  info->dwTypeData = nullptr;
  info->cch = 0;
  if (!GetMenuItemInfoA(menu, static_cast<UINT>(position), TRUE, info)) return -1;
  if (info->fType & MFT_SEPARATOR) return 1;
  info->fMask = MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_TYPE;
  info->dwTypeData = buffer;
  info->cch = bufferSize;
  return GetMenuItemInfoA(menu, static_cast<UINT>(position), TRUE, info) ? 0 : -1;
}

int BuildMenuItemList(HMENU menu) {
  g_windowSystem.run.menus.itemCount = 0;
  return WalkMenu(menu);
}

int LookupMenuItemName(int id, char* out, int outSize) {
  if (!out || outSize <= 0) return -1;
  out[0] = 0;
  const WindowSystemRecord& record = g_windowSystem;
  if (!record.menuInUse || !record.menu) return -1;
  const MenuRunState& menus = record.run.menus;
  for (int i = 0; i < menus.itemCount; ++i) {
    const MenuItemEntry& entry = menus.items[i];
    if (entry.id != (id & 0xFFFF)) continue;
    // Read again, so an item whose text was changed reports its current text.
    char name[kMenuNameSize] = {};
    MENUITEMINFOA info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_TYPE;
    info.dwTypeData = name;
    info.cch = sizeof(name);
    if (!GetMenuItemInfoA(entry.menu, entry.position, TRUE, &info)) return -1;
    CopyWholeCharacters(out, outSize, name);
    return 0;
  }
  return -1;
}

int IsMenuOnScreen() {
  const WindowSystemRecord& record = g_windowSystem;
  if (!record.mainWindow || !record.menuInUse || record.menuHidden) return 0;
  return record.menuAlwaysShown || record.windowedMode || record.run.menuCounter > 0 ? 1 : 0;
}

int ShowMenuBar(int show) {
  WindowSystemRecord& record = g_windowSystem;
  if (!record.menuInUse) return 0;
  record.menuHidden = !show;
  if (!record.mainWindow) return 0;
  MenuRunState& menus = record.run.menus;
  int onScreen = IsMenuOnScreen();
  if (onScreen == menus.lastShown) return 0;
  SetMenu(record.mainWindow, onScreen ? record.menu : nullptr);
  menus.attached = onScreen;
  if (record.windowedMode) ApplyWindowStyle();
  UpdateWindow(record.mainWindow);
  menus.lastShown = onScreen;
  return 0;
}

int UpdateAutoMenu() {
  WindowSystemRecord& record = g_windowSystem;
  if (record.windowedMode) return 0;
  int y = 0;
  QueryMousePosition(nullptr, &y);
  if (GraphicsHooks().hardwareAccelWanted()) {
    // The window procedure shows this menu itself, from the hit tests near the top edge.
    if (!record.run.menus.attached && record.menuInUse && record.mainWindow) {
      SetMenu(record.mainWindow, record.menu);
      record.run.menus.attached = 1;
    }
    if (y > kAutoMenuZone) SetCursorVisible(record.run.requestedCursor);
    return 0;
  }
  record.run.menuCounter = y < kAutoMenuZone ? 1 : 0;
  GraphicsHooks().switchDialogBoxMode(0);
  SetCursorVisible(record.run.requestedCursor);
  ShowMenuBar(!record.menuHidden);
  return 0;
}

int HandleMenuCommand(WPARAM wParam) {
  WindowSystemRecord& record = g_windowSystem;
  MenuRunState& menus = record.run.menus;
  int id = LOWORD(wParam);
  if (menus.toolBarPresent && id >= kToolBarCommandBase) {
    int index = FindToolBarButton(id - kToolBarCommandBase);
    if (index >= 0) {
      if (menus.buttons[index].type == TOOL_BAR_BUTTON_PLAIN) menus.buttons[index].clicked = 1;
      return 0;
    }
  }
  if (!record.menuInUse) return 0;
  if (record.menuCallback) record.menuCallback(wParam);
  if (record.menuNameCallback) {
    char name[kMenuNameSize];
    LookupMenuItemName(id, name, sizeof(name));
    record.menuNameCallback(name, id);
  }
  for (int i = 0; i < menus.chosenCount; ++i)
    if (menus.chosen[i] == id) return 0;
  if (menus.chosenCount < kChosenMenuItemCapacity) menus.chosen[menus.chosenCount++] = id;
  return 0;
}

int FindToolBarButton(int id) {
  const MenuRunState& menus = g_windowSystem.run.menus;
  if (!menus.toolBarPresent) return -1;
  for (int i = 0; i < menus.buttonCount; ++i)
    if (menus.buttons[i].id == id && menus.buttons[i].type != TOOL_BAR_BUTTON_SEPARATOR) return i;
  return -1;
}

int QueryToolBarHeight() {
  const MenuRunState& menus = g_windowSystem.run.menus;
  if (!menus.toolBarPresent || !menus.toolBarWindow) return 0;
  RECT rect{};
  if (!GetWindowRect(menus.toolBarWindow, &rect)) return 0;
  return rect.bottom - rect.top;
}

int RemoveAllToolBarButtons() {
  MenuRunState& menus = g_windowSystem.run.menus;
  if (!menus.toolBarPresent) return -1;
  for (int i = 0; i < menus.buttonCount; ++i) SendMessageA(menus.toolBarWindow, TB_DELETEBUTTON, 0, 0);
  menus.buttonCount = 0;
  return 0;
}

int EndMenuAndToolBar() {
  WindowSystemRecord& record = g_windowSystem;
  MenuRunState& menus = record.run.menus;
  if (record.menuInUse) {
    ShowMenuBar(0);
    if (record.menu) DestroyMenu(record.menu);
    record.menu = nullptr;
    record.menuInUse = 0;
    record.menuHidden = 0;
    record.run.menuCounter = 0;
    menus.attached = menus.lastShown = 0;
    menus.chosenCount = 0;
    menus.itemCount = 0;
  }
  if (menus.toolBarPresent && record.windowedMode) {
    RemoveAllToolBarButtons();
    if (menus.toolBarWindow) DestroyWindow(menus.toolBarWindow);
    if (menus.toolBarBitmap) DeleteObject(menus.toolBarBitmap);
    menus.toolBarPresent = 0;
    menus.toolBarWindow = nullptr;
    menus.toolBarBitmap = nullptr;
    FitWindowToScreen();
  }
  return 0;
}
