// Identities of the control, its interfaces and its type library.
#pragma once

#include <windows.h>

namespace qvx {

// {9A400FFA-04D6-431A-86A3-5B9E9F7A1A8A}
inline constexpr CLSID CLSID_QVXIntl = {0x9A400FFA, 0x04D6, 0x431A, {0x86, 0xA3, 0x5B, 0x9E, 0x9F, 0x7A, 0x1A, 0x8A}};
// {1AB6CFFC-54F4-47BB-9E88-881DAE79543B}
inline constexpr IID DIID_DQVXIntl = {0x1AB6CFFC, 0x54F4, 0x47BB, {0x9E, 0x88, 0x88, 0x1D, 0xAE, 0x79, 0x54, 0x3B}};
// {FB9CCE5D-B502-42C7-BA2D-0E364D13B4BF}
inline constexpr IID DIID_DQVXIntlEvents = {0xFB9CCE5D, 0xB502, 0x42C7,
                                            {0xBA, 0x2D, 0x0E, 0x36, 0x4D, 0x13, 0xB4, 0xBF}};
// {D0D40567-294F-4C6F-8952-CEFA97343C0A}
inline constexpr GUID LIBID_QVXINTLLib = {0xD0D40567, 0x294F, 0x4C6F, {0x89, 0x52, 0xCE, 0xFA, 0x97, 0x34, 0x3C, 0x0A}};
inline constexpr WORD kTypeLibMajor = 1;
inline constexpr WORD kTypeLibMinor = 0;

inline constexpr char kQVXIntlProgId[] = "Quorvex.QuorvexIntl.Internationalization.1";

// OLEMISC_SETCLIENTSITEFIRST | OLEMISC_INVISIBLEATRUNTIME | OLEMISC_INSIDEOUT |
// OLEMISC_CANTLINKINSIDE | OLEMISC_RECOMPOSEONRESIZE
inline constexpr DWORD kQVXIntlMiscStatus = 0x00020491;
inline constexpr DWORD kQVXIntlExchangeVersion = 0x00010000;

}  // namespace qvx
