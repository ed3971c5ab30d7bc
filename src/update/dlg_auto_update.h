// CDlgAutoUpdate (template 267): asks the update server for the latest
// version of an application, compares it with the installed one and, on the
// user's click, downloads the installer (and, when the installed common
// runtime package is older, the package's first) into the temporary folder.
// The host runs the installer whose path it reads from the fields afterwards.
#pragma once

#include <string>

#include "framework/dialog.h"
#include "update/download_state.h"
#include "update/update_download.h"

namespace qvx {

class CDlgAutoUpdate : public fw::CDialog, private DownloadProgress {
 public:
  static constexpr INT_PTR kCancelButton = 8;  // the end given by the Cancel button

  CDlgAutoUpdate();

  // Inputs
  std::string m_strAppPath;
  std::string m_strInstallerExt;  // "" for msi and exe
  int m_bShowAutoCheck = 1;
  int m_bUsePackage = 1;
  int m_bAutoCheck = 0;  // in and out
  // Results
  std::string m_strAppName, m_strDescription, m_strInstalledVersion, m_strLatestVersion, m_strExtraInfo;
  std::string m_strInstallerPath, m_strPackageVersion, m_strPackageInstallerPath;
  int m_bPackageNewer = 0;
  std::string m_strCustomerNumber, m_strCustomerKey, m_strLastError;

 protected:
  BOOL OnInitDialog() override;
  void DoDataExchange(fw::DataExchange& exchange) override;
  void OnOK() override;
  void OnCancel() override;
  bool OnCommand(WORD id, WORD code, HWND control) override;
  bool OnNotify(const NMHDR& header, LRESULT& result) override;
  INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;

 private:
  void CheckForUpdate();
  void UpdateControls();
  void RunDownloads();
  bool DownloadOne(bool package, std::string& error);
  void StoreCustomer() const;
  bool AskLeave();
  void PumpMessages();
  void SetupLooks();

  void Started() override;
  void Advance(uint64_t received, uint64_t total) override;
  bool StopRequested() override { return flow_.stopRequested; }

  DownloadFlow flow_;
  int progressBase_ = 0;
  int progressPos_ = -1;
};

}  // namespace qvx
