// CQVXIntlApp: the module object, one per process. Its start-up runs once,
// on the first call into the module; its exit when the module is unloaded.
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

// Runs InitInstance the first time it is called; later calls return its result.
BOOL EnsureModuleStarted();

}  // namespace qvx
