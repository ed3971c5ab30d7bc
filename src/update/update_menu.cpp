#include "update/update_menu.h"

#include <algorithm>
#include <vector>

#include "framework/module_state.h"
#include "framework/per_thread.h"
#include "resources/resource.h"
#include "update/update_section.h"

namespace qvx::update {
namespace {

// Each thread's hook, on that thread. Never destroyed: a thread's last
// control removes its hook, and a process that ends with controls alive must
// not unhook from the loader's exit path.
fw::PerThread<fw::unique_hhook>& Hooks() {
  static auto* hooks = new fw::PerThread<fw::unique_hhook>;
  return *hooks;
}

HHOOK ThreadHook() {
  return Hooks().With([](fw::unique_hhook& hook) { return hook.get(); });
}

// The windows of live controls, in the order the item reports to them; each
// thread's item reports to a control of its own thread.
struct TargetList {
  SRWLOCK lock = SRWLOCK_INIT;
  std::vector<HWND> windows;
};

TargetList& Targets() {
  static auto* targets = new TargetList;
  return *targets;
}

template <typename F>
auto WithTargets(F f) {
  TargetList& t = Targets();
  const fw::ExclusiveLock lock(t.lock);
  return f(t.windows);
}

HWND ThreadTarget() {
  return WithTargets([](std::vector<HWND>& windows) -> HWND {
    for (HWND w : windows)
      if (::GetWindowThreadProcessId(w, nullptr) == ::GetCurrentThreadId()) return w;
    return nullptr;
  });
}

// Only the command taken out of the queue counts, not a look at it.
LRESULT CALLBACK UpdateMenuHookProc(int code, WPARAM wParam, LPARAM lParam) {
  const auto* msg = reinterpret_cast<const MSG*>(lParam);
  if (code == HC_ACTION && wParam == PM_REMOVE && msg->message == WM_COMMAND && HIWORD(msg->wParam) == 0 &&
      LOWORD(msg->wParam) == ID_UPDATE_PROPERTIES) {
    if (HWND target = ThreadTarget()) ::PostMessageW(target, WM_SHOW_UPDATE_PROPERTIES, 0, 0);
    return 1;
  }
  return ::CallNextHookEx(ThreadHook(), code, wParam, lParam);
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
  WithTargets([&](std::vector<HWND>& windows) {
    if (std::find(windows.begin(), windows.end(), controlWindow) == windows.end()) windows.push_back(controlWindow);
    return true;
  });
}

void RemoveUpdateTarget(HWND controlWindow) {
  WithTargets([&](std::vector<HWND>& windows) {
    windows.erase(std::remove(windows.begin(), windows.end(), controlWindow), windows.end());
    return true;
  });
}

// The bar belongs to the top-level window: the control's parent may be a
// frame, an AtlAxWin or an MDI child, and GetMenu of a child is its ID.
bool InstallUpdateMenu(HWND controlWindow, UpdatePreferences& prefs) {
  HWND parent = controlWindow ? ::GetParent(controlWindow) : nullptr;
  HWND root = parent ? ::GetAncestor(parent, GA_ROOT) : nullptr;
  HMENU bar = root ? ::GetMenu(root) : nullptr;
  if (!bar || !::IsMenu(bar) || ThreadHook()) return false;
  HMENU popup = LastPopup(bar);
  if (!popup) return false;
  const bool hooked = Hooks().With([](fw::unique_hhook& hook) {
    hook.reset(::SetWindowsHookExW(WH_GETMESSAGE, UpdateMenuHookProc, fw::Module().instance, ::GetCurrentThreadId()));
    return static_cast<bool>(hook);
  });
  if (!hooked) return false;
  // An integration after the last control had gone finds the items there.
  if (::GetMenuState(bar, ID_UPDATE_PROPERTIES, MF_BYCOMMAND) == static_cast<UINT>(-1)) {
    ::AppendMenuA(popup, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuA(popup, MF_STRING, ID_UPDATE_PROPERTIES, fw::LoadResString(IDS_UPDATE_MENU_ITEM).c_str());
  }
  WithTargets([&](std::vector<HWND>& windows) {
    windows.erase(std::remove(windows.begin(), windows.end(), controlWindow), windows.end());
    return windows.insert(windows.begin(), controlWindow);
  });
  prefs = ReadUpdatePreferences();
  return true;
}

bool UpdateHookHeld() { return ThreadHook() != nullptr; }

void RemoveUpdateHook() {
  Hooks().With([](fw::unique_hhook& hook) { return hook.reset(), true; });
}

}  // namespace qvx::update
