#include "module/app.h"

#include <winsock2.h>

#include "common/folder_lookup.h"
#include "control/intl_ctrl.h"
#include "control/intl_ids.h"
#include "framework/com_server.h"
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

CQVXIntlApp& TheApp() {
  static CQVXIntlApp app;
  return app;
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
  richEdit_.reset();
  if (socketsStarted_) {
    ::WSACleanup();
    socketsStarted_ = false;
  }
  return 0;
}

BOOL EnsureModuleStarted() {
  static const BOOL started = TheApp().InitInstance();
  return started;
}

}  // namespace qvx
