#include "control/intl_ctrl.h"
#include "control/intl_ids.h"
#include "framework/module_state.h"
#include "framework/registration.h"
#include "resources/resource.h"

namespace qvx {

BOOL CQVXIntlCtrl::CQVXIntlCtrlFactory::UpdateRegistry(BOOL bRegister) {
  if (!bRegister) return fw::UnregisterControlClass(CLSID_QVXIntl, kQVXIntlProgId);
  const fw::ControlRegistration reg = {
      fw::Module().instance, &CLSID_QVXIntl,    kQVXIntlProgId,   IDS_QVXINTL_USERTYPE, IDB_QVXINTL_TOOLBOX,
      fw::kRegApartmentThreading, kQVXIntlMiscStatus, &LIBID_QVXINTLLib, kTypeLibMajor,        kTypeLibMinor,
  };
  return fw::RegisterControlClass(reg);
}

}  // namespace qvx
