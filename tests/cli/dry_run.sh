#!/usr/bin/env bash
# kov-cli --dry-run -a: the URLs and local files of every due item (dates and numbers
# expanded), why the others are not due; no request reaches the server and no file is written.
cli="$1"
source "$(dirname "$0")/common.bash"

mkdir -p "$tmp/www"
port=$(free_port)
(cd "$tmp/www" && exec python3 -m http.server "$port" --bind 127.0.0.1 >/dev/null 2>"$tmp/access") &
server=$!
wait_for_port "$port"
base="http://127.0.0.1:$port"
dl="$KOV_HOME/Download/Main"

"$cli" --add "$base/news-%Y%M%D.html" "$base/pics/p1.jpg" "$base/big/b1.png" \
    "ftp://127.0.0.1:$port/pub/*.zip" "$base/off.html" "$base/later.html" \
    "$base/shifted-%D.%M.%Y.html" --template >/dev/null
"$cli" --set 1 UpdateMode=1 days=1 --set 2 StopNumber=3 --set 3 StopNumber=50 --disable 5 \
    --set 6 interval=2 LastDL="$(date +%Y.%m.%d)" --set 7 dayShift=1 >/dev/null
md5sum "$KOV_HOME"/*.ini > "$tmp/before"
logged=$(wc -c < "$tmp/access")

"$cli" --dry-run -a > "$tmp/out" || fail "exit status $?: $(cat "$tmp/out")"
today=$(date +%Y%m%d) yesterday=$(date -d yesterday +%Y%m%d)
while IFS= read -r line; do
    grep -qxF -- "$line" "$tmp/out" || fail "missing '$line' in: $(cat "$tmp/out")"
done <<EOF
  $base/news-$today.html -> $dl/news-$today.html
  $base/news-$yesterday.html -> $dl/news-$yesterday.html
  $base/pics/p1.jpg -> $dl/p1.jpg
  $base/pics/p3.jpg -> $dl/p3.jpg
  $base/big/b10.png -> $dl/b10.png
  ... 39 more
  $base/big/b50.png -> $dl/b50.png
  ftp://127.0.0.1:$port/pub/*.zip -> $dl/<each file matching *.zip>
5 127.0.0.1: disabled
  $base/shifted-$(date -d yesterday +%d.%m.%Y).html -> $dl/shifted-$(date -d yesterday +%d.%m.%Y).html
dry run: 5 of 7 items due; nothing was fetched
EOF
grep -q "^6 127.0.0.1: not due before $(date -d '2 days' +%Y.%m.%d)" "$tmp/out" || fail "not due"
[ "$(grep -c 'pics/p' "$tmp/out")" = 3 ] || fail "series 1..3: $(cat "$tmp/out")"
[ "$(grep -c 'big/b' "$tmp/out")" = 11 ] || fail "long series shown in full: $(cat "$tmp/out")"

[ "$(wc -c < "$tmp/access")" = "$logged" ] || fail "the server got requests: $(cat "$tmp/access")"
[ ! -e "$dl" ] || fail "a download folder was made"
md5sum -c --quiet "$tmp/before" >/dev/null 2>&1 || fail "a list or settings file changed"

# An open series near the largest number ends there, as a session does; it does not wrap.
"$cli" --set 3 CurrentNum=2147483646 StopNumber=0 Tolerance=5 >/dev/null
"$cli" --dry-run > "$tmp/out"
[ "$(grep -c 'big/b' "$tmp/out")" = 2 ] && ! grep -q 'big/b-' "$tmp/out" ||
    fail "series past the largest number: $(cat "$tmp/out")"
echo ok
