#!/usr/bin/env bash
# kov-cli --serve against nginx: a task due when the test moves the service's clock downloads
# a list, a task of a missing list is skipped, SIGHUP rereads kov.ini, a second
# writer is refused (even with the lock file deleted) while read-only commands run, SIGTERM
# stops the running session and exits 0.
cli="$1"
source "$(dirname "$0")/common.bash"

mkdir -p "$tmp/www" "$tmp/nginx"
echo "hello world" > "$tmp/www/a.txt"
head -c 400000 /dev/zero > "$tmp/www/slow.bin"
port=$(free_port)
cat > "$tmp/nginx/nginx.conf" <<CONF
daemon off; master_process off; worker_processes 1;
error_log $tmp/nginx/error.log; pid $tmp/nginx/nginx.pid;
events { worker_connections 64; }
http {
  access_log off;
  client_body_temp_path $tmp/nginx/body; proxy_temp_path $tmp/nginx/proxy;
  fastcgi_temp_path $tmp/nginx/fcgi; uwsgi_temp_path $tmp/nginx/uwsgi; scgi_temp_path $tmp/nginx/scgi;
  server { listen 127.0.0.1:$port; root $tmp/www; location = /slow.bin { limit_rate 20k; } }
}
CONF
/usr/sbin/nginx -p "$tmp/nginx" -c "$tmp/nginx/nginx.conf" -e "$tmp/nginx/error.log" &
server=$!
wait_for_port "$port"
base="http://127.0.0.1:$port"

"$cli" --add "$base/SECRET.txt" "$base/a.txt" "$base/slow.bin" >/dev/null
# The service's sessions keep to the banned words of the program folder's banners.ini.
printf '[BanneRipping]\nBannedWords=secret\n' > "$KOV_HOME/banners.ini"
# The task starts at a full minute; the service's clock (a test-only hook reads its shift from
# a file) runs two minutes before it until clock_at moves it.
clock_at() {  # clock_at SECONDS: the service's clock runs this many seconds after the start
    echo $((due + $1 - $(date +%s))) > "$tmp/shift.new"
    mv "$tmp/shift.new" "$tmp/shift"
}
now=$(date +%s)
due=$(((now / 60 + 3) * 60))
clock_at -120
export KOV_CLOCK_SHIFT="@$tmp/shift"
start=$(date -d "@$due" +%H:%M)
tasks() {  # the Schedule section with these tasks ("name list" pairs)
    python3 - "$KOV_HOME/kov.ini" "$start" "$@" <<'PY'
import re, sys
path, start, tasks = sys.argv[1], sys.argv[2], sys.argv[3:]
text = re.sub(r"\[Schedule\][^\[]*", "", open(path).read())
text += "[Schedule]\nEnabled=0\n"
for n, task in enumerate(tasks, 1):
    name, lst = task.split()
    text += f"Task{n}={name}\nListName{n}={lst}\nStartTime{n}={start}\nDays{n}=127\n"
open(path, "w").write(text)
PY
}
tasks "nightly Main"
"$cli" --tasks | grep -q $'^1\tnightly\tMain\t'"$start"$'\t-\tMon,Tue,Wed,Thu,Fri,Sat,Sun\tyes\tdefault$' ||
    fail "--tasks: $("$cli" --tasks)"
"$cli" --queue | grep -q "Start time : $start, List Name : Main" || fail "--queue: $("$cli" --queue)"

# A stand-in nmcli that knows one profile, "dsl", and dials it at once.
mkdir -p "$tmp/bin"
cat > "$tmp/bin/nmcli" <<'SH'
#!/bin/bash
d=$(dirname "$0"); echo "$*" >> "$d/calls"
case "$*" in
  *--active) [ -e "$d/up" ] && echo dsl:activated ;;
  *" show") echo dsl ;;
  *" up id dsl") touch "$d/up" ;;
  *" down id dsl") rm -f "$d/up" ;;
esac
exit 0
SH
chmod +x "$tmp/bin/nmcli"
PATH="$tmp/bin:$PATH" "$cli" --serve > "$tmp/out" 2>"$tmp/err" &
serve=$!
wait_line() {  # wait_line TEXT: until the service's output has it
    for _ in $(seq 300); do
        grep -qF -- "$1" "$tmp/out" && return 0
        kill -0 "$serve" 2>/dev/null || fail "--serve ended: $(cat "$tmp/out" "$tmp/err")"
        sleep 0.1
    done
    fail "no \"$1\" in: $(cat "$tmp/out" "$tmp/err")"
}
wait_line "kov-cli --serve started, 1 scheduled task(s) left today"

# An edited kov.ini counts after SIGHUP: a task of a list that does not exist comes first.
# The line's settings count too: the session dials the profile.
tasks "gone Nowhere" "nightly Main"
sed -i 's/^UseDialUp=.*/UseDialUp=1\nDialupItem=dsl/' "$KOV_HOME/kov.ini"
kill -HUP "$serve"
wait_line "kov.ini reloaded, 2 scheduled task(s) left today"
clock_at 0

