// The handlers of _DQVXIntl's methods (intl_methods.h), each forwarding to the
// code that does the work.
#include "control/ctrl_version.h"
#include "control/intl_ctrl.h"
#include "control/intl_methods.h"
#include "control/process_state.h"
#include "intl/key_dec_hook.h"
#include "intl/number_format.h"
#include "intl/number_parse.h"
#include "intl/regional_settings.h"
#include "mail/dlg_solicitar_act.h"
#include "update/version_query.h"
#include "update/auto_update_methods.h"

namespace qvx {

namespace {

using fw::DispatchCall;

void ConvertStrToIntlStr(void*, DispatchCall& call) {
  call.ReturnText(intl::ConvertStrToIntlStr(call.Text(0), call.Long(1), intl::ReadNumberSettings()));
}

void ConvertFltToIntlStr(void*, DispatchCall& call) {
  call.ReturnText(
      intl::ConvertFltToIntlStr(call.Double(0), call.Long(1), call.Long(2), intl::ReadNumberSettings()));
}

void ConvertIntlStrToStr(void*, DispatchCall& call) {
  call.ReturnText(intl::ConvertIntlStrToStr(call.Text(0), intl::ReadNumberSettings()));
}

void ConvertIntlStrToFlt(void*, DispatchCall& call) {
  call.ReturnDouble(intl::ConvertIntlStrToFlt(call.Text(0), intl::ReadNumberSettings()));
}

void ValidateIntlStr(void*, DispatchCall& call) {
  call.ReturnBool(intl::ValidateIntlStr(call.Text(0), intl::ReadNumberSettings()));
}

void SetIntlKeyDec(void*, DispatchCall& call) { intl::SetIntlKeyDec(call.Bool(0)); }

void VerifyCtrlVersion(void*, DispatchCall& call) {
  bool atLeast = false;
  call.ReturnText(qvx::VerifyCtrlVersion(call.Text(0), atLeast));
  call.SetOutBool(1, atLeast);
}

// Stores the Automation boolean as it came: true is -1.
void SetAutoUpdateOption(void*, DispatchCall& call) { Process().autoUpdateSwitch = call.BoolValue(0); }

// Both texts always go back as new strings: the version empty on failure,
// the error empty on success. The module keeps one framework state for the
// whole process (its own resources serve every call), so entering it needs
// no switch here.
void GetLastAppVersionFromVandrel(void*, DispatchCall& call) {
  std::string version;
  std::string error;
  call.ReturnBool(QueryLatestVersion(call.Text(0), false, version, error));
  call.SetOutText(1, std::move(version));
  call.SetOutText(2, std::move(error));
}

// The form opens, runs and stores the customer's data; nothing comes back.
void SendActRequest(void*, DispatchCall& call) {
  mail::RunActRequestForm({call.Text(0), call.Text(1), call.Text(2), call.Text(3), call.Text(4)});
}

const fw::DispatchBinding kHandlers[] = {
    {3, ConvertStrToIntlStr},  {4, ConvertFltToIntlStr},  {5, ConvertIntlStrToStr},
    {6, ConvertIntlStrToFlt},  {7, ValidateIntlStr},      {8, SetIntlKeyDec},
    {10, VerifyCtrlVersion},   {14, SetAutoUpdateOption}, {15, GetLastAppVersionFromVandrel},
    {19, SendActRequest},      {0x1A, AutoUpdateMethod},  {0x1B, AutoUpdateExtMethod},
    {0x1C, AutoUpdateExt2Method},
};

}  // namespace

const fw::DispatchTable& CQVXIntlCtrl::DispatchMap() {
  static const fw::DispatchTable table = fw::MakeDispatchTable(kIntlMethods, kHandlers);
  return table;
}

}  // namespace qvx
