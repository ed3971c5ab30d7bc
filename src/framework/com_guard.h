// The one catch-all at a COM boundary: running out of memory becomes
// E_OUTOFMEMORY, any other exception E_UNEXPECTED.
#pragma once

#include <windows.h>

#include <new>

namespace qvx::fw {

template <typename F>
HRESULT Guarded(F&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

}  // namespace qvx::fw
