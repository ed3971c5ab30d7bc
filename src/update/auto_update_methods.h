// The dispatch methods that open the download dialog: AutoUpdate (26),
// AutoUpdateExt (27) and AutoUpdateExt2 (28). They are served by name only;
// the type library does not describe them.
#pragma once

#include "framework/dispatch.h"

namespace qvx {

// (path, installer*, installed*, latest*) -> BOOL
void AutoUpdateMethod(void*, fw::DispatchCall& call);
// (path, autoCheck*, installer*, package*, installed*, latest*) -> BOOL
void AutoUpdateExtMethod(void*, fw::DispatchCall& call);
// (path, extension, autoCheck*, installer*, package*, installed*, latest*) -> BOOL
void AutoUpdateExt2Method(void*, fw::DispatchCall& call);

}  // namespace qvx
