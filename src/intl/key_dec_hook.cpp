#include "intl/key_dec_hook.h"

#include "framework/module_state.h"
#include "framework/per_thread.h"
#include "intl/dlg_config_reg.h"
#include "intl/regional_settings.h"

namespace qvx::intl {
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

// Bit 31 of a keyboard hook's lParam: set while the key goes up.
constexpr LPARAM kKeyUp = LPARAM{1} << 31;

}  // namespace

void SetIntlKeyDec(bool activate) {
  if (!activate) {
    RemoveIntlKeyDecHook();
    return;
  }
  // The check may show the separator warning: not under the table's lock.
  if (ThreadHook() || !CheckIntlSeparators()) return;
  Hooks().With([](fw::unique_hhook& hook) {
    if (!hook) hook.reset(::SetWindowsHookExA(WH_KEYBOARD, IntlKeyDecHookProc, fw::Module().instance, ::GetCurrentThreadId()));
    return true;
  });
}

void RemoveIntlKeyDecHook() {
  Hooks().With([](fw::unique_hhook& hook) { return hook.reset(), true; });
}

bool IntlKeyDecHookHeld() { return ThreadHook() != nullptr; }

// Every key-down of the keypad decimal key, auto-repeats included, is
// swallowed and the separator's bytes are posted as characters to the focus
// window; with no focus window nothing is typed.
// Nothing may leave a hook procedure: out of memory, the key is swallowed
// with nothing typed.
LRESULT CALLBACK IntlKeyDecHookProc(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION && wParam == VK_DECIMAL && (lParam & kKeyUp) == 0) {
    HWND focus = ::GetFocus();
    if (focus == nullptr) return 1;
    try {
      for (unsigned char byte : GetIntlDecimalSep()) ::PostMessageA(focus, WM_CHAR, byte, 0);
    } catch (...) {
    }
    return 1;
  }
  return ::CallNextHookEx(ThreadHook(), code, wParam, lParam);
}

}  // namespace qvx::intl
