# Compiler and linker settings shared by every target of the project.

add_library(qrt_options INTERFACE)
target_compile_options(qrt_options INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast -Wcast-align
  -Wunused -Woverloaded-virtual -Wnull-dereference -Wimplicit-fallthrough)
if(QRT_WARNINGS_AS_ERRORS)
  target_compile_options(qrt_options INTERFACE -Werror)
endif()
if(QRT_SANITIZE)
  target_compile_options(qrt_options INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer)
  target_link_options(qrt_options INTERFACE -fsanitize=address,undefined)
endif()
if(WIN32)
  # Unicode throughout; the programs need no DLL beyond the system's.
  target_compile_definitions(qrt_options INTERFACE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
                                                   _WIN32_WINNT=0x0501 WINVER=0x0501)
  target_link_options(qrt_options INTERFACE -static -static-libgcc -static-libstdc++)
endif()

# Windows test programs are console programs with a wide entry point.
function(qrt_windows_console target)
  if(WIN32)
    target_link_options(${target} PRIVATE -municode)
  endif()
endfunction()

# GoogleTest from Debian's source package, for the native and Windows builds
# alike (works offline).
function(qrt_use_googletest)
  if(TARGET gtest)
    return()
  endif()
  include(FetchContent)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  FetchContent_Declare(googletest SOURCE_DIR /usr/src/googletest)
  FetchContent_MakeAvailable(googletest)
endfunction()
