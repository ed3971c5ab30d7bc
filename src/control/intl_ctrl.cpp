#include "control/intl_ctrl.h"

#include <new>

#include "control/intl_ids.h"
#include "control/process_state.h"
#include "intl/key_dec_hook.h"
#include "resources/resource.h"
#include "update/dlg_info_update.h"
#include "update/dlg_update.h"
#include "update/update_menu.h"

namespace qvx {

ProcessState& Process() {
  static ProcessState state;
  return state;
}

namespace {

constexpr UINT kRunStartupIntegration = WM_USER + 81;

const fw::ControlClassInfo& IntlClassInfo() {
  static const fw::ControlClassInfo info = {
      &CLSID_QVXIntl,      &DIID_DQVXIntl,        &DIID_DQVXIntlEvents,  &LIBID_QVXINTLLib,
      kTypeLibMajor,       kTypeLibMinor,         kQVXIntlMiscStatus,    IDS_QVXINTL_USERTYPE,
      kQVXIntlExchangeVersion, CQVXIntlCtrl::DispatchMap(),
  };
  return info;
}

}  // namespace

CQVXIntlCtrl::CQVXIntlCtrl() : COleControl(IntlClassInfo()) {
  Process().threadControls.With([](int& count) { return ++count; });  // first: it may run out of memory
  ::InterlockedIncrement(&Process().liveControls);
}

// The last control of a thread takes the thread's hooks with it, so that a
// control created later can install them again.
CQVXIntlCtrl::~CQVXIntlCtrl() {
  update::RemoveUpdateTarget(ControlWindow());
  ::InterlockedDecrement(&Process().liveControls);
  if (Process().threadControls.With([](int& count) { return --count; }) == 0) {
    intl::RemoveIntlKeyDecHook();
    update::RemoveUpdateHook();
  }
}

HRESULT CQVXIntlCtrl::CreateInstance(REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  auto* control = new (std::nothrow) CQVXIntlCtrl();
  if (control == nullptr) return E_OUTOFMEMORY;
  HRESULT hr = control->QueryInterface(riid, ppv);
  control->Release();
  return hr;
}

// A placeholder for form designers: white, with an inscribed ellipse drawn
// with the DC's current pen and brush.
void CQVXIntlCtrl::OnDraw(HDC dc, const RECT& bounds, const RECT&) {
  ::FillRect(dc, &bounds, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
  ::Ellipse(dc, bounds.left, bounds.top, bounds.right, bounds.bottom);
}

void CQVXIntlCtrl::OnWindowCreated() {
  update::AddUpdateTarget(ControlWindow());
  if (!startupPosted_) startupPosted_ = ::PostMessageW(ControlWindow(), kRunStartupIntegration, 0, 0) != FALSE;
}

void CQVXIntlCtrl::OnWindowDestroyed(HWND window) { update::RemoveUpdateTarget(window); }

bool CQVXIntlCtrl::OnWindowMessage(UINT msg, WPARAM, LPARAM, LRESULT& result) {
  if (msg != kRunStartupIntegration && msg != update::WM_SHOW_UPDATE_PROPERTIES) return false;
  // The host may release the control while one of its modal dialogs runs.
  AddRef();
  // Nothing may leave a window procedure: out of memory, the step is skipped.
  try {
    if (msg == kRunStartupIntegration) {
      RunStartupIntegration();
    } else {
      ShowUpdateProperties();
    }
  } catch (...) {
  }
  Release();
  result = 0;
  return true;
}

// With the update integration switched off, or a hook already held by an
// earlier control of the thread, neither step runs.
void CQVXIntlCtrl::RunStartupIntegration() {
  if (Process().autoUpdateSwitch == 0 || update::UpdateHookHeld()) return;
  update::InstallUpdateMenu(ControlWindow(), prefs_);
  if (prefs_.autoUpdate != 0) RunStartupUpdateCheck();
}

void CQVXIntlCtrl::RunStartupUpdateCheck() { update::RunStartupUpdateCheck(prefs_); }

void CQVXIntlCtrl::ShowUpdateProperties() { update::ShowUpdateProperties(prefs_); }

}  // namespace qvx
