// Writes a type library file from a description: enumerations with their
// members' help texts, dispatch interfaces from their dispatch tables, and
// one control class. Run at build time (widl writes no help texts on
// enumeration members); the platform's own library writer does the work.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <initializer_list>

#include "framework/dispatch.h"

namespace qvx::fw {

struct TypeLibEnumMember {
  const wchar_t* name;
  long value;
  const wchar_t* help;
};

struct TypeLibEnum {
  const wchar_t* name;
  std::initializer_list<TypeLibEnumMember> members;
};

// A dispinterface: the methods of its table that are not by name only.
struct TypeLibDispInterface {
  const wchar_t* name;
  const IID* iid;
  const wchar_t* help;
  const DispatchMethod* methods;
  size_t count;
};

struct TypeLibDescription {
  const wchar_t* name;
  const GUID* libid;
  WORD major, minor;
  LCID lcid;
  const wchar_t* help;
  const wchar_t* helpFile;
  std::initializer_list<TypeLibEnum> enums;
  TypeLibDispInterface dispatch;  // the control's default interface
  TypeLibDispInterface events;    // its default source interface
  // The creatable control class that implements both.
  const wchar_t* className;
  const CLSID* clsid;
  const wchar_t* classHelp;
};

// Writes the library for one platform (SYS_WIN32 or SYS_WIN64) to path.
// Help texts are stored in the process's ANSI code page and hosts read them
// back in that of the library's locale: when the two differ nothing is
// written and the result is HRESULT_FROM_WIN32(ERROR_NO_UNICODE_TRANSLATION).
HRESULT WriteTypeLib(const TypeLibDescription& lib, SYSKIND platform, const wchar_t* path);

}  // namespace qvx::fw