wait_line "[gone] - scheduled task skipped, no list \"Nowhere\""
wait_line "nightly,Scheduled session starts, stop time:  ----"
wait_line "File download OK $KOV_HOME/Download/Main/a.txt"
wait_line "SECRET.txt, code: 925"
grep -qx "connection up id dsl" <(sed 's/^--wait [0-9]* //' "$tmp/bin/calls") ||
    fail "no dial after SIGHUP: $(cat "$tmp/bin/calls" 2>/dev/null)"

# While the session runs: a second writer is refused and named, readers are not.
status=0
"$cli" --add "$base/b.txt" 2>"$tmp/err2" >/dev/null || status=$?
[ "$status" = 2 ] || fail "a second writer gave $status"
grep -q "is in use by kov-cli --serve (pid $serve)" "$tmp/err2" || fail "lock: $(cat "$tmp/err2")"
"$cli" --list | grep -q "slow.bin" || fail "--list beside the service"
# Deleting the lock file lets no second writer in either.
rm "$KOV_HOME/.lock"
status=0
"$cli" --add "$base/b.txt" 2>"$tmp/err2" >/dev/null || status=$?
[ "$status" = 2 ] || fail "a second writer after deleting .lock gave $status"

kill -TERM "$serve"
status=0
timeout 20 tail --pid="$serve" -f /dev/null || fail "--serve did not end after SIGTERM"
wait "$serve" || status=$?
[ "$status" = 0 ] || fail "--serve exit status $status: $(cat "$tmp/err")"
grep -q "Session finished, bytes downloaded" "$tmp/out" || fail "no summary: $(cat "$tmp/out")"
if grep -q "File download OK .*slow.bin" "$tmp/out"; then fail "the slow file was not stopped"; fi
# One line per log line, and the settings saved with the scheduler mode of their own.
[ "$(grep -cv '^[0-9][0-9]\.[0-9][0-9]\.[0-9]* [0-9:]* - ' "$tmp/out")" = 0 ] || fail "output lines"
grep -q '^Task1=gone$' "$KOV_HOME/kov.ini" || fail "reloaded tasks not kept"
grep -A1 '^\[Schedule\]' "$KOV_HOME/kov.ini" | grep -q '^Enabled=0$' || fail "scheduler mode saved"
"$cli" --list | grep -q $'a.txt\t.*\t'"$(date +%Y.%m.%d)" || fail "last download not saved"
"$cli" --add "$base/b.txt" >/dev/null || fail "the lock outlived the service"

# OnEndSession=1: a session that ended by itself, with nothing left for today, ends the service.
# (The slow file would only make the session long.)
"$cli" --disable 3 >/dev/null
now=$(date +%s)
due=$(((now / 60 + 1) * 60))
clock_at 0
start=$(date -d "@$due" +%H:%M)
tasks "nightly Main"
sed -i 's/^OnEndSession=.*/OnEndSession=1/; s/^UseDialUp=.*/UseDialUp=0/' "$KOV_HOME/kov.ini"
status=0
timeout 50 "$cli" --serve > "$tmp/out" 2>"$tmp/err" || status=$?
[ "$status" = 0 ] || fail "OnEndSession=1: exit status $status: $(cat "$tmp/out" "$tmp/err")"
grep -q "Session finished" "$tmp/out" || fail "OnEndSession=1: $(cat "$tmp/out")"
grep -q "Program will be closed in 30 seconds" "$tmp/err" || fail "no countdown: $(cat "$tmp/err")"

# OnEndSession=2: SIGTERM while the session still dials is a stop; the computer stays on.
now=$(date +%s)
due=$(((now / 60 + 1) * 60))
clock_at 0
start=$(date -d "@$due" +%H:%M)
tasks "nightly Main"
sed -i '/^DialupItem=/d; s/^OnEndSession=.*/OnEndSession=2/; s/^UseDialUp=.*/UseDialUp=1\nDialupItem=dsl/' "$KOV_HOME/kov.ini"
sed -i 's/^  \*" up id dsl") touch "$d\/up" ;;$/  *" up id dsl") exec sleep 30 ;;/' "$tmp/bin/nmcli"
grep -q 'exec sleep 30' "$tmp/bin/nmcli" || fail "the stand-in nmcli does not hang"
rm -f "$tmp/bin/up" "$tmp/bin/calls"
export KOV_POWEROFF_COMMAND="touch $tmp/powered-off"
PATH="$tmp/bin:$PATH" "$cli" --serve > "$tmp/out" 2>"$tmp/err" &
serve=$!
for _ in $(seq 300); do
    grep -q "up id dsl" "$tmp/bin/calls" 2>/dev/null && break
    kill -0 "$serve" 2>/dev/null || fail "--serve ended: $(cat "$tmp/out" "$tmp/err")"
    sleep 0.1
done
grep -q "up id dsl" "$tmp/bin/calls" || fail "no dial: $(cat "$tmp/out" "$tmp/err")"
kill -TERM "$serve"
status=0
timeout 20 tail --pid="$serve" -f /dev/null || fail "--serve did not end after SIGTERM"
wait "$serve" || status=$?
[ "$status" = 0 ] || fail "SIGTERM while dialling: exit status $status: $(cat "$tmp/err")"
[ ! -e "$tmp/powered-off" ] || fail "SIGTERM while dialling powered the computer off"
echo ok
