#!/usr/bin/env bash
# kov-cli as a user runs it: help, version, a first run and a run on a hand-edited kov.ini.
set -euo pipefail
cli="$1"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
export KOV_HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/config" XDG_DATA_HOME="$tmp/data"

fail() { echo "FAIL: $*" >&2; exit 1; }

"$cli" --help | grep -q '^Usage: kov-cli' || fail "--help"
"$cli" --version | grep -Eq '^kov-cli [0-9]+\.[0-9]+\.[0-9]+\.[0-9]+$' || fail "--version"
if "$cli" --no-such-option 2>"$tmp/err"; then fail "unknown option accepted"; fi
grep -q "unknown option --no-such-option" "$tmp/err" || fail "unknown option message"

# First run: the program folder is created, kov.ini holds the column widths, nothing else.
"$cli"
[ -f "$KOV_HOME/kov.ini" ] || fail "kov.ini not written"
[ "$(stat -c %a "$KOV_HOME/kov.ini")" = 600 ] || fail "kov.ini mode"
grep -q '^Column6=182$' "$KOV_HOME/kov.ini" || fail "column widths"
[ ! -e "$XDG_CONFIG_HOME/kov/user.ini" ] || fail "user.ini written for nothing"
[ -z "$(ls -A "$KOV_HOME" | grep -v '^kov.ini$')" ] || fail "stray files: $(ls -A "$KOV_HOME")"

# A hand-edited file is rewritten in the store's own form; its values stay.
printf '; notes\n[ KOV-Main ] x\n MaxThreads = 4 \n\n[Gone]\n' > "$KOV_HOME/kov.ini"
"$cli"
head -3 "$KOV_HOME/kov.ini" | diff - <(printf '; notes\n[KOV-Main]\nMaxThreads=4\n') || fail "rewrite"
! grep -q 'Gone' "$KOV_HOME/kov.ini" || fail "empty section kept"

# Portable use: a kov.ini beside the executable makes its folder the program folder.
unset KOV_HOME
mkdir -p "$tmp/portable"
cp "$cli" "$tmp/portable/kov-cli"
printf '[KOV-Main]\nMaxThreads=2\n' > "$tmp/portable/kov.ini"
"$tmp/portable/kov-cli"
grep -q '^Column0=176$' "$tmp/portable/kov.ini" || fail "portable kov.ini not used"
[ ! -e "$XDG_DATA_HOME/kov/kov.ini" ] || fail "portable run wrote the data folder"

# Without KOV_HOME and not portable, the XDG data folder is used.
"$cli" "-n2"
[ -f "$XDG_DATA_HOME/kov/kov.ini" ] || fail "XDG data folder not used"
echo "ok"
