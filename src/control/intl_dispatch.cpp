// The methods of _DQVXIntl: names, DISPIDs and signatures as the type library
// publishes them, each forwarding to the code that does the work.
#include "control/ctrl_version.h"
#include "control/intl_ctrl.h"
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
using fw::ParamType;
using fw::ResultType;

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

const fw::DispatchEntry kMethods[] = {
    {L"ConvertStrToIntlStr", 3, {{L"lpctstrVal", ParamType::Text}, {L"nFlags", ParamType::Long}}, ResultType::Text,
     ConvertStrToIntlStr},
    {L"ConvertFltToIntlStr", 4,
     {{L"fVal", ParamType::Double}, {L"nDecs", ParamType::Long}, {L"nFlags", ParamType::Long}}, ResultType::Text,
     ConvertFltToIntlStr},
    {L"ConvertIntlStrToStr", 5, {{L"lpctstrVal", ParamType::Text}}, ResultType::Text, ConvertIntlStrToStr},
    {L"ConvertIntlStrToFlt", 6, {{L"lpctstrVal", ParamType::Text}}, ResultType::Double, ConvertIntlStrToFlt},
    {L"ValidateIntlStr", 7, {{L"lpctstrVal", ParamType::Text}}, ResultType::Bool, ValidateIntlStr},
    {L"SetIntlKeyDec", 8, {{L"bActivate", ParamType::Bool}}, ResultType::None, SetIntlKeyDec},
    {L"VerifyCtrlVersion", 10, {{L"strVerMin", ParamType::Text}, {L"pbCmpVer", ParamType::OutBool}},
     ResultType::Text, VerifyCtrlVersion},
    {L"SetAutoUpdateOption", 14, {{L"bActivate", ParamType::Bool}}, ResultType::None, SetAutoUpdateOption},
    {L"GetLastAppVersionFromVandrel", 15,
     {{L"csAppName", ParamType::Text}, {L"csVersion", ParamType::OutText}, {L"csError", ParamType::OutText}},
     ResultType::Bool, GetLastAppVersionFromVandrel},
    {L"SendActRequest", 19,
     {{L"csPathApp", ParamType::Text}, {L"csAppName", ParamType::Text}, {L"csLongName", ParamType::Text},
      {L"csVer", ParamType::Text}, {L"csUpdateVer", ParamType::Text}},
     ResultType::None, SendActRequest},
    // The download dialog, by name only (not in the type library).
    {L"AutoUpdate", 0x1A,
     {{L"csAppPath", ParamType::Text}, {L"csInstaller", ParamType::OutText}, {L"csInstalledVersion", ParamType::OutText},
      {L"csLastVersion", ParamType::OutText}},
     ResultType::Bool, AutoUpdateMethod},
    {L"AutoUpdateExt", 0x1B,
     {{L"csAppPath", ParamType::Text}, {L"pbAutoCheck", ParamType::OutBool}, {L"csInstaller", ParamType::OutText},
      {L"csPackageInstaller", ParamType::OutText}, {L"csInstalledVersion", ParamType::OutText},
      {L"csLastVersion", ParamType::OutText}},
     ResultType::Bool, AutoUpdateExtMethod},
    {L"AutoUpdateExt2", 0x1C,
     {{L"csAppPath", ParamType::Text}, {L"csExtension", ParamType::Text}, {L"pbAutoCheck", ParamType::OutBool},
      {L"csInstaller", ParamType::OutText}, {L"csPackageInstaller", ParamType::OutText},
      {L"csInstalledVersion", ParamType::OutText}, {L"csLastVersion", ParamType::OutText}},
     ResultType::Bool, AutoUpdateExt2Method},
};

}  // namespace

const fw::DispatchTable& CQVXIntlCtrl::DispatchMap() {
  static const fw::DispatchTable table = {kMethods, sizeof(kMethods) / sizeof(kMethods[0])};
  return table;
}

}  // namespace qvx
