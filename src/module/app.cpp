#include "module/app.h"

#include <winsock2.h>

#include "common/folder_lookup.h"
#include "control/intl_ctrl.h"
#include "control/intl_ids.h"
#include "framework/com_server.h"
#include "framework/dialog.h"
#include "framework/ole_control.h"
#include "framework/module_state.h"
#include "resources/resource.h"

namespace qvx {

namespace {

const fw::ClassEntry kClasses[] = {
    {&CLSID_QVXIntl, &CQVXIntlCtrl::CreateInstance, &CQVXIntlCtrl::CQVXIntlCtrlFactory::UpdateRegistry},
};

// The control module's own start-up: publish the class factories.
BOOL StartControlModule() {
  fw::SetServerClasses(kClasses, sizeof(kClasses) / sizeof(kClasses[0]));
  return TRUE;
}

}  // namespace

// Never destroyed: what it holds is given back by ExitInstance when the
// module is unloaded, never from the loader's exit path.
CQVXIntlApp& TheApp() {
  static auto* app = new CQVXIntlApp;
  return *app;
}

BOOL CQVXIntlApp::InitInstance() {
  fw::ModuleState& m = fw::Module();
  m.helpType = fw::HelpType::HtmlHelp;
  const BOOL result = StartControlModule();

  WSADATA wsa;
  socketsStarted_ = ::WSAStartup(MAKEWORD(2, 2), &wsa) == 0;
  if (!socketsStarted_) fw::ModuleMessageBox(fw::LoadResString(IDS_SOCKETS_INIT_FAILED), MB_OK);

  // Dialogs of the module may hold "RichEdit20A" controls.
  richEdit_.reset(::LoadLibraryA("riched20.dll"));

  // The maker's resource-localisation library does not come with this
  // module: its call counts as failed, and the module's own Spanish
  // resources serve.

  fw::SetRegistryKey("Quorvex");
  std::string folder;
  GetFolderPath(kFolderComponentesComunes, folder);  // empty on failure: the help path is then relative
  m.helpFilePath = folder + "Ayuda\\Brumo.chm";
  m.appName = "Quorvex Ingenieros";
  return result;
}

int CQVXIntlApp::ExitInstance() {
  fw::ReleaseDialogActivationContext();
  fw::UnregisterControlWindowClass();
  richEdit_.reset();
  if (socketsStarted_) {
    ::WSACleanup();
    socketsStarted_ = false;
  }
  return 0;
}


}  // namespace qvx
