#!/usr/bin/env bash
# An item name from outside (a mailed item, a list file from elsewhere) and a downloaded file's
# name with escape sequences in them: no printer of kov-cli lets a control character reach the
# terminal, in text or JSON.
cli="$1"
source "$(dirname "$0")/common.bash"
"$cli" --add http://127.0.0.1:9/a.txt >/dev/null
list=$("$cli" --lists --json | python3 -c 'import json,sys; print(json.load(sys.stdin)[0]["file"])')
# Retitle the window, clear the screen, CSI as UTF-8 and as a bare byte, DEL, a lone CR.
python3 - "$list" <<'PY'
import sys
path = sys.argv[1]
data = open(path, "rb").read()
evil = b"evil\x1b]0;pwned\x07\x1b[2J\xc2\x9b31m\x9b1m\x7f\rspoof"
data = data.replace(b"Name=127.0.0.1", b"Name=" + evil + b"\ns_find1=old\ns_repl1=new")
open(path, "wb").write(data)
PY
check() {  # check WHAT FILE: no control character but the line ends and the table's tabs
    python3 - "$2" <<'PY' || fail "$1 printed control characters: $(cat -v "$2")"
import re, sys
data = open(sys.argv[1], "rb").read()
sys.exit(1 if re.search(rb"[\x00-\x08\x0b-\x1f\x7f]|\xc2[\x80-\x9f]|(?<![\xc0-\xff])[\x80-\x9f]", data) else 0)
PY
    grep -q "evil" "$2" || fail "$1: the name is not shown: $(cat -v "$2")"
}
for args in "--list" "--list --json" "--show 1" "--show 1 --json" "-a --dry-run"; do
    # shellcheck disable=SC2086
    "$cli" $args > "$tmp/out" 2>&1 || fail "$args: $(cat -v "$tmp/out")"
    check "$args" "$tmp/out"
done
# A downloaded file's name comes from the server as well.
mkdir "$tmp/site"
echo old > "$tmp/site/evil"$'\e[2J\x9b'.htm
"$cli" --replace 1 "$tmp/site" > "$tmp/out" 2>&1 || fail "--replace: $(cat -v "$tmp/out")"
check "--replace" "$tmp/out"
# A session's log names the item when its download fails; the JSON log is checked as well.
for args in "-a" "-a --json"; do
    # shellcheck disable=SC2086
    "$cli" $args > "$tmp/out" 2>&1 || true
    check "$args" "$tmp/out"
done
echo ok
