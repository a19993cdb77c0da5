#!/usr/bin/env bash
# Side-by-side speed of the file scanner, yara and clamscan over a copy of the
# Windows libraries and programs that Wine installs (bench/README.md). Run by
# hand, never by the tests:
#
#   bench/file-scan-bench.sh [--repeat N] [--no-cold] [--clamscan-100k] [--keep]
#
#   --repeat N   timed runs per tool with a warm cache, after one run to
#                warm it (default 3; the median and the fastest are
#                reported); the cold figure is one run
#   --no-cold    skip the runs after dropping the page cache
#   --clamscan-100k  time clamscan with the 100,000 signatures too (left out
#                by default: it may take very long with that many)
#   --keep       keep build/file-scan-bench (the copy, the signatures and
#                every tool's output) for a look afterwards
#
# Installs yara and clamav from Debian's packages when they are missing,
# builds the win64 benchmark program, copies Wine's Windows folders to
# build/file-scan-bench/files and maps that copy as drive S: of a fresh Wine
# prefix that has no Z: (the prefix never sees the rest of the machine).
# The report is also written to build/file-scan-bench-report.txt.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
# shellcheck source=scripts/wine-env.sh
source scripts/wine-env.sh

repeat=3
cold=1
clamscan_100k=0
keep=0
while [ $# -gt 0 ]; do
  case $1 in
    --repeat) repeat=$2; shift 2 ;;
    --no-cold) cold=0; shift ;;
    --clamscan-100k) clamscan_100k=1; shift ;;
    --keep) keep=1; shift ;;
    *) echo "usage: $0 [--repeat N] [--no-cold] [--clamscan-100k] [--keep]" >&2; exit 2 ;;
  esac
done

work=$root/build/file-scan-bench
files=$work/files
prefix=$work/prefix
report=$root/build/file-scan-bench-report.txt
bench_py=$root/bench/file_scan_bench.py

cleanup() {
  if [ -d "$prefix" ]; then qrt_wine_stop_server "$prefix"; fi
  rm -rf "$prefix"
  if [ "$keep" = 0 ]; then rm -rf "$work"; fi
}
trap cleanup EXIT

mkdir -p "$work"
exec > >(tee "$report") 2>&1

