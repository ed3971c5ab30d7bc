# Shared by the i686 and x86_64 toolchain files; QVX_MINGW_TRIPLE is set by them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER   ${QVX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QVX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${QVX_MINGW_TRIPLE}-windres)
# Build-time programs run under the build machine's 64-bit Wine.
set(QVX_BUILD_TOOL_CXX x86_64-w64-mingw32-g++-posix)
set(CMAKE_FIND_ROOT_PATH /usr/${QVX_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Windows programs built here run under Wine (tests, bench, demo clients)
# through the runner the toolchain file names in QVX_WINE_RUNNER.
get_filename_component(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/${QVX_WINE_RUNNER} ABSOLUTE)

# Link the C and C++ runtimes (and winpthreads) statically: the module and the
# test programs then need only system DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT    "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -Wl,--enable-stdcall-fixup")
