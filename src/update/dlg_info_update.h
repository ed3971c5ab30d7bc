// The update information dialog ("Información de actualización"): whether
// the host is up to date, its installed and latest versions, and the way to
// ask the maker for the update. Also the checks that open it.
#pragma once

#include <string>

#include "framework/dialog.h"
#include "update/info_state.h"
#include "update/update_menu.h"

namespace qvx::update {

class CDlgInfoUpdate : public fw::CDialog {
 public:
  explicit CDlgInfoUpdate(HWND owner = nullptr);

  int m_nState = Unchecked;  // an InfoState
  std::string m_csAppName, m_csProductName, m_csError;
  std::string m_csVersion, m_csUpdateVersion;  // installed and latest; blanks go when shown

 protected:
  BOOL OnInitDialog() override;
  void DoDataExchange(fw::DataExchange& exchange) override;
  bool OnCommand(WORD id, WORD code, HWND control) override;
  INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
};

// The host executable as the dialog names it: base file name, and file
// version and product name from its version resource ("" when missing).
struct HostApplication {
  std::string appName, productName, version;
};
HostApplication ReadHostApplication();

// Asks the update server at once and shows the outcome in every state.
void CheckForUpdateNow(HWND owner);

// The check at the host's start-up: shows the dialog only for an outdated
// host, or for a failed query when prefs.showUpdateErr is set.
void RunStartupUpdateCheck(const UpdatePreferences& prefs);

}  // namespace qvx::update
