#!/usr/bin/env bash
# Builds the mingw-w64 C runtime for the i486 into DIR/lib, once: the start-up
# objects and the libraries that the shipped program and its PSAPI.DLL link
# (crt2.o, crt2u.o, dllcrt2.o, libmingw32.a, libmingwex.a, libmsvcrt.a). The
# compiler's own copies are built for the Pentium Pro. The source is Debian's
# package of the same version as the installed headers and libraries
# (mingw-w64-i686-dev), pinned below; scripts/setup.sh enables source packages.
#
# Usage: scripts/build-i486-crt.sh DIR    (prints DIR/lib when it is ready)
set -euo pipefail
version=10.0.0-3
upstream=${version%-*}
dir=$1
stamp=$dir/lib/.built-$version
if [ -f "$stamp" ]; then
  echo "$dir/lib"
  exit 0
fi
rm -rf "$dir"
mkdir -p "$dir/source" "$dir/build" "$dir/lib"
{
  cd "$dir/source"
  apt-get source --only-source -q "mingw-w64=$version"
  cd "$dir/build"
  # The same defaults as Debian's build (msvcrt), for the i486; no debug
  # information, so no build path reaches the objects.
  # No dependency tracking: a build made once needs none, and its set-up
  # (thousands of files) costs minutes.
  ../source/mingw-w64-$upstream/mingw-w64-crt/configure --host=i686-w64-mingw32 \
    --prefix=/usr/i686-w64-mingw32 --disable-lib64 --enable-lib32 --disable-dependency-tracking \
    CC=i686-w64-mingw32-gcc-win32 CFLAGS="-O2 -march=i486" CCASFLAGS="-march=i486"
  # The start-up objects' rules do not make their folder themselves.
  mkdir -p lib32
  make -j"$(nproc)" lib32/crt2.o lib32/crt2u.o lib32/dllcrt2.o lib32/libmingw32.a \
    lib32/libmingwex.a lib32/libmsvcrt.a
  cp lib32/crt2.o lib32/crt2u.o lib32/dllcrt2.o lib32/libmingw32.a lib32/libmingwex.a \
    lib32/libmsvcrt.a "$dir/lib/"
} >"$dir/build.log" 2>&1 || { tail -30 "$dir/build.log" >&2; exit 1; }
touch "$stamp"
echo "$dir/lib"
