#!/usr/bin/env bash
# Runs a win64 test program that scans drives or processes, or changes files,
# in a fresh Wine prefix where it can reach nothing of the host:
#   run-scan-prefix.sh [--version VERSION] [--copy FILE]... [--after-restart FILTER]
#                      EXE [ARGUMENTS...]
# With --version the prefix gets Wine's Windows version VERSION (win98, ...).
# With --after-restart, once EXE has ended well, the prefix's session is
# ended and Windows started again (wineboot -k -r: every process of the
# prefix ends, then the delayed moves are carried out as at a system start),
# and EXE runs a second time with --gtest_filter=FILTER only.
# The prefix has no Z: (the host's /) nor a link out of its C:. Its drives
# are its own C: and Q:, P: and O:, three empty folders of this run; R: is
# left unmapped. Its processes are those of its own wineserver. The program, and
# every FILE given with --copy (samples it runs or reads), are copied into
# C:\ and the program is run from there with ARGUMENTS.
#
# GTEST_OUTPUT ("xml:DIR\" or "xml:FILE", a Windows path on Z: as test-all.sh
# gives it, or a host path; "xml" alone names test_detail.xml in the current
# folder) cannot be reached from inside the prefix: the program writes its
# report to C:\ and the report is copied to that place on the host, into a
# directory as EXE's name with ".xml" (or "_1.xml", "_2.xml", ... when that
# is taken, as GoogleTest names its reports).
#
# The prefix, its wineserver and the drive folders go when the script ends,
# also on errors and interrupts. Exits with the program's status.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/wine-env.sh"

usage() {
  echo "usage: $0 [--version VERSION] [--copy FILE]... [--after-restart FILTER] EXE [ARGUMENTS...]" >&2
  exit 2
}
copies=()
version=
after_restart=
while [ $# -gt 0 ] && case "$1" in --copy | --version | --after-restart) true ;; *) false ;; esac; do
  [ $# -ge 2 ] || usage
  case "$1" in
    --version) version=$2 ;;
    --after-restart) after_restart=$2 ;;
    *) copies+=("$(realpath "$2")") ;;
  esac
  shift 2
done
[ $# -ge 1 ] || usage
exe=$(realpath "$1")
shift
name=$(basename "$exe")

# Where the report goes on the host: a directory (ending in /) or a file.
report_target=$(qrt_gtest_report_target) || exit 2

mkdir -p "$QRT_ROOT/build/wine"
run_dir=$(mktemp -d "$QRT_ROOT/build/wine/${name%.exe}.XXXXXX")
prefix=$run_dir/prefix
cleanup() {
  cd /
  [ -d "$prefix" ] && qrt_wine_stop_server "$prefix"
  rm -rf "$run_dir"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

qrt_wine_new_prefix "$prefix"
qrt_wine_confine "$prefix"
mkdir "$run_dir/q" "$run_dir/p" "$run_dir/o"
ln -s "$run_dir/q" "$prefix/dosdevices/q:"
ln -s "$run_dir/p" "$prefix/dosdevices/p:"
ln -s "$run_dir/o" "$prefix/dosdevices/o:"
cp "$exe" "${copies[@]}" "$prefix/drive_c/"

export WINEPREFIX=$prefix
# The host's folders are out of reach: Wine's current folder is C:\.
cd "$prefix/drive_c"
if [ -n "$version" ]; then
  qrt_wine_set_version "$prefix" "$version"
  qrt_wine_stop_server "$prefix"
fi
qrt_wine_start_server "$prefix"
qrt_wine_warm_up "$prefix"

report=$prefix/drive_c/qrt-report.xml
# Runs the program with ARGUMENTS and copies its report; sets status.
run_program() {
  status=0
  rm -f "$report"
  if [ -n "$report_target" ]; then
    GTEST_OUTPUT='xml:C:\qrt-report.xml' timeout -k 5 120 "$QRT_WINE" "C:\\$name" "$@" </dev/null ||
      status=$?
  else
    timeout -k 5 120 "$QRT_WINE" "C:\\$name" "$@" </dev/null || status=$?
  fi
  if [ -n "$report_target" ] && [ -f "$report" ]; then
    qrt_copy_gtest_report "$report" "$report_target" "${name%.exe}"
  fi
}

run_program "$@"
if [ $status -eq 0 ] && [ -n "$after_restart" ]; then
  # Within this prefix and its own wineserver only.
  timeout -k 5 120 "$QRT_WINE" wineboot -k -r </dev/null >/dev/null 2>&1 || status=$?
  if [ $status -ne 0 ]; then
    echo "run-scan-prefix: wineboot -k -r failed with status $status" >&2
  else
    run_program --gtest_filter="$after_restart"
  fi
fi
exit $status
