#include "intl/key_dec_hook.h"

#include "framework/handles.h"
#include "framework/module_state.h"
#include "intl/dlg_config_reg.h"
#include "intl/regional_settings.h"

namespace qvx::intl {
namespace {

// Used only on the thread that loaded the module. Never destroyed: the last
// control removes the hook, and a process that ends with controls alive must
// not unhook from the loader's exit path.
fw::unique_hhook& Hook() {
  static auto* hook = new fw::unique_hhook;
  return *hook;
}

// Bit 31 of a keyboard hook's lParam: set while the key goes up.
constexpr LPARAM kKeyUp = LPARAM{1} << 31;

}  // namespace

void SetIntlKeyDec(bool activate) {
  if (!activate) {
    RemoveIntlKeyDecHook();
    return;
  }
  if (Hook() || !CheckIntlSeparators()) return;
  const fw::ModuleState& module = fw::Module();
  Hook().reset(::SetWindowsHookExA(WH_KEYBOARD, IntlKeyDecHookProc, module.instance, module.threadId));
}

void RemoveIntlKeyDecHook() { Hook().reset(); }

bool IntlKeyDecHookHeld() { return static_cast<bool>(Hook()); }

// Every key-down of the keypad decimal key, auto-repeats included, is
// swallowed and the separator's bytes are posted as characters to the focus
// window; with no focus window nothing is typed.
LRESULT CALLBACK IntlKeyDecHookProc(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION && wParam == VK_DECIMAL && (lParam & kKeyUp) == 0) {
    HWND focus = ::GetFocus();
    if (focus == nullptr) return 1;
    for (unsigned char byte : GetIntlDecimalSep()) ::PostMessageA(focus, WM_CHAR, byte, 0);
    return 1;
  }
  return ::CallNextHookEx(Hook().get(), code, wParam, lParam);
}

}  // namespace qvx::intl
