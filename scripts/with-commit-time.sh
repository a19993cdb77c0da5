#!/bin/sh
# Runs a command of the build with SOURCE_DATE_EPOCH set to the time of the
# checkout's commit (unless the environment sets it), so that the compiler's
# __DATE__ and __TIME__ and the linker's image time stamp are the same in
# every build of one commit. Outside a git checkout the variable stays unset.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  epoch=$(git -C "$(dirname "$0")/.." log -1 --format=%ct 2>/dev/null) &&
    [ -n "$epoch" ] && SOURCE_DATE_EPOCH=$epoch && export SOURCE_DATE_EPOCH
fi
exec "$@"
