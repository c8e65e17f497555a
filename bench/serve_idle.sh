#!/usr/bin/env bash
# kov-cli --serve left idle (scheduler on, no task due): CPU time used and wake-ups per second.
# Usage: bench/serve_idle.sh [SECONDS (default 600)] [KOV_CLI (default build/app/kov-cli/kov-cli)]
# Targets: under 0.5 s of CPU time in 10 minutes; at most 1 wake-up per second.
# Wake-ups are the context switches of all the process's threads (voluntary and not, from
# /proc/PID/task/*/status): each return from a sleep is one. Both are counted from the moment
# start-up is over, so loading the settings does not count.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-600}"
cli="${2:-$top/build/app/kov-cli/kov-cli}"
tmp="$(mktemp -d)"
pid=""
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$tmp"' EXIT
export KOV_HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/config" XDG_DATA_HOME="$tmp/data"
"$cli" >/dev/null  # the first run writes kov.ini
# A task on no day of the week: the scheduler has work to check but nothing to start.
sed -i '/^\[Schedule\]/,/^\[CtrByEmail\]/{/^\[CtrByEmail\]/!d}' "$KOV_HOME/kov.ini"
printf '[Schedule]\nEnabled=1\nTask1=never\nListName1=Main\nStartTime1=03:00\nDays1=0\n' \
    >> "$KOV_HOME/kov.ini"
"$cli" --serve > "$tmp/out" &
pid=$!
sleep 2

cpu() {  # utime + stime of the whole process, in clock ticks
    awk '{print $14 + $15}' "/proc/$pid/stat"
}
switches() {
    cat /proc/"$pid"/task/*/status | awk '/ctxt_switches/ {n += $2} END {print n}'
}
cpu0=$(cpu) sw0=$(switches)
sleep "$seconds"
cpu1=$(cpu) sw1=$(switches)
hz=$(getconf CLK_TCK)
kill -TERM "$pid"
wait "$pid" || { echo "kov-cli --serve exit status $?" >&2; exit 1; }
pid=""
awk -v c=$((cpu1 - cpu0)) -v hz="$hz" -v w=$((sw1 - sw0)) -v s="$seconds" 'BEGIN {
    printf "idle %d s: CPU time %.2f s (target < 0.5 s per 600 s), wake-ups %d = %.2f/s (target <= 1)\n",
        s, c / hz, w, w / s
}'
