# Cross-compiles the shipped program for 32-bit Windows with mingw-w64.
# These machines cannot run 32-bit programs: this build is compiled and linked only.
#
# The win32 thread model: its runtime needs no thread library. The posix
# model's static libwinpthread imports GetTickCount64 (Vista and later),
# AddVectoredExceptionHandler (XP and later) and TryEnterCriticalSection and
# GetHandleInformation (NT family only), which the loaders of Windows 98 and
# NT 4 refuse. The price is that std::thread and std::mutex are missing here:
# the program starts its threads through the platform, and the tests and the
# fake platform, which use them, are built by the other presets.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(QRT_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${QRT_MINGW_PREFIX}-gcc-win32)
set(CMAKE_CXX_COMPILER ${QRT_MINGW_PREFIX}-g++-win32)
set(CMAKE_RC_COMPILER ${QRT_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${QRT_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Images that the loaders of Windows 9x and NT 4 accept: they refuse a program
# or library that asks for a subsystem or system version above 4.0.
set(QRT_TARGET_VERSION_FLAGS
    "-Wl,--major-subsystem-version,4,--minor-subsystem-version,0,--major-os-version,4,--minor-os-version,0")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${QRT_TARGET_VERSION_FLAGS}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${QRT_TARGET_VERSION_FLAGS}")
