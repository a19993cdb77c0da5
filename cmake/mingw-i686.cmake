# Cross-compiles for 32-bit Windows with mingw-w64 (posix thread model).
# These machines cannot run 32-bit programs: this build is compiled and linked only.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(QRT_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${QRT_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QRT_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${QRT_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${QRT_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
