#!/usr/bin/env bash
# Fails when a C++ file of the tree differs from its .clang-format layout.
cd "$(dirname "$0")/.." || exit 1
files=$(git ls-files -co --exclude-standard '*.cpp' '*.h' | while read -r f; do [ -f "$f" ] && echo "$f"; done)
[ -z "$files" ] && exit 0
# shellcheck disable=SC2086
clang-format --dry-run --Werror $files
