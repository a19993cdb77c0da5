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

if(QRT_SHIPPED_BUILD)
  # Every processor that Windows 98 and NT 4 run on, down to the i486, runs
  # the shipped program (scripts/check-cpu.py audits it): our code is built
  # for it, and so is the C runtime (scripts/build-i486-crt.sh). The prebuilt
  # C++ library is not (it is built for the Pentium Pro): without exceptions
  # and run-time type information the program needs none of its support code,
  # and src/platform/win32/shipped_runtime.cpp brings the few pieces it does.
  set(QRT_I486_CRT_DIR ${PROJECT_SOURCE_DIR}/build/mingw-crt-i486 CACHE PATH
      "Where the C runtime for the i486 is built once and kept")
  execute_process(COMMAND ${PROJECT_SOURCE_DIR}/scripts/build-i486-crt.sh ${QRT_I486_CRT_DIR}
                  OUTPUT_VARIABLE crt_lib OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE crt_status)
  if(NOT crt_status EQUAL 0)
    message(FATAL_ERROR "The C runtime for the i486 could not be built (see ${QRT_I486_CRT_DIR}/build.log)")
  endif()
  target_compile_options(qrt_options INTERFACE -march=i486 -fno-exceptions -fno-rtti
    # No build path in the image.
    -ffile-prefix-map=${PROJECT_SOURCE_DIR}/=
    -ffile-prefix-map=${PROJECT_BINARY_DIR}/=)
  # The start-up objects (-B) and libraries (-L) of the rebuilt runtime come
  # before the compiler's.
  target_link_options(qrt_options INTERFACE -B${crt_lib}/ -L${crt_lib})
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
