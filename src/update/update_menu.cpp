#include "update/update_menu.h"

#include <algorithm>
#include <vector>

#include "framework/handles.h"
#include "framework/module_state.h"
#include "resources/resource.h"
#include "update/update_section.h"

namespace qvx::update {
namespace {

// Used only on the thread that loaded the module. Never destroyed: the last
// control removes the hook, and a process that ends with controls alive must
// not unhook from the loader's exit path.
fw::unique_hhook& Hook() {
  static auto* hook = new fw::unique_hhook;
  return *hook;
}

std::vector<HWND>& Targets() {
  static std::vector<HWND> targets;
  return targets;
}

// Only the command taken out of the queue counts, not a look at it.
LRESULT CALLBACK UpdateMenuHookProc(int code, WPARAM wParam, LPARAM lParam) {
  const auto* msg = reinterpret_cast<const MSG*>(lParam);
  if (code == HC_ACTION && wParam == PM_REMOVE && msg->message == WM_COMMAND && HIWORD(msg->wParam) == 0 &&
      LOWORD(msg->wParam) == ID_UPDATE_PROPERTIES) {
    if (!Targets().empty()) ::PostMessageW(Targets().front(), WM_SHOW_UPDATE_PROPERTIES, 0, 0);
    return 1;
  }
  return ::CallNextHookEx(Hook().get(), code, wParam, lParam);
}

// The last item of the bar if it is a popup, else the last popup of all.
HMENU LastPopup(HMENU bar) {
  const int count = ::GetMenuItemCount(bar);
  if (count > 0)
    if (HMENU last = ::GetSubMenu(bar, count - 1)) return last;
  HMENU found = nullptr;
  for (int i = 0; i < count; ++i)
    if (HMENU popup = ::GetSubMenu(bar, i)) found = popup;
  return found;
}

}  // namespace

std::string HostUpdateSection() {
  char path[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  return length == 0 || length >= MAX_PATH ? std::string() : UpdateSection(std::string(path, length));
}

UpdatePreferences ReadUpdatePreferences() {
  const std::string section = HostUpdateSection();
  if (section.empty()) return {};
  return {static_cast<int>(fw::GetProfileInt(section, "AutoUpdate", 0)),
          static_cast<int>(fw::GetProfileInt(section, "ShowUpdateErr", 0))};
}

bool WriteUpdatePreferences(const UpdatePreferences& preferences) {
  const std::string section = HostUpdateSection();
  return !section.empty() && fw::WriteProfileInt(section, "AutoUpdate", preferences.autoUpdate) &&
         fw::WriteProfileInt(section, "ShowUpdateErr", preferences.showUpdateErr);
}

void AddUpdateTarget(HWND controlWindow) {
  if (std::find(Targets().begin(), Targets().end(), controlWindow) == Targets().end())
    Targets().push_back(controlWindow);
}

void RemoveUpdateTarget(HWND controlWindow) {
  Targets().erase(std::remove(Targets().begin(), Targets().end(), controlWindow), Targets().end());
}

// The bar belongs to the top-level window: the control's parent may be a
// frame, an AtlAxWin or an MDI child, and GetMenu of a child is its ID.
bool InstallUpdateMenu(HWND controlWindow, UpdatePreferences& prefs) {
  HWND parent = controlWindow ? ::GetParent(controlWindow) : nullptr;
  HWND root = parent ? ::GetAncestor(parent, GA_ROOT) : nullptr;
  HMENU bar = root ? ::GetMenu(root) : nullptr;
  if (!bar || !::IsMenu(bar) || Hook()) return false;
  HMENU popup = LastPopup(bar);
  if (!popup) return false;
  const fw::ModuleState& module = fw::Module();
  Hook().reset(::SetWindowsHookExW(WH_GETMESSAGE, UpdateMenuHookProc, module.instance, ::GetCurrentThreadId()));
  if (!Hook()) return false;
  // An integration after the last control had gone finds the items there.
  if (::GetMenuState(bar, ID_UPDATE_PROPERTIES, MF_BYCOMMAND) == static_cast<UINT>(-1)) {
    ::AppendMenuA(popup, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuA(popup, MF_STRING, ID_UPDATE_PROPERTIES, fw::LoadResString(IDS_UPDATE_MENU_ITEM).c_str());
  }
  RemoveUpdateTarget(controlWindow);
  Targets().insert(Targets().begin(), controlWindow);
  prefs = ReadUpdatePreferences();
  return true;
}

bool UpdateHookHeld() { return static_cast<bool>(Hook()); }

void RemoveUpdateHook() { Hook().reset(); }

}  // namespace qvx::update
