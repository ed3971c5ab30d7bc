// The methods of _DQVXIntl: names, DISPIDs and signatures as callers reach
// them and as the type library describes them. Plain data, so that the
// build-time program that writes the type library reads the same list that
// the control serves (intl_dispatch.cpp binds the handlers).
#pragma once

#include "framework/dispatch.h"

namespace qvx {

inline constexpr wchar_t kIntlConvertFlagsName[] = L"IntlConvertFlags";

inline const fw::DispatchMethod kIntlMethods[] = {
    {L"ConvertStrToIntlStr", 3,
     {{L"lpctstrVal", fw::ParamType::Text}, {L"nFlags", fw::ParamType::Long, kIntlConvertFlagsName}},
     fw::ResultType::Text},
    {L"ConvertFltToIntlStr", 4,
     {{L"fVal", fw::ParamType::Double}, {L"nDecs", fw::ParamType::Long},
      {L"nFlags", fw::ParamType::Long, kIntlConvertFlagsName}},
     fw::ResultType::Text},
    {L"ConvertIntlStrToStr", 5, {{L"lpctstrVal", fw::ParamType::Text}}, fw::ResultType::Text},
    {L"ConvertIntlStrToFlt", 6, {{L"lpctstrVal", fw::ParamType::Text}}, fw::ResultType::Double},
    {L"ValidateIntlStr", 7, {{L"lpctstrVal", fw::ParamType::Text}}, fw::ResultType::Bool},
    {L"SetIntlKeyDec", 8, {{L"bActivate", fw::ParamType::Bool}}, fw::ResultType::None},
    {L"VerifyCtrlVersion", 10, {{L"strVerMin", fw::ParamType::Text}, {L"pbCmpVer", fw::ParamType::OutBool}},
     fw::ResultType::Text},
    {L"SetAutoUpdateOption", 14, {{L"bActivate", fw::ParamType::Bool}}, fw::ResultType::None},
    {L"GetLastAppVersionFromVandrel", 15,
     {{L"csAppName", fw::ParamType::Text}, {L"csVersion", fw::ParamType::OutText},
      {L"csError", fw::ParamType::OutText}},
     fw::ResultType::Bool},
    {L"SendActRequest", 19,
     {{L"csPathApp", fw::ParamType::Text}, {L"csAppName", fw::ParamType::Text}, {L"csLongName", fw::ParamType::Text},
      {L"csVer", fw::ParamType::Text}, {L"csUpdateVer", fw::ParamType::Text}},
     fw::ResultType::None},
    // The download dialog: hosts call these by name; the type library leaves them out.
    {L"AutoUpdate", 0x1A,
     {{L"csAppPath", fw::ParamType::Text}, {L"csInstaller", fw::ParamType::OutText},
      {L"csInstalledVersion", fw::ParamType::OutText}, {L"csLastVersion", fw::ParamType::OutText}},
     fw::ResultType::Bool, true},
    {L"AutoUpdateExt", 0x1B,
     {{L"csAppPath", fw::ParamType::Text}, {L"pbAutoCheck", fw::ParamType::OutBool},
      {L"csInstaller", fw::ParamType::OutText}, {L"csPackageInstaller", fw::ParamType::OutText},
      {L"csInstalledVersion", fw::ParamType::OutText}, {L"csLastVersion", fw::ParamType::OutText}},
     fw::ResultType::Bool, true},
    {L"AutoUpdateExt2", 0x1C,
     {{L"csAppPath", fw::ParamType::Text}, {L"csExtension", fw::ParamType::Text},
      {L"pbAutoCheck", fw::ParamType::OutBool}, {L"csInstaller", fw::ParamType::OutText},
      {L"csPackageInstaller", fw::ParamType::OutText}, {L"csInstalledVersion", fw::ParamType::OutText},
      {L"csLastVersion", fw::ParamType::OutText}},
     fw::ResultType::Bool, true},
};

}  // namespace qvx
