#include "update/dlg_update.h"

#include "framework/module_state.h"
#include "resources/resource.h"
#include "update/dlg_info_update.h"

namespace qvx::update {

CDlgUpdate::CDlgUpdate(HWND owner) : fw::CDialog(IDD_UPDATE, owner) {}

void CDlgUpdate::DoDataExchange(fw::DataExchange& exchange) {
  exchange.Check(IDC_UPD_AUTO, m_bAutoUpdate);
  exchange.Check(IDC_UPD_SHOW_ERR, m_bShowUpdateErr);
}

BOOL CDlgUpdate::OnInitDialog() {
  fw::CDialog::OnInitDialog();
  ::EnableWindow(Item(IDC_UPD_SHOW_ERR), m_bAutoUpdate != 0);
  const fw::ModuleState& module = fw::Module();
  const auto icon = static_cast<HICON>(
      ::LoadImageA(module.resources, MAKEINTRESOURCEA(IDI_UPDATE_CHECK_NOW), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
  if (AdoptIcon(icon))
    ::SendMessageA(Item(IDC_UPD_CHECK_NOW), BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icon));
  return TRUE;
}

bool CDlgUpdate::OnCommand(WORD id, WORD code, HWND control) {
  switch (id) {
    case IDC_UPD_AUTO:
      // Disabled, 312 keeps its check mark for when 310 comes back.
      if (code == BN_CLICKED)
        ::EnableWindow(Item(IDC_UPD_SHOW_ERR), ::SendMessageA(Item(IDC_UPD_AUTO), BM_GETCHECK, 0, 0) == BST_CHECKED);
      return true;
    case IDC_UPD_CHECK_NOW:
      if (code == BN_CLICKED) CheckForUpdateNow(Hwnd());
      return true;
    default:
      return fw::CDialog::OnCommand(id, code, control);
  }
}

void ShowUpdateProperties(UpdatePreferences& prefs) {
  CDlgUpdate dialog;
  dialog.m_bAutoUpdate = prefs.autoUpdate;
  dialog.m_bShowUpdateErr = prefs.showUpdateErr;
  if (dialog.DoModal() != IDOK) return;
  prefs.autoUpdate = dialog.m_bAutoUpdate;
  prefs.showUpdateErr = dialog.m_bShowUpdateErr;
  WriteUpdatePreferences(prefs);
}

}  // namespace qvx::update
