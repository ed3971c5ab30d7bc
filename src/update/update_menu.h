// The update service's place in the host: an "Actuali&zaciones..." item on
// the host's menu, a message hook that turns the item's command into
// WM_SHOW_UPDATE_PROPERTIES for a live control's window, and the host's
// preferences. One hook per user-interface thread of the host that holds
// controls, shared by that thread's controls.
#pragma once

#include <windows.h>

#include <string>

namespace qvx::update {

inline constexpr UINT WM_SHOW_UPDATE_PROPERTIES = WM_USER + 80;
inline constexpr UINT ID_UPDATE_PROPERTIES = 65534;

struct UpdatePreferences {
  int autoUpdate = 0;     // check at the host's start-up
  int showUpdateErr = 0;  // show a failed start-up check too
};

// The section of the running host under HKCU\Software\Quorvex\QuorvexIntl;
// "" when its path cannot be read.
std::string HostUpdateSection();
UpdatePreferences ReadUpdatePreferences();
bool WriteUpdatePreferences(const UpdatePreferences& preferences);

// Windows of live controls that the item may report to. The one that
// installed the menu comes first; when it goes another of its thread takes
// its place, and with none left the item does nothing.
void AddUpdateTarget(HWND controlWindow);
void RemoveUpdateTarget(HWND controlWindow);

// Appends the item to the last popup of the menu bar of the top-level window
// that holds controlWindow (not again if the bar holds it already), installs
// the hook and reads the preferences. False, with prefs untouched, when there
// is no such menu or popup, or a hook is held or refused.
bool InstallUpdateMenu(HWND controlWindow, UpdatePreferences& prefs);

bool UpdateHookHeld();
// The thread's last control calls this; the items stay on the menu.
void RemoveUpdateHook();

}  // namespace qvx::update
