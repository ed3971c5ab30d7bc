// The control's own file version, as hosts ask for it with VerifyCtrlVersion.
// The module file is found through the class's registration, so the answer
// is about the file that hosts will load, not about any copy in memory.
#pragma once

#include <string>

namespace qvx {

// The default value of HKCR\CLSID\{class}\InprocServer32 (at most 520
// bytes); FALSE, with path untouched, when the class is not registered.
bool RegisteredModulePath(std::string& path);

// The registered module's file version, or "" when the class is not
// registered or the file has no version. atLeast becomes true only when a
// version was read and minimum is not newer than it (CompareVersions).
std::string VerifyCtrlVersion(const std::string& minimum, bool& atLeast);

}  // namespace qvx
