// The update properties dialog ("Propiedades de actualización"): the host's
// two update preferences, and a check that runs at once.
#pragma once

#include "framework/dialog.h"
#include "update/update_menu.h"

namespace qvx::update {

class CDlgUpdate : public fw::CDialog {
 public:
  explicit CDlgUpdate(HWND owner = nullptr);

  int m_bAutoUpdate = 0;     // check box 310
  int m_bShowUpdateErr = 0;  // check box 312

 protected:
  BOOL OnInitDialog() override;
  void DoDataExchange(fw::DataExchange& exchange) override;
  bool OnCommand(WORD id, WORD code, HWND control) override;
};

// Shows the dialog with prefs; on "Aceptar" both values go to prefs and to
// the host's section of the registry. Cancel changes nothing.
void ShowUpdateProperties(UpdatePreferences& prefs);

}  // namespace qvx::update
