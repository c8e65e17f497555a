#!/usr/bin/env bash
# kov-cli URL...: downloads into the current folder as wget does, with the exit statuses of
# -a, without a settings file and without touching any list.
cli="$1"
source "$(dirname "$0")/common.bash"

mkdir -p "$tmp/www" "$tmp/cwd"
echo "hello world" > "$tmp/www/a.txt"
head -c 300000 /dev/urandom > "$tmp/www/big.bin"
start_nginx "$tmp/www"
base="http://127.0.0.1:$port"
cd "$tmp/cwd"

# expect STATUS ARGS...: runs kov-cli, output in $tmp/out, and checks the exit status.
expect() {
    local want="$1" got=0
    shift
    "$cli" "$@" > "$tmp/out" 2>&1 || got=$?
    [ "$got" = "$want" ] || fail "kov-cli $*: exit $got, not $want: $(cat "$tmp/out")"
}

# A first run: no settings file needed, none and no list written; the server's file name.
expect 0 "$base/a.txt"
[ "$(cat a.txt)" = "hello world" ] || fail "a.txt: $(ls; cat "$tmp/out")"
[ ! -e "$KOV_HOME/kov.ini" ] && [ ! -e "$KOV_HOME/Default.ini" ] || fail "files written: $(ls "$KOV_HOME")"

# A partial file (as a stopped download leaves it: the server's time) is resumed: only the
# rest comes over the line.
head -c 100000 "$tmp/www/big.bin" > big.bin
touch -r "$tmp/www/big.bin" big.bin
expect 0 "$base/big.bin"
cmp -s big.bin "$tmp/www/big.bin" || fail "resumed file differs"
grep -q "bytes downloaded: 200000 " "$tmp/out" || fail "not resumed: $(cat "$tmp/out")"

# A list is left as it was; a missing file among the URLs is a failure (exit 1), the others
# still come.
expect 0 --init --add "$base/listed.txt"
cp "$KOV_HOME/Default.ini" "$tmp/list-before"
rm -f a.txt
expect 1 "$base/missing.txt" "$base/a.txt"
[ -f a.txt ] || fail "a.txt not fetched beside a missing one"
cmp -s "$KOV_HOME/Default.ini" "$tmp/list-before" || fail "the list changed"
grep -q "listed.txt" "$tmp/out" && fail "a list item ran: $(cat "$tmp/out")"

# The program folder's settings apply: a URL refused by the user's own banned words is an
# expected outcome, logged on standard output, exit 0.
printf '[BanneRipping]\nBannedWords=secret\n' > "$KOV_HOME/banners.ini"
"$cli" "$base/SECRET.txt" > "$tmp/out" 2> "$tmp/err" || fail "banned URL: exit $?: $(cat "$tmp/err")"
grep -q "SECRET.txt, code: 925" "$tmp/out" && [ ! -s "$tmp/err" ] || fail "banned: $(cat "$tmp/out" "$tmp/err")"
rm "$KOV_HOME/banners.ini"

# URLs go alone: with list commands or -a they are a usage error; a named settings file must
# exist; a URL too long for an item is refused rather than cut.
expect 2 --list "$base/a.txt"
expect 2 -a "$base/a.txt"
expect 2 "$tmp/none.ini" "$base/a.txt"
expect 2 "$base/$(printf 'x%.0s' $(seq 300))"
# An argument without "://" is still the settings file.
expect 2 "$tmp/none.ini"
grep -q "none.ini" "$tmp/out" || fail "settings file message: $(cat "$tmp/out")"
