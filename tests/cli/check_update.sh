#!/usr/bin/env bash
# kov-cli --check-update: not configured (2), a newer build put into the list (0), not needed
# (0), a server that fails (1).
cli="$1"
source "$(dirname "$0")/common.bash"

mkdir -p "$tmp/www/new" "$tmp/www/same" "$KOV_HOME"
build=$("$cli" --version | sed 's/.*\.//')
printf '[KOV]\nVersion=9.9\nBuild=%s\nURL=http://u.example/kov-setup.tgz\n' $((build + 1)) \
    > "$tmp/www/new/programs.txt"
printf '[KOV]\nBuild=%s\nURL=http://u.example/kov-setup.tgz\n' "$build" > "$tmp/www/same/programs.txt"
port=$(free_port)
(cd "$tmp/www" && exec python3 -m http.server "$port" --bind 127.0.0.1 >/dev/null 2>&1) &
server=$!
wait_for_port "$port"

check() {  # check PATH STATUS TEXT
    printf '[KOV-Main]\nEnableHttps=0\nUpdateUrl=%s\n' "${1:+http://127.0.0.1:$port$1}" \
        > "$KOV_HOME/kov.ini"
    status=0
    "$cli" --check-update > "$tmp/out" 2>&1 || status=$?
    [ "$status" = "$2" ] || fail "$1: exit status $status: $(cat "$tmp/out")"
    grep -q "$3" "$tmp/out" || fail "$1: $(cat "$tmp/out")"
}
check "" 2 "UpdateUrl is not set in \[KOV-Main\] of kov.ini"
check /new/programs.txt 0 "KOV V.9.9 Build $((build + 1))"
"$cli" --list | grep -q "<Program update>"$'\t'"http://u.example/kov-setup.tgz" || fail "no update item"
check /same/programs.txt 0 "Update not needed"
check /missing/programs.txt 1 "Update information unavailable"
