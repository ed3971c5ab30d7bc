// State shared by every control of the process. All controls live on the
// host's user-interface thread, so nothing here is locked.
#pragma once

namespace qvx {

struct ProcessState {
  int autoUpdateSwitch = 1;  // update integration; nonzero means on
  int liveControls = 0;
};

ProcessState& Process();

}  // namespace qvx
