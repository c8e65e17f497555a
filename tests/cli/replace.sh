#!/usr/bin/env bash
# kov-cli --replace and --restore: an item's rules applied to a folder and to one file, with
# backups, and the backups put back; banned words from the -b file in a session.
cli="$1"
source "$(dirname "$0")/common.bash"

cat > "$tmp/rules.ini" <<'INI'
[item 1]
Name=clean
Url=http://127.0.0.1:9/x.html
s_find1=<!--ad-->
s_repl1=<!--/ad-->
s_action1=3
s_mult1=1
s_find2=\_old
s_repl2=\_new
INI
"$cli" --import "$tmp/rules.ini" >/dev/null
mkdir -p "$tmp/site/sub"
printf 'a<!--ad-->X<!--/ad-->b old\n' > "$tmp/site/a.html"
printf 'nothing here\n' > "$tmp/site/b.txt"
printf 'x old\n' > "$tmp/site/c.css"
cp "$tmp/site/a.html" "$tmp/site/sub/d.html"

# A folder: the default masks, each file with its count, a backup of the changed one only.
"$cli" --replace 1 "$tmp/site" > "$tmp/out" || fail "folder: $(cat "$tmp/out")"
grep -q $'^Filename\tResults$' "$tmp/out" || fail "no header: $(cat "$tmp/out")"
grep -q $'/site/a.html\t2$' "$tmp/out" || fail "a.html count: $(cat "$tmp/out")"
grep -q $'/site/b.txt\t0$' "$tmp/out" || fail "b.txt count: $(cat "$tmp/out")"
[ "$(cat "$tmp/site/a.html")" = "ab new" ] || fail "a.html: $(cat "$tmp/site/a.html")"
[ -f "$tmp/site/a.html.bak" ] && [ ! -f "$tmp/site/b.txt.bak" ] || fail "backups"
cmp -s "$tmp/site/sub/d.html" "$tmp/site/a.html.bak" || fail "sub-folder touched or bad backup"

# One file, whatever its extension.
"$cli" --replace 1 "$tmp/site/c.css" | grep -q $'c.css\t1$' || fail "one file"

# Restore keeps the backups, so it can be repeated.
"$cli" --restore "$tmp/site" > "$tmp/out" || fail "restore"
grep -q "site : 2 files restored" "$tmp/out" || fail "restore line: $(cat "$tmp/out")"
cmp -s "$tmp/site/a.html" "$tmp/site/sub/d.html" || fail "a.html not restored"
[ "$(cat "$tmp/site/c.css")" = "x old" ] || fail "c.css not restored"

# Each changed file and its backup are synced, their folder once per batch: 100 files cost
# about 200 syncs, not 400.
if command -v strace >/dev/null && strace -f -o /dev/null true 2>/dev/null; then
    mkdir -p "$tmp/many"
    for i in $(seq 100); do printf 'x old\n' > "$tmp/many/p$i.html"; done
    # LeakSanitizer does not run under ptrace.
    ASAN_OPTIONS=detect_leaks=0 strace -f -e trace=fsync,fdatasync -o "$tmp/trace" \
        "$cli" --replace 1 "$tmp/many" \
        > /dev/null || fail "many files"
    syncs=$(grep -c 'sync(' "$tmp/trace")
    [ "$syncs" -lt 260 ] || fail "$syncs syncs for 100 files"
    [ "$(cat "$tmp/many/p100.html")" = "x new" ] && [ -f "$tmp/many/p100.html.bak" ] ||
        fail "many files: not replaced"
fi

if "$cli" --replace 5 "$tmp/site" 2>/dev/null; then fail "a missing item gave status 0"; fi
if "$cli" --restore "$tmp/none" 2>/dev/null; then fail "a missing folder gave status 0"; fi
if "$cli" --replace 1 "$tmp/none/" 2>/dev/null; then fail "--replace: a missing folder gave 0"; fi

# The banner file named by -b is read at start-up: its banned words keep a URL from being fetched.
printf '[BanneRipping]\nBannedWords=ab secret\n' > "$tmp/b.ini"
"$cli" --add "http://127.0.0.1:9/SECRET.html" >/dev/null
"$cli" -a -b"$tmp/b.ini" > "$tmp/out" 2>&1 || true
grep -q "SECRET.html, code: 925" "$tmp/out" || fail "banned word: $(cat "$tmp/out")"
echo ok
