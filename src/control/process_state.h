// State shared by every control of the process. A host may run controls in
// several apartment threads: the process's count changes atomically, and
// each thread's own count decides when that thread's hooks go.
#pragma once

#include <windows.h>

#include "framework/per_thread.h"

namespace qvx {

struct ProcessState {
  int autoUpdateSwitch = 1;            // update integration; nonzero means on
  LONG liveControls = 0;               // of every thread; changed with Interlocked operations
  fw::PerThread<int> threadControls;  // of each thread
};

ProcessState& Process();

}  // namespace qvx
