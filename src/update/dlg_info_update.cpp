#include "update/dlg_info_update.h"

#include "common/file_version.h"
#include "framework/module_state.h"
#include "mail/dlg_solicitar_act.h"
#include "resources/resource.h"
#include "update/info_state.h"
#include "update/version_query.h"
#include "update/version_request.h"

namespace qvx::update {

CDlgInfoUpdate::CDlgInfoUpdate(HWND owner) : fw::CDialog(IDD_INFO_UPDATE, owner) {}

void CDlgInfoUpdate::DoDataExchange(fw::DataExchange& exchange) {
  exchange.Text(IDC_INFO_INSTALLED, m_csVersion);
  exchange.Text(IDC_INFO_LATEST, m_csUpdateVersion);
  exchange.Text(IDC_INFO_ERROR, m_csError);
}

BOOL CDlgInfoUpdate::OnInitDialog() {
  m_csVersion = WithoutBlanks(m_csVersion);
  m_csUpdateVersion = WithoutBlanks(m_csUpdateVersion);
  fw::CDialog::OnInitDialog();
  SetBoldFont({IDC_INFO_STATE});
  const InfoView view = ViewOfState(m_nState);
  const fw::ModuleState& module = fw::Module();
  const auto icon = static_cast<HICON>(
      ::LoadImageA(module.resources, MAKEINTRESOURCEA(view.iconId), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
  if (AdoptIcon(icon)) ::SendMessageA(Item(IDC_INFO_ICON), STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
  ::SetWindowTextA(Item(IDC_INFO_STATE), fw::LoadResString(view.textId).c_str());
  ::ShowWindow(Item(IDC_INFO_ERROR), view.showError ? SW_SHOW : SW_HIDE);
  ::SetWindowTextA(Item(IDC_INFO_GROUP), (m_csAppName + " - " + m_csProductName).c_str());
  return TRUE;
}

bool CDlgInfoUpdate::OnCommand(WORD id, WORD code, HWND control) {
  if (id != IDC_INFO_REQUEST) return fw::CDialog::OnCommand(id, code, control);
  // "" for the form's icon: the host executable's.
  const mail::ActRequestApp app{"", m_csAppName, m_csProductName, m_csVersion, m_csUpdateVersion};
  if (mail::RunActRequestForm(app, Hwnd()) == IDOK) EndDialog(IDOK);
  return true;
}

INT_PTR CDlgInfoUpdate::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
  handled = false;
  if (message != WM_CTLCOLORSTATIC) return 0;
  const unsigned long colour = InfoTextColour(m_nState, ::GetDlgCtrlID(reinterpret_cast<HWND>(lParam)));
  if (colour == kDefaultColour) return 0;
  const auto dc = reinterpret_cast<HDC>(wParam);
  ::SetTextColor(dc, static_cast<COLORREF>(colour));
  ::SetBkColor(dc, ::GetSysColor(COLOR_3DFACE));
  handled = true;
  return reinterpret_cast<INT_PTR>(::GetSysColorBrush(COLOR_3DFACE));
}

HostApplication ReadHostApplication() {
  HostApplication host;
  char path[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return host;
  host.appName = ProgramBaseName(path);
  VersionRecord record;
  ReadVersionRecord(path, record);  // a field the record lacks stays empty
  host.productName = record.productName;
  host.version = record.fileVersion;
  return host;
}

namespace {

void ShowInfo(int state, const HostApplication& host, const std::string& latest, const std::string& error,
              HWND owner) {
  CDlgInfoUpdate dialog(owner);
  dialog.m_nState = state;
  dialog.m_csAppName = host.appName;
  dialog.m_csProductName = host.productName;
  dialog.m_csVersion = host.version;
  dialog.m_csUpdateVersion = latest;
  dialog.m_csError = error;
  dialog.DoModal();
}

}  // namespace

void CheckForUpdateNow(HWND owner) {
  const HostApplication host = ReadHostApplication();
  std::string latest, error;
  const bool queried = QueryLatestVersion(host.appName, false, latest, error);
  ShowInfo(StateOfCheck(queried, host.version, latest), host, latest, error, owner);
}

void RunStartupUpdateCheck(const UpdatePreferences& prefs) {
  const HostApplication host = ReadHostApplication();
  std::string latest, error;
  const bool queried = QueryLatestVersion(host.appName, false, latest, error);
  if (const auto state = StartupCheckState(queried, host.version, latest, prefs.showUpdateErr))
    ShowInfo(*state, host, latest, error, nullptr);
}

}  // namespace qvx::update
