// What the benchmarks and the soak share for the reference update server:
// the "normal" server's port from QVX_UPDATE_SERVERS, and the user's
// UpdateServer value pointed at it for a run.
#pragma once

#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "common/deployment_settings.h"
#include "framework/handles.h"

namespace qvxbench {

using qvx::fw::unique_hkey;

inline int NormalPort() {
  const char* list = std::getenv("QVX_UPDATE_SERVERS");
  if (list == nullptr) return 0;
  std::ifstream in(list);
  std::string mode;
  int port = 0;
  while (in >> mode >> port)
    if (mode == "normal") return port;
  return 0;
}

// The user's UpdateServer value for the run, the old one (or none) after.
class UpdateServerValue {
 public:
  explicit UpdateServerValue(const std::string& value) {
    ::RegCreateKeyExA(HKEY_CURRENT_USER, qvx::kDeploymentKey, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                      nullptr, key_.put(), nullptr);
    char old[257] = {};
    DWORD size = 256, type = 0;
    had_ = ::RegQueryValueExA(key_.get(), kName, nullptr, &type, reinterpret_cast<BYTE*>(old), &size) ==
           ERROR_SUCCESS;
    old_.assign(old, had_ ? size : 0);
    oldType_ = type;
    ::RegSetValueExA(key_.get(), kName, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>(value.size() + 1));
  }
  ~UpdateServerValue() {
    if (had_)
      ::RegSetValueExA(key_.get(), kName, 0, oldType_, reinterpret_cast<const BYTE*>(old_.data()),
                       static_cast<DWORD>(old_.size()));
    else
      ::RegDeleteValueA(key_.get(), kName);
  }
  UpdateServerValue(const UpdateServerValue&) = delete;
  UpdateServerValue& operator=(const UpdateServerValue&) = delete;

 private:
  static constexpr char kName[] = "UpdateServer";
  unique_hkey key_;
  bool had_ = false;
  std::string old_;
  DWORD oldType_ = REG_SZ;
};

}  // namespace qvxbench