load() { cut -d' ' -f1-3 /proc/loadavg; }
median() { printf '%s\n' "$@" | sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
best() { printf '%s\n' "$@" | sort -n | head -1; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.1f", a / b}'; }
field() { sed -n "s/^$2: //p" "$1" | head -1; }  # file key

# --- Tools ---
missing=()
command -v yara >/dev/null && command -v yarac >/dev/null || missing+=(yara)
command -v clamscan >/dev/null || missing+=(clamav)
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing ${missing[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" \
    >"$work/apt.log"
fi

# --- The benchmark program ---
if ! { cmake --preset win64 >"$work/configure.log" 2>&1 &&
  cmake --build --preset win64 --target file_scan_bench >"$work/build.log" 2>&1; }; then
  tail -40 "$work/configure.log" "$work/build.log"
  exit 1
fi
program=$root/build/win64/bench/file_scan_bench.exe

# --- The files: Wine's folders of Windows .dll and .exe files ---
mapfile -t sources < <(find /usr/lib -maxdepth 4 -type d -path '*/wine/*' -name '*-windows' | sort)
if [ ${#sources[@]} -eq 0 ]; then
  echo "no Windows folders of Wine found under /usr/lib" >&2
  exit 1
fi
rm -rf "$files"
mkdir -p "$files"
# Each copy is named by its whole source path: with 32-bit Wine installed,
# both library folders hold an i386-windows and an x86_64-windows folder.
for source in "${sources[@]}"; do
  name=${source#/}
  cp -rL "$source" "$files/${name//\//_}"
done

# --- The prefix: C: and S: (the copy), nothing else ---
qrt_wine_new_prefix "$prefix"
rm -f "$prefix/dosdevices/z:"
ln -s "$files" "$prefix/dosdevices/s:"
mkdir -p "$prefix/drive_c/bench"
cp "$program" "$prefix/drive_c/bench/"
# Fails unless the prefix's drives are exactly C: and S:.
check_drives() {
  local drives
  drives=$(cd "$prefix/dosdevices" && printf '%s ' ?:)
  if [ "$drives" != "c: s: " ]; then
    echo "the prefix offers drives other than C: and S: ($drives): stopping" >&2
    exit 1
  fi
}
check_drives
qrt_wine_start_server "$prefix"
qrt_wine_warm_up "$prefix"
check_drives

# --- The runs ---
# Each prints the wall time of the whole run in ms; ours leaves its output
# (with its own scan time) in the file given.
run_ours() {  # signature-set output-file [--profile]
  check_drives
  local start
  start=$(qrt_now_ms)
  WINEPREFIX=$prefix "$QRT_WINE" 'C:\bench\file_scan_bench.exe' "${@:3}" S: "C:\\bench\\$1.txt" \
    </dev/null >"$2"
  echo $(($(qrt_now_ms) - start))
}
run_yara() {  # signature-set output-file [-s]
  local start
  start=$(qrt_now_ms)
  yara "${@:3}" -C -r "$work/$1.yarc" "$files" >"$2"
  echo $(($(qrt_now_ms) - start))
}
run_clamscan() {  # signature-set output-file
  local start status=0
  start=$(qrt_now_ms)
  clamscan --no-summary --infected --recursive --bytecode=no --heuristic-alerts=no \
    --database="$work/$1.ndb" "$files" >"$2" 2>"$2.err" || status=$?
  # 1: something was found.
  if [ $status -gt 1 ]; then
    echo "clamscan failed ($status):" >&2
    tail -5 "$2.err" >&2
    exit 1
  fi
  echo $(($(qrt_now_ms) - start))
}
drop_caches() { sync && echo 3 >/proc/sys/vm/drop_caches; }
can_drop=0
if [ "$cold" = 1 ]; then
  if [ "$(id -u)" = 0 ] && drop_caches 2>/dev/null; then
    can_drop=1
  else
    echo "note: the page cache cannot be dropped here (needs root and a writable" \
      "/proc/sys/vm/drop_caches): no cold figures"
  fi
fi

# The figures of the last measure of each tool.
ours_warm='' ours_best='' ours_runs='' ours_cold=''
yara_warm='' yara_best='' yara_runs='' yara_cold=''
clamscan_warm='' clamscan_best='' clamscan_runs='' clamscan_cold=''

# Times one tool over one signature set: once to warm the cache, then
# $repeat times; with the cache dropped before a last run when allowed.
# Sets <tool>_warm (median ms), <tool>_best (fastest run), <tool>_runs,
# <tool>_cold (ms or "-"), and for
# ours the same of its own scan time (ours_scan_*).
measure() {  # tool signature-set
  local tool=$1 set=$2 runs=() scans=() i wall
  "run_$tool" "$set" "$work/$tool-$set.out" >/dev/null
  for ((i = 0; i < repeat; i++)); do
    wall=$("run_$tool" "$set" "$work/$tool-$set.out")
    runs+=("$wall")
    if [ "$tool" = ours ]; then scans+=("$(field "$work/ours-$set.out" scan-ms)"); fi
  done
  printf -v "${tool}_warm" '%s' "$(median "${runs[@]}")"
  printf -v "${tool}_best" '%s' "$(best "${runs[@]}")"
  printf -v "${tool}_runs" '%s' "${runs[*]}"
  if [ "$tool" = ours ]; then
    ours_scan_warm=$(median "${scans[@]}")
    ours_scan_best=$(best "${scans[@]}")
    ours_scan_runs=${scans[*]}
  fi
  printf -v "${tool}_cold" '%s' -
  if [ "$tool" = ours ]; then ours_scan_cold=-; fi
  if [ "$can_drop" = 1 ]; then
    drop_caches
    wall=$("run_$tool" "$set" "$work/$tool-$set.cold")
    printf -v "${tool}_cold" '%s' "$wall"
    if [ "$tool" = ours ]; then ours_scan_cold=$(field "$work/ours-$set.cold" scan-ms); fi
  fi
}

echo "== File scan benchmark, $(date -u '+%Y-%m-%d %H:%M UTC')"
echo "machine: $(nproc) cores, $(sed -n 's/^model name\s*: //p' /proc/cpuinfo | head -1)," \
  "$(free -g | awk '/^Mem:/ {print $2}') GB; load average at start: $(load)"
echo "tools: $("$QRT_WINE" --version), yara $(yara --version), $(clamscan --version | cut -d/ -f1)"
echo "files: $(find "$files" -type f | wc -l) files, $(du -sm "$files" | cut -f1) MB copied from" \
  "${sources[*]} (drive S:)"
echo

# One row: the signature set made, every tool timed, the sets compared.
row() {  # name real random with-clamscan
  local set=$1 real=$2 random=$3 clam=$4 start compile
  echo "== $set: $real signatures from the files' sections + $random random ones" \
    "($((real + random)) in all)"
  python3 "$bench_py" make "$files" "$work/$set" --real "$real" --random "$random"
  cp "$work/$set.txt" "$prefix/drive_c/bench/"
  start=$(qrt_now_ms)
  yarac "$work/$set.yar" "$work/$set.yarc"
  compile=$(($(qrt_now_ms) - start))

  echo "load average before: $(load)"
  measure ours "$set"
  measure yara "$set"
  if [ "$clam" = 1 ]; then measure clamscan "$set"; fi
  echo "load average after: $(load)"

  local out=$work/ours-$set.out
  echo "ours: $(field "$out" files) files, $(field "$out" directories) directories," \
    "$(field "$out" streams) streams, $(field "$out" infected) infected files," \
    "$(field "$out" kilobytes) KB searched"
  echo "ours: parse $(field "$out" parse-ms) ms, compile $(field "$out" compile-ms) ms," \
    "index $(field "$out" index-ms) ms (none of it in the scan time); yara rules compiled" \
    "beforehand in $compile ms (not in yara's time)"
  echo
  echo "warm cache, median and fastest of $repeat runs (ms):"
  printf '  %-30s %8s %8s\n' "" median fastest
  printf '  %-30s %8s %8s   runs: %s\n' \
    "ours, the scan itself" "$ours_scan_warm" "$ours_scan_best" "$ours_scan_runs" \
    "ours, whole program under Wine" "$ours_warm" "$ours_best" "$ours_runs" \
    "yara" "$yara_warm" "$yara_best" "$yara_runs"
  if [ "$clam" = 1 ]; then
    printf '  %-30s %8s %8s   runs: %s\n' "clamscan" "$clamscan_warm" "$clamscan_best" \
      "$clamscan_runs"
  fi
  echo "  yara/ours:     $(ratio "$yara_warm" "$ours_scan_warm")x" \
    "(fastest runs: $(ratio "$yara_best" "$ours_scan_best")x;" \
    "against our whole program: $(ratio "$yara_warm" "$ours_warm")x)"
  if [ "$clam" = 1 ]; then
    echo "  clamscan/ours: $(ratio "$clamscan_warm" "$ours_scan_warm")x" \
      "(fastest runs: $(ratio "$clamscan_best" "$ours_scan_best")x;" \
      "against our whole program: $(ratio "$clamscan_warm" "$ours_warm")x)"
  fi
  if [ "$can_drop" = 1 ]; then
    echo "cold cache, one run each after dropping the page cache (ms):"
    printf '  %-30s %8s\n' "ours, the scan itself" "$ours_scan_cold" \
      "ours, whole program under Wine" "$ours_cold" "yara" "$yara_cold"
    if [ "$clam" = 1 ]; then printf '  %-30s %8s\n' "clamscan" "$clamscan_cold"; fi
    echo "  yara/ours:     $(ratio "$yara_cold" "$ours_scan_cold")x" \
      "(against our whole program: $(ratio "$yara_cold" "$ours_cold")x)"
    if [ "$clam" = 1 ]; then
      echo "  clamscan/ours: $(ratio "$clamscan_cold" "$ours_scan_cold")x" \
        "(against our whole program: $(ratio "$clamscan_cold" "$ours_cold")x)"
    fi
  fi

  echo
  echo "where our scan's time goes (one run with the file calls timed, warm cache):"
  run_ours "$set" "$work/ours-$set.profile" --profile >/dev/null
  grep -E '^(scan-ms|profile-)' "$work/ours-$set.profile" | sed 's/^/  /'

  echo
  echo "files reported (yara once more with -s for the offsets of its matches):"
  run_yara "$set" "$work/yara-$set.offsets" -s >/dev/null
  local compare=(--ours "$out" --yara "$work/yara-$set.offsets")
  if [ "$clam" = 1 ]; then compare+=(--clamscan "$work/clamscan-$set.out"); fi
  python3 "$bench_py" compare "$files" "$work/$set.json" "${compare[@]}" || check_failed=1
  echo
}

# The least any scan of these files must do under Wine: open each file, read
# its first 4 KB, close it; on 1 to 4 threads.
floor() {
  check_drives
  echo "floor (every file opened, its first 4 KB read, closed; fastest of three, ms):" \
    "$(WINEPREFIX=$prefix "$QRT_WINE" 'C:\bench\file_scan_bench.exe' --floor S: </dev/null |
      sed -n 's/^floor-ms-\([0-9]\)threads: /\1 thread(s) /p' | paste -sd, | sed 's/,/, /g')"
  echo
}

check_failed=0
floor
row sigs-1k 1000 1000 1
# A clean drive: nothing matches, so no tool stops early in a file.
row sigs-1k-clean 0 1000 1
row sigs-100k 1000 99000 "$clamscan_100k"
floor
echo "load average at the end: $(load)"
if [ "$check_failed" = 1 ]; then
  echo "set check: FAIL"
  exit 1
fi
echo "set check: PASS"
