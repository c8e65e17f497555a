#!/usr/bin/env bash
# `kov-cli --list` of a list of 10,000 items: wall and CPU time of the whole process, medians.
# Usage: bench/list_command.sh [KOV_CLI (default build-release/app/kov-cli/kov-cli)]
#        [OTHER_KOV_CLI] [ITEMS (default 10000)] [ROUNDS (default 15)]
# With OTHER_KOV_CLI the two take turns on the same program folder, so that their figures
# come from the same moments of a loaded machine. Target: under 0.1 s.
set -euo pipefail
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
export KOV_HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/config" XDG_DATA_HOME="$tmp/data"
cli="${1:-$(cd "$(dirname "$0")/.." && pwd)/build-release/app/kov-cli/kov-cli}"
other="${2:-}" items="${3:-10000}" rounds="${4:-15}"
mkdir -p "$KOV_HOME"
# Items as a session leaves them: every key written, a few with rules.
awk -v n="$items" 'BEGIN {
    for (i = 1; i <= n; i++) {
        printf "[item %d]\nName=file %d\nUrl=http://downloads.example.com/set/%d/file%d.bin\n", i, i, i % 97, i
        printf "Dest=/srv/downloads/set%d/\n", i % 97
        if (i % 10 == 0) printf "s_find1=<div class=\"ad\">\ns_repl1=\ns_action1=1\n"
    }
}' > "$tmp/import.ini"
"$cli" --quiet --import "$tmp/import.ini" >/dev/null

# One run: "wall user+sys" in seconds.
measure() {
    local start end
    start=$(date +%s.%N)
    /usr/bin/time -f "%U %S" -o "$tmp/time" "$1" --list >/dev/null
    end=$(date +%s.%N)
    awk -v s="$start" -v e="$end" '{printf "%.4f %.4f\n", e - s, $1 + $2}' "$tmp/time"
}
median() {
    sort -n | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'
}
: > "$tmp/a"
: > "$tmp/b"
for ((r = 0; r < rounds; r++)); do
    measure "$cli" >> "$tmp/a"
    if [ -n "$other" ]; then measure "$other" >> "$tmp/b"; fi
done
report() {
    printf '%-12s %s items: wall %.3f s, CPU %.3f s (medians of %s runs)\n' "$1" "$items" \
        "$(cut -d' ' -f1 "$2" | median)" "$(cut -d' ' -f2 "$2" | median)" "$rounds"
}
report "kov-cli" "$tmp/a"
if [ -n "$other" ]; then report "other" "$tmp/b"; fi
