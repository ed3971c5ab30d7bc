// PNG resources decoded by the platform's imaging component (WIC).
#pragma once

#include <windows.h>

namespace qvx::fw {

// The PNG resource id (type "PNG") of module, scaled to width by height, as
// a 32-bit top-down DIB section owned by the caller; nullptr when the
// resource is missing, WIC is not available (COM must be initialised on the
// thread) or the image does not decode.
HBITMAP LoadPngBitmap(HINSTANCE module, UINT id, int width, int height);

}  // namespace qvx::fw
