#!/usr/bin/env bash
# The desktop program kov as a new user meets it: an installation moved to another prefix,
# help, version, no display, a settings file that is something else.
cli="$1"
source "$(dirname "$0")/common.bash"
top="$(cd "$(dirname "$0")/../.." && pwd)"

# An installation under another prefix than the configured one finds its language files
# beside its programs.
mkdir -p "$tmp/prefix/bin" "$tmp/prefix/share/kov/Lang" "$KOV_HOME"
cp "$cli" "$tmp/prefix/bin/kov-cli"
cp "$top/Lang/German.lng" "$tmp/prefix/share/kov/Lang/"
printf '[KOV-Main]\nLanguage=German\n' > "$KOV_HOME/kov.ini"
"$tmp/prefix/bin/kov-cli" -a > "$tmp/out" 2>&1
grep -q 'Keine Aufträge zu starten' "$tmp/out" || fail "moved installation: $(cat "$tmp/out")"
rm "$KOV_HOME/kov.ini"

kov="$(dirname "$cli")/../kov/kov"
if [ ! -x "$kov" ]; then echo "skipped: kov is not built"; exit 0; fi

"$kov" --help | grep -q '^Usage: kov ' || fail "--help"
"$kov" --version | grep -Eq '^kov [0-9]+\.[0-9]+\.[0-9]+\.[0-9]+$' || fail "--version"

# Without a display Qt would abort; the user learns why and what else there is.
status=0
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$kov" 2>"$tmp/err" || status=$?
[ "$status" = 2 ] && grep -q '^kov: no display.*kov-cli' "$tmp/err" ||
    fail "without a display: status $status, $(cat "$tmp/err")"

# A picture under the settings file's name: refused (a message box waits for the user), and
# the file is not written over, not even when the program is then killed.
printf '\xff\xd8\xff\xe0\0\x10JFIF\0\0' > "$KOV_HOME/kov.ini"
cp "$KOV_HOME/kov.ini" "$tmp/before"
QT_QPA_PLATFORM=offscreen "$kov" 2>"$tmp/err" &
pid=$!
for _ in $(seq 200); do
    grep -q 'not a settings file' "$tmp/err" && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
kill "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true
grep -q "^kov: $KOV_HOME/kov.ini: not a settings file (binary content)" "$tmp/err" ||
    fail "binary kov.ini: $(cat "$tmp/err")"
cmp -s "$KOV_HOME/kov.ini" "$tmp/before" || fail "binary kov.ini written over"
echo "ok"
