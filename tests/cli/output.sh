#!/usr/bin/env bash
# kov-cli's output: --json of the lists and of the session log, read by python3's json module;
# error lines on standard error with their cause (a 404 from nginx, a refused connection, a
# destination the user may not write); --quiet keeps only the errors.
cli="$1"
source "$(dirname "$0")/common.bash"

mkdir -p "$tmp/www"
echo "hello world" > "$tmp/www/a.txt"
start_nginx "$tmp/www"
base="http://127.0.0.1:$port"
closed="http://127.0.0.1:$(free_port)/x.txt"
"$cli" --add "$base/a.txt" "$base/missing.txt" "$closed" >/dev/null

json() {  # json PYTHON-EXPRESSION < JSON: fails unless the expression of the value v holds
    python3 -c "import json,sys; v=json.load(sys.stdin); sys.exit(0 if ($1) else 1)"
}
"$cli" --list --json | json "[r['url'] for r in v] == ['$base/a.txt', '$base/missing.txt', '$closed']
    and v[0]['lastDownload'] is None and v[2]['disabled'] is False" || fail "--list --json"
"$cli" --lists --json | json "v[0]['name'] == 'Main' and v[0]['current'] is True" ||
    fail "--lists --json"

# The log: errors with their causes on standard error, the rest on standard output.
status=0
"$cli" -a >"$tmp/out" 2>"$tmp/err" || status=$?
[ "$status" = 1 ] || fail "exit status $status"
while IFS='|' read -r stream text; do
    grep -qF -- "$text" "$tmp/$stream" || fail "$stream lacks $text: $(cat "$tmp/$stream")"
done <<LINES
out|[127.0.0.1] - File download OK $KOV_HOME/Download/Main/a.txt
err|[127.0.0.1] - Open resource error : $base/missing.txt (404 Not Found)
err|[127.0.0.1] - Open resource error : $closed (Failed to connect to 127.0.0.1 port
err|: Connection refused)
LINES
! grep -q "error" "$tmp/out" || fail "an error line on standard output: $(cat "$tmp/out")"

# --quiet: only the errors; --json: one object per line, every line parsed.
"$cli" -a --quiet >"$tmp/out" 2>"$tmp/err" || true
[ ! -s "$tmp/out" ] && [ "$(wc -l < "$tmp/err")" = 2 ] || fail "--quiet: $(cat "$tmp/out" "$tmp/err")"
"$cli" -a --json >"$tmp/out" 2>/dev/null || true
python3 - "$tmp/out" <<'PY' || fail "--json log: $(cat "$tmp/out")"
import json, sys
lines = [json.loads(line) for line in open(sys.argv[1])]
errors = [l["text"] for l in lines if l["error"]]
assert len(errors) == 2 and errors[0].endswith("(404 Not Found)"), errors
assert any(l["text"].startswith("Session finished, bytes downloaded: ") for l in lines)
assert all(set(l) == {"time", "text", "image", "error"} for l in lines)
PY

# Permission denied on the destination. Root may write anywhere, so then the program runs as
# nobody in a program folder of its own.
as_user=()
if [ "$(id -u)" = 0 ]; then
    as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
    chmod 755 "$tmp"
fi
export KOV_HOME="$tmp/user/home" XDG_CONFIG_HOME="$tmp/user/config"
mkdir -p "$KOV_HOME" "$XDG_CONFIG_HOME"
[ "$(id -u)" = 0 ] && chown -R 65534:65534 "$tmp/user"
"${as_user[@]}" "$cli" --add "$base/a.txt" >/dev/null
mkdir -m 555 "$KOV_HOME/Download"
status=0
"${as_user[@]}" "$cli" -a >/dev/null 2>"$tmp/err" || status=$?
[ "$status" = 3 ] || fail "unwritable destination gave $status"
grep -qF "Cannot create folder: $KOV_HOME/Download/Main/ (Permission denied)" "$tmp/err" ||
    fail "no cause: $(cat "$tmp/err")"
echo ok
