// In-memory menus: a menu is a list of items (text, id, state, sub-menu, separator); windows only
// hold the handle. The registry of live menus lets a stale handle be refused.
#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <set>

#include "platform/kernel.h"
#include "user/user_state.h"

namespace platform {
namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

struct MenuItem {
  UINT type = MFT_STRING;
  UINT state = 0;
  UINT id = 0;
  HMENU subMenu = nullptr;
  std::string text;
};

struct Menu {
  std::vector<MenuItem> items;
};

struct MenuRegistry {
  std::map<HMENU, std::unique_ptr<Menu>> menus;
};

MenuRegistry& Menus() {
  static auto* registry = new MenuRegistry;
  return *registry;
}

Menu* LookUpMenu(HMENU menu) {
  auto it = Menus().menus.find(menu);
  return it == Menus().menus.end() ? nullptr : it->second.get();
}

HMENU NewMenu() {
  Lock lock(User().mutex);
  auto menu = std::make_unique<Menu>();
  HMENU handle = reinterpret_cast<HMENU>(menu.get());
  Menus().menus[handle] = std::move(menu);
  return handle;
}

// The item by position, or the first by id (searching sub-menus too, as the platform does).
MenuItem* FindItem(Menu* menu, UINT item, BOOL byPosition) {
  if (byPosition) return item < menu->items.size() ? &menu->items[item] : nullptr;
  for (MenuItem& entry : menu->items) {
    if (!(entry.type & MFT_SEPARATOR) && entry.id == item) return &entry;
    if (Menu* sub = LookUpMenu(entry.subMenu))
      if (MenuItem* found = FindItem(sub, item, FALSE)) return found;
  }
  return nullptr;
}

void DestroyTree(HMENU handle) {
  auto it = Menus().menus.find(handle);
  if (it == Menus().menus.end()) return;
  std::unique_ptr<Menu> menu = std::move(it->second);
  Menus().menus.erase(it);
  for (MenuItem& item : menu->items) DestroyTree(item.subMenu);
}

}  // namespace
}  // namespace platform

using namespace platform;

HMENU CreateMenu() { return NewMenu(); }
HMENU CreatePopupMenu() { return NewMenu(); }

BOOL AppendMenuA(HMENU handle, UINT flags, UINT_PTR id, LPCSTR text) {
  Lock lock(User().mutex);
  Menu* menu = LookUpMenu(handle);
  if (!menu) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  MenuItem item;
  if (flags & MF_SEPARATOR) {
    item.type = MFT_SEPARATOR;
  } else {
    item.text = text ? text : "";
    item.state = flags & (MF_GRAYED | MF_DISABLED | MF_CHECKED);
  }
  if (flags & MF_POPUP) {
    item.subMenu = reinterpret_cast<HMENU>(id);
    if (!LookUpMenu(item.subMenu)) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
  } else {
    item.id = static_cast<UINT>(id);
  }
  menu->items.push_back(std::move(item));
  return TRUE;
}

BOOL DestroyMenu(HMENU handle) {
  Lock lock(User().mutex);
  if (!LookUpMenu(handle)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  for (auto& entry : User().windows)
    if (entry.second->menu == handle) entry.second->menu = nullptr;
  DestroyTree(handle);
  return TRUE;
}

BOOL IsMenu(HMENU handle) {
  Lock lock(User().mutex);
  return LookUpMenu(handle) != nullptr;
}

int GetMenuItemCount(HMENU handle) {
  Lock lock(User().mutex);
  Menu* menu = LookUpMenu(handle);
  if (!menu) {
    SetLastError(ERROR_INVALID_HANDLE);
    return -1;
  }
  return static_cast<int>(menu->items.size());
}

BOOL GetMenuItemInfoA(HMENU handle, UINT position, BOOL byPosition, MENUITEMINFOA* info) {
  Lock lock(User().mutex);
  Menu* menu = LookUpMenu(handle);
  MenuItem* item = menu && info ? FindItem(menu, position, byPosition) : nullptr;
  if (!item) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (info->fMask & (MIIM_TYPE | MIIM_FTYPE)) info->fType = item->type;
  if (info->fMask & MIIM_STATE) info->fState = item->state;
  if (info->fMask & MIIM_ID) info->wID = item->id;
  if (info->fMask & MIIM_SUBMENU) info->hSubMenu = item->subMenu;
  if (info->fMask & (MIIM_TYPE | MIIM_STRING)) {
    UINT length = static_cast<UINT>(item->text.size());
    if (info->dwTypeData && info->cch > 0) {
      UINT copied = std::min(length, info->cch - 1);
      std::memcpy(info->dwTypeData, item->text.data(), copied);
      info->dwTypeData[copied] = 0;
      info->cch = copied;
    } else {
      info->cch = length;
    }
  }
  return TRUE;
}

BOOL SetMenuItemInfoA(HMENU handle, UINT position, BOOL byPosition, const MENUITEMINFOA* info) {
  Lock lock(User().mutex);
  Menu* menu = LookUpMenu(handle);
  MenuItem* item = menu && info ? FindItem(menu, position, byPosition) : nullptr;
  if (!item) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (info->fMask & (MIIM_TYPE | MIIM_FTYPE)) item->type = info->fType;
  if (info->fMask & MIIM_STATE) item->state = info->fState;
  if (info->fMask & MIIM_ID) item->id = info->wID;
  if (info->fMask & MIIM_SUBMENU) item->subMenu = info->hSubMenu;
  if ((info->fMask & (MIIM_TYPE | MIIM_STRING)) && !(item->type & MFT_SEPARATOR))
    item->text = info->dwTypeData ? info->dwTypeData : "";
  return TRUE;
}

BOOL SetMenu(HWND window, HMENU menu) {
  Lock lock(User().mutex);
  WindowRecord* record = LookUpWindow(window);
  if (!record || (menu && !LookUpMenu(menu))) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  record->menu = menu;
  return TRUE;
}

HMENU GetMenu(HWND window) {
  Lock lock(User().mutex);
  WindowRecord* record = LookUpWindow(window);
  return record ? record->menu : nullptr;
}

// No menu bar is drawn: only the window is checked.
BOOL DrawMenuBar(HWND window) {
  Lock lock(User().mutex);
  return LookUpWindow(window) != nullptr;
}
