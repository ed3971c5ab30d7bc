// CQVXIntlCtrl: the module's one control class. Invisible at run time; it
// exists to serve the calls of its dispatch interface _DQVXIntl.
#pragma once

#include "framework/ole_control.h"
#include "update/update_menu.h"

namespace qvx {

class CQVXIntlCtrl final : public fw::COleControl {
 public:
  // The class factory's creation function.
  static HRESULT CreateInstance(REFIID riid, void** ppv);

  // The dispatch table, also read by tests that compare it with the type library.
  static const fw::DispatchTable& DispatchMap();

  class CQVXIntlCtrlFactory {
   public:
    // Registers the class (bRegister nonzero) or removes its registration.
    static BOOL UpdateRegistry(BOOL bRegister);
  };

 protected:
  void OnDraw(HDC dc, const RECT& bounds, const RECT& invalid) override;
  void OnWindowCreated() override;
  void OnWindowDestroyed(HWND window) override;
  bool OnWindowMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

 private:
  CQVXIntlCtrl();
  ~CQVXIntlCtrl() override;

  // Runs once per control, posted when it first gets a window: by then the
  // host's own start-up has returned to its message loop and its menu exists.
  void RunStartupIntegration();
  // The check at start-up, when the host's preference asks for it.
  void RunStartupUpdateCheck();
  // The menu item's handler: the preferences dialog.
  void ShowUpdateProperties();

  update::UpdatePreferences prefs_;
  bool startupPosted_ = false;
};

}  // namespace qvx
