#!/usr/bin/env bash
# A second kov-cli beside a kov-cli --serve that holds the program folder: with remote control
# on, --add, --set, --enable, --disable, --remove and -a are handed to the service over the API
# (what it did printed, exit as if done here); refusals of the service come back as exit 2; with
# remote control off or not answering, the old refusal with a hint; other commands are refused.
cli="$1"
source "$(dirname "$0")/common.bash"

mkdir -p "$tmp/www"
head -c 300000 /dev/urandom > "$tmp/www/a.bin"
start_nginx "$tmp/www"
base="http://127.0.0.1:$port"

"$cli" > /dev/null
api_port=$(free_port)
remote() {  # remote ENABLED: the [Remote] section of kov.ini
    sed -i '/^\[Remote\]/,$d' "$KOV_HOME/kov.ini"
    printf '[Remote]\nEnabled=%s\nAddress=127.0.0.1\nPort=%s\n' "$1" "$api_port" >> "$KOV_HOME/kov.ini"
}
# expect STATUS ERROR_TEXT ARGS...: kov-cli ARGS exits with STATUS and says ERROR_TEXT
expect() {
    local want="$1" text="$2" status=0
    shift 2
    "$cli" "$@" > "$tmp/out" 2> "$tmp/err" || status=$?
    [ "$status" = "$want" ] || fail "$*: exit $status: $(cat "$tmp/out" "$tmp/err")"
    grep -qF -- "$text" "$tmp/err" || fail "$*: no '$text' in: $(cat "$tmp/err")"
}

# The folder held (by this shell, on the folder's lock) and remote control off: the refusal
# says how to hand changes over; with it on but nobody answering, it says that.
exec 9< "$KOV_HOME"
flock -n 9 || fail "cannot lock the program folder"
remote 0
expect 2 "turn on remote control ([Remote] Enabled=1)" --add "$base/a.bin"
remote 1
"$cli" --remote-token > /dev/null
expect 2 "remote control did not answer at http://127.0.0.1:$api_port" --add "$base/a.bin"
expect 2 "is in use by" --move 1 1  # cannot be handed over: refused as ever, no hint
grep -q "remote control" "$tmp/err" && fail "a hint for a command that cannot be handed over"
exec 9<&-

# The service with remote control on.
"$cli" --serve > "$tmp/serve.log" 2>&1 &
serve=$!
servers+=($serve)
wait_for_port "$api_port"
token=$(cat "$XDG_CONFIG_HOME/kov/remote-token")
items() { curl -sf -H "Authorization: Bearer $token" "http://127.0.0.1:$api_port/api/v1/items"; }

"$cli" --add "$base/a.bin" "$base/b.bin" --name probe > "$tmp/out" || fail "--add: $(cat "$tmp/out")"
grep -q "^handed over to kov-cli --serve (pid $serve):$" "$tmp/out" || fail "header: $(cat "$tmp/out")"
grep -q $'^added #1 probe\t'"$base/a.bin"'$' "$tmp/out" || fail "--add: $(cat "$tmp/out")"
grep -q $'^added #2 probe\t' "$tmp/out" || fail "--add second: $(cat "$tmp/out")"
[ "$(items | jq length)" = 2 ] || fail "items: $(items)"

# Each command as the service then holds it (jq over GET /items).
while IFS='|' read -r args printed check; do
    "$cli" $args > "$tmp/out" 2> "$tmp/err" || fail "$args: $(cat "$tmp/err")"
    grep -qx -- "$printed" "$tmp/out" || fail "$args printed: $(cat "$tmp/out")"
    [ "$(items | jq -r "$check")" = true ] || fail "$args: $(items)"
done <<'CASES'
--set 2 Name=second Dest=/tmp/kov-handover/|changed #2|.[1].name == "second" and .[1].dest == "/tmp/kov-handover/"
--disable 1 2|disabled #1|all(.[]; .enabled == false)
--enable 1|enabled #1|.[0].enabled and (.[1].enabled | not)
--remove 2|removed 1 item|length == 1 and .[0].name == "probe"
CASES
"$cli" --quiet --set 1 Name=first > "$tmp/out" || fail "--quiet --set"
[ ! -s "$tmp/out" ] || fail "--quiet printed: $(cat "$tmp/out")"

# What the service refuses: exit 2, the reason, nothing more sent.
expect 2 "no such item" --set 9 Name=x
expect 2 "--set 1:" --set 1 NoSuchKey=1
expect 2 "--add:" --add "gopher2://x.example/"
expect 2 "Nothing was changed." --enable 1 7
[ "$(items | jq -r '.[0].name')" = first ] || fail "a refused run changed items: $(items)"

# -a runs a session there and follows it: its log lines here, the exit when it has ended, the
# file whole by then; an item that fails makes the status 1, as a local -a does.
"$cli" -a > "$tmp/out" 2> "$tmp/err" || fail "-a: $(cat "$tmp/out" "$tmp/err")"
grep -qx "started a download session" "$tmp/out" || fail "-a printed: $(cat "$tmp/out")"
grep -q " - .*File download OK.*a.bin" "$tmp/out" || fail "-a log: $(cat "$tmp/out")"
cmp -s "$tmp/www/a.bin" "$KOV_HOME/Download/Main/a.bin" || fail "the handed-over session's file"
"$cli" --add "$base/missing.bin" > /dev/null
status=0
"$cli" -a > "$tmp/out" 2> "$tmp/err" || status=$?
[ "$status" = 1 ] || fail "-a with a failing item: exit $status: $(cat "$tmp/out" "$tmp/err")"
grep -q "missing.bin" "$tmp/err" || fail "-a error line: $(cat "$tmp/err")"

# Ctrl+C while following stops the session there after the current files: the client says so
# and exits 130, and the file on its way still arrives whole.
start_fault http
"$cli" --remove 1 2 > /dev/null
"$cli" --add "http://127.0.0.1:$port/drip?size=30000&rate=15000" --name drip > /dev/null
"$cli" -a > "$tmp/out" 2> "$tmp/err" &
follower=$!
sleep 1
kill -INT "$follower"
status=0
wait "$follower" || status=$?
[ "$status" = 130 ] || fail "Ctrl+C while following: exit $status: $(cat "$tmp/out" "$tmp/err")"
grep -q "stopping the session there after the current files" "$tmp/err" ||
    fail "Ctrl+C while following said: $(cat "$tmp/err")"
for _ in $(seq 50); do
    grep -q "File download OK.*drip" "$tmp/serve.log" && break
    sleep 0.1
done
grep -q "File download OK.*drip" "$tmp/serve.log" || fail "the file on its way was cut off: $(tail -5 "$tmp/serve.log")"

# A token the service does not know (renewed behind its back) is refused there.
"$cli" --remote-token --new > /dev/null
expect 2 "Nothing was changed." --add "$base/a.bin"

