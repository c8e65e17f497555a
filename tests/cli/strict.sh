#!/usr/bin/env bash
# kov-cli's strict command line and exit statuses: each mistake is refused with status 2 and a
# message and writes no file; read-only commands write nothing, not even on a first run; a
# session ends with 0, 1 (an item failed), 3 (a file could not be saved) or 130 (Ctrl+C, also
# during FTP).
cli="$1"
source "$(dirname "$0")/common.bash"

mkdir -p "$KOV_HOME" "$tmp/out"
# The writer lock is taken before a command is checked; it holds no data.
state() { find "$tmp" \( -path "$tmp/out" -o -name .lock \) -prune -o -printf '%p %s %T@ %m\n' | sort; }
# expect STATUS MESSAGE ARG...: the exit status, MESSAGE on standard error, no file touched.
expect() {
    local want="$1" message="$2" status=0 before
    shift 2
    before="$(state)"
    timeout 20 "$cli" "$@" >"$tmp/out/stdout" 2>"$tmp/out/stderr" || status=$?
    [ "$status" = "$want" ] || fail "$* gave $status, not $want: $(cat "$tmp/out/stderr")"
    [ -z "$message" ] || grep -qF -- "$message" "$tmp/out/stderr" || fail "$*: $(cat "$tmp/out/stderr")"
    [ "$before" = "$(state)" ] || fail "$* wrote: $(diff <(echo "$before") <(state))"
}

for args in --lists --list "--list --json" "--lists -n1" --help --version; do
    expect 0 "" $args
done
"$cli" >/dev/null || fail "first run"
printf '\xff\xd8\xff\xe0\0\x10JFIF\0\0' > "$tmp/photo.jpg"
printf 'shopping: milk\nbread\n' > "$tmp/notes.txt"
printf '; only a comment\n' > "$tmp/a.ini"
while IFS='|' read -r message args; do
    expect 2 "$message" $args
done <<CASES
unknown option --bogus|--bogus
unknown option -x|-a -x
unknown option -atuo|-atuo
--import needs a FILE|--import
--import needs a FILE|--import --list
--add needs at least one URL|--add
--list takes no value|--list=yes
-b needs a path|-b --list
too many program arguments (8)|-a -a -a -a -a -a -a -a
-n4: no such list; 1 list registered|-n4 --list
-n0: -n needs a list number from 1|-n0 --list
$tmp/new.ini: No such file or directory (--init creates it)|$tmp/new.ini --list
$tmp/photo.jpg: not a settings file (binary content)|--lists $tmp/photo.jpg
$tmp/notes.txt: not a settings file (no [section] line)|$tmp/notes.txt --lists
more than one settings file: $tmp/a.ini and $tmp/notes.txt|$tmp/a.ini $tmp/notes.txt
unsupported scheme gopher|--add http://example.com/ok gopher://example.com/x
$tmp: Is a directory|$tmp --list
-b: $tmp/banners.typo: No such file or directory|-b$tmp/banners.typo --list
-s: $tmp/photo.jpg: not a rule file (binary content)|-a -s$tmp/photo.jpg
CASES
"$cli" --init "$tmp/new.ini" || fail "--init"
grep -q '^\[KOV-Main\]' "$tmp/new.ini" || fail "--init wrote no settings"

# Sessions, each in a program folder of its own: session NAME URL [ARG...] runs -a in the
# background and leaves its pid in pid.
session() {
    export KOV_HOME="$tmp/$1"
    "$cli" --add "$2" >/dev/null || fail "--add $2"
    shift 2
    "$cli" -a "$@" >"$tmp/out/stdout" 2>"$tmp/out/stderr" &
    pid=$!
}
ends_with() {  # ends_with STATUS WHAT
    local status=0
    wait "$pid" || status=$?
    [ "$status" = "$1" ] || fail "$2 gave $status, not $1: $(cat "$tmp/out/stderr")"
}
echo data > "$tmp/source.txt"
session ok "file://$tmp/source.txt"
ends_with 0 "a session without errors"
session failed "file://$tmp/no-such-file.txt"
ends_with 1 "a missing source"
# The list's folder is a file, so the download cannot be saved.
mkdir -p "$tmp/unsaved" && touch "$tmp/unsaved/Download"
session unsaved "file://$tmp/source.txt"
ends_with 3 "an unwritable destination"

start_fault http
http="http://127.0.0.1:$port/drip?size=100000&rate=2000"
start_fault ftp
# Ctrl+C stops; it does not power the computer off as -d would at a session's end.
export KOV_POWEROFF_COMMAND="touch $tmp/powered-off"
# A closed terminal (SIGHUP) stops a session as well. The first stop says what it does, which
# AbortMode decides: at once (the default), or after the current files.
while read -r sig mode url; do
    mkdir -p "$tmp/stopped-$sig-$mode-${url%%:*}"
    printf '[KOV-Main]\nAbortMode=%s\n' "$mode" >"$tmp/stopped-$sig-$mode-${url%%:*}/kov.ini"
    session "stopped-$sig-$mode-${url%%:*}" "$url" -d
    sleep 2
    kill "-$sig" "$pid"
    # After the current files: a second stop ends the session at once.
    [ "$mode" = 0 ] || { sleep 0.5 && kill "-$sig" "$pid"; }
    ends_with 130 "SIG$sig during $url"
    said="stopping now"
    [ "$mode" = 0 ] || said="stopping after the current files; Ctrl+C again stops now"
    grep -qF "kov-cli: $said" "$tmp/out/stderr" ||
        fail "the first stop did not say what it does: $sig $mode $url: $(cat "$tmp/out/stderr")"
    [ "$(grep -c "kov-cli: stopping now" "$tmp/out/stderr")" = 1 ] ||
        fail "the stop at once was not said once: $sig $mode $url: $(cat "$tmp/out/stderr")"
done <<CASES
INT 0 $http
INT 0 ftp://dribble:pw@127.0.0.1:$port/files/a.txt
HUP 1 $http
CASES
[ ! -e "$tmp/powered-off" ] || fail "Ctrl+C powered the computer off"

# --check-mail stops on Ctrl+C as well, even while the mailbox keeps it waiting (the fault
# server never greets).
start_fault http
sed -i "/^\[CtrByEmail\]/a Pop3Server=127.0.0.1:$port\nMailBox=box\nMailBoxPsw=pw" \
    "$KOV_HOME/kov.ini"
"$cli" --check-mail >"$tmp/out/stdout" 2>"$tmp/out/stderr" &
pid=$!
sleep 2
kill -INT "$pid"
ends_with 130 "SIGINT during --check-mail"
grep -qF "kov-cli: stopping now" "$tmp/out/stderr" ||
    fail "--check-mail was killed, not stopped: $(cat "$tmp/out/stderr")"
echo ok
