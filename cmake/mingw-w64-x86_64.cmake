# Cross build for 64-bit Windows with Debian's mingw-w64 (the POSIX thread model,
# which std::thread and std::mutex need).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KYR_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KYR_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KYR_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${KYR_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KYR_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Self-contained executables: no mingw runtime DLL beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs run under Wine through this wrapper.
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh")
