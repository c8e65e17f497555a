#!/usr/bin/env bash
# kov-cli as a user runs it: help, version, a first run, the list commands and refusals.
cli="$1"
source "$(dirname "$0")/common.bash"

"$cli" --help > "$tmp/help" && grep -q '^Usage: kov-cli' "$tmp/help" || fail "--help"
# The manual and the completion know every option the help lists.
top="$(dirname "$0")/../.."
for option in $(grep -oE -- '--[a-z][a-z-]+' "$tmp/help" | sort -u); do
    grep -qF -- "${option//-/\\-}" "$top/docs/man/kov-cli.1" || fail "kov-cli(1) lacks $option"
    grep -qw -- "$option" "$top/dist/kov-cli.bash-completion" || fail "completion lacks $option"
done
"$cli" --version | grep -Eq '^kov-cli [0-9]+\.[0-9]+\.[0-9]+\.[0-9]+$' || fail "--version"

# First run: the program folder gets kov.ini (its content is the application test's).
"$cli"
[ -f "$KOV_HOME/kov.ini" ] || fail "kov.ini not written"

# Adding, listing and importing.
"$cli" --add http://news.example.com/daily.html "ftp://me:pw@ftp.example.com:2121/pub/a.zip" \
    > "$tmp/out"
grep -q $'^added #1 news.example.com\thttp://news.example.com/daily.html$' "$tmp/out" || fail "--add"
grep -q $'^added #2 ftp.example.com\t' "$tmp/out" || fail "--add: the second item's number"
"$cli" --list > "$tmp/list"
[ "$(wc -l < "$tmp/list")" = 3 ] || fail "--list lines: $(cat "$tmp/list")"
grep -q $'^2\tftp.example.com\tftp://ftp.example.com:2121/pub/a.zip\t.*\tnever\tno$' "$tmp/list" ||
    fail "--list row: $(cat "$tmp/list")"
printf '[item 1]\nUrl=http://other.example.com/x\nDest=/old/place/sub\n' > "$tmp/other.ini"
"$cli" --import "$tmp/other.ini" --list > "$tmp/list"
grep -q "^imported 1 item from $tmp/other.ini$" "$tmp/list" || fail "--import"
grep -q $'^3\tNoName\thttp://other.example.com/x\t'"$KOV_HOME"$'/Download/Main/sub\t' "$tmp/list" ||
    fail "imported row: $(cat "$tmp/list")"
"$cli" --lists | grep -q $'^1\*\tMain\t'"$KOV_HOME"$'/Default.ini\t' || fail "--lists"
if "$cli" --add 2>/dev/null; then fail "--add without URL accepted"; fi

# Mistakes a new user makes: each one is refused with exit 2 and a message that says what and
# why, and no file is written over.
mkdir "$tmp/folder.ini"
mkfifo "$tmp/fifo.ini"
cp "$KOV_HOME/kov.ini" "$tmp/kov.ini.before"
refused() {  # refused MESSAGE ARG...
    local want="$1" status=0
    shift
    timeout 10 "$cli" "$@" >/dev/null 2>"$tmp/err" || status=$?
    [ "$status" = 2 ] || fail "$* gave $status: $(cat "$tmp/err")"
    grep -qF -- "$want" "$tmp/err" || fail "$*: $(cat "$tmp/err")"
}
refused "$tmp/missing.ini: No such file or directory" --import "$tmp/missing.ini"
refused "$tmp/folder.ini: Is a directory" --import "$tmp/folder.ini"
refused "$tmp/fifo.ini: not a regular file" --import "$tmp/fifo.ini"
printf '\xff\xd8\xff\xe0\0\x10JFIF\0\0' > "$tmp/photo.jpg"
refused "$tmp/photo.jpg: not a list file (binary content)" --import "$tmp/photo.jpg"
cmp -s "$KOV_HOME/kov.ini" "$tmp/kov.ini.before" || fail "kov.ini changed by a refused run"
mv "$KOV_HOME/Default.ini" "$tmp/Default.ini"
mkdir "$KOV_HOME/Default.ini"
refused "$KOV_HOME/Default.ini: Is a directory" --add http://example.com/x
rmdir "$KOV_HOME/Default.ini"
mv "$tmp/Default.ini" "$KOV_HOME/Default.ini"

# Portable use: a kov.ini beside the executable makes its folder the program folder.
unset KOV_HOME
mkdir -p "$tmp/portable"
cp "$cli" "$tmp/portable/kov-cli"
printf '[KOV-Main]\nMaxThreads=2\n' > "$tmp/portable/kov.ini"
"$tmp/portable/kov-cli"
grep -q '^Column0=176$' "$tmp/portable/kov.ini" || fail "portable kov.ini not used"
[ ! -e "$XDG_DATA_HOME/kov/kov.ini" ] || fail "portable run wrote the data folder"
echo "ok"
