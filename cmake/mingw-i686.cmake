set(CMAKE_SYSTEM_PROCESSOR i686)
set(QVX_MINGW_TRIPLE i686-w64-mingw32)
set(QVX_TYPELIB_PLATFORM win32)
# The host's Wine runs only 64-bit programs: 32-bit ones run in a 32-bit Debian root.
set(QVX_WINE_RUNNER wine-run32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
# SSE2 doubles rather than x87 extended precision: rounding at the edges of
# the formatter's tolerance then matches the 64-bit module and native tests.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
