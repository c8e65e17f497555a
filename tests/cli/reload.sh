#!/usr/bin/env bash
# SIGHUP to kov-cli --serve when kov.ini was deleted or replaced by something that is not a
# settings file: the settings in use stay (the schedule, the mail passphrase), the log says
# why, and the end of the service neither writes the defaults back nor writes over the file.
cli="$1"
source "$(dirname "$0")/common.bash"
"$cli" >/dev/null
ini="$KOV_HOME/kov.ini"
python3 - "$ini" <<'PY'
import re, sys
text = open(sys.argv[1]).read()
text = re.sub(r"\[Schedule\][^\[]*", "[Schedule]\nEnabled=0\nTask1=nightly\nListName1=Main\n"
              "StartTime1=23:59\nDays1=127\n", text)
text = re.sub(r"(?m)^Passphrase=.*$", "Passphrase=open-sesame", text)
open(sys.argv[1], "w").write(text)
PY
"$cli" --tasks | grep -q $'^1\tnightly\tMain' || fail "no task: $("$cli" --tasks)"
cp "$ini" "$tmp/good.ini"

for case in deleted binary text; do
    cp "$tmp/good.ini" "$ini"
    "$cli" --serve > "$tmp/out" 2>"$tmp/err" &
    serve=$!
    wait_line() {
        for _ in $(seq 300); do
            grep -qF -- "$1" "$tmp/out" && return 0
            kill -0 "$serve" 2>/dev/null || fail "$case: --serve ended: $(cat "$tmp/out" "$tmp/err")"
            sleep 0.1
        done
        fail "$case: no \"$1\" in: $(cat "$tmp/out" "$tmp/err")"
    }
    wait_line "kov-cli --serve started"
    case $case in
        deleted) rm "$ini"; why="kov.ini: No such file or directory" ;;
        binary) printf '\x89PNG\r\n\x1a\n\0\0\0\rIHDR' > "$ini"; why="not a settings file (binary content)" ;;
        text) printf 'Dear diary,\nno sections here.\n' > "$ini"; why="not a settings file (no [section] line)" ;;
    esac
    cp "$ini" "$tmp/replaced" 2>/dev/null || true
    kill -HUP "$serve"
    wait_line "kov.ini not reloaded ("
    grep -qF "$why); the settings in use stay" "$tmp/out" || fail "$case: $(cat "$tmp/out")"
    if grep -q "kov.ini reloaded" "$tmp/out"; then fail "$case: reloaded: $(cat "$tmp/out")"; fi
    kill -TERM "$serve"
    status=0
    wait "$serve" || status=$?
    [ "$status" = 0 ] || fail "$case: exit status $status: $(cat "$tmp/err")"
    if [ "$case" = deleted ]; then
        # The settings in use are what is written back, not the defaults.
        grep -q '^Task1=nightly$' "$ini" || fail "$case: the schedule was lost: $(cat "$ini")"
        grep -q '^Passphrase=open-sesame$' "$ini" || fail "$case: the passphrase was lost"
    else
        cmp -s "$ini" "$tmp/replaced" || fail "$case: written over: $(cat -v "$ini")"
    fi
done
echo ok
