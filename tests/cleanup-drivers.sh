#!/bin/sh
# Runs after the tests: ends every process whose executable lies in one of this run's
# temporary directories (names containing the run's token, given as $1), such as a driver
# that a timed-out test could not stop, then removes those directories. The simulator would
# end on its own once its directory goes, but another driver might not.
token=$1
[ -n "$token" ] || exit 0
for exe in /proc/[0-9]*/exe; do
    target=$(readlink "$exe" 2>/dev/null) || continue
    case "$target" in
    */"$token"*)
        pid=${exe#/proc/}
        kill -9 "${pid%/exe}" 2>/dev/null && echo "ended ${pid%/exe}: $target"
        ;;
    esac
done
rm -rf "${TMPDIR:-/tmp}/$token"* 2>/dev/null
exit 0
