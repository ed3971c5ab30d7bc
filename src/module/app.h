// CQVXIntlApp: the module object, one per process. Its start-up runs on the
// first call into the module, its exit when COM is told the module may be
// unloaded; a module loaded again starts again.
#pragma once

#include <windows.h>

#include "framework/handles.h"

namespace qvx {

class CQVXIntlApp {
 public:
  // Returns the result of the control-module start-up; later steps do not change it.
  BOOL InitInstance();
  int ExitInstance();

 private:
  fw::unique_hmodule richEdit_;
  bool socketsStarted_ = false;
};

CQVXIntlApp& TheApp();

}  // namespace qvx
