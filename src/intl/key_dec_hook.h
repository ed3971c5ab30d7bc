// Makes the numeric keypad's decimal key type the user's regional decimal
// separator in every window of the calling thread. One hook per thread,
// shared by the thread's controls.
#pragma once

#include <windows.h>

namespace qvx::intl {

// TRUE installs the hook, after the separator check, unless one is held;
// FALSE removes it if held. A failed install leaves none held, so a later
// call tries again.
void SetIntlKeyDec(bool activate);

// Removes the thread's hook if held; the thread's last control calls this.
void RemoveIntlKeyDecHook();

bool IntlKeyDecHookHeld();

LRESULT CALLBACK IntlKeyDecHookProc(int code, WPARAM wParam, LPARAM lParam);

}  // namespace qvx::intl
