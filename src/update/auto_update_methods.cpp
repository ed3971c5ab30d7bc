#include "update/auto_update_methods.h"

#include "update/dlg_auto_update.h"

namespace qvx {

namespace {

// AutoUpdateExt2 from its first out-parameter on (first = the auto-check flag).
void RunExt(fw::DispatchCall& call, const std::string& path, const std::string& extension, size_t first) {
  CDlgAutoUpdate dialog;
  dialog.m_strAppPath = path;
  dialog.m_strInstallerExt = extension;
  dialog.m_bAutoCheck = call.InOutBool(first) ? 1 : 0;
  const INT_PTR end = dialog.DoModal();
  const bool kept = end == IDOK || end == CDlgAutoUpdate::kCancelButton;
  if (kept) {
    call.SetOutBool(first, dialog.m_bAutoCheck != 0);
    call.SetOutText(first + 3, dialog.m_strInstalledVersion);
    call.SetOutText(first + 4, dialog.m_strLatestVersion);
  }
  const bool package = end == IDOK && dialog.m_bPackageNewer && !dialog.m_strPackageVersion.empty() &&
                       !dialog.m_strPackageInstallerPath.empty();
  call.SetOutText(first + 1, end == IDOK ? dialog.m_strInstallerPath : "");
  call.SetOutText(first + 2, package ? dialog.m_strPackageInstallerPath : "");
  call.ReturnBool(kept);
}

}  // namespace

void AutoUpdateMethod(void*, fw::DispatchCall& call) {
  CDlgAutoUpdate dialog;
  dialog.m_strAppPath = call.Text(0);
  dialog.m_bShowAutoCheck = 0;
  dialog.m_bUsePackage = 0;
  if (dialog.DoModal() != IDOK) {
    call.SetOutText(1, "");
    call.ReturnBool(false);
    return;
  }
  call.SetOutText(1, dialog.m_strInstallerPath);
  call.SetOutText(2, dialog.m_strInstalledVersion);
  call.SetOutText(3, dialog.m_strLatestVersion);
  call.ReturnBool(!dialog.m_strInstallerPath.empty());
}

void AutoUpdateExtMethod(void*, fw::DispatchCall& call) { RunExt(call, call.Text(0), "", 1); }

void AutoUpdateExt2Method(void*, fw::DispatchCall& call) { RunExt(call, call.Text(0), call.Text(1), 2); }

}  // namespace qvx
