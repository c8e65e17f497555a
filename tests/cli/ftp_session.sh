#!/usr/bin/env bash
# kov-cli -a on FTP items against the scripted FTP server: a file, a wildcard, the skip of the
# second run, and an error for a missing folder.
cli="$1"
top="$(cd "$(dirname "$0")/../.." && pwd)"
source "$(dirname "$0")/common.bash"

port=$(free_port)
python3 "$top/tests/support/ftp_fault_server.py" "$port" >/dev/null 2>&1 &
server=$!
wait_for_port "$port"
base="ftp://127.0.0.1:$port"

"$cli" --add "$base/files/a.txt" >/dev/null
"$cli" -a > "$tmp/out" || fail "exit status $? for a clean session: $(cat "$tmp/out")"
grep -q "File download OK $KOV_HOME/Download/Main/a.txt" "$tmp/out" || fail "log: $(cat "$tmp/out")"
[ "$(cat "$KOV_HOME/Download/Main/a.txt")" = "hello ftp" ] || fail "file content"

"$cli" -a > "$tmp/out" || fail "second run"
grep -q "File skipped (already exists)" "$tmp/out" || fail "no skip: $(cat "$tmp/out")"

cat > "$tmp/items.ini" <<INI
[item 1]
Name=all
Url=$base/files/*.bin
Dest=$tmp/bins/
[item 2]
Name=missing
Url=$base/nowhere/x.bin
Dest=$tmp/bins/
INI
"$cli" --import "$tmp/items.ini" >/dev/null
if "$cli" -a > "$tmp/out"; then fail "a missing folder gave exit status 0"; fi
[ "$(stat -c %s "$KOV_HOME/Download/Main/data-5000.bin")" = 5000 ] || fail "wildcard: $(cat "$tmp/out")"
[ -f "$KOV_HOME/Download/Main/data-1000.bin" ] || fail "wildcard missed data-1000.bin"
grep -q "No such Ftp folder: /nowhere" "$tmp/out" || fail "no folder error: $(cat "$tmp/out")"
echo ok
